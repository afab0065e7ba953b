// Tessaly tests: batch runs into JPEG and PNG, end to end.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/stream.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::TempDir;

/// A photo-like JPEG: smooth gradients with some texture, so that quality
/// and size matter.
void WriteJpeg(const std::string& path, int width, int height) {
  TImageHolder holder;
  TImBitmap& b = holder.Bitmap();
  ASSERT_TRUE(b.Allocate(width, height, im24RGB));
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int n = static_cast<int>((noise >> 16) & 31);
      b.SetPixelRGB(x, y, TRGB{static_cast<uint8_t>((x + y) * 255 / (width + height) / 2 + n),
                               static_cast<uint8_t>(y * 200 / height + n), static_cast<uint8_t>(x * 220 / width + n)});
    }
  }
  holder.IO().IOParams.JpegQuality = 95;
  holder.IO().SaveFile(path);
  ASSERT_FALSE(holder.IO().Aborted);
}

class BatchFormats : public ::testing::Test {
 protected:
  TempDir dir;
  testing::FakeServices services;
  TMainForm form{services};
  TWizardControls& c = form.Controls();

  void SetUp() override {
    services.message_answer = kResultCancel;
    c.ChkBackup.Checked = false;
    c.CmbFilename.Select(2);
  }
  void Size(const std::string& w, const std::string& h) {
    c.CmbZoomSize.Select(0);
    c.EdtWidth.Text = w;
    c.EdtHeight.Text = h;
  }
};

TEST_F(BatchFormats, JpegAtAChosenQualityAndUnderAKilobyteLimit) {
  WriteJpeg(dir.File("photo.jpg"), 640, 480);
  form.AddPaths({dir.File("photo.jpg")});
  Size("320", "240");
  // The compression settings reach the writer through the chosen output format.
  c.ChooseConvertFormat(true);
  c.CmbFormat.SelectText("*.jpg");
  c.ChkCompress.Checked = true;
  form.FJpegQuality = 30;
  c.EdtPostfix.Text = "_q30";
  form.DoClick();
  form.FJpegQuality = 95;
  c.EdtPostfix.Text = "_q95";
  form.DoClick();
  const auto low = std::filesystem::file_size(dir.File("photo_q30.jpg"));
  const auto high = std::filesystem::file_size(dir.File("photo_q95.jpg"));
  EXPECT_LT(low * 2, high);

  // The limit shrinks the photo by 19/20 steps until its JPEG encoding is under it.
  const int64_t full_kb = static_cast<int64_t>((std::filesystem::file_size(dir.File("photo.jpg")) + 1023) / 1024);
  const int64_t limit = full_kb / 3;
  c.ChkFileSize.Checked = true;
  c.EdtLessThan.Text = std::to_string(limit);
  c.EdtPostfix.Text = "_limited";
  form.DoClick();
  const std::string limited = dir.File("photo_limited.jpg");
  ASSERT_TRUE(testing::FileExists(limited));
  EXPECT_LT(static_cast<int64_t>((std::filesystem::file_size(limited) + 1023) / 1024), limit);
  TImageHolder check;
  check.IO().LoadFile(limited);
  EXPECT_LT(check.Bitmap().Width(), 640);
  // Each try rounds both sides again, so the ratio drifts a little.
  EXPECT_NEAR(check.Bitmap().Width() * 3.0 / 4.0, check.Bitmap().Height(), 4.0);
}

TEST_F(BatchFormats, PngWithABorderHasTransparentMargins) {
  WriteJpeg(dir.File("wide.jpg"), 400, 200);
  form.AddPaths({dir.File("wide.jpg")});
  Size("100", "100");
  c.ChkKeepZoom.Checked = true;
  c.GrpStyle.ItemIndex = 1;  // "Add Black Border"
  c.ChooseConvertFormat(true);
  c.CmbFormat.SelectText("*.png");
  c.EdtPostfix.Text = "_b";
  form.DoClick();
  TImageHolder out;
  out.IO().LoadFile(dir.File("wide_b.png"));
  ASSERT_FALSE(out.IO().Aborted);
  ASSERT_EQ(out.Bitmap().Width(), 100);
  ASSERT_EQ(out.Bitmap().Height(), 100);
  ASSERT_TRUE(out.Bitmap().HasAlphaChannel());
  TImBitmap* alpha = out.Bitmap().AlphaChannel();
  // 100 x 50 in the middle, 25-row margins above and below.
  for (int y : {0, 24, 75, 99}) EXPECT_EQ(alpha->PixelByte(50, y), 0) << y;
  for (int y : {25, 74}) EXPECT_EQ(alpha->PixelByte(50, y), 255) << y;
}

}  // namespace
}  // namespace tessaly
