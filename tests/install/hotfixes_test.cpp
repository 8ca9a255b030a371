// Hotfix integration end to end: real packages (a stub followed by a gcab
// cabinet), a copied I386 tree with compressed and plain files, and the results
// read back with cabextract.
#include "install/hotfixes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "project/project_state.h"
#include "tests/support/cab_package_builder.h"
#include "tests/support/pe_image_builder.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::CabextractFiles;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// A library of version 5.1.2600.<revision>; `tag` makes its bytes its own.
std::string Dll(uint16_t revision, const std::string& tag) {
  return test::BuildPeImage({false, {{0x409, test::FileVersion(5, 1, 2600, revision)}}, 1, tag}).bytes;
}

constexpr std::string_view kSvcpackHeader =
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "MajorVersion=5\r\n"
    "MinorVersion=1\r\n"
    "BuildNumber=2600\r\n"
    "[SetupData]\r\n"
    "CatalogSubDir=\"I386\\SVCPACK\"\r\n"
    "[SetupHotfixesToRun]\r\n";

constexpr std::string_view kDosnet =
    "[Version]\r\n"
    "signature=\"$Windows NT$\"\r\n"
    "DriverVer=07/01/2001,5.1.2600.2180\r\n"
    "\r\n"
    "[Files]\r\n"
    "d1,foo.dll\r\n";

bool Mentions(const Problems& problems, std::string_view text) {
  for (const std::string& p : problems) {
    if (p.find(text) != std::string::npos) return true;
  }
  return false;
}

class HotfixIntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Digits in the temporary folder's path must not rename the catalogs.
    fs::create_directories(m_dir / "temp987654");
    g_tempDir = (m_dir / "temp987654").string() + "/";
    m_i386 = m_dir / "ROOT/INSTALLS/XP/I386";
    WriteFile(m_i386 / "DOSNET.INF", kDosnet);
    m_hotfixes = m_dir / "hotfix";
    fs::create_directories(m_hotfixes);
    WriteFile(m_dir / "cwd/QCHAIN.EXE", "qchain");
    m_previousDir = fs::current_path();
    fs::current_path(m_dir / "cwd");
  }
  void TearDown() override {
    fs::current_path(m_previousDir);
    g_tempDir.clear();
  }

  void Package(const std::string& name, const test::CabinetFiles& files) {
    WriteFile(m_hotfixes / name, test::SelfExtractingPackage(m_dir.path(), files));
  }
  Status Integrate(Problems& problems, const std::string& build = "5.1.2600.2180") {
    return IntegrateHotfixes(m_hotfixes, m_i386, build, problems, [&](const std::string& text) {
      m_messages.push_back(text);
    });
  }
  std::string Svcpack(std::string_view name) { return ReadFile(m_i386 / "SVCPACK" / std::string(name)); }

  TempDir m_dir;
  fs::path m_i386, m_hotfixes, m_previousDir;
  std::vector<std::string> m_messages;
};

