// Tessaly tests: JPEG files through the I/O object, end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::HaveProgram;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

void Paint(TImBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, im24RGB));
  for (int y = 0; y < height; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < width; ++x) {
      row[x] = TRGB{static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5),
                    static_cast<uint8_t>((x ^ y) * 3)};
    }
  }
}

// djpeg's output as bytes, for comparing a whole picture at once.
std::string Djpeg(const std::string& path, const TempDir& dir) {
  const std::string out = dir.File("djpeg.pnm");
  if (RunCommand("djpeg -pnm " + path + " > " + out) != 0) return "";
  const Bytes bytes = ReadFileBytes(out);
  return std::string(bytes.begin(), bytes.end());
}

// Our decode of a file as a PNM, the way djpeg writes it.
std::string AsPnm(const TImBitmap& bitmap) {
  const bool grey = bitmap.PixelFormat() == im8g;
  std::string out = (grey ? "P5\n" : "P6\n") + std::to_string(bitmap.Width()) + " " +
                    std::to_string(bitmap.Height()) + "\n255\n";
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (grey) {
        out += static_cast<char>(row[x]);
      } else {
        out += static_cast<char>(row[3 * x + 2]);
        out += static_cast<char>(row[3 * x + 1]);
        out += static_cast<char>(row[3 * x]);
      }
    }
  }
  return out;
}

TEST(JpegImageIO, LoadAndSaveFiles) {
  if (!HaveProgram("djpeg")) GTEST_SKIP() << "peer tools missing";
  TempDir dir;
  TImageIO io;
  Paint(*io.Bitmap(), 50, 30);
  io.IOParams.JpegColorSpace = jcGray;
  const uint8_t note[] = {'k', 'e', 'p', 't'};
  io.IOParams.JpegMarkers.AddMarker(0xFE, note, 4);
  io.SaveFile(dir.File("grey.JPEG"));
  ASSERT_FALSE(io.Aborted);
  EXPECT_EQ(io.IOParams.FileType, ftJPEG);

  // A grey file loads as grey with the native format, as djpeg shows it,
  // and is saved grey again with the record of the load.
  TImageIO grey;
  grey.SetNativePixelFormat(true);
  grey.IOParams.JpegQuality = 55;
  grey.LoadFile(dir.File("grey.JPEG"));
  ASSERT_FALSE(grey.Aborted);
  EXPECT_EQ(grey.Bitmap()->PixelFormat(), im8g);
  EXPECT_EQ(grey.IOParams.JpegQuality, 55);  // a load leaves the write options
  EXPECT_EQ(grey.IOParams.DpiX, 300);
  EXPECT_EQ(AsPnm(*grey.Bitmap()), Djpeg(dir.File("grey.JPEG"), dir));
  grey.SaveFile(dir.File("again.jpg"));
  ASSERT_FALSE(grey.Aborted);
  EXPECT_EQ(Djpeg(dir.File("again.jpg"), dir).substr(0, 2), "P5");
  // The comment came through the load and both saves.
  TImageIO third;
  third.LoadFile(dir.File("again.jpg"));
  ASSERT_EQ(third.IOParams.JpegMarkers.Count(), 1);
  EXPECT_EQ(third.IOParams.JpegMarkers.MarkerData(0), Bytes(note, note + 4));

  // A colour file named for another format is found by its content.
  TImageIO rgb;
  Paint(*rgb.Bitmap(), 64, 48);
  rgb.IOParams.JpegQuality = 92;
  rgb.IOParams.JpegSubsampling = 0;
  rgb.SaveFile(dir.File("colour.jpe"));
  ASSERT_FALSE(rgb.Aborted);
  std::rename(dir.File("colour.jpe").c_str(), dir.File("photo.png").c_str());
  TImageIO found;
  found.LoadFileByContent(dir.File("photo.png"));
  ASSERT_FALSE(found.Aborted);
  EXPECT_EQ(found.IOParams.FileType, ftJPEG);
  EXPECT_EQ(AsPnm(*found.Bitmap()), Djpeg(dir.File("photo.png"), dir));
}

TEST(JpegImageIO, StreamSavesAndOtherFormats) {
  TImageIO io;
  // A bilevel bitmap goes to the writer as it is and is widened there.
  TImBitmap& bitmap = *io.Bitmap();
  ASSERT_TRUE(bitmap.Allocate(17, 9, im1g));
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 17; ++x) bitmap.SetPixelBit(x, y, (x + y) % 2 == 0);
  }
  io.StreamHeaders = true;
  TMemoryStream stream;
  io.SaveStreamJPEG(stream);
  ASSERT_FALSE(io.Aborted);
  const Bytes& bytes = stream.Bytes();
  ASSERT_GT(bytes.size(), 12u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{'J', 'F', 'I', 'F', 0, 0, 0, 0}));
  const uint32_t length = bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (bytes[11] << 24);
  EXPECT_EQ(length, bytes.size() - 12);
  TBufferStream image(bytes.data() + 12, static_cast<int64_t>(length));
  EXPECT_EQ(MeasureJpegStream(image), length);

  TMemoryStream plain;
  io.StreamHeaders = false;
  io.SaveStream(plain, ftJPEG);
  ASSERT_FALSE(io.Aborted);
  EXPECT_EQ(plain.Bytes(), Bytes(bytes.begin() + 12, bytes.end()));

  TImageIO back;
  plain.SetPosition(0);
  back.LoadStream(plain);
  ASSERT_FALSE(back.Aborted);
  EXPECT_EQ(back.Bitmap()->Width(), 17);
  EXPECT_EQ(back.Bitmap()->PixelFormat(), im24RGB);
  const TRGB white = back.Bitmap()->PixelRGB(0, 0);
  const TRGB black = back.Bitmap()->PixelRGB(1, 0);
  EXPECT_GT(white.g, 128);
  EXPECT_LT(black.g, 128);
}

}  // namespace
}  // namespace tessaly
