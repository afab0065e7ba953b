// Tessaly: the allocators behind pixel blocks.
#include "raster/pixel_memory.h"

#include <cstdlib>

namespace tessaly {

namespace {
constexpr size_t kLargeBlock = 1048576;
constexpr size_t kTagBytes = 4;
}  // namespace

uint8_t* AllocatePixelBlock(size_t size, uint8_t kind) {
  if (size == 0 || size > SIZE_MAX - kTagBytes) return nullptr;
  switch (kind) {
    case kAllocHeap: return static_cast<uint8_t*>(std::malloc(size));
    case kAllocZeroed: return static_cast<uint8_t*>(std::calloc(1, size));
    default: break;
  }
  uint8_t* raw = nullptr;
  uint8_t tag = 0;
  if (size < kLargeBlock) raw = static_cast<uint8_t*>(std::malloc(size + kTagBytes));
  if (raw == nullptr) {
    raw = static_cast<uint8_t*>(std::calloc(1, size + kTagBytes));
    tag = 1;
  }
  if (raw == nullptr) return nullptr;
  raw[0] = tag;
  return raw + 1;
}

void FreePixelBlock(uint8_t* block, uint8_t kind) {
  if (block == nullptr) return;
  if (kind == kAllocTagged) block -= 1;
  std::free(block);
}

}  // namespace tessaly
