// Tessaly tests: the processing object: resample in place, undo store, notifications.
#include "raster/image_proc.h"

#include <gtest/gtest.h>

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
