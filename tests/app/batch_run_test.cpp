// Tessaly tests: the batch run, driven with fake services over real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::FakeServices;
using testing::FileExists;
using testing::ReadFileBytes;
using testing::TempDir;
namespace fs = std::filesystem;

/// Writes a width x height 24-bit photo: a gradient, so that sizes and
/// positions can be told apart.
void WritePhoto(const std::string& path, int width, int height, uint8_t tint = 0) {
  TImageHolder holder;
  TImBitmap& b = holder.Bitmap();
  ASSERT_TRUE(b.Allocate(width, height, im24RGB));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      b.SetPixelRGB(x, y, TRGB{tint, static_cast<uint8_t>(y * 255 / std::max(1, height - 1)),
                               static_cast<uint8_t>(x * 255 / std::max(1, width - 1))});
    }
  }
  holder.IO().SaveFile(path);
  ASSERT_FALSE(holder.IO().Aborted) << path;
}

struct LoadedSize {
  int width = 0, height = 0;
  bool ok = false;
};
LoadedSize SizeOf(const std::string& path) {
  TImageHolder holder;
  holder.IO().LoadFile(path);
  return {holder.Bitmap().Width(), holder.Bitmap().Height(), !holder.IO().Aborted};
}

class BatchRun : public ::testing::Test {
 protected:
  TempDir dir;
  FakeServices services;
  TMainForm form{services};
  TWizardControls& c = form.Controls();

  void SetUp() override { services.message_answer = kResultCancel; }

  /// Adds a photo as intake records it.
  void Add(const std::string& path) { form.AddPaths({path}); }
  /// Adds a record with a size text of our choosing.
  void AddRecord(const std::string& path, const std::string& size_kb) {
    TPhotoRecord r;
    r.PhotoPath = path;
    const LoadedSize s = SizeOf(path);
    r.PhotoWidth = s.width;
    r.PhotoHeight = s.height;
    r.SizeKBText = size_kb;
    form.PhotoList().AddCopy(r);
  }
  void Preset(int index) {
    c.CmbZoomSize.Select(index);
    c.ZoomSizeChanged();
  }
  void Custom(const std::string& w, const std::string& h) {
    c.CmbZoomSize.Select(0);
    c.EdtWidth.Text = w;
    c.EdtHeight.Text = h;
  }
};

TEST_F(BatchRun, EmptyListShowsTheFinalMessageWithAnEmptyFolder) {
  services.message_answer = kResultOK;
  form.DoClick();
  EXPECT_TRUE(services.progress_shown);
  EXPECT_EQ(services.progress_caption, "Processing...");
  EXPECT_EQ(services.progress_maximum, 0);
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_EQ(services.messages[0],
            "Your image has been output to the following directory:\r\rClick OK to view the directory.");
  ASSERT_EQ(services.opened_folders.size(), 1u);  // OK opens the folder
}

