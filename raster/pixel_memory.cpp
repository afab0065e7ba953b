// Tessaly: the allocators behind pixel blocks.
//
// Large tagged blocks are mapped pages rather than heap blocks: the kernel is
// asked for huge pages for them, and a freed one is kept for the next photo
// of a batch, because first touch of fresh pages costs more here than
// decoding a photo into them. A block taken from the cache is zero-filled
// again unless its caller will overwrite every row anyway.
#include "raster/pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TESSALY_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TESSALY_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TESSALY_POISON(p, n) ((void)(p), (void)(n))
#define TESSALY_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace tessaly {

namespace {

constexpr size_t kLargeBlock = 1048576;
constexpr size_t kTagBytes = 4;
constexpr size_t kHugePage = size_t{2} << 20;
// A mapping starts with its length; the block begins one cache line in, with
// the tag byte just before it as for the other tagged blocks.
constexpr size_t kMapHeader = 64;
constexpr uint8_t kTagHeap = 0, kTagZeroed = 1, kTagMapped = 2;

// Enough for the blocks one photo of a batch frees (the decoded photo, its
// undo copy, the intermediate and the result) to wait for the next one.
constexpr size_t kCacheBlocks = 6;
constexpr size_t kCacheBytes = size_t{240} << 20;

struct TCachedMap {
  uint8_t* Map;
  size_t Length;
};

struct TMapCache {
  std::mutex Lock;
  std::vector<TCachedMap> Free;  // oldest first
  size_t Bytes = 0;
};

TMapCache& Cache() {
  static TMapCache* cache = new TMapCache;  // lives to the end, freed blocks may arrive late
  return *cache;
}

size_t MapLengthFor(size_t size) { return (size + kMapHeader + kHugePage - 1) / kHugePage * kHugePage; }

uint8_t* BlockOfMap(uint8_t* map) { return map + kMapHeader; }

uint8_t* TakeCachedMap(size_t length) {
  TMapCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.Lock);
  size_t best = cache.Free.size();
  for (size_t i = 0; i < cache.Free.size(); ++i) {
    const size_t have = cache.Free[i].Length;
    // A much larger block would hold memory the photo does not need.
    if (have < length || have > length + length / 4 + kHugePage) continue;
    if (best == cache.Free.size() || have < cache.Free[best].Length) best = i;
  }
  if (best == cache.Free.size()) return nullptr;
  uint8_t* map = cache.Free[best].Map;
  cache.Bytes -= cache.Free[best].Length;
  cache.Free.erase(cache.Free.begin() + static_cast<ptrdiff_t>(best));
  return map;
}

uint8_t* MapBlock(size_t size, bool zero) {
  const size_t length = MapLengthFor(size);
  uint8_t* map = TakeCachedMap(length);
  bool fresh = false;
  if (map == nullptr) {
    void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    map = static_cast<uint8_t*>(p);
#ifdef MADV_HUGEPAGE
    ::madvise(map, length, MADV_HUGEPAGE);
#endif
    fresh = true;
  }
  TESSALY_UNPOISON(map, length);
  std::memcpy(map, &length, sizeof length);
  uint8_t* block = BlockOfMap(map);
  block[-1] = kTagMapped;
  // Fresh pages are zero already.
  if (!fresh && zero) std::memset(block, 0, size);
  // Everything but the block itself is out of bounds for the checker.
  TESSALY_POISON(map, kMapHeader - 1);
  TESSALY_POISON(block + size, length - kMapHeader - size);
  return block;
}

void UnmapBlock(uint8_t* map, size_t length) {
  TESSALY_UNPOISON(map, length);
  ::munmap(map, length);
}

void ReleaseMap(uint8_t* block) {
  uint8_t* map = block - kMapHeader;
  TESSALY_UNPOISON(map, kMapHeader);
  size_t length = 0;
  std::memcpy(&length, map, sizeof length);
  TESSALY_POISON(map, length);
  std::vector<TCachedMap> evicted;
  {
    TMapCache& cache = Cache();
    std::lock_guard<std::mutex> hold(cache.Lock);
    if (length <= kCacheBytes) {
      cache.Free.push_back(TCachedMap{map, length});
      cache.Bytes += length;
    } else {
      evicted.push_back(TCachedMap{map, length});
    }
    while (!cache.Free.empty() && (cache.Free.size() > kCacheBlocks || cache.Bytes > kCacheBytes)) {
      evicted.push_back(cache.Free.front());
      cache.Bytes -= cache.Free.front().Length;
      cache.Free.erase(cache.Free.begin());
    }
  }
  for (const TCachedMap& m : evicted) UnmapBlock(m.Map, m.Length);
}

}  // namespace

uint8_t* AllocatePixelBlock(size_t size, uint8_t kind, bool zero) {
  if (size == 0 || size > SIZE_MAX - kTagBytes - kHugePage) return nullptr;
  switch (kind) {
    case kAllocHeap: return static_cast<uint8_t*>(std::malloc(size));
    case kAllocZeroed: return static_cast<uint8_t*>(std::calloc(1, size));
    default: break;
  }
  if (size >= kLargeBlock) {
    if (uint8_t* block = MapBlock(size, zero)) return block;
  }
  uint8_t* raw = nullptr;
  uint8_t tag = kTagHeap;
  if (size < kLargeBlock) raw = static_cast<uint8_t*>(std::malloc(size + kTagBytes));
  if (raw == nullptr) {
    raw = static_cast<uint8_t*>(std::calloc(1, size + kTagBytes));
    tag = kTagZeroed;
  }
  if (raw == nullptr) return nullptr;
  raw[0] = tag;
  return raw + 1;
}

void FreePixelBlock(uint8_t* block, uint8_t kind) {
  if (block == nullptr) return;
  if (kind == kAllocTagged) {
    if (block[-1] == kTagMapped) {
      ReleaseMap(block);
      return;
    }
    block -= 1;
  }
  std::free(block);
}

void ReleaseCachedPixelBlocks() {
  std::vector<TCachedMap> all;
  {
    TMapCache& cache = Cache();
    std::lock_guard<std::mutex> hold(cache.Lock);
    all.swap(cache.Free);
    cache.Bytes = 0;
  }
  for (const TCachedMap& m : all) UnmapBlock(m.Map, m.Length);
}

size_t CachedPixelBlockBytes() {
  TMapCache& cache = Cache();
  std::lock_guard<std::mutex> hold(cache.Lock);
  return cache.Bytes;
}

}  // namespace tessaly
