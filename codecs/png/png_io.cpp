// Tessaly: the bridge between libpng and our streams and error handling.
#include "codecs/png/png_io.h"

namespace tessaly::png_detail {

namespace {
// Wider or taller than this is refused in the header, before any row buffer.
constexpr png_uint_32 kMaxDimension = 1000000;
// Text and unknown chunks kept per file; the rest are skipped.
constexpr png_uint_32 kMaxCachedChunks = 512;
// Largest single ancillary chunk, or decompressed text or profile.
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;
}  // namespace

void PngErrorJump(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void PngIgnoreWarning(png_structp, png_const_charp) {}

void PngReadData(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<TPngReadIO*>(png_get_io_ptr(png));
  bool complete = false;
  // Nothing may unwind through libpng: any stream failure becomes a short read.
  try {
    complete = io != nullptr && io->Stream->ReadExact(data, static_cast<int64_t>(length));
  } catch (...) {
    complete = false;
  }
  if (!complete) png_error(png, "Read Error");
}

void PngWriteData(png_structp png, png_bytep data, size_t length) {
  auto* io = static_cast<TPngWriteIO*>(png_get_io_ptr(png));
  if (io == nullptr) return;
  bool complete = false;
  try {
    complete = io->Stream->WriteExact(data, static_cast<int64_t>(length));
  } catch (...) {
    complete = false;
  }
  if (!complete && io->Progress != nullptr) io->Progress->Abort();
}

void PngFlushNothing(png_structp) {}

void SetPngReadLimits(png_structp png) {
  png_set_user_limits(png, kMaxDimension, kMaxDimension);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
}

}  // namespace tessaly::png_detail
