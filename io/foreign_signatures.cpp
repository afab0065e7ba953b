// Tessaly: content tests of the formats that are listed but not decoded,
// and the TIFF probes of detection.
#include "io/foreign_signatures.h"

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace tessaly {

namespace {

// Reads up to n bytes from the current position; fewer at the end.
std::vector<uint8_t> Peek(TStream& stream, int64_t n) {
  std::vector<uint8_t> bytes(static_cast<size_t>(n));
  const int64_t got = stream.Read(bytes.data(), n);
  bytes.resize(static_cast<size_t>(got > 0 ? got : 0));
  return bytes;
}

bool HasAt(const std::vector<uint8_t>& bytes, size_t offset, const char* text, size_t length) {
  return bytes.size() >= offset + length && std::memcmp(bytes.data() + offset, text, length) == 0;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// ---- a minimal view of a TIFF's first directory

constexpr uint16_t kTagImageWidth = 256;
constexpr uint16_t kTagImageLength = 257;
constexpr uint16_t kTagPhotometric = 262;
constexpr uint16_t kTagSubIfds = 330;
constexpr uint16_t kTagRawTag37398 = 37398;
constexpr uint16_t kTagDngVersion = 50706;
constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr int kEntrySize = 12;  // tag, type, count, value or offset

struct TTiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t value[4] = {};
};

struct TTiffDirectory {
  bool big_endian = false;
  std::vector<TTiffEntry> entries;

  uint16_t U16(const uint8_t* p) const { return big_endian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : Le16(p); }
  uint32_t U32(const uint8_t* p) const {
    return big_endian ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                            (static_cast<uint32_t>(p[2]) << 8) | p[3]
                      : Le32(p);
  }
  const TTiffEntry* Find(uint16_t tag) const {
    for (const TTiffEntry& e : entries)
      if (e.tag == tag) return &e;
    return nullptr;
  }
  // The first inline SHORT or LONG value.
  std::optional<uint32_t> Integer(uint16_t tag) const {
    const TTiffEntry* e = Find(tag);
    if (e == nullptr || e->count == 0) return std::nullopt;
    if (e->type == kTypeShort) return U16(e->value);
    if (e->type == kTypeLong) return U32(e->value);
    if (e->type == kTypeByte) return e->value[0];
    return std::nullopt;
  }
};

// The first directory, when the header is "II" or "MM" and the directory
// lies wholly inside the stream.
std::optional<TTiffDirectory> ReadFirstDirectory(TStream& stream, bool apply_ba_rule) {
  const int64_t start = stream.Position();
  const int64_t size = stream.Size() - start;
  uint8_t header[9] = {};
  const int64_t got = stream.Read(header, 9);
  if (got < 8) return std::nullopt;
  TTiffDirectory dir;
  if (header[0] == 'I' && header[1] == 'I') {
    dir.big_endian = false;
  } else if (header[0] == 'M' && header[1] == 'M') {
    dir.big_endian = true;
    if (apply_ba_rule && got == 9 && header[8] == 0xBA) return std::nullopt;
  } else {
    return std::nullopt;
  }
  const uint32_t offset = dir.U32(header + 4);
  if (offset >= size || static_cast<int64_t>(offset) + 2 > size) return std::nullopt;
  stream.SetPosition(start + offset);
  uint8_t count_bytes[2];
  if (!stream.ReadExact(count_bytes, 2)) return std::nullopt;
  const uint16_t count = dir.U16(count_bytes);
  if (count == 0 || static_cast<int64_t>(offset) + 2 + static_cast<int64_t>(count) * kEntrySize > size)
    return std::nullopt;
  std::vector<uint8_t> raw(static_cast<size_t>(count) * kEntrySize);
  if (!stream.ReadExact(raw.data(), static_cast<int64_t>(raw.size()))) return std::nullopt;
  dir.entries.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = raw.data() + i * kEntrySize;
    dir.entries[i].tag = dir.U16(p);
    dir.entries[i].type = dir.U16(p + 2);
    dir.entries[i].count = dir.U32(p + 4);
    std::memcpy(dir.entries[i].value, p + 8, 4);
  }
  return dir;
}

}  // namespace

bool IsDicomStream(TStream& stream) {
  const std::vector<uint8_t> b = Peek(stream, 132);
  return HasAt(b, 128, "DICM", 4);
}

bool IsWmfStream(TStream& stream) {
  const std::vector<uint8_t> b = Peek(stream, 18);
  if (b.size() < 18) return false;
  if (Le32(b.data()) == 0x9AC6CDD7u) return true;  // placeable metafile key
  const uint16_t type = Le16(b.data());
  const uint16_t header_words = Le16(b.data() + 2);
  const uint16_t version = Le16(b.data() + 4);
  return (type == 1 || type == 2) && header_words == 9 && (version == 0x0100 || version == 0x0300);
}

bool IsEmfStream(TStream& stream) {
  const std::vector<uint8_t> b = Peek(stream, 44);
  return b.size() == 44 && Le32(b.data()) == 1 && HasAt(b, 40, " EMF", 4);
}

bool IsPsdStream(TStream& stream) {
  const std::vector<uint8_t> b = Peek(stream, 6);
  return HasAt(b, 0, "8BPS", 4) && b[4] == 0 && (b[5] == 1 || b[5] == 2);
}

bool IsAviStream(TStream& stream) {
  const std::vector<uint8_t> b = Peek(stream, 12);
  return HasAt(b, 0, "RIFF", 4) && HasAt(b, 8, "AVI ", 4);
}

bool IsCameraRawStream(TStream& stream) {
  const int64_t start = stream.Position();
  const std::vector<uint8_t> b = Peek(stream, 16);
  if (HasAt(b, 0, "II", 2) && HasAt(b, 6, "HEAPCCDR", 8)) return true;  // heap-structured raw
  if (HasAt(b, 0, "FUJIFILM", 8)) return true;
  if (HasAt(b, 0, "FOVb", 4)) return true;
  if (HasAt(b, 0, "IIRO", 4) || HasAt(b, 0, "IIRS", 4) || HasAt(b, 0, "MMOR", 4)) return true;
  if (HasAt(b, 0, "\0MRM", 4)) return true;
  if (HasAt(b, 0, "IIU\0", 4)) return true;
  stream.SetPosition(start);
  return IsCameraRawTiffStream(stream);
}

bool IsTiffHeaderStream(TStream& stream) {
  const std::optional<TTiffDirectory> dir = ReadFirstDirectory(stream, true);
  return dir && dir->Find(kTagImageWidth) != nullptr && dir->Find(kTagImageLength) != nullptr;
}

bool IsCameraRawTiffStream(TStream& stream) {
  const std::optional<TTiffDirectory> dir = ReadFirstDirectory(stream, false);
  if (!dir) return false;
  if (const TTiffEntry* dng = dir->Find(kTagDngVersion); dng != nullptr && dng->type == kTypeByte && dng->count == 4)
    return true;
  if (const std::optional<uint32_t> photometric = dir->Integer(kTagPhotometric);
      photometric && (*photometric == 32803 || *photometric == 34892))
    return true;
  if (dir->Find(kTagSubIfds) != nullptr && dir->Find(kTagRawTag37398) != nullptr) {
    const uint32_t width = dir->Integer(kTagImageWidth).value_or(0);
    const uint32_t height = dir->Integer(kTagImageLength).value_or(0);
    return width < 200 && height < 200;
  }
  return false;
}

}  // namespace tessaly
