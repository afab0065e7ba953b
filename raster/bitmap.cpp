// Tessaly: the bitmap container: storage, size, palette and alpha.
#include "raster/bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/system_info.h"
#include "raster/pixel_memory.h"

namespace tessaly {

namespace {

int64_t g_file_threshold_override = 0;

constexpr uintptr_t kBlockAlign = 64;
constexpr int64_t kBlockSlack = 128;
// No image of this system comes near a terabyte; a larger request is a lying
// header, refused before the allocator sees it.
constexpr int64_t kMaxImageBytes = int64_t{1} << 40;

}  // namespace

void SetProcessFileThreshold(int64_t bytes) { g_file_threshold_override = bytes; }

int64_t DefaultFileThreshold() {
  if (g_file_threshold_override > 0) return g_file_threshold_override;
  static const int64_t from_memory = [] {
    const int64_t total = PhysicalMemoryBytes();
    return total > 0 ? static_cast<int64_t>(static_cast<double>(total) / 1.3) : int64_t{33554432};
  }();
  return from_memory;
}

int64_t ComputeRowLen(int64_t width, TImPixelLayout format, int row_align) {
  if (width < 0 || row_align < 8 || row_align % 8 != 0) return -1;
  const int64_t bits = width * kBitsPerPixel[format];
  const int64_t len = (bits + row_align - 1) / row_align * (row_align / 8);
  return len > INT32_MAX ? -1 : len;
}

TImBitmap::TImBitmap() : file_threshold_(DefaultFileThreshold()) {}

TImBitmap::TImBitmap(int32_t width, int32_t height, TImPixelLayout format) : TImBitmap() {
  Allocate(width, height, format);
}

TImBitmap::~TImBitmap() { FreeStorage(); }

std::unique_ptr<TImBitmap> TImBitmap::CreateAlphaChannel(int32_t width, int32_t height,
                                                         TImBitmapStorage location) {
  auto alpha = std::make_unique<TImBitmap>();
  alpha->is_alpha_channel_ = true;
  alpha->location_ = location == imTBitmap ? imMemoryBuffer : location;
  if (alpha->Allocate(width, height, im8g)) alpha->Fill(255);
  return alpha;
}

void TImBitmap::FreeStorage() {
  if (block_ != nullptr && !external_) FreePixelBlock(block_, alloc_kind_);
  block_ = nullptr;
  bits_ = nullptr;
  external_ = false;
  top_down_ = false;
}

void TImBitmap::FreeImage() {
  FreeStorage();
  palette_.clear();
  alpha_.reset();
  width_ = height_ = 0;
  row_len_ = 0;
  format_ = imNoFormat;
  shortcut_valid_ = false;
}

bool TImBitmap::AllocateBlock(int64_t size, bool zero) {
  if (size > INT64_MAX - kBlockSlack || static_cast<uint64_t>(size) > SIZE_MAX - kBlockSlack) return false;
  block_ = AllocatePixelBlock(static_cast<size_t>(size + kBlockSlack), alloc_kind_, zero);
  if (block_ == nullptr) return false;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(block_) + kBlockAlign - 1) & ~(kBlockAlign - 1);
  bits_ = block_ + (start - reinterpret_cast<uintptr_t>(block_));
  return true;
}

bool TImBitmap::Allocate(int32_t width, int32_t height, TImPixelLayout format) {
  return AllocateStorage(width, height, format, true);
}

