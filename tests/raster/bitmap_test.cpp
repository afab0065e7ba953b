// Tessaly tests: the bitmap container.
#include "raster/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaly {
namespace {

TEST(Bitmap, RowLengths) {
  struct Case { int32_t width; TImPixelLayout format; int32_t row_len; };
  const Case cases[] = {
      {1, im1g, 4},   {32, im1g, 4},     {33, im1g, 8},    {3, im24RGB, 12}, {5, im8g, 8},
      {4, im8g, 4},   {1, imGray16, 4},  {3, imRGB48, 20}, {1, imRGBA32, 4}, {7, imCIELab, 24},
  };
  for (const Case& c : cases) {
    TImBitmap b(c.width, 2, c.format);
    EXPECT_EQ(b.RowLen(), c.row_len) << c.width << " " << int(c.format);
    EXPECT_EQ(b.BitCount(), kBitsPerPixel[c.format]);
  }
  TImBitmap wide;
  wide.SetRowAlign(8);
  ASSERT_TRUE(wide.Allocate(5, 1, im24RGB));
  EXPECT_EQ(wide.RowLen(), 15);
}

TEST(Bitmap, RowsAreBottomUpInOneAlignedBlock) {
  TImBitmap b(10, 7, im24RGB);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b.ScanLine(b.Height() - 1)) % 64, 0u);
  EXPECT_EQ(b.ScanLine(0) - b.ScanLine(b.Height() - 1), b.RowLen() * (b.Height() - 1));
  EXPECT_EQ(b.ScanLine(2) - b.ScanLine(3), b.RowLen());
}

TEST(Bitmap, AllocateRules) {
  TImBitmap b;
  EXPECT_FALSE(b.Allocate(0, 10, im24RGB));
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_FALSE(b.Allocate(10, 10, imNoFormat));
  // A row or a total that overflows is refused instead of wrapping around.
  EXPECT_FALSE(b.Allocate(INT32_MAX, 1, imRGB48));
  EXPECT_FALSE(b.Allocate(INT32_MAX / 8, INT32_MAX, im24RGB));
  EXPECT_EQ(b.Width(), 0);

  ASSERT_TRUE(b.Allocate(4, 4, im8p));
  EXPECT_EQ(b.PaletteLength(), 256);
  b.ScanLine(0)[0] = 42;
  uint8_t* before = b.ScanLine(0);
  ASSERT_TRUE(b.Allocate(4, 4, im8p));  // unchanged size keeps the pixels
  EXPECT_EQ(b.ScanLine(0), before);
  EXPECT_EQ(b.ScanLine(0)[0], 42);
  b.SetRowAlign(32);  // a new alignment ends the shortcut
  ASSERT_TRUE(b.Allocate(4, 4, im8p));
  EXPECT_EQ(b.Location(), imMemoryBuffer);
  b.FreeImage();
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.PaletteLength(), 0);
}

TEST(Bitmap, AlphaFullFollowsWrites) {
  TImBitmap a(3, 3, im8g);
  a.Fill(255);
  EXPECT_TRUE(a.AlphaFull());
  a.SetPixelByte(1, 1, 254);
  EXPECT_FALSE(a.AlphaFull());
  a.Fill(255);
  a.FillRect(0, 0, 1, 1, 0);  // FillRect leaves the flag alone
  EXPECT_TRUE(a.AlphaFull());
  a.Fill(10);
  EXPECT_FALSE(a.AlphaFull());
}

TEST(Bitmap, AlphaChannelIsCreatedOpaqueOnFirstRequest) {
  TImBitmap b(4, 2, im24RGB);
  EXPECT_FALSE(b.HasAlphaChannel());
  TImBitmap* alpha = b.AlphaChannel();
  ASSERT_NE(alpha, nullptr);
  EXPECT_TRUE(alpha->IsAlphaChannel());
  EXPECT_EQ(alpha->PixelFormat(), im8g);
  EXPECT_EQ(alpha->Width(), 4);
  EXPECT_TRUE(alpha->AlphaFull());
  EXPECT_EQ(alpha->PixelByte(3, 1), 255);
  EXPECT_EQ(alpha->AlphaChannel(), nullptr);  // an alpha channel has none of its own
  EXPECT_FALSE(alpha->HasAlphaChannel());
  EXPECT_TRUE(b.Allocate(5, 5, im24RGB));
  EXPECT_FALSE(b.HasAlphaChannel());
}

