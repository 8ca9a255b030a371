#include "install/cabinet/dos_time.h"

#include <algorithm>

namespace kolvenar::cabinet {
namespace {

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilTime CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilTime c;
  c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2));
  return c;
}

}  // namespace

int64_t UnixSecondsFromCivil(const CivilTime& civil) {
  const int month = std::clamp(civil.month, 1, 12);
  const int day = std::clamp(civil.day, 1, 31);
  const int64_t days = DaysFromCivil(civil.year, month, 1) + (day - 1);
  return days * 86400 + std::clamp(civil.hour, 0, 23) * 3600 + std::clamp(civil.minute, 0, 59) * 60 +
         std::clamp(civil.second, 0, 59);
}

DosDateTime DosDateTimeFromUnixSeconds(int64_t seconds) {
  const int64_t first = UnixSecondsFromCivil({1980, 1, 1, 0, 0, 0});
  const int64_t last = UnixSecondsFromCivil({2107, 12, 31, 23, 59, 58});
  seconds = std::clamp(seconds, first, last);
  const int64_t days = seconds / 86400;  // non-negative after clamping
  const int64_t rest = seconds % 86400;
  const CivilTime c = CivilFromDays(days);
  DosDateTime dos;
  dos.date = static_cast<uint16_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
  dos.time = static_cast<uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
  return dos;
}

CivilTime CivilFromDos(DosDateTime dos) {
  CivilTime c;
  c.year = 1980 + (dos.date >> 9);
  c.month = (dos.date >> 5) & 0x0F;
  c.day = dos.date & 0x1F;
  c.hour = dos.time >> 11;
  c.minute = (dos.time >> 5) & 0x3F;
  c.second = (dos.time & 0x1F) * 2;
  return c;
}

}  // namespace kolvenar::cabinet
