// Tessaly: the wizard's in-memory list of the photos to process.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

/// A delete outside the list: "Out of bounds,The value %d not between 0 and %d."
class EValueList : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
/// A read outside the list: "List index out of bounds (%d)"
class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// One photo of the list.
struct TPhotoRecord {
  std::string PhotoPath;    // full path of the photo file, kept whole
  std::string SizeKBText;   // file size in kilobytes, rounded up, as digits
  int32_t PhotoWidth = 0;   // width measured by loading the photo at intake
  int32_t PhotoHeight = 0;  // height measured at intake
  friend bool operator==(const TPhotoRecord&, const TPhotoRecord&) = default;
};

/// An ordered list that owns private copies of its records; callers only
/// ever hold copies.
template <typename Record>
class TValueList {
 public:
  TValueList() = default;
  virtual ~TValueList() { Clear(); }
  TValueList(const TValueList&) = delete;
  TValueList& operator=(const TValueList&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// Appends a copy (a fresh record for null) and returns its index.
  int AddCopy(const Record* record) {
    items_.push_back(record != nullptr ? std::make_unique<Record>(Normalised(*record))
                                       : std::make_unique<Record>());
    return Count() - 1;
  }
  int AddCopy(const Record& record) { return AddCopy(&record); }
  Record GetCopy(int index) const {
    if (index < 0 || index >= Count()) {
      throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return *items_[static_cast<size_t>(index)];
  }
  void Delete(int index) {
    if (index < 0 || index >= Count()) {
      throw EValueList("Out of bounds,The value " + std::to_string(index) + " not between 0 and " +
                       std::to_string(Count() - 1) + ".");
    }
    items_.erase(items_.begin() + index);
  }
  /// Deletes from the last element to the first.
  virtual void Clear() {
    while (!items_.empty()) items_.pop_back();
  }
  virtual void Assign(const TValueList& source) {
    if (&source == this) return;
    Clear();
    for (const auto& item : source.items_) items_.push_back(std::make_unique<Record>(*item));
  }

 protected:
  virtual Record Normalised(const Record& record) const { return record; }

 private:
  std::vector<std::unique_ptr<Record>> items_;
};

/// The photo list: short texts keep their first 255 characters, except the
/// path, which is kept whole because a cut path names another file.
class TOpList : public TValueList<TPhotoRecord> {
 protected:
  TPhotoRecord Normalised(const TPhotoRecord& record) const override {
    TPhotoRecord copy = record;
    if (copy.SizeKBText.size() > 255) copy.SizeKBText.resize(255);
    return copy;
  }
};

}  // namespace tessaly
