// Tessaly: the allocators behind pixel blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly {

/// Allocator kinds of a bitmap's heap block.
enum : uint8_t { kAllocHeap = 0, kAllocZeroed = 1, kAllocTagged = 2 };

/// Allocates size bytes of the given kind; null on failure. The tagged kind
/// serves small requests from the heap and large ones (1 MiB and up)
/// zero-filled, recording which in a byte before the block.
uint8_t* AllocatePixelBlock(size_t size, uint8_t kind);
void FreePixelBlock(uint8_t* block, uint8_t kind);

}  // namespace tessaly
