// Tessaly tests: pixel blocks kept from photo to photo.
#include "raster/pixel_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "raster/bitmap.h"

namespace tessaly {
namespace {

bool AllZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

TEST(PixelMemory, ReusedBlocksAreZeroFilledLikeFreshOnes) {
  ReleaseCachedPixelBlocks();
  // From the size where tagged blocks leave the heap (and are zero-filled) to a photo's.
  for (size_t size : {size_t{1048576}, size_t{3} << 20, size_t{72000128}}) {
    for (int round = 0; round < 3; ++round) {
      uint8_t* block = AllocatePixelBlock(size, kAllocTagged);
      ASSERT_NE(block, nullptr) << size;
      EXPECT_TRUE(AllZero(block, size)) << size << " round " << round;
      std::memset(block, 0xAB, size);  // the whole block is ours
      FreePixelBlock(block, kAllocTagged);
    }
  }
  ReleaseCachedPixelBlocks();
  EXPECT_EQ(CachedPixelBlockBytes(), 0u);
}

TEST(PixelMemory, BitmapsSeeNoPixelsOfAnEarlierPhoto) {
  ReleaseCachedPixelBlocks();
  {
    TImBitmap first(1500, 1000, im24RGB);
    first.Fill(0x00FFFFFF);
  }
  TImBitmap second(1500, 1000, im24RGB);
  for (int32_t y = 0; y < second.Height(); ++y) ASSERT_TRUE(AllZero(second.ScanLine(y), second.RowLen())) << y;

  // A copy into a reused block that is not cleared first still equals its
  // source in every byte of every row, padding included.
  TImBitmap source(1001, 700, im24RGB);
  for (int32_t y = 0; y < source.Height(); ++y) {
    for (int32_t i = 0; i < source.RowLen(); ++i) source.ScanLine(y)[i] = uint8_t(y * 7 + i);
  }
  { TImBitmap junk(1001, 700, im24RGB); junk.Fill(0x00123456); }
  TImBitmap copy;
  copy.Assign(source);
  for (int32_t y = 0; y < source.Height(); ++y) {
    ASSERT_EQ(std::memcmp(copy.ScanLine(y), source.ScanLine(y), size_t(source.RowLen())), 0) << y;
  }
}

TEST(PixelMemory, KeptBlocksStayBoundedAndThreadsMayShare) {
  ReleaseCachedPixelBlocks();
  std::vector<uint8_t*> blocks;
  for (int i = 0; i < 8; ++i) blocks.push_back(AllocatePixelBlock(size_t{60} << 20, kAllocTagged));
  for (uint8_t* b : blocks) FreePixelBlock(b, kAllocTagged);
  EXPECT_LE(CachedPixelBlockBytes(), size_t{240} << 20);

  auto churn = [](int seed) {
    for (int i = 0; i < 20; ++i) {
      const size_t size = (size_t{2} + size_t((seed + i) % 5)) << 20;
      uint8_t* b = AllocatePixelBlock(size, kAllocTagged);
      ASSERT_NE(b, nullptr);
      EXPECT_TRUE(AllZero(b, size));
      std::memset(b, seed, size);
      FreePixelBlock(b, kAllocTagged);
    }
  };
  std::thread other(churn, 1);
  churn(2);
  other.join();
  ReleaseCachedPixelBlocks();
}

TEST(PixelMemory, AllocateFromTakesTheDonorsPixelsAsAllocateWould) {
  TImBitmap donor(37, 5, im24RGB);
  for (int32_t y = 0; y < 5; ++y) std::memset(donor.ScanLine(y), 10 + y, size_t(donor.RowLen()));
  TImBitmap target(3, 3, im8g);
  target.AlphaChannel();
  ASSERT_TRUE(target.AllocateFrom(donor));
  EXPECT_TRUE(donor.IsEmpty());
  EXPECT_EQ(target.Width(), 37);
  EXPECT_EQ(target.Height(), 5);
  EXPECT_EQ(target.PixelFormat(), im24RGB);
  EXPECT_FALSE(target.HasAlphaChannel());
  for (int32_t y = 0; y < 5; ++y) EXPECT_EQ(target.ScanLine(y)[110], 10 + y);
  // Rows laid out differently, or storage the donor does not own: refused, nothing changed.
  TImBitmap other(8, 8, im24RGB);
  other.SetRowAlign(64);
  TImBitmap packed(6, 8, im24RGB);  // 18 bytes: 20 a row at 32-bit alignment, 24 at 64
  EXPECT_FALSE(other.AllocateFrom(packed));
  EXPECT_EQ(other.Width(), 8);
  EXPECT_EQ(packed.Width(), 6);
  uint8_t buffer[64] = {};
  TImBitmap attached;
  ASSERT_TRUE(attached.AttachBuffer(buffer, 4, 4, im8g, false));
  EXPECT_FALSE(target.AllocateFrom(attached));
  EXPECT_EQ(target.Width(), 37);
}

}  // namespace
}  // namespace tessaly