TEST(Bitmap, RemoveAlphaChannelMergeArithmetic) {
  struct Case { uint8_t c; uint8_t a; uint8_t back; uint8_t expected; };
  // b + ((c - b) * a * 1024 >> 18): (c - b) * a / 256 rounded towards minus infinity.
  const Case cases[] = {
      {200, 255, 0, 199}, {200, 0, 0, 0},   {200, 128, 0, 100}, {0, 128, 255, 127},
      {0, 1, 255, 254},   {10, 255, 10, 10}, {255, 255, 0, 254}, {100, 77, 50, 65},
  };
  for (const Case& c : cases) {
    TImBitmap b(1, 1, im24RGB);
    b.SetPixelRGB(0, 0, TRGB{c.c, c.c, c.c});
    b.AlphaChannel()->SetPixelByte(0, 0, c.a);
    b.RemoveAlphaChannel(true, RGBToColor(TRGB{c.back, c.back, c.back}));
    EXPECT_FALSE(b.HasAlphaChannel());
    EXPECT_EQ(b.PixelRGB(0, 0).r, c.expected) << int(c.c) << " " << int(c.a) << " " << int(c.back);
  }
  TImBitmap kept(1, 1, im24RGB);
  kept.SetPixelRGB(0, 0, TRGB{9, 9, 9});
  kept.AlphaChannel()->SetPixelByte(0, 0, 0);
  kept.RemoveAlphaChannel(false, clWhite);
  EXPECT_EQ(kept.PixelRGB(0, 0), (TRGB{9, 9, 9}));
}

TEST(Bitmap, FillPerFormat) {
  TImBitmap rgba(3, 2, imRGBA32);
  for (int y = 0; y < 2; ++y) std::memset(rgba.ScanLine(y), 0x77, static_cast<size_t>(rgba.RowLen()));
  rgba.Fill(0x00332211);  // red 0x11, green 0x22, blue 0x33
  for (int x = 0; x < 3; ++x) {
    const uint8_t* p = rgba.ScanLine(1) + 4 * x;
    EXPECT_EQ(p[0], 0x33);
    EXPECT_EQ(p[1], 0x22);
    EXPECT_EQ(p[2], 0x11);
    EXPECT_EQ(p[3], 0x77);  // alpha untouched
  }
  TImBitmap bits(9, 1, im1g);
  bits.Fill(1);
  EXPECT_EQ(bits.ScanLine(0)[0], 0xFF);
  EXPECT_TRUE(bits.PixelBit(8, 0));
  bits.Fill(0);
  EXPECT_FALSE(bits.PixelBit(8, 0));
  TImBitmap deep(2, 1, imRGB48);
  deep.Fill(clWhite);
  EXPECT_EQ(deep.PixelRGB48(1, 0), (TRGB48{65535, 65535, 65535}));
  EXPECT_TRUE(deep.AlphaFull());
  TImBitmap grey(2, 2, imGray16);
  grey.Fill(65535);
  EXPECT_EQ(grey.PixelWord(1, 1), 65535);
  EXPECT_TRUE(grey.AlphaFull());
  TImBitmap lab(1, 1, imCIELab);
  lab.Fill(clBlack);
  EXPECT_EQ(lab.ScanLine(0)[0], 0);
}

TEST(Bitmap, FillRectClips) {
  TImBitmap b(4, 3, im8g);
  b.Fill(0);
  b.FillRect(-5, 1, 2, 10, 9);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.PixelByte(x, y), (y >= 1 && x <= 2) ? 9 : 0) << x << "," << y;
  }
}

