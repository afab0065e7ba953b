// Tessaly: the managers through which the JPEG library meets our streams.
// Private to codecs/jpeg.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include <jpeglib.h>

#include "platform/stream.h"

namespace tessaly::jpeg_detail {

constexpr size_t kIoBufferSize = 65536;

/// The library's error record with our methods. An error leaves the
/// library through longjmp to the innermost JpegGuard; warnings are counted.
struct TJpegErrorManager {
  jpeg_error_mgr pub;  // first, so the library's pointer is ours
  std::jmp_buf jump;
  bool* aborted = nullptr;  // the I/O object's flag; null when detached
  int warning_count = 0;
  int last_warning = 0;
  int error_code = 0;
};

/// Fills the record; the library's message table stays attached.
void InitErrorManager(TJpegErrorManager& manager, bool* aborted);
/// The library's message for a code with "?" for every value it would
/// name; "Corrupted" for a code outside the table.
std::string JpegMessageText(const jpeg_error_mgr& manager, int code);
/// A message code outside the library's table, for failures of our own.
constexpr int kOwnErrorCode = 100000;

/// Runs body; false when the library raised an error inside it. body must
/// keep no object with a destructor alive across library calls, since an
/// error leaves it by longjmp.
template <typename Body>
[[nodiscard]] bool JpegGuard(TJpegErrorManager& manager, Body&& body) {
  if (setjmp(manager.jump) != 0) return false;
  body();
  return true;
}

/// Source manager over a TStream with a 64 KB buffer.
struct TJpegSource {
  jpeg_source_mgr pub;
  TStream* stream = nullptr;
  bool* aborted = nullptr;
  bool start_of_file = true;
  bool at_end = false;
  std::unique_ptr<JOCTET[]> buffer;
};
/// Attaches (or re-attaches) the source to a stream.
void AttachSource(j_decompress_ptr cinfo, TJpegSource& source, TStream& stream, bool* aborted);

/// Destination manager over a TStream with a 64 KB buffer.
struct TJpegDestination {
  jpeg_destination_mgr pub;
  TStream* stream = nullptr;
  bool* aborted = nullptr;
  std::unique_ptr<JOCTET[]> buffer;
};
void AttachDestination(j_compress_ptr cinfo, TJpegDestination& destination, TStream& stream,
                       bool* aborted);

}  // namespace tessaly::jpeg_detail
