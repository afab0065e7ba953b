// Tessaly tests: tessaly-batch against the batch run it drives.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/batch_options.h"
#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::ReadFileBytes;
using testing::RunCommand;
using testing::TempDir;
namespace fs = std::filesystem;

#ifdef TESSALY_BATCH_BIN
TEST(BatchCli, WritesTheSameFilesAsTheBatchRun) {
  TempDir dir;
  fs::create_directories(dir.File("in"));
  for (int i = 0; i < 3; ++i) {
    TImageHolder holder;
    ASSERT_TRUE(holder.Bitmap().Allocate(60 + 10 * i, 40, im24RGB));
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < holder.Bitmap().Width(); ++x) {
        holder.Bitmap().SetPixelRGB(x, y, TRGB{uint8_t(x * 4), uint8_t(y * 6), uint8_t(i * 80)});
      }
    }
    holder.IO().SaveFile(dir.File("in/p" + std::to_string(i) + ".bmp"));
  }
  const std::vector<std::string> args = {"--size", "32x24", "--keep-ratio", "--style", "border", "--smooth",
                                         "--name", "size", "--no-backup", "-q"};

  std::vector<std::string> direct_args = args;
  direct_args.insert(direct_args.end(), {"-o", dir.File("direct"), dir.File("in")});
  TBatchOptions options;
  std::string error;
  ASSERT_TRUE(ParseBatchOptions(direct_args, options, error)) << error;
  fs::create_directories(dir.File("direct"));
  testing::FakeServices services;
  TMainForm form(services);
  ApplyBatchOptions(options, form);
  form.AddPaths(options.Paths);
  form.DoClick();
  ASSERT_EQ(form.LastRun().Written, 3);

  std::string command = std::string(TESSALY_BATCH_BIN);
  for (const std::string& a : args) command += " '" + a + "'";
  command += " -o '" + dir.File("cli/made/here") + "' '" + dir.File("in") + "'";
  ASSERT_EQ(RunCommand(command), 0) << command;

  int compared = 0;
  for (const auto& entry : fs::directory_iterator(dir.File("direct"))) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(ReadFileBytes(entry.path().string()), ReadFileBytes(dir.File("cli/made/here/" + name))) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 3);
  EXPECT_TRUE(fs::exists(dir.File("direct/p0_32 x 24.bmp")));
}

TEST(BatchCli, ExitStatus) {
  TempDir dir;
  const std::string bin = TESSALY_BATCH_BIN;
  EXPECT_EQ(RunCommand(bin + " --help >/dev/null"), 0);
  EXPECT_EQ(RunCommand(bin + " '" + dir.Path() + "' 2>/dev/null"), 2);  // no size
  EXPECT_EQ(RunCommand(bin + " --size 10x10 --bogus x 2>/dev/null"), 2);
  testing::WriteFileBytes(dir.File("bad.bmp"), {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(RunCommand(bin + " -q --size 10x10 --no-backup '" + dir.File("bad.bmp") + "' 2>/dev/null"), 1);
  EXPECT_EQ(RunCommand(bin + " -q --size 0x10 '" + dir.File("bad.bmp") + "' 2>/dev/null"), 1);
}
#endif

TEST(BatchCli, OptionsFillTheWizardsControls) {
  TBatchOptions o;
  std::string error;
  ASSERT_TRUE(ParseBatchOptions({"--preset", "13", "-f", "png", "--png-level", "9", "--max-kb", "300", "x.bmp"},
                                o, error));
  testing::FakeServices services;
  TMainForm form(services);
  ApplyBatchOptions(o, form);
  const TWizardControls& c = form.Controls();
  EXPECT_EQ(c.CmbZoomSize.Text, "1920 x 1080");
  EXPECT_EQ(c.CmbFormat.Text, "*.png");
  EXPECT_TRUE(c.ChkConvFmt.Checked);
  EXPECT_TRUE(c.ChkCompress.Checked);
  EXPECT_EQ(form.FPngLevel, 9);
  EXPECT_EQ(form.FJpegQuality, 80);  // unset ones keep the I/O defaults
  EXPECT_EQ(form.FGifColors, 256);
  EXPECT_TRUE(c.ChkFileSize.Checked);
  EXPECT_EQ(c.EdtLessThan.Text, "300");
  EXPECT_TRUE(c.ChkBackup.Checked);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"x.bmp"}, {"--size", "10", "x"}, {"--preset", "20", "x"},
                                             {"--size", "1x1", "-f", "xyz", "x"}, {"--size", "1x1"},
                                             {"--size", "1x1", "--gif-colors", "3", "x"}}) {
    TBatchOptions ignored;
    EXPECT_FALSE(ParseBatchOptions(bad, ignored, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tessaly
