// Tessaly tests: helpers shared by the JPEG codec tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"
#include "raster/color_space.h"
#include "support/test_support.h"

namespace tessaly::jpegtest {

using testing::HaveProgram;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

inline bool HavePeers() { return HaveProgram("cjpeg") && HaveProgram("djpeg"); }

inline std::string ImageMagick() {
  return testing::FileExists("/usr/bin/convert") ? "/usr/bin/convert" : "convert";
}

/// A picture with smooth areas, edges and fine texture, so that every part
/// of the codec has work to do.
inline void MakePhoto(TImBitmap& bitmap, int width, int height) {
  ASSERT_TRUE(bitmap.Allocate(width, height, im24RGB));
  for (int y = 0; y < height; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < width; ++x) {
      const bool edge = (x / 13 + y / 11) % 2 == 0;
      row[x].r = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
      row[x].g = static_cast<uint8_t>(edge ? y * 200 / std::max(1, height) : 230);
      row[x].b = static_cast<uint8_t>(((x * y) ^ ((x + y) * 7)) & 0xFF);
    }
  }
}

inline void WritePpm(const std::string& path, const TImBitmap& bitmap) {
  std::ostringstream header;
  header << "P6\n" << bitmap.Width() << " " << bitmap.Height() << "\n255\n";
  const std::string h = header.str();
  Bytes bytes(h.begin(), h.end());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(bitmap.ScanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      bytes.push_back(row[x].r);
      bytes.push_back(row[x].g);
      bytes.push_back(row[x].b);
    }
  }
  WriteFileBytes(path, bytes);
}

/// A binary PGM or PPM as a bitmap (im8g or im24RGB); false when it is not one.
inline bool ReadPnm(const std::string& path, TImBitmap& bitmap) {
  const Bytes bytes = ReadFileBytes(path);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < bytes.size()) {
      const char ch = static_cast<char>(bytes[pos]);
      if (ch == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(ch))) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += ch;
        ++pos;
      }
    }
    return t;
  };
  const std::string magic = token();
  const int width = std::atoi(token().c_str());
  const int height = std::atoi(token().c_str());
  const int maxval = std::atoi(token().c_str());
  ++pos;
  const bool grey = magic == "P5";
  if ((!grey && magic != "P6") || maxval != 255 || width <= 0 || height <= 0) return false;
  const size_t channels = grey ? 1 : 3;
  if (bytes.size() < pos + channels * width * height) return false;
  bitmap.Allocate(width, height, grey ? im8g : im24RGB);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(y);
    const uint8_t* in = &bytes[pos + channels * width * y];
    for (int x = 0; x < width; ++x) {
      if (grey) {
        row[x] = in[x];
      } else {
        row[3 * x] = in[3 * x + 2];
        row[3 * x + 1] = in[3 * x + 1];
        row[3 * x + 2] = in[3 * x];
      }
    }
  }
  return true;
}

/// The first differing pixel as text, or empty when both are the same.
inline std::string Difference(const TImBitmap& a, const TImBitmap& b, int tolerance = 0) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) {
    std::ostringstream s;
    s << "size or format " << a.Width() << "x" << a.Height() << "/" << int(a.PixelFormat())
      << " vs " << b.Width() << "x" << b.Height() << "/" << int(b.PixelFormat());
    return s.str();
  }
  const int row_bytes = a.Width() * a.BitCount() / 8;
  for (int y = 0; y < a.Height(); ++y) {
    for (int i = 0; i < row_bytes; ++i) {
      if (std::abs(a.ScanLine(y)[i] - b.ScanLine(y)[i]) > tolerance) {
        std::ostringstream s;
        s << "row " << y << " byte " << i << ": " << int(a.ScanLine(y)[i]) << " vs "
          << int(b.ScanLine(y)[i]);
        return s.str();
      }
    }
  }
  return "";
}

/// The plain CMYK rule for as long as it lives.
class TPlainCmyk {
 public:
  TPlainCmyk() : was_(CMYKColorManagement()) { SetCMYKColorManagement(false); }
  ~TPlainCmyk() { SetCMYKColorManagement(was_); }

 private:
  bool was_;
};

/// Native ink samples shown the way djpeg shows them (c x k / 255, rounded),
/// against djpeg's picture.
inline std::string InkDifference(const TImBitmap& inks, const TImBitmap& reference) {
  TImBitmap shown(inks.Width(), inks.Height(), im24RGB);
  for (int y = 0; y < inks.Height(); ++y) {
    const uint8_t* s = inks.ScanLine(y);
    TRGB* d = reinterpret_cast<TRGB*>(shown.ScanLine(y));
    for (int x = 0; x < inks.Width(); ++x, s += 4) {
      d[x].r = static_cast<uint8_t>(s[0] * s[3] / 255.0 + 0.5);
      d[x].g = static_cast<uint8_t>(s[1] * s[3] / 255.0 + 0.5);
      d[x].b = static_cast<uint8_t>(s[2] * s[3] / 255.0 + 0.5);
    }
  }
  return Difference(shown, reference);
}

struct TReadResult {
  TImBitmap bitmap;
  TIOParamsVals params;
  bool aborted = false;
  int rows = 0;
};

inline void ReadJpeg(const Bytes& bytes, TReadResult& out, TJpegReadOptions options = {}) {
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  TCodecProgress progress;
  progress.Aborted = &out.aborted;
  out.rows = ReadJpegStream(stream, out.bitmap, out.params, progress, options);
}

inline Bytes WriteJpeg(TImBitmap& bitmap, TIOParamsVals& params, bool* aborted = nullptr) {
  TMemoryStream stream;
  bool flag = false;
  TCodecProgress progress;
  progress.Aborted = &flag;
  WriteJpegStream(stream, bitmap, params, progress);
  if (aborted != nullptr) *aborted = flag;
  return stream.Bytes();
}

/// The segments before the first scan: marker code and data.
inline std::vector<std::pair<uint8_t, Bytes>> Segments(const Bytes& jpeg) {
  std::vector<std::pair<uint8_t, Bytes>> out;
  size_t p = 2;
  while (p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA) {
    const size_t length = (jpeg[p + 2] << 8) | jpeg[p + 3];
    if (length < 2 || p + 2 + length > jpeg.size()) break;
    out.emplace_back(jpeg[p + 1], Bytes(jpeg.begin() + p + 4, jpeg.begin() + p + 2 + length));
    p += 2 + length;
  }
  return out;
}

/// Data of the first segment with this code, or empty.
inline Bytes SegmentData(const Bytes& jpeg, uint8_t code) {
  for (auto& [c, data] : Segments(jpeg)) {
    if (c == code) return data;
  }
  return {};
}

inline Bytes Segment(uint8_t code, const Bytes& data) {
  Bytes out = {0xFF, code, static_cast<uint8_t>((data.size() + 2) >> 8),
               static_cast<uint8_t>(data.size() + 2)};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

inline Bytes Text(const char* text, size_t length) { return Bytes(text, text + length); }

/// A colour profile header of the given size over filler bytes: enough for
/// exiftool to take it as a profile.
inline Bytes IccProfile(size_t size) {
  Bytes icc(size);
  for (size_t i = 0; i < size; ++i) icc[i] = static_cast<uint8_t>(i * 7 + i / 256);
  std::fill(icc.begin(), icc.begin() + 132, 0);
  for (int i = 0; i < 4; ++i) icc[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  icc[8] = 0x02;
  icc[9] = 0x10;
  std::memcpy(&icc[12], "mntrRGB XYZ ", 12);
  std::memcpy(&icc[36], "acsp", 4);
  return icc;
}

}  // namespace tessaly::jpegtest
