// Tessaly: learning the width and height of photos being added to the list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

/// The size each photo of a selection is recorded with: the size of an
/// intake holder's bitmap right after the photo was loaded into it, one
/// photo after the other in list order, so a photo that does not load keeps
/// the size the previous one left (0 x 0 for the first).
///
/// The full decode that defines it is not needed for JPEG files: the JPEG
/// reader sets the bitmap's final size before it decodes a single row, and
/// fails before that or not at all as far as the size goes. So a JPEG file
/// goes through the reader as a load by name would, at an eighth of the
/// size and stopped before the first row (on a second core ahead of the
/// list, since a progressive file's scans are all read before that point);
/// that tells whether the reader got as far as sizing the bitmap, and the
/// frame's size is what a full decode gives. Other files are loaded in full,
/// in order, into a holder whose bitmap has the size a full-decoding intake
/// would have left.
class TPhotoMeasurer {
 public:
  explicit TPhotoMeasurer(const std::vector<std::string>& names);
  ~TPhotoMeasurer();
  TPhotoMeasurer(const TPhotoMeasurer&) = delete;
  TPhotoMeasurer& operator=(const TPhotoMeasurer&) = delete;

  /// Loads name `index` (called for 0, 1, 2 ... in order) and returns the
  /// recorded size. Raises what the load raises (a file that cannot be
  /// opened), at the photo where a one-by-one intake would have raised it.
  void Measure(size_t index, int32_t& width, int32_t& height);

 private:
  struct TState;
  TState* state_;
};

/// Whether a file is loaded by the JPEG reader (chosen by its extension).
bool IsJpegByName(const std::string& path);

}  // namespace tessaly
