// Tessaly: finding and measuring a JPEG datastream inside a stream.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"

namespace tessaly {

namespace {

// A start of image may follow up to this many bytes of something else (a
// header of the program that wrote the file).
constexpr int kStartSearchLength = 150;
constexpr size_t kMeasureBufferSize = 8192;

/// Reads a stream byte by byte through a buffer.
class TByteReader {
 public:
  explicit TByteReader(TStream& stream) : stream_(stream), buffer_(kMeasureBufferSize) {}
  bool Next(uint8_t& byte) {
    if (pos_ == len_) {
      len_ = static_cast<size_t>(std::max<int64_t>(0, stream_.Read(buffer_.data(), buffer_.size())));
      pos_ = 0;
      if (len_ == 0) return false;
    }
    byte = buffer_[pos_++];
    ++consumed_;
    return true;
  }
  int64_t Consumed() const { return consumed_; }

 private:
  TStream& stream_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0, len_ = 0;
  int64_t consumed_ = 0;
};

}  // namespace

int64_t FindJpegStart(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t window[kStartSearchLength + 2];
  const int64_t got = stream.Read(window, sizeof window);
  stream.SetPosition(start);
  for (int64_t p = 0; p + 2 < got; ++p) {
    if (window[p] == 0xFF && window[p + 1] == 0xD8 && window[p + 2] == 0xFF) return start + p;
  }
  return -1;
}

bool IsJpegStream(TStream& stream) { return FindJpegStart(stream) >= 0; }

int64_t MeasureJpegStream(TStream& stream) {
  const int64_t start = stream.Position();
  TByteReader reader(stream);
  uint8_t byte = 0;
  bool done = false;
  while (!done && reader.Next(byte)) {
    if (byte != 0xFF) continue;
    uint8_t marker = 0xFF;
    // Any number of fill bytes may stand before a marker code.
    while (marker == 0xFF) {
      if (!reader.Next(marker)) {
        done = true;
        break;
      }
    }
    if (done) break;
    if (marker == 0xD9) break;
    if ((marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xFE)) {
      uint8_t high = 0, low = 0;
      if (!reader.Next(high) || !reader.Next(low)) break;
      for (int skip = ((high << 8) | low) - 2; skip > 0; --skip) {
        if (!reader.Next(byte)) {
          done = true;
          break;
        }
      }
    }
    // Stuffed zero bytes, restart markers and SOI carry no length.
  }
  const int64_t length = reader.Consumed();
  stream.SetPosition(start);
  return length;
}

}  // namespace tessaly
