// Tessaly: the one raster type of the system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "raster/mask.h"
#include "raster/pixel_types.h"

namespace tessaly {

class TImBitmap;

/// The row, size and palette operations every bitmap offers.
class TImBaseBitmap {
 public:
  virtual ~TImBaseBitmap() = default;
  virtual uint8_t* ScanLine(int32_t row) const = 0;
  virtual int BitCount() const = 0;
  virtual int32_t Height() const = 0;
  virtual int32_t Width() const = 0;
  virtual TImPixelLayout PixelFormat() const = 0;
  virtual int32_t RowLen() const = 0;
  virtual TRGB* Palette() = 0;
  virtual TRGB PaletteColor(int index) const = 0;
  virtual void SetPaletteColor(int index, TRGB color) = 0;
  virtual int PaletteLength() const = 0;
  virtual bool Allocate(int32_t width, int32_t height, TImPixelLayout format) = 0;
  virtual void Assign(const TImBitmap& source) = 0;
  virtual void CopyPaletteTo(TImBitmap& dest) const = 0;
};

/// A rectangle of pixels in one of ten formats, with an optional palette and
/// an optional alpha channel (an im8g companion, 255 opaque). Row 0 is the
/// top; rows are reached only through ScanLine.
class TImBitmap final : public TImBaseBitmap {
 public:
  TImBitmap();
  TImBitmap(int32_t width, int32_t height, TImPixelLayout format);
  ~TImBitmap() override;
  TImBitmap(const TImBitmap&) = delete;
  TImBitmap& operator=(const TImBitmap&) = delete;

  /// An alpha channel: im8g filled with 255, never with an alpha of its own.
  static std::unique_ptr<TImBitmap> CreateAlphaChannel(int32_t width, int32_t height,
                                                       TImBitmapStorage location);

  // ---- size and storage
  /// Discards the old pixels and alpha channel and provides storage for the
  /// new size and format. Contents are undefined. False (and a 0 x 0 bitmap)
  /// for an invalid or overflowing size or when no storage can be had.
  bool Allocate(int32_t width, int32_t height, TImPixelLayout format) override;
  void FreeImage();
  /// Uses caller memory as storage without owning it; rows are bottom-up
  /// unless top_down is set.
  bool AttachBuffer(uint8_t* buffer, int32_t width, int32_t height, TImPixelLayout format,
                    bool top_down);
  /// Keeps the overlapping top-left pixels; the alpha channel follows.
  bool SetWidth(int32_t width);
  bool SetHeight(int32_t height);
  bool SetSize(int32_t width, int32_t height);

  uint8_t* ScanLine(int32_t row) const override {
    if (top_down_) row = height_ - 1 - row;
    return bits_ + static_cast<ptrdiff_t>(row_len_) * (height_ - 1 - row);
  }
  /// A lease on a row; only a file-backed bitmap needs it released.
  uint8_t* AcquireRow(int32_t row) { return ScanLine(row); }
  void ReleaseRow(uint8_t*) {}

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  TImPixelLayout PixelFormat() const override { return format_; }
  int BitCount() const override { return kBitsPerPixel[format_]; }
  int ChannelCount() const { return kChannelsPerPixel[format_]; }
  int32_t RowLen() const override { return row_len_; }
  int RowAlign() const { return row_align_; }
  /// Padding unit of a row in bits (a multiple of 8); takes effect at the next Allocate.
  void SetRowAlign(int bits);
  TImBitmapStorage Location() const { return location_; }
  /// Moves the pixels to storage of another kind. Only the heap block exists
  /// on this platform, so every kind is kept there.
  void SetLocation(TImBitmapStorage location);
  int64_t FileThreshold() const { return file_threshold_; }
  void SetFileThreshold(int64_t bytes) { file_threshold_ = bytes; }
  uint8_t AllocKind() const { return alloc_kind_; }
  void SetAllocKind(uint8_t kind) { alloc_kind_ = kind; }
  uint8_t Access() const { return access_; }
  void SetAccess(uint8_t access) { access_ = access; }
  bool IsEmpty() const { return width_ == 0 || height_ == 0 || format_ == imNoFormat; }
  /// Bytes of all rows.
  int64_t ImageSize() const { return static_cast<int64_t>(row_len_) * height_; }

  // ---- palette
  TRGB* Palette() override { return palette_.empty() ? nullptr : palette_.data(); }
  const TRGB* Palette() const { return palette_.empty() ? nullptr : palette_.data(); }
  int PaletteLength() const override { return static_cast<int>(palette_.size()); }
  /// Indices outside the palette read black and are ignored on write.
  TRGB PaletteColor(int index) const override;
  void SetPaletteColor(int index, TRGB color) override;
  /// Replaces the palette with these entries.
  void SetPalette(const TRGB* colors, int count);
  void CopyPaletteTo(TImBitmap& dest) const override;
  int PaletteUsed() const { return palette_used_; }
  void SetPaletteUsed(int count) { palette_used_ = count; }

