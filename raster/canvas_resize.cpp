// Tessaly: changing the canvas size of a bitmap without scaling its pixels.
#include "raster/canvas_resize.h"

#include <algorithm>
#include <string>

#include "raster/image_proc.h"

namespace tessaly {

namespace {

// Moves a rectangle through a temporary bitmap: copy it out, fill its place
// with the value, copy it back at the target. Everything is clipped to the
// bitmap, so a rectangle may reach past the edges without harm.
void BlockMove(TImBitmap& bitmap, int32_t x, int32_t y, int32_t width, int32_t height, int32_t to_x,
               int32_t to_y, double value) {
  width = std::min(width, bitmap.Width() - x);
  height = std::min(height, bitmap.Height() - y);
  if (width <= 0 || height <= 0) return;
  TImBitmap block;
  if (!block.Allocate(width, height, bitmap.PixelFormat())) return;
  bitmap.CopyRectTo(block, x, y, width, height, 0, 0);
  bitmap.FillRect(x, y, x + width - 1, y + height - 1, value);
  block.CopyRectTo(bitmap, 0, 0, width, height, to_x, to_y);
}

// Before the size changes: bring the part that stays to the top-left corner.
void CropMoves(TImBitmap& bitmap, int32_t old_w, int32_t old_h, int32_t new_w, int32_t new_h, uint8_t ha,
               uint8_t va, double value) {
  if (new_w < old_w) {
    if (ha == kAlignCentre) BlockMove(bitmap, (old_w - new_w) / 2, 0, new_w, old_h, 0, 0, value);
    if (ha == kAlignEnd) BlockMove(bitmap, old_w - new_w, 0, new_w, old_h, 0, 0, value);
  }
  if (new_h < old_h) {
    if (va == kAlignCentre) BlockMove(bitmap, 0, (old_h - new_h) / 2, old_w, new_h, 0, 0, value);
    if (va == kAlignEnd) BlockMove(bitmap, 0, old_h - new_h, old_w, new_h, 0, 0, value);
  }
}

// After the size changes: fill the new area, then move the old pixels to
// their place (which fills the area they leave).
void PadMoves(TImBitmap& bitmap, int32_t old_w, int32_t old_h, int32_t new_w, int32_t new_h, uint8_t ha,
              uint8_t va, double value) {
  if (old_w < new_w) {
    bitmap.FillRect(old_w, 0, new_w - 1, new_h - 1, value);
    if (ha == kAlignCentre) BlockMove(bitmap, 0, 0, old_w, old_h, (new_w - old_w) / 2, 0, value);
    if (ha == kAlignEnd) BlockMove(bitmap, 0, 0, old_w, old_h, new_w - old_w, 0, value);
  }
  if (old_h < new_h) {
    bitmap.FillRect(0, old_h, new_w - 1, new_h - 1, value);
    if (va == kAlignCentre) BlockMove(bitmap, 0, 0, new_w, old_h, 0, (new_h - old_h) / 2, value);
    if (va == kAlignEnd) BlockMove(bitmap, 0, 0, new_w, old_h, 0, new_h - old_h, value);
  }
}

}  // namespace

bool ResizeCanvas(TImBitmap& bitmap, int32_t new_width, int32_t new_height, uint8_t horiz_align,
                  uint8_t vert_align, int32_t alpha, double fill) {
  if (new_width < 1 || new_height < 1 || bitmap.IsEmpty()) return false;
  const int32_t old_w = bitmap.Width(), old_h = bitmap.Height();
  const double alpha_value = std::clamp(alpha, 0, 255);
  CropMoves(bitmap, old_w, old_h, new_width, new_height, horiz_align, vert_align, fill);
  if (TImBitmap* a = bitmap.ExistingAlphaChannel()) {
    CropMoves(*a, old_w, old_h, new_width, new_height, horiz_align, vert_align, alpha_value);
  }
  if (!bitmap.SetSize(new_width, new_height)) return false;
  PadMoves(bitmap, old_w, old_h, new_width, new_height, horiz_align, vert_align, fill);
  if (TImBitmap* a = bitmap.ExistingAlphaChannel()) {
    PadMoves(*a, old_w, old_h, new_width, new_height, horiz_align, vert_align, alpha_value);
    a->SetAlphaFull(false);
  }
  return true;
}

void TImageProc::ImageResize(int32_t new_width, int32_t new_height, uint8_t horiz_align, uint8_t vert_align,
                             int32_t alpha) {
  if (bitmap_ == nullptr || bitmap_->IsEmpty() || new_width < 1 || new_height < 1) return;
  if (new_width == bitmap_->Width() && new_height == bitmap_->Height()) return;
  if (AutoUndo) {
    SaveUndo("ImageResize " + std::to_string(new_width) + "," + std::to_string(new_height), imuImage);
  }
  if (bitmap_->Width() < 2 && bitmap_->Height() < 2) {
    // A single pixel is no picture to keep: the canvas starts from the background.
    bitmap_->Fill(Background());
    FinishWork();
  }
  if (alpha < 255) bitmap_->AlphaChannel();
  ResizeCanvas(*bitmap_, new_width, new_height, horiz_align, vert_align, alpha, Background());
  FinishWork();
}

}  // namespace tessaly
