// Tessaly: the BMP reader (Windows and OS/2 bitmaps) and its content test.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmp_format.h"
#include "codecs/bmp/bmp_rle.h"
#include "io/data_limits.h"

namespace tessaly {

using namespace bmp;

namespace {

// Each run-length pair yields at most 255 pixels; an image larger than that
// expansion of its data cannot be what the file holds.
constexpr int64_t kMaxRlePixelsPerByte = 128;

struct TBmpHeader {
  int64_t width = 0;
  int64_t height = 0;
  bool top_down = false;
  int bits = 0;
  uint32_t compression = kCompressNone;
  uint32_t image_size = 0;
  uint32_t masks[3] = {kRed555, kGreen555, kBlue555};
};

bool Decodable(const TBmpHeader& h) {
  switch (h.bits) {
    case 1: case 24: return h.compression == kCompressNone;
    case 4: return h.compression == kCompressNone || h.compression == kCompressRle4;
    case 8: return h.compression == kCompressNone || h.compression == kCompressRle8;
    case 16: case 32: return h.compression == kCompressNone || h.compression == kCompressBitFields;
    default: return false;
  }
}

int DpiFromPelsPerMeter(int32_t pels) {
  const int dpi = static_cast<int>(std::nearbyint(pels / 100.0 * 2.54));
  return dpi == 0 ? TIOParamsVals::kDefaultDpi : dpi;
}

// One channel of a bit-field pixel: the masked bits brought down to bit 0
// and then widened or narrowed to 8 bits (low bits are not replicated).
struct TChannel {
  uint32_t mask = 0;
  int low = 0;    // lowest set bit
  int width = 0;  // consecutive set bits from there

  explicit TChannel(uint32_t m) : mask(m) {
    if (m == 0) return;
    while (((m >> low) & 1) == 0) ++low;
    while (low + width < 32 && ((m >> (low + width)) & 1) != 0) ++width;
  }
  uint8_t Of(uint32_t pixel) const {
    if (width == 0) return 0;
    const uint32_t v = (pixel & mask) >> low;
    return static_cast<uint8_t>(width <= 8 ? v << (8 - width) : v >> (width - 8));
  }
};

// Reports Trunc(rows x 100 / height) when it changes; false once aborted.
class TRowProgress {
 public:
  TRowProgress(TCodecProgress& progress, int32_t height) : progress_(progress) {
    progress_.PercentPerUnit = 100.0 / height;
  }
  bool Step(int32_t rows_done) {
    const int percent = static_cast<int>(std::trunc(rows_done * progress_.PercentPerUnit));
    if (percent != last_) {
      last_ = percent;
      if (progress_.OnProgress) progress_.OnProgress(progress_.Sender, percent);
    }
    return !progress_.IsAborted();
  }

 private:
  TCodecProgress& progress_;
  int last_ = -1;
};

class TBmpDecoder {
 public:
  TBmpDecoder(TImBitmap& bitmap, const TBmpHeader& header, const std::vector<TRGB>& color_map,
              TImMask* alpha)
      : bitmap_(bitmap), h_(header), alpha_(alpha), width_(static_cast<int32_t>(header.width)),
        height_(static_cast<int32_t>(header.height)) {
    // Indices beyond the file's palette read black.
    for (size_t i = 0; i < color_map.size() && i < palette_.size(); ++i) palette_[i] = color_map[i];
  }

  const std::array<TRGB, 256>& Palette() const { return palette_; }
  bool AlphaUseful() const { return alpha_ != nullptr && !(all_zero_ || all_opaque_); }

  /// The bitmap row a file row goes to.
  int32_t TargetRow(int32_t file_row) const { return h_.top_down ? height_ - 1 - file_row : file_row; }

  /// One row of palette indices, one per pixel.
  void PutIndices(int32_t file_row, const uint8_t* indices) {
    uint8_t* dst = bitmap_.ScanLine(TargetRow(file_row));
    if (bitmap_.PixelFormat() == im8p) {
      std::memcpy(dst, indices, static_cast<size_t>(width_));
      return;
    }
    for (int32_t x = 0; x < width_; ++x, dst += 3) {
      const TRGB c = palette_[indices[x]];
      dst[0] = c.b;
      dst[1] = c.g;
      dst[2] = c.r;
    }
  }

