// Tessaly tests: the processing object: resample in place, undo store, notifications.
#include "raster/image_proc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tessaly {
namespace {

TEST(ImageProc, AutoUndoFollowsOwnership) {
  EXPECT_FALSE(TImageProc().AutoUndo);
  EXPECT_TRUE(TImageProc(true).AutoUndo);
}

TEST(ImageProc, ResampleInPlaceWithUndoCaptions) {
  TImBitmap image(400, 300, im24RGB);
  image.Fill(0x00102030);
  TImageProc proc(true);
  proc.Attach(&image);
  std::vector<std::string> events;
  proc.OnSaveUndo = [&](TImageProc&, TImUndoSource s) { events.push_back("undo " + std::to_string(s)); };
  proc.OnProgress = [&](TImageProc&, int p) {
    if (p == 100) events.push_back("100");
  };
  proc.OnFinishWork = [&](TImageProc&) { events.push_back("finish"); };

  proc.Resample(-1, 150, rfHermite);
  EXPECT_EQ(image.Width(), 200);
  EXPECT_EQ(image.Height(), 150);
  proc.Resample(640, 480, rfNone);
  EXPECT_EQ(image.Width(), 640);
  EXPECT_EQ(image.Height(), 480);
  EXPECT_EQ(image.PixelRGB(639, 479), ColorToRGB(0x00102030));

  // With the limit of 1 the second call's copy replaced the first.
  ASSERT_EQ(proc.UndoEntries().size(), 1u);
  const TImUndoEntry& entry = proc.UndoEntries()[0];
  EXPECT_EQ(entry.Caption, "Resample 640,480");
  EXPECT_EQ(entry.Source, imuImage);
  EXPECT_EQ(entry.Image->Width(), 200);
  EXPECT_EQ(entry.Image->Height(), 150);
  EXPECT_EQ(events, (std::vector<std::string>{"undo 0", "100", "finish", "undo 0", "100", "finish"}));

  proc.UndoLimit = 2;
  proc.Resample(0, 100, rfNone);
  ASSERT_EQ(proc.UndoEntries().size(), 2u);
  EXPECT_EQ(proc.UndoEntries()[0].Caption, "Resample 640,480");
  EXPECT_EQ(proc.UndoEntries()[1].Caption, "Resample 0,100");
  proc.UndoLimit = 0;
  proc.Resample(10, 10, rfNone);
  EXPECT_EQ(proc.UndoEntries().size(), 2u);
}

// Without an OnSaveUndo handler the image itself becomes the undo entry once
// the result exists; entries and results must equal those of a copy taken first.
TEST(ImageProc, UndoEntryByMoveEqualsACopy) {
  struct Case { TImPixelLayout format; TResampleFilter filter; bool alpha; int limit; };
  const Case cases[] = {
      {im24RGB, rfHermite, true, 1}, {im8p, rfNone, false, 1}, {im8g, rfHermite, false, 2},
      {im24RGB, rfNone, false, 3},
  };
  auto bytes_of = [](const TImBitmap& b) {
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < b.Height(); ++y) out.insert(out.end(), b.ScanLine(y), b.ScanLine(y) + b.RowLen());
    return out;
  };
  auto same = [&](const TImBitmap& a, const TImBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
        bytes_of(a) != bytes_of(b) || a.PaletteLength() != b.PaletteLength() || a.AlphaFull() != b.AlphaFull()) {
      return false;
    }
    for (int i = 0; i < a.PaletteLength(); ++i) {
      if (!(a.PaletteColor(i) == b.PaletteColor(i))) return false;
    }
    const TImBitmap* aa = a.ExistingAlphaChannel();
    const TImBitmap* ba = b.ExistingAlphaChannel();
    if ((aa == nullptr) != (ba == nullptr)) return false;
    return aa == nullptr || bytes_of(*aa) == bytes_of(*ba);
  };
  for (const Case& c : cases) {
    TImBitmap moved(61, 37, c.format), copied(61, 37, c.format);
    for (TImBitmap* b : {&moved, &copied}) {
      for (int32_t y = 0; y < b->Height(); ++y) {
        for (int32_t i = 0; i < b->RowLen(); ++i) b->ScanLine(y)[i] = uint8_t(i * 13 + y * 7);
      }
      if (c.format == im8p) {
        for (int i = 0; i < 256; ++i) b->SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
      }
      if (c.alpha) {
        TImBitmap* a = b->AlphaChannel();
        for (int32_t y = 0; y < a->Height(); ++y) std::memset(a->ScanLine(y), 40 + y, size_t(a->Width()));
      }
    }
    TImageProc by_move(true), by_copy(true);
    by_move.UndoLimit = by_copy.UndoLimit = c.limit;
    by_move.Attach(&moved);
    by_copy.Attach(&copied);
    int told = 0;
    by_copy.OnSaveUndo = [&](TImageProc&, TImUndoSource) { ++told; };  // forces the copy first
    for (auto [w, h] : {std::pair{30, 20}, std::pair{45, 44}, std::pair{7, 9}}) {
      by_move.Resample(w, h, c.filter);
      by_copy.Resample(w, h, c.filter);
      ASSERT_TRUE(same(moved, copied)) << int(c.format) << " " << w << "x" << h;
      ASSERT_EQ(by_move.UndoEntries().size(), by_copy.UndoEntries().size());
      for (size_t i = 0; i < by_move.UndoEntries().size(); ++i) {
        EXPECT_EQ(by_move.UndoEntries()[i].Caption, by_copy.UndoEntries()[i].Caption);
        EXPECT_TRUE(same(*by_move.UndoEntries()[i].Image, *by_copy.UndoEntries()[i].Image))
            << int(c.format) << " entry " << i;
      }
    }
    EXPECT_EQ(told, 3);
  }
}