TEST(Bitmap, CopyRectToClipsAndConverts) {
  TImBitmap src(4, 4, im8g);
  for (int y = 0; y < 4; ++y) for (int x = 0; x < 4; ++x) src.SetPixelByte(x, y, static_cast<uint8_t>(10 * y + x));
  TImBitmap dst(3, 3, im8g);
  dst.Fill(0);
  // A negative destination moves the source start right and down.
  src.CopyRectTo(dst, 0, 0, 4, 4, -1, -2);
  EXPECT_EQ(dst.PixelByte(0, 0), 21);
  EXPECT_EQ(dst.PixelByte(2, 1), 33);
  EXPECT_EQ(dst.PixelByte(0, 2), 0);

  TImBitmap bits(10, 1, im1g);
  bits.Fill(0);
  bits.SetPixelBit(3, 0, true);
  bits.SetPixelBit(9, 0, true);
  TImBitmap bits2(10, 1, im1g);
  bits2.Fill(0);
  bits.CopyRectTo(bits2, 3, 0, 7, 1, 1, 0);
  EXPECT_TRUE(bits2.PixelBit(1, 0));
  EXPECT_TRUE(bits2.PixelBit(7, 0));
  EXPECT_FALSE(bits2.PixelBit(3, 0));
  TImBitmap rgb(2, 1, im24RGB);
  bits.CopyRectTo(rgb, 2, 0, 2, 1, 0, 0);
  EXPECT_EQ(rgb.PixelRGB(0, 0), (TRGB{0, 0, 0}));
  EXPECT_EQ(rgb.PixelRGB(1, 0), (TRGB{255, 255, 255}));
  TImBitmap other(2, 1, imGray16);
  other.Fill(7);
  src.CopyRectTo(other, 0, 0, 2, 1, 0, 0);  // pairs without a rule copy nothing
  EXPECT_EQ(other.PixelWord(0, 0), 7);
}

TEST(Bitmap, AssignCopiesEverything) {
  TImBitmap src(3, 2, im8p);
  src.SetPaletteColor(5, TRGB{1, 2, 3});
  src.SetPaletteUsed(16);
  src.SetOneBitMethod(0);
  src.Fill(5);
  src.AlphaChannel()->SetPixelByte(2, 1, 7);
  TImBitmap dst(9, 9, im24RGB);
  dst.Assign(src);
  EXPECT_EQ(dst.Width(), 3);
  EXPECT_EQ(dst.PixelFormat(), im8p);
  EXPECT_EQ(dst.PixelByte(2, 1), 5);
  EXPECT_EQ(dst.PaletteColor(5), (TRGB{1, 2, 3}));
  EXPECT_EQ(dst.PaletteUsed(), 16);
  EXPECT_EQ(dst.OneBitMethod(), 0);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.AlphaChannel()->PixelByte(2, 1), 7);
  TImBitmap plain(2, 2, im24RGB);
  dst.Assign(plain);
  EXPECT_FALSE(dst.HasAlphaChannel());
}

TEST(Bitmap, SetSizeKeepsTopLeft) {
  TImBitmap b(3, 3, im24RGB);
  for (int y = 0; y < 3; ++y) for (int x = 0; x < 3; ++x) b.SetPixelRGB(x, y, TRGB{uint8_t(x), uint8_t(y), 9});
  b.AlphaChannel()->SetPixelByte(1, 1, 100);
  ASSERT_TRUE(b.SetWidth(5));
  ASSERT_TRUE(b.SetHeight(2));
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(b.PixelRGB(2, 1), (TRGB{2, 1, 9}));
  EXPECT_EQ(b.PixelRGB(4, 0), (TRGB{0, 0, 0}));
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaChannel()->Width(), 5);
  EXPECT_EQ(b.AlphaChannel()->PixelByte(1, 1), 100);
  EXPECT_EQ(b.AlphaChannel()->PixelByte(4, 0), 255);
}