bool TImBitmap::AllocateStorage(int32_t width, int32_t height, TImPixelLayout format, bool zero) {
  if (shortcut_valid_ && width == width_ && height == height_ && format == format_ && bits_ != nullptr) {
    return true;
  }
  FreeStorage();
  alpha_.reset();
  shortcut_valid_ = false;
  const int64_t row_len = ComputeRowLen(width, format, row_align_);
  width_ = width;
  height_ = height;
  format_ = format;
  row_len_ = row_len < 0 ? 0 : static_cast<int32_t>(row_len);
  auto fail = [this] {
    width_ = height_ = 0;
    row_len_ = 0;
    return false;
  };
  if (width < 1 || height < 1 || format == imNoFormat || format >= kPixelLayoutCount || row_len <= 0) {
    return fail();
  }
  if (row_len > kMaxImageBytes / height) return fail();
  if (format == im8p) {
    palette_.assign(256, TRGB{});
  }
  const int64_t size = row_len * height;
  // The temporary-file and device-bitmap kinds do not exist on this platform:
  // the virtual memory of the system stands in for the first, and nothing
  // draws on our pixels through a device context, so every bitmap is a heap block.
  location_ = imMemoryBuffer;
  if (!AllocateBlock(size, zero)) return fail();
  alpha_full_ = false;
  shortcut_valid_ = true;
  return true;
}

bool TImBitmap::AttachBuffer(uint8_t* buffer, int32_t width, int32_t height, TImPixelLayout format,
                             bool top_down) {
  FreeImage();
  const int64_t row_len = ComputeRowLen(width, format, row_align_);
  if (buffer == nullptr || width < 1 || height < 1 || format == imNoFormat || row_len <= 0) return false;
  width_ = width;
  height_ = height;
  format_ = format;
  row_len_ = static_cast<int32_t>(row_len);
  block_ = bits_ = buffer;
  external_ = true;
  top_down_ = top_down;
  location_ = imMemoryBuffer;
  if (format == im8p) palette_.assign(256, TRGB{});
  return true;
}

void TImBitmap::SetRowAlign(int bits) {
  if (bits < 8 || bits % 8 != 0) return;
  row_align_ = bits;
  shortcut_valid_ = false;
}

void TImBitmap::SetLocation(TImBitmapStorage location) {
  // Every kind is kept in the heap block here; the pixels stay where they are.
  (void)location;
  shortcut_valid_ = false;
}

bool TImBitmap::SetSize(int32_t width, int32_t height) {
  if (width == width_ && height == height_) return true;
  if (IsEmpty()) return false;
  TImBitmap old;
  old.width_ = width_;
  old.height_ = height_;
  old.format_ = format_;
  old.row_len_ = row_len_;
  old.block_ = block_;
  old.bits_ = bits_;
  old.external_ = external_;
  old.top_down_ = top_down_;
  old.alloc_kind_ = alloc_kind_;
  block_ = bits_ = nullptr;
  external_ = top_down_ = false;
  std::vector<TRGB> palette = palette_;
  std::unique_ptr<TImBitmap> alpha = std::move(alpha_);
  const bool alpha_full = alpha_full_;
  shortcut_valid_ = false;
  if (!Allocate(width, height, old.format_)) return false;
  palette_ = std::move(palette);
  // New area is cleared (opaque in an alpha channel) so that no caller sees
  // stale memory.
  const int fill = is_alpha_channel_ ? 255 : 0;
  const int32_t rows = std::min(height_, old.height_);
  const int32_t bytes = std::min(row_len_, old.row_len_);
  for (int32_t y = 0; y < height_; ++y) {
    uint8_t* row = ScanLine(y);
    if (y < rows) {
      std::memcpy(row, old.ScanLine(y), static_cast<size_t>(bytes));
      std::memset(row + bytes, fill, static_cast<size_t>(row_len_ - bytes));
    } else {
      std::memset(row, fill, static_cast<size_t>(row_len_));
    }
  }
  alpha_full_ = alpha_full;
  if (alpha != nullptr) {
    // New area of the companion is opaque; its pixels follow the owner's.
    const bool full = alpha->alpha_full_;
    alpha->SetSize(width, height);
    alpha->alpha_full_ = full;
    alpha_ = std::move(alpha);
  }
  return true;
}