TEST_F(HotfixIntegrationTest, IntegratesPackagesCatalogsAndNewerFiles) {
  Package("KB111111.exe", {{"KB111111.cat", "cat-111"},
                           {"foo.dll", Dll(1300, "foo-111")},
                           {"baz.dll", Dll(900, "baz-111")}});
  Package("KB111111_v2.exe", {{"foo.dll", Dll(1500, "foo-111-v2")}});  // same KB number: ignored
  WriteFile(m_hotfixes / "KB444444.exe", test::PackageWithoutCabinet());  // no cabinet
  Package("readme.exe", {{"readme.txt", "x"}});                          // no KB number
  Package("WindowsXP-KB3333333-x86-ENU.exe", {{"SP2GDR/bar.dll", Dll(1100, "bar-gdr")},  // seven digits
                                              {"SP2QFE/bar.dll", Dll(1100, "bar-qfe")},
                                              {"update/KB3333333.CAT", "cat-333"}});
  Package("WindowsXP-Q222222-x86-ENU.exe", {{"foo.dll", Dll(1200, "foo-222")}, {"Q222222.CAT", "cat-222"}});
  WriteFile(m_hotfixes / "notes.txt", "not a package");

  WriteFile(m_i386 / "FOO.DL_", test::GcabCabinet(m_dir.path(), {{"foo.dll", Dll(1000, "foo-old")}}));
  WriteFile(m_i386 / "GARBAGE.DL_", "not a cabinet");  // must not pass for the foo.dll met before it
  WriteFile(m_i386 / "BAR.DLL", Dll(1000, "bar-old"));
  WriteFile(m_i386 / "LANG/bar.dll", Dll(1050, "bar-lang"));
  WriteFile(m_i386 / "BAZ.DLL", Dll(1000, "baz-old"));
  WriteFile(m_i386 / "NOTE.TXT", "plain");

  Problems problems;
  ASSERT_TRUE(Integrate(problems).ok());

  // Packages in listing order: KB111111.exe, KB111111_v2.exe, KB444444.exe,
  // readme.exe, WindowsXP-KB3333333..., WindowsXP-Q222222...; catalogs in the
  // order of the work folder: KB111111, KB222222, KB333333.
  EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"), std::string(kSvcpackHeader) +
                                                  "KB111111.EXE /Q /N /Z\r\n"
                                                  "KB444444.EXE /Q /N /Z\r\n"
                                                  "KB333333.EXE /Q /N /Z\r\n"
                                                  "KB222222.EXE /Q /N /Z\r\n"
                                                  "QCHAIN.EXE\r\n"
                                                  "[ProductCatalogsToInstall]\r\n"
                                                  "KB111111.CAT\r\n"
                                                  "KB222222.CAT\r\n"
                                                  "KB333333.CAT\r\n");
  EXPECT_EQ(Svcpack("KB111111.EXE"), ReadFile(m_hotfixes / "KB111111.exe"));
  EXPECT_EQ(Svcpack("KB333333.EXE"), ReadFile(m_hotfixes / "WindowsXP-KB3333333-x86-ENU.exe"));
  EXPECT_EQ(Svcpack("KB444444.EXE"), test::PackageWithoutCabinet());
  EXPECT_EQ(Svcpack("KB111111.CAT"), "cat-111");
  EXPECT_EQ(Svcpack("KB222222.CAT"), "cat-222");
  EXPECT_EQ(Svcpack("KB333333.CAT"), "cat-333");
  EXPECT_EQ(Svcpack("QCHAIN.EXE"), "qchain");
  EXPECT_FALSE(fs::exists(m_i386 / "SVCPACK/KB987654.CAT"));
  EXPECT_TRUE(fs::is_regular_file(fs::path(g_tempDir) / "KB/KB333333/SP2GDR/bar.dll"));  // the work folder stays

  // The compressed file keeps its name and stores the newest file under its inner name.
  EXPECT_EQ(CabextractFiles(m_i386 / "FOO.DL_", m_dir.path()),
            (std::map<std::string, std::string>{{"foo.dll", Dll(1300, "foo-111")}}));
  // Equal versions: the first met (SP2GDR); every same-named file is replaced.
  EXPECT_EQ(CabextractFiles(m_i386 / "BAR.DLL", m_dir.path()),
            (std::map<std::string, std::string>{{"BAR.DLL", Dll(1100, "bar-gdr")}}));
  EXPECT_EQ(CabextractFiles(m_i386 / "LANG/bar.dll", m_dir.path()),
            (std::map<std::string, std::string>{{"bar.dll", Dll(1100, "bar-gdr")}}));
  EXPECT_EQ(ReadFile(m_i386 / "BAZ.DLL"), Dll(1000, "baz-old"));  // the hotfix's is older
  EXPECT_EQ(ReadFile(m_i386 / "GARBAGE.DL_"), "not a cabinet");
  EXPECT_EQ(ReadFile(m_i386 / "NOTE.TXT"), "plain");
  EXPECT_FALSE(fs::exists(m_i386 / "readme.txt"));

  EXPECT_EQ(ReadFile(m_i386 / "DOSNET.INF"), std::string(kDosnet) + "[OptionalSrcDirs]\r\nsvcpack\r\n");

  EXPECT_TRUE(Mentions(problems, "KB111111_v2.exe")) << ::testing::PrintToString(problems);
  EXPECT_TRUE(Mentions(problems, "KB444444.exe"));
  EXPECT_TRUE(Mentions(problems, "readme.exe"));
  EXPECT_TRUE(Mentions(problems, "GARBAGE.DL_"));
  EXPECT_TRUE(m_messages.empty());
}

