// Tessaly: the stream header of JPEG, TIFF and PCX stream saves.
#include "io/stream_header.h"

#include <cstring>

#include "io/file_types.h"

namespace tessaly {

const char* StreamHeaderTag(int file_type) {
  switch (file_type) {
    case ftJPEG:
      return "JFIF";
    case ftTIFF:
      return "TIFF";
    case ftPCX:
      return "PCX2";
    default:
      return nullptr;
  }
}

bool WriteStreamHeader(TStream& stream, int file_type, uint32_t data_length) {
  const char* tag = StreamHeaderTag(file_type);
  if (tag == nullptr) return false;
  uint8_t header[kStreamHeaderSize] = {};
  std::memcpy(header, tag, 4);
  for (int i = 0; i < 4; ++i) header[8 + i] = static_cast<uint8_t>(data_length >> (8 * i));
  return stream.WriteExact(header, kStreamHeaderSize);
}

bool ReadStreamHeader(TStream& stream, int file_type, uint32_t& data_length) {
  const char* tag = StreamHeaderTag(file_type);
  uint8_t header[kStreamHeaderSize];
  if (tag == nullptr || !stream.ReadExact(header, kStreamHeaderSize) || std::memcmp(header, tag, 4) != 0)
    return false;
  data_length = static_cast<uint32_t>(header[8]) | (static_cast<uint32_t>(header[9]) << 8) |
                (static_cast<uint32_t>(header[10]) << 16) | (static_cast<uint32_t>(header[11]) << 24);
  return true;
}

}  // namespace tessaly