bool TImBitmap::AllocateFrom(TImBitmap& donor) {
  if (&donor == this || donor.IsEmpty() || donor.external_ || donor.top_down_ || donor.alloc_kind_ != alloc_kind_ ||
      ComputeRowLen(donor.width_, donor.format_, row_align_) != donor.row_len_) {
    return false;
  }
  // Allocate's effects on everything but the pixels, then the donor's block.
  FreeStorage();
  alpha_.reset();
  width_ = donor.width_;
  height_ = donor.height_;
  format_ = donor.format_;
  row_len_ = donor.row_len_;
  if (format_ == im8p) palette_.assign(256, TRGB{});
  location_ = imMemoryBuffer;
  block_ = donor.block_;
  bits_ = donor.bits_;
  donor.block_ = donor.bits_ = nullptr;
  donor.FreeImage();
  alpha_full_ = false;
  shortcut_valid_ = true;
  return true;
}

bool TImBitmap::SetWidth(int32_t width) { return SetSize(width, height_); }
bool TImBitmap::SetHeight(int32_t height) { return SetSize(width_, height); }

// ---------------------------------------------------------------- palette

TRGB TImBitmap::PaletteColor(int index) const {
  if (index < 0 || index >= PaletteLength()) return TRGB{};
  return palette_[static_cast<size_t>(index)];
}

void TImBitmap::SetPaletteColor(int index, TRGB color) {
  if (index < 0 || index >= PaletteLength()) return;
  palette_[static_cast<size_t>(index)] = color;
}

void TImBitmap::SetPalette(const TRGB* colors, int count) {
  palette_.assign(colors, colors + std::max(count, 0));
}

void TImBitmap::CopyPaletteTo(TImBitmap& dest) const {
  if (palette_.empty() || &dest == this) return;
  dest.palette_ = palette_;
  dest.palette_used_ = palette_used_;
}

// ---------------------------------------------------------------- alpha

TImBitmap* TImBitmap::AlphaChannel() {
  if (is_alpha_channel_) return nullptr;
  if (alpha_ == nullptr) alpha_ = CreateAlphaChannel(width_, height_, location_);
  return alpha_.get();
}

void TImBitmap::SetAlphaChannel(std::unique_ptr<TImBitmap> alpha) {
  if (is_alpha_channel_) return;
  if (alpha != nullptr) alpha->is_alpha_channel_ = true;
  alpha_ = std::move(alpha);
}

void TImBitmap::RemoveAlphaChannel(bool merge, TColor background) {
  if (is_alpha_channel_ || alpha_ == nullptr) return;
  if (merge && format_ == im24RGB && alpha_->width_ == width_ && alpha_->height_ == height_) {
    const TRGB bg = ColorToRGB(background);
    const int back[3] = {bg.b, bg.g, bg.r};
    for (int32_t y = 0; y < height_; ++y) {
      uint8_t* row = ScanLine(y);
      const uint8_t* a = alpha_->ScanLine(y);
      for (int32_t x = 0; x < width_; ++x) {
        for (int c = 0; c < 3; ++c) {
          const int value = row[3 * x + c];
          // (c - b) x a / 256, rounded towards minus infinity.
          row[3 * x + c] = static_cast<uint8_t>(back[c] + (((value - back[c]) * a[x] * 1024) >> 18));
        }
      }
    }
  }
  alpha_.reset();
}

// ---------------------------------------------------------------- whole image

void TImBitmap::Assign(const TImBitmap& source) {
  if (&source == this) return;
  FreeStorage();
  shortcut_valid_ = false;
  row_align_ = source.row_align_;
  // Every row is copied in full below.
  if (!AllocateStorage(source.width_, source.height_, source.format_, false)) {
    palette_.clear();
    alpha_.reset();
    return;
  }
  alpha_full_ = source.alpha_full_;
  const size_t bytes = static_cast<size_t>(std::min(row_len_, source.row_len_));
  for (int32_t y = 0; y < height_; ++y) std::memcpy(ScanLine(y), source.ScanLine(y), bytes);
  if (!is_alpha_channel_) {
    if (source.alpha_ != nullptr) {
      AlphaChannel()->Assign(*source.alpha_);
    } else {
      alpha_.reset();
    }
  }
  palette_.clear();
  source.CopyPaletteTo(*this);
  if (source.palette_.empty() && format_ == im8p) palette_.assign(256, TRGB{});
  one_bit_method_ = source.one_bit_method_;
  shortcut_valid_ = false;
}

