// Tessaly: the BMP writer and the two-colour reduction shared with GIF.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmp_format.h"
#include "codecs/bmp/bmp_rle.h"
#include "raster/quantizer.h"

namespace tessaly {

using namespace bmp;

namespace {

// The quantizer ignores its limit; this is the value palette writers pass.
constexpr int kQuantizerLimit = 0x7FFFFFF;

int Luminance(TRGB c) { return static_cast<int>(std::nearbyint((21.0 * c.r + 71.0 * c.g + 8.0 * c.b) / 100.0)); }

// Pixels as colours, read straight from the row for 24-bit images.
class TColorReader {
 public:
  explicit TColorReader(const TImBitmap& bitmap) : bitmap_(bitmap), direct_(bitmap.PixelFormat() == im24RGB) {}
  void Row(int32_t y) { row_ = bitmap_.ScanLine(y), y_ = y; }
  TRGB At(int32_t x) const {
    if (!direct_) return bitmap_.PixelAsRGB(x, y_);
    const uint8_t* p = row_ + 3 * static_cast<ptrdiff_t>(x);
    return TRGB{p[0], p[1], p[2]};
  }

 private:
  const TImBitmap& bitmap_;
  bool direct_;
  const uint8_t* row_ = nullptr;
  int32_t y_ = 0;
};

// Every write goes through here: a short one sets Aborted, after which the
// row loop stops and the headers are left as placeholders.
class TBmpOutput {
 public:
  TBmpOutput(TStream& stream, TCodecProgress& progress) : stream_(stream), progress_(progress) {}
  void Put(const void* data, size_t count) {
    if (count > 0 && !stream_.WriteExact(data, static_cast<int64_t>(count))) progress_.Abort();
  }
  void Put(const std::vector<uint8_t>& bytes) { Put(bytes.data(), bytes.size()); }

 private:
  TStream& stream_;
  TCodecProgress& progress_;
};

class TRowReporter {
 public:
  TRowReporter(TCodecProgress& progress, int32_t height, bool every_row)
      : progress_(progress), every_row_(every_row) {
    progress_.PercentPerUnit = 100.0 / height;
  }
  /// Reports before a row; false when the loop is to stop.
  bool Before(int32_t rows_written) {
    const int percent = static_cast<int>(std::trunc(rows_written * progress_.PercentPerUnit));
    if ((every_row_ || percent != last_) && progress_.OnProgress) progress_.OnProgress(progress_.Sender, percent);
    last_ = percent;
    return !progress_.IsAborted();
  }

 private:
  TCodecProgress& progress_;
  bool every_row_;
  int last_ = -1;
};

int OutputDepth(const TImBitmap& bitmap, const TIOParamsVals& params) {
  if (params.BitsPerSample == 1 || params.BitsPerSample == 4) return params.BitsPerSample;
  if (params.SamplesPerPixel == 1) return 8;
  return bitmap.HasAlphaChannel() ? 32 : 24;
}

void PutPalette(TBmpOutput& out, const std::vector<TRGB>& palette, bool three_bytes) {
  std::vector<uint8_t> raw;
  for (const TRGB& c : palette) {
    raw.insert(raw.end(), {c.b, c.g, c.r});
    if (!three_bytes) raw.push_back(0);
  }
  out.Put(raw);
}

// The pixels of a 4- or 8-bit file as one index per pixel and the palette.
struct TIndexSource {
  const TImBitmap* bitmap = nullptr;  // what the indices are taken from
  TImBitmap converted;                // a 24-bit copy when one is needed
  std::unique_ptr<TImQuantizer> quantizer;
  std::vector<TRGB> palette;
  bool own_indices = false;

  void Prepare(const TImBitmap& source, int colors) {
    palette.assign(static_cast<size_t>(colors), TRGB{});
    bitmap = &source;
    if (source.PixelFormat() == im8p && FitsIndices(source, colors)) {
      // The bitmap's own palette, as it is: a grey palette that is not the
      // plain ramp would otherwise be replaced by the ramp under the indices.
      for (int i = 0; i < colors && i < source.PaletteLength(); ++i) palette[i] = source.PaletteColor(i);
      own_indices = true;
      return;
    }
    const TImPixelLayout f = source.PixelFormat();
    if (f != im24RGB && f != im8g) {
      // The quantizer knows colour images only as 24-bit rows.
      converted.Assign(source);
      converted.ConvertToPixelFormat(im24RGB);
      bitmap = &converted;
    }
    quantizer = std::make_unique<TImQuantizer>(*bitmap, colors, palette.data(), kQuantizerLimit);
  }

