// Service pack slipstreaming with a stand-in `wine` on PATH: a script that
// records the program and arguments it is given and changes the tree the way an
// installer would, so that the program path and the arguments are proven.
#include "install/service_pack.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "project/project_state.h"
#include "tests/support/cab_package_builder.h"
#include "tests/support/pe_image_builder.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Writes one argument per line into $WINE_LOG, then marks the tree named by -S:
// and ends with $WINE_EXIT (0 when unset).
constexpr std::string_view kWineScript =
    "#!/bin/sh\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$WINE_LOG\"\n"
    "for a in \"$@\"; do case \"$a\" in -S:*) echo slipstreamed > \"${a#-S:}/I386/SP.TXT\";; esac; done\n"
    "exit ${WINE_EXIT:-0}\n";

class ServicePackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(m_dir / "temp");
    g_tempDir = (m_dir / "temp").string() + "/";
    m_installDir = m_dir / "ROOT/INSTALLS/X P";  // a blank must reach the installer whole
    WriteFile(m_installDir / "I386/DOSNET.INF", "[Version]\r\n");
    WriteFile(m_dir / "bin/wine", kWineScript);
    fs::permissions(m_dir / "bin/wine", fs::perms::owner_all);
    const char* path = ::getenv("PATH");
    m_previousPath = path != nullptr ? path : "";
    ::setenv("PATH", ((m_dir / "bin").string() + ":" + m_previousPath).c_str(), 1);
    ::setenv("WINE_LOG", (m_dir / "wine.log").c_str(), 1);
    ::unsetenv("WINE_EXIT");
  }
  void TearDown() override {
    ::setenv("PATH", m_previousPath.c_str(), 1);
    g_tempDir.clear();
  }

  // A service pack whose update program is a Windows program (it starts with MZ).
  fs::path ServicePack(const std::string& name, test::CabinetFiles files, bool selfExtracting = true) {
    const fs::path file = m_dir / "packs" / name;
    WriteFile(file, selfExtracting ? test::SelfExtractingPackage(m_dir.path(), files)
                                   : test::GcabCabinet(m_dir.path(), files));
    return file;
  }
  std::string WineLog() { return ReadFile(m_dir / "wine.log"); }
  fs::path WorkDir() { return m_dir / "temp/SP"; }

  TempDir m_dir;
  fs::path m_installDir;
  std::string m_previousPath;
};

const std::string kUpdater = test::BuildPeImage({false, {{0x409, test::FileVersion(6, 3, 4, 0)}}, 1, ""}).bytes;

TEST_F(ServicePackTest, RunsUpdateThroughWineWithTheSlipstreamArguments) {
  const fs::path pack = ServicePack("WindowsXP-KB835935-SP2-ENU.exe",
                                    {{"i386/update/update.exe", "not this one"},
                                     {"update/update.exe", kUpdater},
                                     {"update/update.inf", "[Version]"}});
  const Problems problems = ApplyServicePack(pack, m_installDir);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
  // wine got the update program found without regard to case, then -S:"installDir"
  // split as a Windows program splits it, then -Q.
  EXPECT_EQ(WineLog(), (WorkDir() / "update/update.exe").string() + "\n-S:" + m_installDir.string() + "\n-Q\n");
  EXPECT_EQ(ReadFile(m_installDir / "I386/SP.TXT"), "slipstreamed\n");
  // The package was expanded with its folders, and the work folder stays.
  EXPECT_EQ(ReadFile(WorkDir() / "update/update.inf"), "[Version]");
  EXPECT_EQ(ReadFile(WorkDir() / "i386/update/update.exe"), "not this one");
}

TEST_F(ServicePackTest, PlainCabinetAndASecondPackEmptyTheWorkFolder) {
  ApplyServicePack(ServicePack("first.exe", {{"UPDATE/UPDATE.EXE", kUpdater}, {"first.txt", "1"}}), m_installDir);
  const fs::path second = ServicePack("second.cab", {{"Update/Update.exe", kUpdater}, {"second.txt", "2"}}, false);
  const Problems problems = ApplyServicePack(second, m_installDir);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
  EXPECT_FALSE(fs::exists(WorkDir() / "first.txt"));
  EXPECT_FALSE(fs::exists(WorkDir() / "UPDATE"));
  EXPECT_EQ(ReadFile(WorkDir() / "second.txt"), "2");
  const std::string arguments = "\n-S:" + m_installDir.string() + "\n-Q\n";
  EXPECT_EQ(WineLog(), (WorkDir() / "UPDATE/UPDATE.EXE").string() + arguments +
                           (WorkDir() / "Update/Update.exe").string() + arguments);
}

TEST_F(ServicePackTest, WhatCannotBeDoneIsReported) {
  struct Case {
    const char* what;
    std::function<fs::path()> pack;
    const char* mentioned;  // in the one problem reported
  } cases[] = {
      {"a package without a cabinet",
       [&] {
         WriteFile(m_dir / "packs/stub.exe", test::PackageWithoutCabinet());
         return m_dir / "packs/stub.exe";
       },
       "UPDATE.EXE"},
      {"a missing package", [&] { return m_dir / "packs/missing.exe"; }, "UPDATE.EXE"},
      {"a package without the update program", [&] { return ServicePack("noupdate.exe", {{"setup.exe", "x"}}); },
       "UPDATE.EXE"},
      {"no wine on PATH",
       [&] {
         const fs::path pack = ServicePack("sp.exe", {{"update/update.exe", kUpdater}});
         ::setenv("PATH", (m_dir / "empty").c_str(), 1);
         return pack;
       },
       "wine"},
      {"the update program fails",
       [&] {
         ::setenv("WINE_EXIT", "3", 1);
         return ServicePack("sp.exe", {{"update/update.exe", kUpdater}});
       },
       "exit status 3"},
  };
  for (const Case& c : cases) {
    const fs::path pack = c.pack();
    const Problems problems = ApplyServicePack(pack, m_installDir);
    ::setenv("PATH", ((m_dir / "bin").string() + ":" + m_previousPath).c_str(), 1);
    ::unsetenv("WINE_EXIT");
    ASSERT_FALSE(problems.empty()) << c.what;
    bool mentioned = false;
    for (const std::string& p : problems) mentioned |= p.find(c.mentioned) != std::string::npos;
    EXPECT_TRUE(mentioned) << c.what << ": " << ::testing::PrintToString(problems);
  }
  EXPECT_EQ(ReadFile(m_installDir / "I386/DOSNET.INF"), "[Version]\r\n");
}

TEST_F(ServicePackTest, NoServicePackTouchesNothing) {
  EXPECT_TRUE(ApplyServicePack("", m_installDir).empty());
  EXPECT_FALSE(fs::exists(WorkDir()));
  EXPECT_FALSE(fs::exists(m_dir / "wine.log"));
}

}  // namespace
}  // namespace kolvenar
