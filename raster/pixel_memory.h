// Tessaly: the allocators behind pixel blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly {

/// Allocator kinds of a bitmap's heap block.
enum : uint8_t { kAllocHeap = 0, kAllocZeroed = 1, kAllocTagged = 2 };

/// Allocates size bytes of the given kind; null on failure. The tagged kind
/// serves small requests from the heap and large ones (1 MiB and up)
/// zero-filled, recording which in a byte before the block. Large tagged
/// blocks are mapped pages with huge pages asked for, and a freed one is
/// kept for reuse by a later request of about its size; with `zero` false
/// such a reused block is handed out as it is, for a caller that overwrites
/// every byte it will read.
uint8_t* AllocatePixelBlock(size_t size, uint8_t kind, bool zero = true);
void FreePixelBlock(uint8_t* block, uint8_t kind);

/// Gives the kept blocks back to the system (at the end of a batch).
void ReleaseCachedPixelBlocks();
/// Bytes of the blocks kept for reuse.
size_t CachedPixelBlockBytes();

}  // namespace tessaly