  // ---- alpha
  /// The alpha companion, created filled with 255 on first use. None for a
  /// bitmap that is itself an alpha channel.
  TImBitmap* AlphaChannel();
  bool HasAlphaChannel() const { return alpha_ != nullptr; }
  /// The existing companion or null, without creating one.
  TImBitmap* ExistingAlphaChannel() const { return alpha_.get(); }
  /// Adopts a bitmap as the alpha companion.
  void SetAlphaChannel(std::unique_ptr<TImBitmap> alpha);
  /// Frees the companion; with merge, an im24RGB image is first blended onto
  /// the background.
  void RemoveAlphaChannel(bool merge, TColor background);
  bool IsAlphaChannel() const { return is_alpha_channel_; }
  bool AlphaFull() const { return alpha_full_; }
  void SetAlphaFull(bool full) { alpha_full_ = full; }

  // ---- settings read by conversions
  uint8_t OneBitMethod() const { return one_bit_method_; }
  void SetOneBitMethod(uint8_t method) { one_bit_method_ = method; }
  double GreyRangeLow() const { return grey_range_low_; }
  double GreyRangeHigh() const { return grey_range_high_; }
  void SetGreyRange(double low, double high) {
    grey_range_low_ = low;
    grey_range_high_ = high;
  }

  /// Does what Allocate(donor's width, height, format) does, but takes the
  /// donor's pixels as the storage instead of a fresh block; the donor is
  /// left empty. False, with nothing changed, when the donor does not own
  /// its block or its rows are laid out otherwise than this bitmap's would be.
  bool AllocateFrom(TImBitmap& donor);

  /// What Assign(source) gives, without copying: the pixels, alpha channel
  /// and palette move here and the source is left empty. A source that does
  /// not own its block is copied by Assign instead.
  void AssignByTaking(TImBitmap& source);

  // ---- whole-image operations
  /// Takes size, format, pixels, alpha channel, palette and OneBitMethod.
  void Assign(const TImBitmap& source) override;
  /// Sets every pixel; Value is read as the format needs (a TColor for
  /// colour formats). AlphaFull becomes true exactly when it is the maximum.
  void Fill(double value);
  /// Fill inside (x1, y1)..(x2, y2) inclusive, clipped; AlphaFull untouched.
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, double value);
  /// Copies a clipped rectangle into dest (same formats, or im1g into im24RGB).
  void CopyRectTo(TImBitmap& dest, int32_t source_x, int32_t source_y, int32_t width,
                  int32_t height, int32_t dest_x, int32_t dest_y) const;
  bool IsGrayScale() const;
  /// Allocates im8g (im1g for a 1-bit mask) at the mask's size and copies it,
  /// or fills with 255 when there is no mask.
  void CopyFromMask(const TImMask* mask);
  void CopyToMask(TImMask& mask) const;

  // ---- pixel conversion (pixel_convert.cpp)
  /// This bitmap is allocated at Source's size in another format; converts every pixel.
  void CopyAndConvertFormat(TImBitmap& source);
  void ConvertToPixelFormat(TImPixelLayout format);
  TRGB PixelAsRGB(int32_t x, int32_t y) const;

  // ---- typed pixels; a write of a value other than the maximum clears AlphaFull
  bool PixelBit(int32_t x, int32_t y) const { return (ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1; }
  void SetPixelBit(int32_t x, int32_t y, bool white);
  uint8_t PixelByte(int32_t x, int32_t y) const { return ScanLine(y)[x]; }
  void SetPixelByte(int32_t x, int32_t y, uint8_t value);
  uint16_t PixelWord(int32_t x, int32_t y) const;
  void SetPixelWord(int32_t x, int32_t y, uint16_t value);
  float PixelFloat(int32_t x, int32_t y) const;
  void SetPixelFloat(int32_t x, int32_t y, float value);
  TRGB PixelRGB(int32_t x, int32_t y) const;
  void SetPixelRGB(int32_t x, int32_t y, TRGB value);
  TRGB48 PixelRGB48(int32_t x, int32_t y) const;
  void SetPixelRGB48(int32_t x, int32_t y, TRGB48 value);

 private:
  void FreeStorage();
  // zero false: the caller writes every row in full, so a reused block need not be cleared.
  bool AllocateBlock(int64_t size, bool zero);
  bool AllocateStorage(int32_t width, int32_t height, TImPixelLayout format, bool zero);

  int32_t width_ = 0, height_ = 0;
  TImPixelLayout format_ = imNoFormat;
  int32_t row_len_ = 0;
  int row_align_ = 32;
  TImBitmapStorage location_ = imTempFile;
  uint8_t* block_ = nullptr;   // the allocation, owned unless external_
  uint8_t* bits_ = nullptr;    // 64-byte aligned start of the rows
  bool external_ = false;
  bool top_down_ = false;
  bool shortcut_valid_ = false;  // unchanged-size Allocate may keep the pixels
  std::vector<TRGB> palette_;
  int palette_used_ = 256;
  std::unique_ptr<TImBitmap> alpha_;
  bool is_alpha_channel_ = false;
  bool alpha_full_ = false;
  uint8_t access_ = 3;
  uint8_t one_bit_method_ = 1;
  double grey_range_low_ = 0, grey_range_high_ = 0;
  uint8_t alloc_kind_ = 2;
  int64_t file_threshold_ = 0;
};

/// Row length in bytes for a width, format and alignment (bits); -1 when it
/// does not fit a 32-bit row.
int64_t ComputeRowLen(int64_t width, TImPixelLayout format, int row_align = 32);

/// The process-wide FileThreshold override; 0 means not set.
void SetProcessFileThreshold(int64_t bytes);
int64_t DefaultFileThreshold();

}  // namespace tessaly