TEST(ImageProc, CallsThatComputeNothingLeaveNoTrace) {
  struct Case { int32_t w, h, nw, nh; };
  const Case cases[] = {
      {400, 300, 400, 300},  // the current size
      {400, 300, 0, 0},      // which is also the current size
      {400, 300, -1, -1},    // both negative
      {400, 300, -3, -9},
  };
  for (const Case& c : cases) {
    TImBitmap image(c.w, c.h, im8g);
    image.Fill(17);
    TImageProc proc(true);
    proc.Attach(&image);
    int notifications = 0;
    proc.OnFinishWork = [&](TImageProc&) { ++notifications; };
    proc.Resample(c.nw, c.nh, rfHermite);
    EXPECT_EQ(image.Width(), c.w);
    EXPECT_EQ(image.Height(), c.h);
    EXPECT_EQ(image.PixelByte(0, 0), 17);
    EXPECT_TRUE(proc.UndoEntries().empty()) << c.nw << "," << c.nh;
    EXPECT_EQ(notifications, 0);
  }
  // An empty image, and no image at all.
  TImBitmap empty;
  TImageProc proc(true);
  proc.Attach(&empty);
  proc.Resample(10, 10, rfHermite);
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_TRUE(proc.UndoEntries().empty());
  proc.Attach(nullptr);
  proc.Resample(10, 10, rfHermite);
}

TEST(ImageProc, FailedResampleKeepsTheImage) {
  // Terabytes of result cannot be had; the photo must survive the attempt.
  TImBitmap image(40, 30, im24RGB);
  image.Fill(0x00010203);
  TImageProc proc;
  proc.Attach(&image);
  proc.Resample(2000000, 2000000, rfHermite);
  EXPECT_EQ(image.Width(), 40);
  EXPECT_EQ(image.Height(), 30);
  EXPECT_EQ(image.PixelRGB(39, 29), ColorToRGB(0x00010203));
}

TEST(ImageProc, SinglePixelImageIsScaledButNotSaved) {
  TImBitmap image(1, 1, im24RGB);
  image.Fill(0x00445566);
  TImageProc proc(true);
  proc.Attach(&image);
  proc.Resample(4, 3, rfHermite);
  EXPECT_TRUE(proc.UndoEntries().empty());
  ASSERT_EQ(image.Width(), 4);
  EXPECT_EQ(image.PixelRGB(3, 2), ColorToRGB(0x00445566));
}

TEST(ImageProc, ResampleToLeavesTheImageAlone) {
  TImBitmap image(10, 10, im24RGB);
  image.Fill(0x000000FF);
  TImageProc proc(true);
  proc.Attach(&image);
  TImBitmap out;
  ASSERT_TRUE(proc.ResampleTo(out, 5, -1, rfHermite));
  EXPECT_EQ(out.Width(), 5);
  EXPECT_EQ(out.Height(), 5);
  EXPECT_EQ(image.Width(), 10);
  EXPECT_TRUE(proc.UndoEntries().empty());
}

TEST(ImageProc, BackgroundIsTheOwnersWhenLent) {
  TImageProc proc;
  EXPECT_EQ(proc.Background(), 0u);
  proc.SetBackground(0x00ABCDEF);
  EXPECT_EQ(proc.Background(), 0x00ABCDEFu);

  TImBitmap image(2, 2, im24RGB);
  TColor owner = clBtnFace;
  int refreshed = 0;
  proc.Attach(&image, &owner, [&] { ++refreshed; });
  EXPECT_EQ(proc.Background(), clBtnFace);
  proc.SetBackground(clWhite);
  EXPECT_EQ(owner, clWhite);
  proc.Resample(3, 3, rfNone);
  EXPECT_EQ(refreshed, 1);
}

}  // namespace
}  // namespace tessaly
