// Tessaly: the on-disk layout of Windows and OS/2 bitmaps.
#pragma once

#include <cstdint>

namespace tessaly::bmp {

// ---- file header, 14 bytes
constexpr int kFileHeaderBytes = 14;
constexpr int kFileType = 0;         // 00h  "BM"
constexpr int kFileSize = 2;         // 02h  bytes of the whole file
constexpr int kFileReserved1 = 6;    // 06h
constexpr int kFileReserved2 = 8;    // 08h
constexpr int kFilePixelOffset = 10; // 0Ah  first pixel byte, from the start of the file header
constexpr uint16_t kTypeBM = 0x4D42; // "BM" read as a little-endian word

// ---- info header: the first field of every form is its own size
constexpr int kInfoSize = 0;  // 00h

// 12-byte OS/2 1.x core header: 16-bit width and height, rows always bottom-up.
constexpr int kCoreHeaderBytes = 12;
constexpr int kCoreWidth = 4;     // 04h  unsigned 16-bit
constexpr int kCoreHeight = 6;    // 06h  unsigned 16-bit
constexpr int kCorePlanes = 8;    // 08h
constexpr int kCoreBitCount = 10; // 0Ah

// 40-byte Windows header and its longer relatives (64-byte OS/2 2.x, 108 and 124).
constexpr int kInfoHeaderBytes = 40;
constexpr int kOs2InfoHeaderBytes = 64;
constexpr int kInfoWidth = 4;           // 04h  signed
constexpr int kInfoHeight = 8;          // 08h  signed; negative: rows top-down
constexpr int kInfoPlanes = 12;         // 0Ch
constexpr int kInfoBitCount = 14;       // 0Eh
constexpr int kInfoCompression = 16;    // 10h
constexpr int kInfoImageSize = 20;      // 14h  bytes of pixel data
constexpr int kInfoXPelsPerMeter = 24;  // 18h
constexpr int kInfoYPelsPerMeter = 28;  // 1Ch
constexpr int kInfoClrUsed = 32;        // 20h
constexpr int kInfoClrImportant = 36;   // 24h
// Headers of 52 bytes and more (other than the OS/2 64-byte form) carry the
// bit-field masks themselves instead of after the header.
constexpr int kInfoRedMask = 40;        // 28h
constexpr int kInfoGreenMask = 44;      // 2Ch
constexpr int kInfoBlueMask = 48;       // 30h
constexpr int kMasksInHeaderBytes = 52;
// Longer headers are read for this many bytes; the rest is skipped.
constexpr int kInfoReadBytes = 64;

// ---- compression codes
constexpr uint32_t kCompressNone = 0;
constexpr uint32_t kCompressRle8 = 1;
constexpr uint32_t kCompressRle4 = 2;
constexpr uint32_t kCompressBitFields = 3;

// ---- run-length escape codes (second byte after a 0)
constexpr uint8_t kRleEndOfLine = 0;
constexpr uint8_t kRleEndOfBitmap = 1;
constexpr uint8_t kRleDelta = 2;

// ---- 16-bit default masks (5-5-5)
constexpr uint32_t kRed555 = 0x7C00;
constexpr uint32_t kGreen555 = 0x03E0;
constexpr uint32_t kBlue555 = 0x001F;

/// Bytes of one stored row: padded to a multiple of 4.
constexpr int64_t Stride(int64_t width, int bits) { return (width * bits + 31) / 32 * 4; }

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

}  // namespace tessaly::bmp