  static bool FitsIndices(const TImBitmap& b, int colors) {
    for (int32_t y = 0; y < b.Height(); ++y) {
      const uint8_t* row = b.ScanLine(y);
      for (int32_t x = 0; x < b.Width(); ++x) {
        if (row[x] >= colors) return false;
      }
    }
    return true;
  }

  void Row(int32_t y, std::vector<uint8_t>& indices) const {
    const int32_t width = bitmap->Width();
    if (own_indices) {
      std::memcpy(indices.data(), bitmap->ScanLine(y), static_cast<size_t>(width));
      return;
    }
    TColorReader reader(*bitmap);
    reader.Row(y);
    const int limit = static_cast<int>(palette.size());
    for (int32_t x = 0; x < width; ++x) {
      const int index = quantizer->IndexOfColor(reader.At(x));
      indices[x] = static_cast<uint8_t>(index >= 0 && index < limit ? index : 0);
    }
  }
};

}  // namespace

std::unique_ptr<TImBitmap> ReduceToTwoColors(const TImBitmap& bitmap, TRGB& first, TRGB& second) {
  if (bitmap.IsEmpty()) return nullptr;
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  TColorReader reader(bitmap);
  TRGB colors[2];
  int found = 0;
  bool more = false;
  for (int32_t y = 0; y < height && !more; ++y) {
    reader.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const TRGB c = reader.At(x);
      if (found == 0) {
        colors[found++] = c;
      } else if (!(c == colors[0]) && !(found == 2 && c == colors[1])) {
        if (found == 2) {
          more = true;
        } else {
          colors[found++] = c;
        }
      }
    }
  }
  if (more || found != 2) return nullptr;
  auto result = std::make_unique<TImBitmap>();
  if (!result->Allocate(width, height, im1g)) return nullptr;
  // Bit 0 is always the darker colour.
  const bool swap = Luminance(colors[1]) < Luminance(colors[0]);
  for (int32_t y = 0; y < height; ++y) {
    reader.Row(y);
    uint8_t* row = result->ScanLine(y);
    std::memset(row, 0, static_cast<size_t>(result->RowLen()));
    for (int32_t x = 0; x < width; ++x) {
      if (!(reader.At(x) == colors[0]) != swap) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
  }
  first = colors[swap ? 1 : 0];
  second = colors[swap ? 0 : 1];
  return result;
}

void WriteBmpStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, bool write_alpha,
                    TCodecProgress& progress) {
  if (bitmap.IsEmpty()) {
    progress.Abort();
    return;
  }
  const int32_t width = bitmap.Width(), height = bitmap.Height();
  const int64_t start = stream.Position();
  const int bits = OutputDepth(bitmap, params);
  // The 12-byte header holds 16-bit sizes; a larger image takes the 40-byte one.
  const bool core = params.BmpVersion == 2 && width <= 0xFFFF && height <= 0xFFFF;
  const int header_bytes = core ? kCoreHeaderBytes : params.BmpVersion == 3 ? kOs2InfoHeaderBytes : kInfoHeaderBytes;
  const bool run_length = params.BmpVersion != 2 && params.BmpCompression == 1 && (bits == 4 || bits == 8);
  const uint32_t compression = run_length ? (bits == 4 ? kCompressRle4 : kCompressRle8) : kCompressNone;

  TBmpOutput out(stream, progress);
  uint8_t file_header[kFileHeaderBytes] = {};
  Put16(file_header + kFileType, kTypeBM);
  out.Put(file_header, sizeof file_header);

  uint8_t info[kOs2InfoHeaderBytes] = {};
  Put32(info + kInfoSize, static_cast<uint32_t>(header_bytes));
  if (core) {
    Put16(info + kCoreWidth, static_cast<uint32_t>(width));
    Put16(info + kCoreHeight, static_cast<uint32_t>(height));
    Put16(info + kCorePlanes, 1);
  } else {
    Put32(info + kInfoWidth, static_cast<uint32_t>(width));
    Put32(info + kInfoHeight, static_cast<uint32_t>(height));
    Put16(info + kInfoPlanes, 1);
    Put32(info + kInfoCompression, compression);
    Put32(info + kInfoXPelsPerMeter, static_cast<uint32_t>(std::nearbyint(params.DpiX / 2.54 * 100)));
    Put32(info + kInfoYPelsPerMeter, static_cast<uint32_t>(std::nearbyint(params.DpiY / 2.54 * 100)));
    Put32(info + kInfoClrUsed, bits <= 8 ? 1u << bits : 0u);
    Put32(info + kInfoClrImportant, bits == 32 ? 1u : 1u << bits);
  }
  out.Put(info, static_cast<size_t>(header_bytes));

  const int64_t stride = Stride(width, bits);
  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  TRowReporter rows(progress, height, bits <= 8 && bits != 1);
  int64_t pixel_start = 0;

  if (bits == 4 || bits == 8) {
    TImBitmap as_colour;
    const TImBitmap* source = &bitmap;
    if (bitmap.PixelFormat() == im1g) {
      as_colour.Assign(bitmap);
      as_colour.ConvertToPixelFormat(im24RGB);
      source = &as_colour;
    }
    TIndexSource indices_of;
    indices_of.Prepare(*source, 1 << bits);
    params.SetColorMap(indices_of.palette.data(), static_cast<int>(indices_of.palette.size()));
    PutPalette(out, indices_of.palette, core);
    pixel_start = stream.Position();
    std::vector<uint8_t> indices(static_cast<size_t>(width));
    std::vector<uint8_t> encoded;
    for (int32_t i = 0; i < height && rows.Before(i); ++i) {
      indices_of.Row(height - 1 - i, indices);
      if (run_length) {
        encoded.clear();
        EncodeRleRow(indices.data(), width, bits == 4, encoded);
        if (i == height - 1) encoded.insert(encoded.end(), {0, kRleEndOfBitmap});
        out.Put(encoded);
      } else {
        if (bits == 8) {
          std::memcpy(row.data(), indices.data(), indices.size());
        } else {
          std::fill(row.begin(), row.end(), uint8_t{0});
          for (int32_t x = 0; x < width; ++x) {
            row[x / 2] |= static_cast<uint8_t>((x & 1) ? indices[x] & 15 : indices[x] << 4);
          }
        }
        out.Put(row);
      }
    }
  } else if (bits == 1) {
    const TImBitmap* source = &bitmap;
    std::unique_ptr<TImBitmap> reduced;
    TImBitmap grey;
    std::vector<TRGB> palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    if (bitmap.PixelFormat() != im1g) {
      reduced = ReduceToTwoColors(bitmap, palette[0], palette[1]);
      if (reduced != nullptr) {
        source = reduced.get();
      } else {
        grey.Assign(bitmap);
        grey.ConvertToPixelFormat(im1g);
        source = &grey;
      }
    }
    params.SetColorMap(palette.data(), 2);
    PutPalette(out, palette, core);
    pixel_start = stream.Position();
    const size_t copied = static_cast<size_t>(std::min<int64_t>(stride, source->RowLen()));
    for (int32_t i = 0; i < height && rows.Before(i); ++i) {
      std::memcpy(row.data(), source->ScanLine(height - 1 - i), copied);
      out.Put(row);
    }
  } else {
    TImBitmap as_colour;
    const TImBitmap* source = &bitmap;
    if (bitmap.PixelFormat() != im24RGB) {
      // Rows are written as blue, green, red: any other layout goes through a copy.
      as_colour.Assign(bitmap);
      as_colour.ConvertToPixelFormat(im24RGB);
      source = &as_colour;
    }
    const TImBitmap* alpha = write_alpha ? bitmap.ExistingAlphaChannel() : nullptr;
    if (alpha != nullptr && (alpha->Width() != width || alpha->Height() != height)) alpha = nullptr;
    pixel_start = stream.Position();
    for (int32_t i = 0; i < height && rows.Before(i); ++i) {
      const int32_t y = height - 1 - i;
      const uint8_t* src = source->ScanLine(y);
      if (bits == 24) {
        std::memcpy(row.data(), src, static_cast<size_t>(width) * 3);
      } else {
        const uint8_t* a = alpha != nullptr ? alpha->ScanLine(y) : nullptr;
        for (int32_t x = 0; x < width; ++x) {
          std::memcpy(row.data() + 4 * static_cast<ptrdiff_t>(x), src + 3 * static_cast<ptrdiff_t>(x), 3);
          row[4 * static_cast<size_t>(x) + 3] = a != nullptr ? a[x] : 255;
        }
      }
      out.Put(row);
    }
  }

  if (progress.IsAborted()) return;
  const int64_t end = stream.Position();
  Put32(file_header + kFileSize, static_cast<uint32_t>(end - start));
  Put32(file_header + kFilePixelOffset, static_cast<uint32_t>(pixel_start - start));
  if (core) {
    Put16(info + kCoreBitCount, static_cast<uint32_t>(bits));
  } else {
    Put16(info + kInfoBitCount, static_cast<uint32_t>(bits));
    Put32(info + kInfoImageSize, static_cast<uint32_t>(end - pixel_start));
  }
  stream.SetPosition(start);
  out.Put(file_header, sizeof file_header);
  out.Put(info, static_cast<size_t>(header_bytes));
  stream.SetPosition(end);
}

}  // namespace tessaly