  /// One stored row of an uncompressed file.
  void PutStoredRow(int32_t file_row, const uint8_t* src) {
    uint8_t* dst = bitmap_.ScanLine(TargetRow(file_row));
    switch (h_.bits) {
      case 1:
        std::memcpy(dst, src, static_cast<size_t>(std::min<int64_t>(Stride(width_, 1), bitmap_.RowLen())));
        break;
      case 4:
        for (int32_t x = 0; x < width_; ++x) {
          indices_[x] = (x & 1) ? (src[x / 2] & 15) : (src[x / 2] >> 4);
        }
        PutIndices(file_row, indices_.data());
        break;
      case 8:
        PutIndices(file_row, src);
        break;
      case 16: {
        const TChannel red(h_.masks[0]), green(h_.masks[1]), blue(h_.masks[2]);
        for (int32_t x = 0; x < width_; ++x, dst += 3) {
          const uint32_t pixel = Get16(src + 2 * x);
          dst[0] = blue.Of(pixel);
          dst[1] = green.Of(pixel);
          dst[2] = red.Of(pixel);
        }
        break;
      }
      case 24:
        std::memcpy(dst, src, static_cast<size_t>(width_) * 3);
        break;
      case 32: {
        uint8_t* a = alpha_ != nullptr ? alpha_->ScanLine(TargetRow(file_row)) : nullptr;
        for (int32_t x = 0; x < width_; ++x, dst += 3, src += 4) {
          dst[0] = src[0];
          dst[1] = src[1];
          dst[2] = src[2];
          if (a != nullptr) {
            a[x] = src[3];
            all_zero_ = all_zero_ && src[3] == 0;
            all_opaque_ = all_opaque_ && src[3] == 255;
          }
        }
        break;
      }
    }
  }

  void PrepareIndexRow() { indices_.assign(static_cast<size_t>(width_), 0); }

