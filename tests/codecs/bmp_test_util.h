// Tessaly tests: building BMP files in code and decoding them for the BMP tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "codecs/bmp/bmp.h"

namespace tessaly::testing_bmp {

/// A BMP file described field by field; Bytes() lays it out.
struct BmpFile {
  uint32_t header_size = 40;
  uint32_t header_size_field = 0;  // written instead of header_size when set
  int32_t width = 1, height = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t colors_used = 0;
  int32_t pels_per_meter = 0;
  uint32_t pixel_offset = 0;  // computed when 0
  std::vector<uint32_t> masks;  // inside headers of 52 bytes and more (not 64), else after the header
  std::vector<TRGB> palette;
  std::vector<uint8_t> pixels;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> info(header_size, 0);
    auto put = [](std::vector<uint8_t>& v, size_t at, uint32_t value, int bytes) {
      for (int i = 0; i < bytes; ++i) v[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(info, 0, header_size_field != 0 ? header_size_field : header_size, 4);
    if (header_size == 12) {
      put(info, 4, static_cast<uint32_t>(width), 2);
      put(info, 6, static_cast<uint32_t>(height), 2);
      put(info, 8, 1, 2);
      put(info, 10, bits, 2);
    } else {
      put(info, 4, static_cast<uint32_t>(width), 4);
      put(info, 8, static_cast<uint32_t>(height), 4);
      put(info, 12, 1, 2);
      put(info, 14, bits, 2);
      put(info, 16, compression, 4);
      put(info, 20, static_cast<uint32_t>(pixels.size()), 4);
      put(info, 24, static_cast<uint32_t>(pels_per_meter), 4);
      put(info, 28, static_cast<uint32_t>(pels_per_meter), 4);
      put(info, 32, colors_used, 4);
    }
    std::vector<uint8_t> after;
    const bool masks_inside = header_size >= 52 && header_size != 64;
    for (size_t i = 0; i < masks.size(); ++i) {
      if (masks_inside) {
        put(info, 40 + 4 * i, masks[i], 4);
      } else {
        after.resize(after.size() + 4);
        put(after, after.size() - 4, masks[i], 4);
      }
    }
    for (const TRGB& c : palette) {
      after.insert(after.end(), {c.b, c.g, c.r});
      if (header_size != 12) after.push_back(0);
    }
    std::vector<uint8_t> file(14, 0);
    file[0] = 'B';
    file[1] = 'M';
    const size_t offset = 14 + info.size() + after.size();
    put(file, 2, static_cast<uint32_t>(offset + pixels.size()), 4);
    put(file, 10, pixel_offset != 0 ? pixel_offset : static_cast<uint32_t>(offset), 4);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), after.begin(), after.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
  }
};

struct DecodeOptions {
  bool native = false;
  bool alpha = false;
  bool params_only = false;
};

struct Decoded {
  bool aborted = false;
  std::unique_ptr<TImBitmap> bitmap = std::make_unique<TImBitmap>();
  std::unique_ptr<TImMask> mask;
  TIOParamsVals params;
};

/// Reads the bytes as the stream load does (stream size unknown).
inline Decoded Decode(const std::vector<uint8_t>& bytes, DecodeOptions options = {}) {
  Decoded d;
  d.params.NativePixelFormat = options.native;
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  TCodecProgress progress;
  progress.Aborted = &d.aborted;
  ReadBmpStream(stream, *d.bitmap, 0, !options.alpha, d.mask, false, options.params_only, progress, d.params);
  return d;
}

/// Red, green, blue, alpha of a decoded pixel (im1g, im8p or im24RGB).
inline std::array<uint8_t, 4> PixelRGBA(const Decoded& d, int32_t x, int32_t y) {
  const TImBitmap& b = *d.bitmap;
  TRGB c;
  switch (b.PixelFormat()) {
    case im1g: c = b.PixelBit(x, y) ? TRGB{255, 255, 255} : TRGB{}; break;
    case im8p: c = b.PaletteColor(b.PixelByte(x, y)); break;
    default: c = b.PixelRGB(x, y); break;
  }
  const uint8_t a = d.mask != nullptr ? static_cast<uint8_t>(d.mask->GetPixel(x, y)) : 255;
  return {c.r, c.g, c.b, a};
}

/// An im24RGB image; with colors > 0 it holds exactly that many distinct colours.
inline void FillPattern(TImBitmap& b, int32_t width, int32_t height, int colors) {
  ASSERT_TRUE(b.Allocate(width, height, im24RGB));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (colors > 0) {
        const int k = (x + 3 * y) % colors;
        b.SetPixelRGB(x, y, TRGB{static_cast<uint8_t>(k * 37), static_cast<uint8_t>(255 - k * 11),
                                 static_cast<uint8_t>(k * 5 + 1)});
      } else {
        b.SetPixelRGB(x, y, TRGB{static_cast<uint8_t>(x * 7 + y), static_cast<uint8_t>(y * 13),
                                 static_cast<uint8_t>((x ^ y) * 5)});
      }
    }
  }
}

/// Writes the bitmap with the parameters; the bytes of the file.
inline std::vector<uint8_t> Encode(TImBitmap& bitmap, TIOParamsVals& params, bool write_alpha = false) {
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  TMemoryStream stream;
  WriteBmpStream(stream, bitmap, params, write_alpha || params.BmpUseAlpha, progress);
  EXPECT_FALSE(aborted);
  return stream.Bytes();
}

}  // namespace tessaly::testing_bmp