void TImBitmap::AssignByTaking(TImBitmap& source) {
  if (&source == this) return;
  if (source.external_ || source.IsEmpty() || source.alloc_kind_ != alloc_kind_ || is_alpha_channel_ ||
      source.is_alpha_channel_) {
    Assign(source);
    return;
  }
  // Assign's effects, field by field, with the storage handed over.
  FreeStorage();
  row_align_ = source.row_align_;
  width_ = source.width_;
  height_ = source.height_;
  format_ = source.format_;
  row_len_ = source.row_len_;
  location_ = imMemoryBuffer;
  block_ = source.block_;
  bits_ = source.bits_;
  top_down_ = source.top_down_;
  source.block_ = source.bits_ = nullptr;
  source.top_down_ = false;
  alpha_full_ = source.alpha_full_;
  alpha_ = std::move(source.alpha_);
  palette_.clear();
  source.CopyPaletteTo(*this);
  if (source.palette_.empty() && format_ == im8p) palette_.assign(256, TRGB{});
  one_bit_method_ = source.one_bit_method_;
  shortcut_valid_ = false;
  source.FreeImage();
}

bool TImBitmap::IsGrayScale() const {
  switch (format_) {
    case im8p:
      return std::all_of(palette_.begin(), palette_.end(),
                         [](TRGB c) { return c.r == c.g && c.g == c.b; });
    case im24RGB:
    case imRGBA32: {
      const int step = format_ == im24RGB ? 3 : 4;
      for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* p = ScanLine(y);
        for (int32_t x = 0; x < width_; ++x, p += step) {
          if (p[0] != p[1] || p[1] != p[2]) return false;
        }
      }
      return true;
    }
    case imRGB48:
      for (int32_t y = 0; y < height_; ++y) {
        for (int32_t x = 0; x < width_; ++x) {
          const TRGB48 c = PixelRGB48(x, y);
          if (c.r != c.g || c.g != c.b) return false;
        }
      }
      return true;
    default:
      return true;
  }
}

void TImBitmap::CopyFromMask(const TImMask* mask) {
  if (mask == nullptr) {
    if (!IsEmpty()) Fill(255);
    return;
  }
  const bool one_bit = mask->BitsPerPixel() == 1;
  if (!Allocate(mask->Width(), mask->Height(), one_bit ? im1g : im8g)) return;
  const size_t bytes = static_cast<size_t>(std::min(row_len_, mask->RowLen()));
  for (int32_t y = 0; y < height_; ++y) std::memcpy(ScanLine(y), mask->ScanLine(y), bytes);
  alpha_full_ = mask->Full();
}

void TImBitmap::CopyToMask(TImMask& mask) const {
  switch (format_) {
    case im8g:
    case im1g: {
      if (!mask.Allocate(width_, height_, format_ == im8g ? 8 : 1)) return;
      const size_t bytes = static_cast<size_t>(std::min(row_len_, mask.RowLen()));
      for (int32_t y = 0; y < height_; ++y) std::memcpy(mask.ScanLine(y), ScanLine(y), bytes);
      mask.SetBoxToAll();
      mask.SetFull(format_ == im8g && alpha_full_);
      break;
    }
    case im24RGB:
      if (!mask.Allocate(width_, height_, 8)) return;
      for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* p = ScanLine(y);
        uint8_t* m = mask.ScanLine(y);
        for (int32_t x = 0; x < width_; ++x, p += 3) m[x] = static_cast<uint8_t>(GreyOf(p[2], p[1], p[0]) / 4);
      }
      mask.SetBoxToAll();
      break;
    default:
      break;
  }
}

}  // namespace tessaly