 private:
  TImBitmap& bitmap_;
  const TBmpHeader& h_;
  TImMask* alpha_;
  int32_t width_, height_;
  std::array<TRGB, 256> palette_{};
  std::vector<uint8_t> indices_;
  bool all_zero_ = true, all_opaque_ = true;
};

void SetSampleLayout(int bits, TIOParamsVals& params) {
  switch (bits) {
    case 1: case 4: case 8:
      params.BitsPerSample = bits;
      params.SamplesPerPixel = 1;
      break;
    case 16:
      params.BitsPerSample = 5;
      params.SamplesPerPixel = 3;
      break;
    case 24:
      params.BitsPerSample = 8;
      params.SamplesPerPixel = 3;
      break;
    case 32:
      params.BitsPerSample = 8;
      params.SamplesPerPixel = 4;
      break;
    default:
      break;
  }
}

// Reads count palette entries of entry_bytes (3 or 4) each into the colour map.
bool ReadColorMap(TStream& stream, int count, int entry_bytes, TIOParamsVals& params) {
  std::vector<uint8_t> raw(static_cast<size_t>(count) * entry_bytes);
  if (!stream.ReadExact(raw.data(), static_cast<int64_t>(raw.size()))) return false;
  std::vector<TRGB> colors(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const uint8_t* e = raw.data() + static_cast<size_t>(i) * entry_bytes;
    colors[i] = TRGB{e[0], e[1], e[2]};
  }
  params.SetColorMap(colors.data(), count);
  return true;
}

}  // namespace

void ReadBmpStream(TStream& stream, TImBitmap& bitmap, int64_t stream_size, bool ignore_alpha,
                   std::unique_ptr<TImMask>& alpha, bool no_file_header, bool params_only,
                   TCodecProgress& progress, TIOParamsVals& params) {
  alpha.reset();
  const int64_t start = stream.Position();
  // What the stream really holds from here bounds every allocation.
  int64_t present = std::max<int64_t>(0, stream.Size() - start);
  if (stream_size > 0) present = std::min(present, stream_size);
  auto fail = [&progress] { progress.Abort(); };

  uint32_t pixel_offset = 0;
  if (no_file_header || params.ResourceData) {
    stream_size = present;
  } else {
    uint8_t file_header[kFileHeaderBytes];
    if (!stream.ReadExact(file_header, kFileHeaderBytes) || Get16(file_header + kFileType) != kTypeBM) {
      return fail();
    }
    const uint32_t file_size = Get32(file_header + kFileSize);
    if (file_size > 0 && stream_size < 1) stream_size = file_size;
    pixel_offset = Get32(file_header + kFilePixelOffset);
  }

  uint8_t size_field[4];
  if (!stream.ReadExact(size_field, 4)) return fail();
  stream.Seek(-4, TSeekOrigin::soCurrent);
  const uint32_t header_size = Get32(size_field);
  params.ClearColorMap();

  TBmpHeader h;
  int dpi_x = TIOParamsVals::kDefaultDpi, dpi_y = TIOParamsVals::kDefaultDpi;
  if (header_size == kCoreHeaderBytes) {
    uint8_t core[kCoreHeaderBytes];
    if (!stream.ReadExact(core, kCoreHeaderBytes)) return fail();
    params.BmpVersion = 2;
    h.width = Get16(core + kCoreWidth);
    h.height = Get16(core + kCoreHeight);
    h.bits = Get16(core + kCoreBitCount);
    if (h.bits <= 8 && !ReadColorMap(stream, 1 << h.bits, 3, params)) return fail();
  } else {
    // Anything shorter than the 16 bytes that reach the bit count is no header.
    if (header_size < 16 || header_size > static_cast<uint64_t>(present)) return fail();
    uint8_t info[kInfoReadBytes] = {};
    const int read_bytes = static_cast<int>(std::min<uint32_t>(header_size, kInfoReadBytes));
    if (!stream.ReadExact(info, read_bytes)) return fail();
    if (header_size > kInfoReadBytes) stream.Seek(header_size - kInfoReadBytes, TSeekOrigin::soCurrent);
    params.BmpVersion = header_size == kInfoHeaderBytes ? 1 : header_size == kOs2InfoHeaderBytes ? 3 : 0;
    h.width = static_cast<int32_t>(Get32(info + kInfoWidth));
    h.height = static_cast<int32_t>(Get32(info + kInfoHeight));
    if (h.height < 0) {
      h.top_down = true;
      h.height = -h.height;
    }
    h.bits = Get16(info + kInfoBitCount);
    h.compression = Get32(info + kInfoCompression);
    h.image_size = Get32(info + kInfoImageSize);
    dpi_x = DpiFromPelsPerMeter(static_cast<int32_t>(Get32(info + kInfoXPelsPerMeter)));
    dpi_y = DpiFromPelsPerMeter(static_cast<int32_t>(Get32(info + kInfoYPelsPerMeter)));
    if (h.compression == kCompressBitFields) {
      // Later Windows headers hold the masks; after a 40-byte header they
      // come next, before any palette. The OS/2 64-byte form has other
      // fields at that place.
      uint8_t masks[12];
      if (header_size >= kMasksInHeaderBytes && header_size != kOs2InfoHeaderBytes) {
        std::memcpy(masks, info + kInfoRedMask, sizeof masks);
      } else if (!stream.ReadExact(masks, sizeof masks)) {
        return fail();
      }
      for (int i = 0; i < 3; ++i) h.masks[i] = Get32(masks + 4 * i);
    }
    uint32_t colors = Get32(info + kInfoClrUsed);
    if (colors > 256) colors = 0;
    if (colors == 0 && h.bits <= 8) colors = 1u << h.bits;
    if (colors > 0 && !ReadColorMap(stream, static_cast<int>(colors), 4, params)) return fail();
  }

  params.SetImageCount(1);
  if (h.compression == kCompressNone || h.compression == kCompressBitFields) {
    params.BmpCompression = 0;
  } else if (h.compression == kCompressRle8 || h.compression == kCompressRle4) {
    params.BmpCompression = 1;
  }
  // A 32-bit field read as a signed width or height may not fit the bitmap.
  const bool size_ok = h.width >= 0 && h.height <= INT32_MAX;
  params.Width = params.OriginalWidth = size_ok ? static_cast<int32_t>(h.width) : 0;
  params.Height = params.OriginalHeight = size_ok ? static_cast<int32_t>(h.height) : 0;
  params.SetDpiX(dpi_x);
  params.SetDpiY(dpi_y);
  SetSampleLayout(h.bits, params);
  if (!size_ok || !Decodable(h)) return fail();

  if (pixel_offset != 0) stream.Seek(start + pixel_offset, TSeekOrigin::soBeginning);
  const int64_t position = stream.Position();
  const int64_t left = std::max<int64_t>(0, start + present - position);
  if (h.width == 0 || h.height == 0 || params_only) return;

  const bool run_length = h.compression == kCompressRle8 || h.compression == kCompressRle4;
  int64_t rle_bytes = 0;
  if (run_length) {
    rle_bytes = stream_size > 0 ? start + stream_size - position : h.image_size;
    // Sizes in headers may lie; the data cannot be longer than what is there.
    if (rle_bytes <= 0 || rle_bytes > left) rle_bytes = left;
    if (!DataCanYield(h.width, h.height, rle_bytes, kMaxRlePixelsPerByte)) return fail();
  } else if (!DataCanYield(Stride(h.width, h.bits), h.height, left, 1)) {
    return fail();
  }

  const bool palette_kept = (h.bits == 4 || h.bits == 8) && params.NativePixelFormat;
  const TImPixelLayout format = h.bits == 1 ? im1g : palette_kept ? im8p : im24RGB;
  const int32_t width = static_cast<int32_t>(h.width), height = static_cast<int32_t>(h.height);
  if (!bitmap.Allocate(width, height, format)) return fail();
  // Rows the data does not reach (cancelled, skipped by a run-length delta)
  // show index 0, never stale memory.
  for (int32_t y = 0; y < height; ++y) std::memset(bitmap.ScanLine(y), 0, static_cast<size_t>(bitmap.RowLen()));

  if (h.bits == 32 && !ignore_alpha) {
    alpha = std::make_unique<TImMask>();
    if (!alpha->Allocate(width, height, 8)) {
      alpha.reset();
      return fail();
    }
    alpha->Fill(255);
  }
  TBmpDecoder decoder(bitmap, h, params.ColorMap, alpha.get());
  if (palette_kept) {
    const int entries = 1 << h.bits;
    bitmap.SetPalette(decoder.Palette().data(), entries);
    bitmap.SetPaletteUsed(entries);
  } else if (run_length) {
    const TRGB zero = decoder.Palette()[0];
    if (!(zero == TRGB{})) bitmap.Fill(static_cast<double>(zero.r | zero.g << 8 | zero.b << 16));
  }

  TRowProgress rows(progress, height);
  if (run_length) {
    std::vector<uint8_t> data(static_cast<size_t>(rle_bytes));
    data.resize(static_cast<size_t>(std::max<int64_t>(0, stream.Read(data.data(), rle_bytes))));
    int32_t done = 0;
    DecodeRle(data.data(), data.size(), width, height, h.compression == kCompressRle4,
              [&](int32_t file_row, const uint8_t* indices) {
                decoder.PutIndices(file_row, indices);
                return rows.Step(++done);
              });
  } else {
    std::vector<uint8_t> row(static_cast<size_t>(Stride(width, h.bits)));
    decoder.PrepareIndexRow();
    for (int32_t i = 0; i < height; ++i) {
      // 8-bit rows are read before the report, every other depth after it.
      if (h.bits != 8 && !rows.Step(i)) break;
      if (!stream.ReadExact(row.data(), static_cast<int64_t>(row.size()))) {
        fail();
        break;
      }
      if (h.bits == 8 && !rows.Step(i)) break;
      decoder.PutStoredRow(height - 1 - i, row.data());
    }
  }

  if (h.bits == 1 && params.ColorMapCount == 2 && params.ColorMap[0] == TRGB{255, 255, 255} &&
      params.ColorMap[1] == TRGB{0, 0, 0}) {
    // Set bits name the first palette entry, here white; our 1 means white.
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* p = bitmap.ScanLine(y);
      for (int32_t k = 0; k < bitmap.RowLen(); ++k) p[k] = static_cast<uint8_t>(~p[k]);
    }
  }
  if (alpha != nullptr) {
    if (decoder.AlphaUseful()) {
      alpha->SetBoxToAll();
      alpha->SetFull(false);
    } else {
      alpha.reset();
    }
  }
}

bool TestBmpStream(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t type[2];
  const bool bm = stream.Size() - start > kFileHeaderBytes && stream.ReadExact(type, 2) &&
                  Get16(type) == kTypeBM;
  stream.SetPosition(start);
  return bm;
}

}  // namespace tessaly