TEST_F(HotfixIntegrationTest, EmptyFolderStillWritesSvcpackInf) {
  Problems problems;
  ASSERT_TRUE(Integrate(problems, "5.1.2600.0").ok());
  EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"),
            std::string(kSvcpackHeader) + "QCHAIN.EXE\r\n[ProductCatalogsToInstall]\r\n");
  EXPECT_EQ(ReadFile(m_i386 / "DOSNET.INF"), kDosnet);
  EXPECT_TRUE(fs::is_directory(m_i386 / "SVCPACK"));
  EXPECT_FALSE(fs::exists(m_i386 / "SVCPACK/QCHAIN.EXE"));
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);

  // A folder that is gone gives the same file, and says so.
  fs::remove(m_hotfixes);
  ASSERT_TRUE(Integrate(problems, "5.1.2600.0").ok());
  EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"),
            std::string(kSvcpackHeader) + "QCHAIN.EXE\r\n[ProductCatalogsToInstall]\r\n");
  EXPECT_TRUE(Mentions(problems, "hotfix folder not found"));
}

TEST_F(HotfixIntegrationTest, BuildTextsWithFewerParts) {
  struct Case {
    const char* build;
    const char* lines;
  } cases[] = {
      {"5.2.3790", "MajorVersion=5\r\nMinorVersion=2\r\nBuildNumber=3790\r\n"},
      {"5.1", "MajorVersion=5\r\nMinorVersion=1\r\nBuildNumber=\r\n"},
      {"", "MajorVersion=\r\nMinorVersion=\r\nBuildNumber=\r\n"},
  };
  for (const Case& c : cases) {
    Problems problems;
    ASSERT_TRUE(Integrate(problems, c.build).ok());
    EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"), "[Version]\r\nSignature=\"$Windows NT$\"\r\n" + std::string(c.lines) +
                                                    "[SetupData]\r\nCatalogSubDir=\"I386\\SVCPACK\"\r\n"
                                                    "[SetupHotfixesToRun]\r\nQCHAIN.EXE\r\n"
                                                    "[ProductCatalogsToInstall]\r\n")
        << c.build;
  }
}

TEST_F(HotfixIntegrationTest, SixDigitsInTheFolderPathNameEveryPackage) {
  m_hotfixes = m_dir / "hotfix/200401";
  Package("KB111111.exe", {{"a.txt", "a"}});
  Package("KB222222.exe", {{"b.txt", "b"}});
  Problems problems;
  ASSERT_TRUE(Integrate(problems).ok());
  EXPECT_EQ(Svcpack("KB200401.EXE"), ReadFile(m_hotfixes / "KB111111.exe"));
  EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"),
            std::string(kSvcpackHeader) + "KB200401.EXE /Q /N /Z\r\nQCHAIN.EXE\r\n[ProductCatalogsToInstall]\r\n");
  EXPECT_TRUE(Mentions(problems, "KB222222.exe"));
}

TEST_F(HotfixIntegrationTest, ExistingOptionalSrcDirsGainsTheLine) {
  const std::string dosnet = std::string(kDosnet) + "\r\n[OptionalSrcDirs]\r\nlang\r\n\r\n[Strings]\r\nx=\"y\"\r\n";
  WriteFile(m_i386 / "DOSNET.INF", dosnet);
  WriteFile(m_i386 / "FOO.DLL", Dll(1000, "foo-old"));
  Package("KB111111.exe", {{"foo.dll", Dll(1300, "foo-new")}});
  Problems problems;
  ASSERT_TRUE(Integrate(problems).ok());
  EXPECT_EQ(ReadFile(m_i386 / "DOSNET.INF"),
            std::string(kDosnet) + "\r\n[OptionalSrcDirs]\r\nlang\r\nsvcpack\r\n\r\n[Strings]\r\nx=\"y\"\r\n");
  EXPECT_EQ(CabextractFiles(m_i386 / "FOO.DLL", m_dir.path()),
            (std::map<std::string, std::string>{{"FOO.DLL", Dll(1300, "foo-new")}}));
}

