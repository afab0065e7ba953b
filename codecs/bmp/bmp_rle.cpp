// Tessaly: run-length coding of BMP rows (RLE8 and RLE4).
#include "codecs/bmp/bmp_rle.h"

#include <algorithm>
#include <cstring>

#include "codecs/bmp/bmp_format.h"

namespace tessaly::bmp {

void DecodeRle(const uint8_t* data, size_t size, int32_t width, int32_t height, bool rle4,
               const TRleRowSink& sink) {
  if (width <= 0 || height <= 0) return;
  std::vector<uint8_t> row(static_cast<size_t>(width), 0);
  int32_t file_row = height - 1;
  // x may run far past the width on a long run; pixels there are dropped.
  int64_t x = 0;
  auto next_row = [&](int32_t rows) {
    const bool go_on = sink(file_row, row.data());
    std::fill(row.begin(), row.end(), uint8_t{0});
    file_row -= rows;
    return go_on && file_row >= 0;
  };
  size_t i = 0;
  while (i + 1 < size) {
    const uint8_t count = data[i];
    const uint8_t value = data[i + 1];
    i += 2;
    if (count > 0) {
      const int64_t inside = std::clamp<int64_t>(width - x, 0, count);
      if (rle4) {
        const uint8_t nibbles[2] = {static_cast<uint8_t>(value >> 4), static_cast<uint8_t>(value & 15)};
        for (int64_t k = 0; k < inside; ++k) row[static_cast<size_t>(x + k)] = nibbles[k & 1];
      } else if (inside > 0) {
        std::memset(row.data() + x, value, static_cast<size_t>(inside));
      }
      x += count;
    } else if (value == kRleEndOfLine) {
      if (!next_row(1)) return;
      x = 0;
    } else if (value == kRleEndOfBitmap) {
      sink(file_row, row.data());
      return;
    } else if (value == kRleDelta) {
      if (i + 2 > size) break;
      const uint8_t dx = data[i];
      const uint8_t dy = data[i + 1];
      i += 2;
      if (dy > 0 && !next_row(dy)) return;
      x += dx;
    } else {
      // An absolute run of `value` pixels, its bytes padded to a 16-bit boundary.
      const size_t bytes = rle4 ? (value + 1u) / 2u : value;
      const size_t present = std::min(bytes, size - i);
      const int64_t pixels = rle4 ? std::min<int64_t>(value, static_cast<int64_t>(present) * 2)
                                  : static_cast<int64_t>(present);
      const uint8_t* src = data + i;
      for (int64_t k = 0; k < pixels && x + k < width; ++k) {
        row[static_cast<size_t>(x + k)] =
            rle4 ? ((k & 1) ? (src[k / 2] & 15) : (src[k / 2] >> 4)) : src[k];
      }
      x += pixels;
      i += bytes + (bytes & 1);
    }
  }
  // The data ran out: keep what the last row received.
  sink(file_row, row.data());
}

void EncodeRleRow(const uint8_t* indices, int32_t width, bool rle4, std::vector<uint8_t>& out) {
  auto put = [&out](int a, int b) {
    out.push_back(static_cast<uint8_t>(a));
    out.push_back(static_cast<uint8_t>(b));
  };
  auto nibble = [indices](int32_t k) { return indices[k] & 15; };
  // Literal pixels [from, to) in chunks of at most 255. One or two pixels
  // are cheaper as encoded runs than as an absolute run.
  auto flush = [&](int32_t from, int32_t to) {
    while (from < to) {
      const int32_t n = std::min<int32_t>(255, to - from);
      if (n == 1) {
        put(1, rle4 ? nibble(from) << 4 : indices[from]);
      } else if (n == 2) {
        if (rle4) {
          put(2, nibble(from) << 4 | nibble(from + 1));
        } else {
          put(1, indices[from]);
          put(1, indices[from + 1]);
        }
      } else {
        put(0, n);
        int32_t bytes = 0;
        if (rle4) {
          for (int32_t k = 0; k < n; k += 2, ++bytes) {
            const int low = k + 1 < n ? nibble(from + k + 1) : 0;
            out.push_back(static_cast<uint8_t>(nibble(from + k) << 4 | low));
          }
        } else {
          out.insert(out.end(), indices + from, indices + from + n);
          bytes = n;
        }
        if (bytes & 1) out.push_back(0);
      }
      from += n;
    }
  };
  int32_t p = 0;
  int32_t pending = 0;  // start of the literals not yet written
  while (p < width) {
    if (p - pending > 255) {
      flush(pending, p);
      pending = p;
    }
    const uint8_t v = rle4 ? static_cast<uint8_t>(nibble(p)) : indices[p];
    const auto same = [&](int32_t k) { return (rle4 ? nibble(k) : indices[k]) == v; };
    if (p + 1 < width && same(p + 1)) {
      flush(pending, p);
      int32_t run = 2;
      while (run < 255 && p + run < width && same(p + run)) ++run;
      put(run, rle4 ? v * 16 + v : v);
      p += run;
      pending = p;
    } else {
      ++p;
    }
  }
  flush(pending, p);
  put(0, kRleEndOfLine);
}

}  // namespace tessaly::bmp
