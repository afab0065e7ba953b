// Tessaly: an opacity plane that readers hand back and writers receive.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly {

/// A 1- or 8-bit plane, rows padded to 32 bits and stored bottom-up. In a
/// 1-bit mask a set bit is on, most significant bit leftmost. The box holds
/// the pixels set to non-zero.
class TImMask {
 public:
  static constexpr int32_t kEmptyBox = INT32_MAX;

  /// Zero-filled; clears the box and Full. False for a size that cannot be had.
  bool Allocate(int32_t width, int32_t height, int bits_per_pixel);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int BitsPerPixel() const { return bits_per_pixel_; }
  int32_t RowLen() const { return row_len_; }
  bool Full() const { return full_; }
  int32_t X1() const { return x1_; }
  int32_t Y1() const { return y1_; }
  int32_t X2() const { return x2_; }
  int32_t Y2() const { return y2_; }

  /// Row 0 is the top.
  uint8_t* ScanLine(int32_t row) { return data_.data() + static_cast<int64_t>(row_len_) * (height_ - 1 - row); }
  const uint8_t* ScanLine(int32_t row) const {
    return data_.data() + static_cast<int64_t>(row_len_) * (height_ - 1 - row);
  }
  /// 0 outside the plane; 0 or 255 for a 1-bit mask.
  int GetPixel(int32_t x, int32_t y) const;
  /// Ignored outside; a non-zero value grows the box, and in an 8-bit mask a
  /// value other than 255 clears Full.
  void SetPixel(int32_t x, int32_t y, int value);
  /// An 8-bit mask becomes Full exactly when the value is 255.
  void Fill(int value);
  /// Fill with 0 and empty the box.
  void Clear();
  bool IsEmpty() const { return x1_ == kEmptyBox; }
  /// Changes the size, keeping the top-left pixels.
  bool Resize(int32_t width, int32_t height);
  void SetFull(bool full) { full_ = full; }
  /// Marks the whole plane as possibly non-zero (after rows were written directly).
  void SetBoxToAll();

 private:
  void GrowBox(int32_t x, int32_t y);

  int32_t width_ = 0, height_ = 0;
  int bits_per_pixel_ = 8;
  int32_t row_len_ = 0;
  std::vector<uint8_t> data_;
  int32_t x1_ = kEmptyBox, y1_ = kEmptyBox, x2_ = 0, y2_ = 0;
  bool full_ = false;
};

}  // namespace tessaly
