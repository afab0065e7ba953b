// Tessaly: the 12-byte header that may precede a JPEG, TIFF or PCX image in
// a stream: a 4-byte tag, 4 zero bytes and the length of the image data.
#pragma once

#include <cstdint>

#include "platform/stream.h"

namespace tessaly {

constexpr int kStreamHeaderSize = 12;

/// "JFIF", "TIFF" or "PCX2" for the formats that use a header, else null.
const char* StreamHeaderTag(int file_type);
/// Writes the header with the given data length at the stream position.
bool WriteStreamHeader(TStream& stream, int file_type, uint32_t data_length);
/// Reads 12 bytes; true when they start with the format's tag, with the
/// announced data length.
bool ReadStreamHeader(TStream& stream, int file_type, uint32_t& data_length);

}  // namespace tessaly