TEST(Bitmap, IsGrayScale) {
  TImBitmap rgb(2, 1, im24RGB);
  rgb.Fill(0x00808080);
  EXPECT_TRUE(rgb.IsGrayScale());
  rgb.SetPixelRGB(1, 0, TRGB{1, 2, 2});
  EXPECT_FALSE(rgb.IsGrayScale());
  TImBitmap pal(1, 1, im8p);
  for (int i = 0; i < 256; ++i) pal.SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
  EXPECT_TRUE(pal.IsGrayScale());
  pal.SetPaletteColor(200, TRGB{0, 0, 1});
  EXPECT_FALSE(pal.IsGrayScale());
  EXPECT_TRUE(TImBitmap(1, 1, imCMYK).IsGrayScale());
}

TEST(Bitmap, AttachedBufferTopDown) {
  uint8_t buffer[2 * 4] = {1, 0, 0, 0, 2, 0, 0, 0};
  TImBitmap b;
  ASSERT_TRUE(b.AttachBuffer(buffer, 1, 2, im8g, true));
  EXPECT_EQ(b.PixelByte(0, 0), 1);
  EXPECT_EQ(b.PixelByte(0, 1), 2);
  ASSERT_TRUE(b.AttachBuffer(buffer, 1, 2, im8g, false));
  EXPECT_EQ(b.PixelByte(0, 0), 2);
}

TEST(Mask, PixelsBoxAndFull) {
  TImMask m;
  ASSERT_TRUE(m.Allocate(10, 5, 8));
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.RowLen(), 12);
  EXPECT_EQ(m.GetPixel(-1, 0), 0);
  m.SetPixel(20, 1, 9);  // outside: ignored
  EXPECT_TRUE(m.IsEmpty());
  m.SetPixel(3, 2, 9);
  m.SetPixel(7, 1, 255);
  EXPECT_EQ(m.X1(), 3);
  EXPECT_EQ(m.Y1(), 1);
  EXPECT_EQ(m.X2(), 7);
  EXPECT_EQ(m.Y2(), 2);
  m.Fill(255);
  EXPECT_TRUE(m.Full());
  m.SetPixel(0, 0, 3);
  EXPECT_FALSE(m.Full());
  m.Clear();
  EXPECT_TRUE(m.IsEmpty());
  ASSERT_TRUE(m.Allocate(9, 2, 1));
  m.SetPixel(8, 0, 1);
  EXPECT_EQ(m.GetPixel(8, 0), 255);
  EXPECT_EQ(m.ScanLine(0)[1], 0x80);
  ASSERT_TRUE(m.Resize(12, 3));
  EXPECT_EQ(m.GetPixel(8, 0), 255);
}

TEST(Mask, ToAndFromTheAlphaChannel) {
  TImMask m;
  ASSERT_TRUE(m.Allocate(3, 2, 8));
  m.Fill(255);
  m.SetPixel(1, 0, 0);
  TImBitmap alpha;
  alpha.CopyFromMask(&m);
  EXPECT_EQ(alpha.PixelFormat(), im8g);
  EXPECT_EQ(alpha.PixelByte(1, 0), 0);
  EXPECT_EQ(alpha.PixelByte(1, 1), 255);
  EXPECT_FALSE(alpha.AlphaFull());
  TImMask back;
  alpha.CopyToMask(back);
  EXPECT_EQ(back.BitsPerPixel(), 8);
  EXPECT_EQ(back.GetPixel(1, 0), 0);
  EXPECT_EQ(back.GetPixel(2, 1), 255);
  TImMask bits;
  ASSERT_TRUE(bits.Allocate(2, 1, 1));
  bits.SetPixel(1, 0, 1);
  alpha.CopyFromMask(&bits);
  EXPECT_EQ(alpha.PixelFormat(), im1g);
  EXPECT_TRUE(alpha.PixelBit(1, 0));
  alpha.CopyFromMask(nullptr);  // no mask: opaque
  EXPECT_EQ(alpha.ScanLine(0)[0], 0xFF);
  TImBitmap rgb(1, 1, im24RGB);
  rgb.SetPixelRGB(0, 0, TRGB{200, 200, 200});
  TImMask grey;
  rgb.CopyToMask(grey);
  EXPECT_EQ(grey.GetPixel(0, 0), 50);
}

}  // namespace
}  // namespace tessaly
