// DOS date and time, as cabinets store them (two-second resolution, 1980 to
// 2107). The fields are taken as UTC: no time-zone conversion either way.
#pragma once

#include <cstdint>
#include <ctime>

namespace kolvenar::cabinet {

struct DosDateTime {
  uint16_t date = 0;  // bits 15-9 year - 1980, 8-5 month, 4-0 day
  uint16_t time = 0;  // bits 15-11 hour, 10-5 minute, 4-0 seconds / 2
};

struct CivilTime {
  int year = 1980;
  int month = 1;   // 1 to 12
  int day = 1;     // 1 to 31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Seconds since 1970-01-01 00:00 UTC of the fields. Out-of-range fields (from
// damaged cabinets) are clamped to the nearest valid value.
int64_t UnixSecondsFromCivil(const CivilTime& civil);

// The DOS fields of a point in time given as seconds since 1970 UTC; odd seconds
// are rounded down, times before 1980 or after 2107 are clamped to the range.
DosDateTime DosDateTimeFromUnixSeconds(int64_t seconds);

CivilTime CivilFromDos(DosDateTime dos);

}  // namespace kolvenar::cabinet
