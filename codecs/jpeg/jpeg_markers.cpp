// Tessaly: the application and comment segments a JPEG read keeps.
#include "codecs/jpeg/jpeg_markers.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

namespace {

constexpr uint8_t kApp1 = 0xE1;
constexpr uint8_t kApp2 = 0xE2;
// "ICC_PROFILE", 0, then the chunk's sequence number and the chunk count.
constexpr char kIccTag[] = "ICC_PROFILE";
constexpr size_t kIccSequenceByte = 12;
constexpr char kExifTag[] = "Exif";

bool StartsWith(const std::vector<uint8_t>& data, const char* text, size_t length) {
  return data.size() >= length && std::memcmp(data.data(), text, length) == 0;
}

bool IsIccChunk(uint8_t code, const std::vector<uint8_t>& data) {
  return code == kApp2 && data.size() > kIccSequenceByte + 1 && StartsWith(data, kIccTag, 12);
}

bool IsExifBlock(uint8_t code, const std::vector<uint8_t>& data) {
  return code == kApp1 && StartsWith(data, kExifTag, 5);
}

}  // namespace

int TImMarkerList::IndexOf(uint8_t code) const {
  for (int i = 0; i < Count(); ++i) {
    if (entries_[i].code == code) return i;
  }
  return -1;
}

int TImMarkerList::AddMarker(uint8_t code, const uint8_t* data, int length) {
  TEntry entry;
  entry.code = code;
  length = std::clamp(length, 0, kMaxDataLength);
  if (data != nullptr) entry.data.assign(data, data + length);
  entries_.push_back(std::move(entry));
  return Count() - 1;
}

void TImMarkerList::SetMarker(int index, uint8_t code, const uint8_t* data, int length) {
  TEntry& entry = entries_.at(index);
  entry.code = code;
  length = std::clamp(length, 0, kMaxDataLength);
  if (data != nullptr) {
    entry.data.assign(data, data + length);
  } else {
    entry.data.clear();
  }
}

void TImMarkerList::DeleteMarker(int index) {
  if (index < 0 || index >= Count()) return;
  entries_.erase(entries_.begin() + index);
}

void TImMarkerList::SortForWrite() {
  // A stable sort: segments of one code keep their file order, which matters
  // where a block is split over several segments (a Photoshop resource block
  // over consecutive APP13 segments, an extended XMP packet).
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const TEntry& a, const TEntry& b) { return a.code < b.code; });

  // ICC chunks go in their sequence order, in the slots the chunks occupy, so
  // that other APP2 data keeps its place.
  std::vector<size_t> slots;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (IsIccChunk(entries_[i].code, entries_[i].data)) slots.push_back(i);
  }
  if (slots.size() > 1) {
    std::vector<TEntry> chunks;
    chunks.reserve(slots.size());
    for (size_t slot : slots) chunks.push_back(std::move(entries_[slot]));
    std::stable_sort(chunks.begin(), chunks.end(), [](const TEntry& a, const TEntry& b) {
      return a.data[kIccSequenceByte] < b.data[kIccSequenceByte];
    });
    for (size_t i = 0; i < slots.size(); ++i) entries_[slots[i]] = std::move(chunks[i]);
  }

  // Readers expect the EXIF block as the first APP1 segment.
  auto first_app1 = std::find_if(entries_.begin(), entries_.end(),
                                 [](const TEntry& e) { return e.code == kApp1; });
  auto exif = std::find_if(first_app1, entries_.end(),
                           [](const TEntry& e) { return IsExifBlock(e.code, e.data); });
  if (first_app1 != entries_.end() && exif != entries_.end()) {
    std::rotate(first_app1, exif, exif + 1);
  }
}

}  // namespace tessaly