TEST_F(HotfixIntegrationTest, SecondIntegrationIntoTheSameTree) {
  WriteFile(m_i386 / "FOO.DLL", Dll(1000, "foo-old"));
  WriteFile(m_i386 / "BAR.DLL", Dll(1000, "bar-old"));
  Package("KB111111.exe", {{"foo.dll", Dll(1300, "foo-new")}, {"KB111111.CAT", "cat"}});
  Problems first;
  ASSERT_TRUE(Integrate(first).ok());
  const std::string dosnetAfterFirst = ReadFile(m_i386 / "DOSNET.INF");

  // Again, with one more package: the copy already in SVCPACK blocks the first.
  Package("KB555555.exe", {{"bar.dll", Dll(1200, "bar-new")}});
  Problems second;
  ASSERT_TRUE(Integrate(second).ok());
  EXPECT_EQ(ReadFile(m_i386 / "SVCPACK.INF"),
            std::string(kSvcpackHeader) + "KB555555.EXE /Q /N /Z\r\nQCHAIN.EXE\r\n[ProductCatalogsToInstall]\r\n");
  EXPECT_TRUE(Mentions(second, "KB111111.exe"));
  EXPECT_FALSE(fs::exists(fs::path(g_tempDir) / "KB/KB111111"));  // not extracted again
  EXPECT_EQ(CabextractFiles(m_i386 / "BAR.DLL", m_dir.path()),
            (std::map<std::string, std::string>{{"BAR.DLL", Dll(1200, "bar-new")}}));
  EXPECT_EQ(CabextractFiles(m_i386 / "FOO.DLL", m_dir.path()),
            (std::map<std::string, std::string>{{"FOO.DLL", Dll(1300, "foo-new")}}));
  EXPECT_EQ(ReadFile(m_i386 / "DOSNET.INF"), dosnetAfterFirst);  // one svcpack line, not two
  EXPECT_EQ(Svcpack("KB111111.CAT"), "cat");
}

TEST_F(HotfixIntegrationTest, FileThatCannotBeOpenedStopsTheBuild) {
  fs::create_symlink(m_dir / "nowhere.dll", m_i386 / "GONE.DLL");
  Package("KB111111.exe", {{"foo.dll", Dll(1300, "foo-new")}});
  Problems problems;
  const Status status = Integrate(problems);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("GONE.DLL"), std::string::npos) << status.message();
}

TEST_F(HotfixIntegrationTest, MissingQchainIsReported) {
  fs::remove(m_dir / "cwd/QCHAIN.EXE");
  Package("KB111111.exe", {{"foo.dll", Dll(1300, "foo-new")}});
  Problems problems;
  ASSERT_TRUE(Integrate(problems).ok());
  EXPECT_TRUE(Mentions(problems, "QCHAIN.EXE"));
  EXPECT_FALSE(fs::exists(m_i386 / "SVCPACK/QCHAIN.EXE"));
  EXPECT_NE(ReadFile(m_i386 / "SVCPACK.INF").find("\r\nQCHAIN.EXE\r\n"), std::string::npos);
}

TEST_F(HotfixIntegrationTest, NoHotfixFolderTouchesNothing) {
  Problems problems;
  ASSERT_TRUE(IntegrateHotfixes("", m_i386, "5.1.2600.0", problems, {}).ok());
  EXPECT_FALSE(fs::exists(fs::path(g_tempDir) / "KB"));
  EXPECT_FALSE(fs::exists(m_i386 / "SVCPACK"));
  EXPECT_FALSE(fs::exists(m_i386 / "SVCPACK.INF"));
}

TEST_F(HotfixIntegrationTest, CollectFileRecordsReadsInnerNames) {
  WriteFile(m_i386 / "FOO.DL_", test::GcabCabinet(m_dir.path(), {{"foo.dll", Dll(1234, "f")}}));
  WriteFile(m_i386 / "PLAIN.DLL", Dll(77, "p"));
  WriteFile(m_i386 / "BROKEN.DL_", "MSCF");
  std::vector<FILE_VERSION_RECORD> records;
  Problems problems;
  ASSERT_TRUE(CollectFileRecords({m_i386 / "FOO.DL_", m_i386 / "PLAIN.DLL", m_i386 / "BROKEN.DL_"}, records, problems)
                  .ok());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].fileName, "foo.dll");
  EXPECT_EQ(records[0].filePath, m_i386 / "FOO.DL_");
  EXPECT_EQ(records[0].fileVersion, test::FileVersion(5, 1, 2600, 1234));
  EXPECT_EQ(records[1].fileName, "PLAIN.DLL");
  EXPECT_EQ(records[1].fileVersion, test::FileVersion(5, 1, 2600, 77));
  EXPECT_EQ(records[2].fileName, "BROKEN.DL_");  // expands to nothing: its own name, no version
  EXPECT_EQ(records[2].fileVersion, 0u);
  EXPECT_TRUE(Mentions(problems, "BROKEN.DL_"));
  // No file is written per compressed file.
  EXPECT_TRUE(fs::is_empty(fs::path(g_tempDir)));
}

}  // namespace
}  // namespace kolvenar
