// Tessaly tests: canvas resize: crop and pad moves, alpha over new area, the 1 x 1 rule.
#include "raster/canvas_resize.h"

#include <gtest/gtest.h>

#include "raster/image_proc.h"

namespace tessaly {
namespace {

constexpr TColor kBackground = 0x00123456;  // red 0x56: never a pattern value below
constexpr int kAlpha = 77;

// Every pixel tells where it came from: blue and red the column, green the row.
TRGB PatternAt(int x, int y) { return TRGB{uint8_t(x & 0xFF), uint8_t(y), uint8_t(x >> 8)}; }
uint8_t AlphaPatternAt(int x, int y) { return uint8_t((x * 7 + y * 3) % 256); }

void Paint(TImBitmap& b, bool with_alpha) {
  const int w = b.Width(), h = b.Height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, PatternAt(x, y));
  }
  if (with_alpha) {
    TImBitmap* a = b.AlphaChannel();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) a->SetPixelByte(x, y, AlphaPatternAt(x, y));
    }
  }
}

TEST(CanvasResize, PixelsLandWhereTheAlignmentSays) {
  // Old pixel (x, y) is expected at (x + dx, y + dy); everything else is background.
  struct Case { int ow, oh, nw, nh; uint8_t ha, va; int dx, dy; };
  const Case cases[] = {
      {100, 50, 200, 100, 1, 1, 50, 25},    // padded both ways around the centre
      {200, 100, 100, 50, 1, 1, -50, -25},  // cropped around the centre
      {101, 10, 100, 10, 1, 0, 0, 0},       // a difference of 1 halves to 0
      {100, 10, 120, 10, 2, 0, 20, 0},      // padded on the left
      {300, 100, 200, 200, 1, 1, -50, 50},  // cropped across, padded down
      {120, 10, 100, 10, 2, 0, -20, 0},     // cropped from the left
      {10, 10, 10, 30, 0, 2, 0, 20},        // padded on top
      {10, 30, 10, 10, 0, 2, 0, -20},       // cropped from the top
      {10, 10, 15, 13, 0, 0, 0, 0},         // padded right and bottom
      {100, 10, 120, 16, 7, 9, 0, 0},       // unknown codes behave as 0
      {30, 20, 41, 31, 1, 1, 5, 5},         // odd differences: the extra pixel goes right and bottom
  };
  for (const Case& c : cases) {
    for (bool with_alpha : {false, true}) {
      TImBitmap b(c.ow, c.oh, im24RGB);
      Paint(b, with_alpha);
      ASSERT_TRUE(ResizeCanvas(b, c.nw, c.nh, c.ha, c.va, kAlpha, kBackground));
      ASSERT_EQ(b.Width(), c.nw);
      ASSERT_EQ(b.Height(), c.nh);
      ASSERT_EQ(b.HasAlphaChannel(), with_alpha);
      const TImBitmap* a = b.ExistingAlphaChannel();
      if (a != nullptr) {
        EXPECT_FALSE(a->AlphaFull());
      }
      int wrong = 0;
      for (int y = 0; y < c.nh; ++y) {
        for (int x = 0; x < c.nw; ++x) {
          const int sx = x - c.dx, sy = y - c.dy;
          const bool inside = sx >= 0 && sy >= 0 && sx < c.ow && sy < c.oh;
          const TRGB want = inside ? PatternAt(sx, sy) : ColorToRGB(kBackground);
          if (b.PixelRGB(x, y) != want) ++wrong;
          if (a != nullptr && a->PixelByte(x, y) != (inside ? AlphaPatternAt(sx, sy) : kAlpha)) ++wrong;
        }
      }
      EXPECT_EQ(wrong, 0) << c.ow << "x" << c.oh << " -> " << c.nw << "x" << c.nh << " align " << int(c.ha)
                          << "," << int(c.va) << (with_alpha ? " with alpha" : "");
    }
  }
}

TEST(CanvasResize, OtherFormatsMoveTheirPixels) {
  // Bits: a 1-bit column pattern padded around the centre.
  TImBitmap bits(9, 4, im1g);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 9; ++x) bits.SetPixelBit(x, y, (x % 3) == 0);
  }
  ASSERT_TRUE(ResizeCanvas(bits, 21, 4, 1, 0, 255, 0));
  for (int x = 0; x < 21; ++x) {
    const bool want = x >= 6 && x < 15 && ((x - 6) % 3) == 0;
    EXPECT_EQ(bits.PixelBit(x, 2), want) << x;
  }
  // Grey: background is read as a byte.
  TImBitmap grey(4, 4, im8g);
  grey.Fill(9);
  ASSERT_TRUE(ResizeCanvas(grey, 6, 4, 2, 0, 255, 200));
  EXPECT_EQ(grey.PixelByte(1, 0), 200);
  EXPECT_EQ(grey.PixelByte(2, 0), 9);
  EXPECT_FALSE(ResizeCanvas(grey, 0, 4, 1, 1, 255, 0));
  EXPECT_FALSE(ResizeCanvas(grey, -3, 4, 1, 1, 255, 0));
}

TEST(ImageResize, ThroughTheProcessor) {
  TImBitmap image(100, 50, im24RGB);
  Paint(image, false);
  TImageProc proc(true);
  proc.Attach(&image);
  proc.SetBackground(clWhite);
  int finished = 0;
  proc.OnFinishWork = [&](TImageProc&) { ++finished; };

  // Nothing for the current size or a zero side, and no undo entry.
  proc.ImageResize(100, 50, 1, 1, 0);
  proc.ImageResize(0, 80, 1, 1, 0);
  proc.ImageResize(80, -2, 1, 1, 0);
  EXPECT_EQ(image.Width(), 100);
  EXPECT_TRUE(proc.UndoEntries().empty());
  EXPECT_EQ(finished, 0);

  // Alpha 255 on an image without one creates none; white pads with 255 bytes.
  proc.ImageResize(110, 50, 0, 0, 255);
  EXPECT_FALSE(image.HasAlphaChannel());
  EXPECT_EQ(image.PixelRGB(105, 3), (TRGB{255, 255, 255}));
  ASSERT_EQ(proc.UndoEntries().size(), 1u);
  EXPECT_EQ(proc.UndoEntries()[0].Caption, "ImageResize 110,50");
  EXPECT_EQ(finished, 1);

  // A lower alpha creates the channel: opaque over the old pixels.
  proc.ImageResize(800, 800, 1, 1, 0);
  ASSERT_TRUE(image.HasAlphaChannel());
  EXPECT_EQ(proc.UndoEntries()[0].Caption, "ImageResize 800,800");
  EXPECT_EQ(image.ExistingAlphaChannel()->PixelByte(400, 400), 255);
  EXPECT_EQ(image.ExistingAlphaChannel()->PixelByte(0, 0), 0);
  EXPECT_EQ(image.PixelRGB(345, 375), PatternAt(0, 0));
}

TEST(ImageResize, SinglePixelBecomesBackgroundFirst) {
  TImBitmap image(1, 1, im24RGB);
  image.Fill(0x00010203);
  TImageProc proc(true);
  proc.Attach(&image);
  proc.SetBackground(kBackground);
  int finished = 0;
  proc.OnFinishWork = [&](TImageProc&) { ++finished; };
  proc.ImageResize(3, 2, 1, 1, 255);
  EXPECT_TRUE(proc.UndoEntries().empty());
  EXPECT_EQ(finished, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(image.PixelRGB(x, y), ColorToRGB(kBackground));
  }
}

}  // namespace
}  // namespace tessaly
