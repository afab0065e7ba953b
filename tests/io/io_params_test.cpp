// Tessaly tests: the parameter record of the I/O object.
#include <gtest/gtest.h>

#include "io/image_holder.h"
#include "io/image_io.h"
#include "io/io_params.h"

namespace tessaly {
namespace {

TEST(IOParams, FreshRecordOfAnAttachedObject) {
  TImageHolder holder;
  const TIOParamsVals& p = holder.IO().IOParams;
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.DpiX, 300);
  EXPECT_EQ(p.DpiY, 300);
  EXPECT_EQ(p.JpegQuality, 80);
  EXPECT_EQ(p.PngCompression, 5);
  EXPECT_TRUE(p.FileName.empty());
  EXPECT_EQ(p.FileType, ftUnknown);
  // The default resolution went through the setters, so the holder has it too.
  EXPECT_EQ(holder.DpiX(), 300);
  EXPECT_EQ(holder.DpiY(), 300);

  TIOParamsVals free_standing;
  EXPECT_EQ(free_standing.DpiX, 0);
  EXPECT_EQ(free_standing.DpiY, 0);
}

TEST(IOParams, DefaultsTakeTheHolderBitmapSize) {
  TImageHolder holder;
  ASSERT_TRUE(holder.Bitmap().Allocate(10, 7, im24RGB));
  EXPECT_EQ(holder.IO().IOParams.Width, 10);
  EXPECT_EQ(holder.IO().IOParams.Height, 7);
}

TEST(IOParams, ResolutionSettersReachTheExifTwinsAndTheHolder) {
  TImageHolder holder;
  TIOParamsVals& p = holder.IO().IOParams;
  p.SetDpiX(72.9);
  p.SetDpiY(150);
  EXPECT_EQ(p.DpiX, 72);
  EXPECT_DOUBLE_EQ(p.EXIF_XResolution, 72.9);
  EXPECT_EQ(p.DpiY, 150);
  EXPECT_DOUBLE_EQ(p.EXIF_YResolution, 150.0);
  EXPECT_EQ(holder.DpiX(), 72);
  EXPECT_EQ(holder.DpiY(), 150);
}

TEST(IOParams, SwitchesAreCopiedIntoTheFormatGroups) {
  TIOParamsVals p;
  p.SetAutoOrientation(true);
  p.SetPreferThumbnail(true);
  EXPECT_TRUE(p.JpegAutoRotate);
  EXPECT_TRUE(p.JpegLoadExifThumbnail);
  p.SetAutoOrientation(false);
  EXPECT_FALSE(p.JpegAutoRotate);
}

TEST(IOParams, ResetInfoKeepsSettingsAndEmptiesInformation) {
  TIOParamsVals p;
  p.JpegQuality = 55;
  p.PngCompression = 2;
  p.PngTextKeys = {"Title"};
  p.PngTextValues = {"Harbour"};
  p.ResetInfo();
  EXPECT_EQ(p.JpegQuality, 55);
  EXPECT_EQ(p.PngCompression, 2);
  EXPECT_TRUE(p.PngTextKeys.empty());
  EXPECT_TRUE(p.PngTextValues.empty());
}

TEST(IOParams, AssignGivesTheCopyItsOwnColourMapAndKeepsTheOwner) {
  TImageHolder holder;
  TIOParamsVals& owned = holder.IO().IOParams;
  TIOParamsVals source;
  TRGB colors[16];
  for (int i = 0; i < 16; ++i) colors[i] = TRGB{static_cast<uint8_t>(i), 0, 0};
  source.SetColorMap(colors, 16);
  source.JpegQuality = 33;
  source.FileName = "/photos/a.png";

  owned.Assign(source);
  source.ColorMap[3].b = 99;
  EXPECT_EQ(owned.Owner(), &holder.IO());
  EXPECT_EQ(owned.ColorMapCount, 16);
  EXPECT_EQ(owned.ColorMap.size() * sizeof(TRGB), 48u);
  EXPECT_EQ(owned.ColorMap[3].b, 3);
  EXPECT_EQ(owned.JpegQuality, 33);
  EXPECT_EQ(owned.FileName, "/photos/a.png");

  // A free-standing copy has no owner, so it tells no holder anything.
  TIOParamsVals copy(owned);
  EXPECT_EQ(copy.Owner(), nullptr);
  copy.SetDpiX(10);
  EXPECT_EQ(holder.DpiX(), 300);
}

}  // namespace
}  // namespace tessaly
