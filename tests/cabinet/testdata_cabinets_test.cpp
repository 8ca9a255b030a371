// The public test cabinets of libmspack: what we make of each of them.
#include <gtest/gtest.h>

#include "install/cabinet/cabinet.h"
#include "tests/cabinet/cabinet_test_util.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;

struct Case {
  const char* file;
  int cabextractStatus;  // `cabextract -t` (README of the test files)
  bool ok;               // our outcome
  size_t filesKept;      // complete files in the destination afterwards
};

// Where we differ from cabextract's status, the comment says why. The count of
// kept files is ours: a member cut short by damage is removed, only the members
// extracted completely before it stay.
const Case kCases[] = {
    {"bad_folderindex.cab", 1, false, 0},
    {"bad_nofiles.cab", 1, false, 0},
    {"bad_nofolders.cab", 1, false, 0},
    {"bad_signature.cab", 1, false, 0},
    {"cve-2010-2800-mszip-infinite-loop.cab", 1, false, 0},
    {"cve-2014-9556-qtm-infinite-loop.cab", 1, false, 0},
    {"cve-2014-9732-folders-segfault.cab", 1, false, 1},
    {"cve-2015-4470-mszip-over-read.cab", 1, false, 0},
    {"cve-2015-4471-lzx-under-read.cab", 1, false, 0},
    {"cve-2017-11423-fname-overread.cab", 1, false, 0},
    {"cve-2018-18584-qtm-max-size-block.cab", 1, false, 0},
    {"filename-read-violation-1.cab", 1, false, 0},
    {"filename-read-violation-2.cab", 1, false, 0},
    {"filename-read-violation-3.cab", 1, false, 0},
    {"filename-read-violation-4.cab", 1, false, 0},
    {"hidden-file-bad-folderid.cab", 1, false, 0},
    {"hidden-file-beyond-eof.cab", 1, false, 0},
    {"hidden-files.cab", 0, true, 2},
    {"lzx-main-tree-no-lengths.cab", 1, false, 0},
    {"lzx-premature-matches.cab", 1, false, 0},
    {"mszip_lzx_qtm.cab", 0, true, 3},
    // A set's parts continue into each other; alone, none is complete.
    {"multi_basic_pt1.cab", 1, false, 0},
    {"multi_basic_pt2.cab", 1, false, 0},
    {"multi_basic_pt3.cab", 1, false, 0},
    {"multi_basic_pt4.cab", 1, false, 0},
    {"multi_basic_pt5.cab", 1, false, 0},
    {"normal_255c_filename.cab", 0, true, 1},
    {"normal_2files_1folder.cab", 0, true, 2},
    {"normal_2files_2folders.cab", 0, true, 4},
    {"partial_nodata.cab", 1, false, 0},
    {"partial_nofiles.cab", 1, false, 0},
    {"partial_nofolder.cab", 1, false, 0},
    {"partial_shortextheader.cab", 1, false, 0},
    {"partial_shortfile1.cab", 1, false, 0},
    {"partial_shortfile2.cab", 1, false, 0},
    {"partial_shortfolder.cab", 1, false, 0},
    {"partial_shortheader.cab", 1, false, 0},
    {"partial_str_nofname.cab", 1, false, 0},
    {"partial_str_noninfo.cab", 1, false, 0},
    {"partial_str_nonname.cab", 1, false, 0},
    {"partial_str_nopinfo.cab", 1, false, 0},
    {"partial_str_nopname.cab", 1, false, 0},
    {"partial_str_shortfname.cab", 1, false, 0},
    {"partial_str_shortninfo.cab", 1, false, 0},
    {"partial_str_shortnname.cab", 1, false, 0},
    {"partial_str_shortpinfo.cab", 1, false, 0},
    {"partial_str_shortpname.cab", 1, false, 0},
    {"reserve_---.cab", 0, true, 2},
    {"reserve_--D.cab", 0, true, 2},
    {"reserve_-F-.cab", 0, true, 2},
    {"reserve_-FD.cab", 0, true, 2},
    {"reserve_H--.cab", 0, true, 2},
    {"reserve_H-D.cab", 0, true, 2},
    {"reserve_HF-.cab", 0, true, 2},
    {"reserve_HFD.cab", 0, true, 2},
    // Two cabinets in other bytes: only the first is expanded (2 of cabextract's 4).
    {"search_basic.cab", 0, true, 2},
    // Its only cabinet has a non-zero first reserved field: "MSCF" there is not a
    // cabinet start, so no cabinet is found (cabextract searches more loosely).
    {"search_tricky1.cab", 0, false, 0},
};

TEST(TestdataCabinetsTest, EachGivesItsOutcome) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const fs::path source = test::TestDataPath(std::string("cabs/") + c.file);
    ASSERT_TRUE(fs::exists(source));
    test::TempDir dir;
    const fs::path destination = dir / "out";
    const fs::path work = dir / "work";
    fs::create_directories(work);
    const Status status = ExpandCabinet(source, destination, work, true);
    EXPECT_EQ(status.ok(), c.ok) << status.message();
    // The table keeps cabextract's verdict but for the one case explained above.
    EXPECT_TRUE(c.ok == (c.cabextractStatus == 0) || std::string(c.file) == "search_tricky1.cab");
    if (!status.ok()) {
      EXPECT_NE(status.message().find(c.file), std::string::npos) << status.message();
    }
    EXPECT_EQ(test::ListFiles(destination).size(), c.filesKept);
    // Nothing beside the destination, nothing left in the work folder.
    for (const std::string& entry : test::ListEntries(dir.path())) {
      EXPECT_TRUE(entry == "work" || entry == "out" || entry.rfind("out/", 0) == 0) << entry;
    }
  }
}

TEST(TestdataCabinetsTest, ExpandsMszipLzxAndQuantumFoldersToTheBytesCabextractGives) {
  if (!test::HaveProgram("cabextract")) GTEST_SKIP() << "cabextract is not installed";
  test::TempDir dir;
  const fs::path source = test::TestDataPath("cabs/mszip_lzx_qtm.cab");
  ASSERT_TRUE(ExpandCabinet(source, dir / "ours", dir.path(), true).ok());
  ASSERT_EQ(test::RunCommand("cabextract -q -d '" + (dir / "peer").string() + "' '" + source.string() + "'"), 0);
  const auto files = test::ListFiles(dir / "peer");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(test::ListFiles(dir / "ours"), files);
  for (const std::string& f : files) {
    EXPECT_EQ(test::ReadFile(dir / "ours" / f), test::ReadFile(dir / "peer" / f)) << f;
  }
}

}  // namespace
}  // namespace kolvenar
