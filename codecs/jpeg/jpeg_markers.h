// Tessaly: the application and comment segments a JPEG read keeps.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly {

/// An ordered list of JPEG segments: a marker code (0xE0..0xEF for APP0..APP15,
/// 0xFE for COM) and the segment's data without its two length bytes.
class TImMarkerList {
 public:
  /// Longest data a segment can carry (its length field counts itself).
  static constexpr int kMaxDataLength = 65533;

  int Count() const { return static_cast<int>(entries_.size()); }
  uint8_t MarkerCode(int index) const { return entries_.at(index).code; }
  const std::vector<uint8_t>& MarkerData(int index) const { return entries_.at(index).data; }
  int MarkerLength(int index) const { return static_cast<int>(entries_.at(index).data.size()); }
  /// The first entry with this code, or -1.
  int IndexOf(uint8_t code) const;
  /// Appends a segment; data past kMaxDataLength is cut off, since a longer
  /// segment cannot be written. Returns the new entry's index.
  int AddMarker(uint8_t code, const uint8_t* data, int length);
  void SetMarker(int index, uint8_t code, const uint8_t* data, int length);
  void DeleteMarker(int index);
  void Clear() { entries_.clear(); }
  void Assign(const TImMarkerList& other) { entries_ = other.entries_; }

  /// Puts the entries in the order a JPEG writer emits them: by marker code,
  /// ICC chunks by their sequence number, and the EXIF block first among the
  /// APP1 segments.
  void SortForWrite();

  friend bool operator==(const TImMarkerList&, const TImMarkerList&) = default;

 private:
  struct TEntry {
    uint8_t code = 0;
    std::vector<uint8_t> data;
    friend bool operator==(const TEntry&, const TEntry&) = default;
  };
  std::vector<TEntry> entries_;
};

}  // namespace tessaly
