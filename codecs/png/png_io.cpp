// Tessaly: the bridge between libpng and our streams and error handling.
#include "codecs/png/png_io.h"

#include <cstdlib>

namespace tessaly::png_detail {

namespace {
// Wider or taller than this is refused in the header, before any row buffer.
constexpr png_uint_32 kMaxDimension = 1000000;
// Text and unknown chunks kept per file; the rest are skipped.
constexpr png_uint_32 kMaxCachedChunks = 512;
// Largest single ancillary chunk, or decompressed text or profile.
constexpr png_alloc_size_t kMaxChunkBytes = 8 * 1024 * 1024;

// No legitimate block is larger than a row of the widest picture allowed
// (1,000,000 pixels of 8 bytes) or a chunk at the limit above; together they
// stay far below the total.
constexpr size_t kMaxBlockBytes = 32 * 1024 * 1024;
constexpr size_t kMaxLiveBytes = 128 * 1024 * 1024;
// Each block carries its size in front, keeping the 16-byte alignment.
constexpr size_t kBlockHeader = 16;
}  // namespace

png_voidp PngLimitedMalloc(png_structp png, png_alloc_size_t size) {
  auto* memory = static_cast<TPngMemory*>(png_get_mem_ptr(png));
  if (memory == nullptr || size > kMaxBlockBytes || memory->Live + size > kMaxLiveBytes) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kBlockHeader));
  if (block == nullptr) return nullptr;
  *reinterpret_cast<size_t*>(block) = size;
  memory->Live += size;
  return block + kBlockHeader;
}

void PngCountedFree(png_structp png, png_voidp pointer) {
  if (pointer == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(pointer) - kBlockHeader;
  auto* memory = static_cast<TPngMemory*>(png_get_mem_ptr(png));
  if (memory != nullptr) memory->Live -= *reinterpret_cast<size_t*>(block);
  std::free(block);
}

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