TEST_F(BatchRun, SizesAreCheckedBeforeAnythingHappens) {
  Custom("abc", "100");
  try {
    form.DoClick();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  Custom("0", "100");
  EXPECT_THROW(form.DoClick(), EBatchSettings);
  EXPECT_FALSE(services.progress_shown);
  EXPECT_FALSE(form.Running());
}

TEST_F(BatchRun, NoEnlargeSkipsOnlyWhenBothSidesAreSmaller) {
  WritePhoto(dir.File("wide.bmp"), 640, 600);
  WritePhoto(dir.File("small.bmp"), 640, 480);
  Add(dir.File("wide.bmp"));
  Add(dir.File("small.bmp"));
  Preset(5);  // 800 x 600
  c.ChkNoZoomSmall.Checked = true;
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_out";
  form.DoClick();
  EXPECT_EQ(SizeOf(dir.File("wide_out.bmp")).width, 800);
  EXPECT_FALSE(FileExists(dir.File("small_out.bmp")));
  EXPECT_TRUE(FileExists(dir.File("backup/wide.bmp")));
  EXPECT_FALSE(FileExists(dir.File("backup/small.bmp")));
  EXPECT_EQ(services.progress_values, (std::vector<int>{0, 1, 2}));  // every photo counts
}

TEST_F(BatchRun, SizeLimitSkipsBelowAndShrinksFromTheRecordedSize) {
  WritePhoto(dir.File("a.bmp"), 100, 80);
  WritePhoto(dir.File("b.bmp"), 100, 80);
  AddRecord(dir.File("a.bmp"), "199");
  AddRecord(dir.File("b.bmp"), "200");
  Preset(5);
  c.ChkFileSize.Checked = true;
  c.EdtLessThan.Text = "200";
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_s";
  c.ChkBackup.Checked = false;
  form.DoClick();
  EXPECT_FALSE(FileExists(dir.File("a_s.bmp")));
  // The first try is already 19/20 of the recorded size, and 24 KB is under the limit.
  const LoadedSize b = SizeOf(dir.File("b_s.bmp"));
  EXPECT_EQ(b.width, 95);
  EXPECT_EQ(b.height, 76);
}

TEST_F(BatchRun, ShrinkStopsWhenNothingChangesAndAtALimitOfZero) {
  WritePhoto(dir.File("tiny.bmp"), 11, 11);
  AddRecord(dir.File("tiny.bmp"), "1");
  Preset(5);
  c.ChkFileSize.Checked = true;
  c.EdtLessThan.Text = "1";  // a 10 x 10 BMP still takes 1 KB: unreachable
  c.ChkBackup.Checked = false;
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_1";
  form.DoClick();
  const LoadedSize one = SizeOf(dir.File("tiny_1.bmp"));
  EXPECT_EQ(one.width, 10);  // Round(11 x 19 / 20) = 10, and Round(10 x 19 / 20) = 10
  EXPECT_EQ(one.height, 10);

  c.EdtLessThan.Text = "0";
  c.EdtPostfix.Text = "_0";
  form.DoClick();
  EXPECT_EQ(SizeOf(dir.File("tiny_0.bmp")).width, 11);
}

TEST_F(BatchRun, LimitTextThatIsNotDigitsIsNoLimit) {
  WritePhoto(dir.File("p.bmp"), 30, 20);
  AddRecord(dir.File("p.bmp"), "5");
  Custom("12", "8");
  c.ChkFileSize.Checked = true;
  c.ChkBackup.Checked = false;
  for (const char* text : {"", " 10", "1a", "-3"}) {
    c.EdtLessThan.Text = text;
    form.DoClick();
    EXPECT_EQ(SizeOf(dir.File("p.bmp")).width, 12) << "'" << text << "'";
    WritePhoto(dir.File("p.bmp"), 30, 20);
  }
}

TEST_F(BatchRun, CropAndBorderOfA4000By3000Photo) {
  WritePhoto(dir.File("big.bmp"), 4000, 3000, 40);
  Add(dir.File("big.bmp"));
  Custom("800", "800");
  c.ChkKeepZoom.Checked = true;
  c.ChkBackup.Checked = false;
  c.CmbFilename.Select(2);

  c.GrpStyle.ItemIndex = 0;
  c.EdtPostfix.Text = "_crop";
  form.DoClick();
  TImageHolder crop;
  crop.IO().LoadFile(dir.File("big_crop.bmp"));
  ASSERT_EQ(crop.Bitmap().Width(), 800);
  ASSERT_EQ(crop.Bitmap().Height(), 800);
  // 1067 x 800 cut around its centre: the left column is no longer the photo's left edge.
  EXPECT_GT(crop.Bitmap().PixelRGB(0, 400).r, 10);

  c.GrpStyle.ItemIndex = 1;
  c.EdtPostfix.Text = "_border";
  form.DoClick();
  TImageHolder border;
  border.IO().LoadFile(dir.File("big_border.bmp"));
  ASSERT_EQ(border.Bitmap().Width(), 800);
  ASSERT_EQ(border.Bitmap().Height(), 800);
  // 800 x 600 with 100-pixel white bands above and below.
  for (int y : {0, 99, 700, 799}) EXPECT_EQ(border.Bitmap().PixelRGB(400, y), (TRGB{255, 255, 255})) << y;
  for (int y : {100, 699}) EXPECT_EQ(border.Bitmap().PixelRGB(400, y).b, 40) << y;
}

TEST_F(BatchRun, NameSchemes) {
  WritePhoto(dir.File("a.b.bmp"), 20, 10);
  WritePhoto(dir.File("holiday.bmp"), 20, 10);
  Add(dir.File("a.b.bmp"));
  Add(dir.File("holiday.bmp"));
  c.ChkBackup.Checked = false;
  Preset(6);
  c.CmbFilename.Select(1);
  form.DoClick();
  EXPECT_TRUE(FileExists(dir.File("a.b_1024 x 768.bmp")));
  Preset(5);
  form.DoClick();
  EXPECT_TRUE(FileExists(dir.File("holiday_800 x 600.bmp")));
}

TEST_F(BatchRun, WritesOverTheSourceAfterItsBackupAndKeepsTheFirstBackup) {
  WritePhoto(dir.File("p.bmp"), 40, 30);
  const std::vector<uint8_t> original = ReadFileBytes(dir.File("p.bmp"));
  Add(dir.File("p.bmp"));
  Custom("20", "15");
  form.DoClick();
  EXPECT_EQ(ReadFileBytes(dir.File("backup/p.bmp")), original);
  EXPECT_EQ(SizeOf(dir.File("p.bmp")).width, 20);
  Custom("10", "5");
  form.DoClick();
  EXPECT_EQ(SizeOf(dir.File("p.bmp")).width, 10);
  EXPECT_EQ(ReadFileBytes(dir.File("backup/p.bmp")), original);  // not replaced by the second run
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".tessaly-", 0), std::string::npos) << entry.path();
  }
}

