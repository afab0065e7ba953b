// Tessaly: an opacity plane that readers hand back and writers receive.
#include "raster/mask.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

bool TImMask::Allocate(int32_t width, int32_t height, int bits_per_pixel) {
  data_.clear();
  width_ = height_ = row_len_ = 0;
  x1_ = y1_ = kEmptyBox;
  x2_ = y2_ = 0;
  full_ = false;
  if (width < 1 || height < 1 || (bits_per_pixel != 1 && bits_per_pixel != 8)) return false;
  const int64_t row_len = (static_cast<int64_t>(width) * bits_per_pixel + 31) / 32 * 4;
  if (row_len > INT32_MAX || row_len * height > (int64_t{1} << 40)) return false;
  data_.assign(static_cast<size_t>(row_len * height), 0);
  width_ = width;
  height_ = height;
  bits_per_pixel_ = bits_per_pixel;
  row_len_ = static_cast<int32_t>(row_len);
  return true;
}

int TImMask::GetPixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = ScanLine(y);
  if (bits_per_pixel_ == 1) return ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
  return row[x];
}

void TImMask::GrowBox(int32_t x, int32_t y) {
  if (IsEmpty()) {
    x1_ = x2_ = x;
    y1_ = y2_ = y;
    return;
  }
  x1_ = std::min(x1_, x);
  y1_ = std::min(y1_, y);
  x2_ = std::max(x2_, x);
  y2_ = std::max(y2_, y);
}

void TImMask::SetPixel(int32_t x, int32_t y, int value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* row = ScanLine(y);
  if (bits_per_pixel_ == 1) {
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
    if (value != 0) row[x >> 3] |= bit; else row[x >> 3] &= static_cast<uint8_t>(~bit);
  } else {
    row[x] = static_cast<uint8_t>(value);
    if (value != 255) full_ = false;
  }
  if (value != 0) GrowBox(x, y);
}

void TImMask::Fill(int value) {
  if (data_.empty()) return;
  const uint8_t byte = bits_per_pixel_ == 1 ? (value != 0 ? 0xFF : 0) : static_cast<uint8_t>(value);
  std::memset(data_.data(), byte, data_.size());
  if (value != 0) {
    SetBoxToAll();
  } else {
    x1_ = y1_ = kEmptyBox;
    x2_ = y2_ = 0;
  }
  if (bits_per_pixel_ == 8) full_ = value == 255;
}

void TImMask::Clear() { Fill(0); }

void TImMask::SetBoxToAll() {
  if (width_ == 0) return;
  x1_ = 0;
  y1_ = 0;
  x2_ = width_ - 1;
  y2_ = height_ - 1;
}

bool TImMask::Resize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return true;
  TImMask old = std::move(*this);
  if (!Allocate(width, height, old.bits_per_pixel_)) return false;
  const int32_t rows = std::min(height_, old.height_);
  const size_t bytes = static_cast<size_t>(std::min(row_len_, old.row_len_));
  for (int32_t y = 0; y < rows; ++y) std::memcpy(ScanLine(y), old.ScanLine(y), bytes);
  if (!old.IsEmpty()) {
    x1_ = std::min(old.x1_, width_ - 1);
    y1_ = std::min(old.y1_, height_ - 1);
    x2_ = std::min(old.x2_, width_ - 1);
    y2_ = std::min(old.y2_, height_ - 1);
  }
  full_ = old.full_ && width <= old.width_ && height <= old.height_;
  return true;
}

}  // namespace tessaly
