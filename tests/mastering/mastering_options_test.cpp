// The mastering command line: the text MasterCdImage makes, how it splits, and
// how the writer reads it.
#include "boot/mastering_options.h"

#include <gtest/gtest.h>

#include "boot/cd_image.h"
#include "install/command_line.h"

namespace kolvenar {
namespace {

TEST(MasteringOptionsTest, CommandLineTextHasTheFiveParts) {
  EXPECT_EQ(MakeMasteringCommandLine("WINDOWS", "/tmp/t/BOOTSECTOR.BIN", "/tmp/t/ROOT", "/home/u/cd.iso"),
            "-LWINDOWS -YD -N -H -X -OCI -M \"-B/tmp/t/BOOTSECTOR.BIN\" \"/tmp/t/ROOT\" \"/home/u/cd.iso\"");
}

TEST(MasteringOptionsTest, TheTextSplitsAsTheProgramReadsIt) {
  struct Case {
    const char* label;
    const char* temp;
    const char* iso;
    std::vector<std::string> arguments;
  };
  const Case cases[] = {
      {"WINDOWS", "/t/", "/o.iso",
       {"-LWINDOWS", "-YD", "-N", "-H", "-X", "-OCI", "-M", "-B/t/BOOTSECTOR.BIN", "/t/ROOT", "/o.iso"}},
      // The label is not quoted: a blank makes it two arguments.
      {"MY DISC", "/t/", "/o.iso",
       {"-LMY", "DISC", "-YD", "-N", "-H", "-X", "-OCI", "-M", "-B/t/BOOTSECTOR.BIN", "/t/ROOT", "/o.iso"}},
      // Paths are quoted: blanks stay inside them.
      {"WINDOWS", "/my temp/", "/cd images/a b.iso",
       {"-LWINDOWS", "-YD", "-N", "-H", "-X", "-OCI", "-M", "-B/my temp/BOOTSECTOR.BIN", "/my temp/ROOT",
        "/cd images/a b.iso"}},
      // A backslash that ends a path does not swallow the closing quote.
      {"WINDOWS", "/t\\", "/o\\",
       {"-LWINDOWS", "-YD", "-N", "-H", "-X", "-OCI", "-M", "-B/t\\BOOTSECTOR.BIN", "/t\\ROOT", "/o\\"}},
  };
  for (const Case& c : cases) {
    const std::string temp = c.temp;
    EXPECT_EQ(SplitWindowsCommandLine(MakeMasteringCommandLine(c.label, temp + "BOOTSECTOR.BIN", temp + "ROOT", c.iso)),
              c.arguments)
        << c.label << " " << c.temp;
  }
}

TEST(MasteringOptionsTest, ReadsTheOptions) {
  MasteringOptions options;
  ASSERT_TRUE(ParseMasteringOptions({"-LWINDOWS", "-YD", "-N", "-H", "-X", "-OCI", "-M", "-Bwork/BOOTSECTOR.BIN",
                                     "work/ROOT", "out.iso"},
                                    &options)
                  .ok());
  EXPECT_EQ(options.volumeLabel, "WINDOWS");
  ASSERT_TRUE(options.bootImage.has_value());
  EXPECT_EQ(*options.bootImage, "work/BOOTSECTOR.BIN");
  EXPECT_EQ(options.root, "work/ROOT");
  EXPECT_EQ(options.image, "out.iso");
  EXPECT_TRUE(options.longNames && options.includeHidden && options.shareIdenticalFiles && options.noSizeLimit);

  ASSERT_TRUE(ParseMasteringOptions({"root", "out.iso"}, &options).ok());
  EXPECT_FALSE(options.bootImage.has_value());
  EXPECT_FALSE(options.longNames || options.includeHidden || options.shareIdenticalFiles || options.noSizeLimit);
}

TEST(MasteringOptionsTest, RefusesWhatItCannotRead) {
  struct Case {
    std::vector<std::string> arguments;
    const char* named;  // the message names it
  };
  const Case cases[] = {
      {{"-LMY", "DISC", "-N", "/t/ROOT", "/o.iso"}, "/o.iso"},  // the split label leaves a stray path
      {{"-N", "/t/ROOT"}, "/t/ROOT"},
      {{}, "no root folder"},
      {{"-Lwindows", "r", "o"}, "windows"},
      {{"-L", "r", "o"}, "volume label"},
      {{"-LABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", "r", "o"}, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456"},
      {{"-B", "r", "o"}, "-B"},
      {{"-Q", "r", "o"}, "-Q"},
      {{"-NX", "r", "o"}, "-NX"},
      {{"-OZ", "r", "o"}, "-OZ"},
  };
  for (const Case& c : cases) {
    MasteringOptions options;
    const Status status = ParseMasteringOptions(c.arguments, &options);
    EXPECT_EQ(status.kind(), Status::Kind::kInvalidArgument) << c.named;
    EXPECT_NE(status.message().find(c.named), std::string::npos) << status.message();
  }
}

}  // namespace
}  // namespace kolvenar