TEST_F(BatchRun, CancelTakesEffectAtTheNextPhoto) {
  for (const char* name : {"1.bmp", "2.bmp", "3.bmp"}) {
    WritePhoto(dir.File(name), 8, 8);
    Add(dir.File(name));
  }
  Custom("4", "4");
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_x";
  c.ChkBackup.Checked = false;
  // Cancel is pressed while the first photo is being worked on.
  services.on_pump = [this](int pump) {
    if (pump == 1) services.cancel();
  };
  form.DoClick();
  EXPECT_TRUE(FileExists(dir.File("1_x.bmp")));
  EXPECT_FALSE(FileExists(dir.File("2_x.bmp")));
  EXPECT_FALSE(FileExists(dir.File("3_x.bmp")));
  EXPECT_TRUE(services.messages.empty());
  EXPECT_TRUE(form.LastRun().Cancelled);
}

TEST_F(BatchRun, TwoFoldersWithoutAnOutputPath) {
  fs::create_directories(dir.File("one"));
  fs::create_directories(dir.File("two"));
  WritePhoto(dir.File("one/a.bmp"), 8, 8);
  WritePhoto(dir.File("two/b.bmp"), 8, 8);
  Add(dir.File("one/a.bmp"));
  Add(dir.File("two/b.bmp"));
  Custom("4", "4");
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_x";
  form.DoClick();
  EXPECT_TRUE(FileExists(dir.File("one/a_x.bmp")));
  EXPECT_TRUE(FileExists(dir.File("two/b_x.bmp")));
  ASSERT_EQ(services.messages.size(), 1u);
  EXPECT_NE(services.messages[0].find("\r" + dir.File("two/") + "\r"), std::string::npos);
}

TEST_F(BatchRun, AFailedSaveLeavesTheOldFileAndAFailedLoadWritesNothing) {
  WritePhoto(dir.File("good.bmp"), 8, 8);
  testing::WriteFileBytes(dir.File("broken.bmp"), {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
  Add(dir.File("good.bmp"));
  Add(dir.File("broken.bmp"));
  Custom("4", "4");
  c.ChkBackup.Checked = false;
  c.CmbFilename.Select(2);
  c.EdtPostfix.Text = "_x";
  form.DoClick();
  EXPECT_TRUE(FileExists(dir.File("good_x.bmp")));
  EXPECT_FALSE(FileExists(dir.File("broken_x.bmp")));  // not the previous photo's pixels
  EXPECT_EQ(form.LastRun().Failed, 1);

  // A format without a writer: the existing output stays byte for byte.
  form.PhotoList().Clear();
  Add(dir.File("good.bmp"));
  testing::WriteFileBytes(dir.File("good_x.cur"), {1, 2, 3});
  c.ChooseConvertFormat(true);
  c.CmbFormat.Items.push_back("*.cur");
  c.CmbFormat.SelectText("*.cur");
  form.DoClick();
  EXPECT_EQ(ReadFileBytes(dir.File("good_x.cur")), (std::vector<uint8_t>{1, 2, 3}));
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".tessaly-", 0), std::string::npos) << entry.path();
  }
}

TEST_F(BatchRun, AMissingOutputFolderEndsTheRunWithTheCreateError) {
  WritePhoto(dir.File("p.bmp"), 8, 8);
  Add(dir.File("p.bmp"));
  Custom("4", "4");
  c.ChkBackup.Checked = false;
  c.EdtPath.Text = dir.File("missing");
  try {
    form.DoClick();
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + dir.File("missing/p.bmp") + "\". No such file or directory.");
  }
  EXPECT_FALSE(form.Running());
}

}  // namespace
}  // namespace tessaly
