// Tessaly tests: the sizes intake records equal those of loading every photo in full.
#include "app/photo_measure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/stream.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::TempDir;

// The definition: one holder, every photo loaded in full, the bitmap's size
// read after each load. The number of photos measured before an error ends it.
std::pair<std::vector<std::pair<int32_t, int32_t>>, bool> FullLoadSizes(const std::vector<std::string>& names) {
  TImageHolder holder;
  std::vector<std::pair<int32_t, int32_t>> sizes;
  try {
    for (const std::string& name : names) {
      holder.IO().LoadFile(name);
      sizes.emplace_back(holder.Bitmap().Width(), holder.Bitmap().Height());
    }
  } catch (const EFOpenError&) {
    return {sizes, true};
  }
  return {sizes, false};
}

std::pair<std::vector<std::pair<int32_t, int32_t>>, bool> IntakeSizes(const std::vector<std::string>& names) {
  testing::FakeServices services;
  TMainForm form(services);
  services.dialog_files = names;
  bool raised = false;
  try {
    form.AddFileClick();
  } catch (const EFOpenError&) {
    raised = true;
  }
  std::vector<std::pair<int32_t, int32_t>> sizes;
  for (int i = 0; i < form.PhotoList().Count(); ++i) {
    const TPhotoRecord r = form.PhotoList().GetCopy(i);
    sizes.emplace_back(r.PhotoWidth, r.PhotoHeight);
  }
  return {sizes, raised};
}

void Save(const std::string& path, int32_t w, int32_t h, TImPixelLayout format, bool progressive = false) {
  TImageHolder holder;
  ASSERT_TRUE(holder.Bitmap().Allocate(w, h, format));
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t i = 0; i < holder.Bitmap().RowLen(); ++i) holder.Bitmap().ScanLine(y)[i] = uint8_t(i * 7 + y * 3);
  }
  holder.IO().IOParams.JpegProgressive = progressive;
  holder.IO().SaveFile(path);
  ASSERT_FALSE(holder.IO().Aborted) << path;
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& bytes, size_t n) {
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(std::min(n, bytes.size())));
}

// The offset of a JPEG frame header's height field (after FFC0 or FFC2, length, precision).
size_t FrameSizeOffset(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
  }
  return 0;
}

TEST(PhotoMeasure, IntakeSizesEqualFullLoadsOnEveryKindOfFile) {
  TempDir dir;
  auto f = [&](const std::string& n) { return dir.File(n); };
  Save(f("base.jpg"), 97, 61, im24RGB);
  Save(f("prog.jpeg"), 50, 75, im24RGB, true);
  Save(f("grey.JPG"), 33, 17, im8g);
  Save(f("pic.bmp"), 21, 13, im24RGB);
  Save(f("pic.png"), 40, 9, im24RGB);
  const auto jpeg = testing::ReadFileBytes(f("base.jpg"));
  const auto prog = testing::ReadFileBytes(f("prog.jpeg"));
  const auto png = testing::ReadFileBytes(f("pic.png"));
  const auto bmp = testing::ReadFileBytes(f("pic.bmp"));
  // Damaged files: cut inside the entropy-coded data, cut inside the
  // headers, a frame claiming far more pixels than the file could hold,
  // flipped bytes in the scans, another format under a JPEG name, noise, nothing.
  testing::WriteFileBytes(f("cut-data.jpg"), Prefix(jpeg, jpeg.size() * 2 / 3));
  testing::WriteFileBytes(f("cut-prog.jpg"), Prefix(prog, prog.size() / 2));
  testing::WriteFileBytes(f("cut-head.jpg"), Prefix(jpeg, 40));
  auto huge = jpeg;
  const size_t at = FrameSizeOffset(huge);
  ASSERT_NE(at, 0u);
  huge[at] = huge[at + 1] = huge[at + 2] = huge[at + 3] = 0xEA;
  testing::WriteFileBytes(f("huge.jpg"), huge);
  auto flipped = prog;
  for (size_t i = flipped.size() / 3; i < flipped.size() - 2; i += 37) flipped[i] ^= 0x5A;
  testing::WriteFileBytes(f("flipped.jpg"), flipped);
  testing::WriteFileBytes(f("png-inside.jpg"), png);
  std::vector<uint8_t> noise(3000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 2654435761u) >> 13);
  testing::WriteFileBytes(f("noise.jpg"), noise);
  testing::WriteFileBytes(f("empty.jpg"), {});
  testing::WriteFileBytes(f("cut.png"), Prefix(png, png.size() - 20));
  testing::WriteFileBytes(f("cut.bmp"), Prefix(bmp, 30));
  testing::WriteFileBytes(f("note.txt"), {1, 2, 3});

  const std::vector<std::string> all = {
      f("base.jpg"),  f("prog.jpeg"),     f("grey.JPG"),  f("pic.bmp"),  f("pic.png"),   f("cut-data.jpg"),
      f("cut-prog.jpg"), f("cut-head.jpg"), f("huge.jpg"), f("flipped.jpg"), f("png-inside.jpg"), f("noise.jpg"),
      f("empty.jpg"), f("cut.png"), f("cut.bmp"), f("note.txt")};
  // Each file first (a failure with nothing before it), each file after
  // each other one (a failure after a good load of every kind), and the
  // whole list forwards and backwards.
  std::vector<std::vector<std::string>> lists = {all, std::vector<std::string>(all.rbegin(), all.rend())};
  for (const std::string& a : all) {
    for (const std::string& b : all) lists.push_back({a, b, b, a});
  }
  for (const auto& list : lists) {
    const auto want = FullLoadSizes(list);
    const auto got = IntakeSizes(list);
    ASSERT_EQ(got, want) << list[0] << " then " << list[1];
  }
}

TEST(PhotoMeasure, AnUnopenableFileRaisesWhereAOneByOneIntakeWould) {
  TempDir dir;
  Save(dir.File("a.jpg"), 30, 20, im24RGB);
  Save(dir.File("b.bmp"), 5, 6, im24RGB);
  for (const std::vector<std::string>& list :
       {std::vector<std::string>{dir.File("a.jpg"), dir.File("a.jpg"), dir.File("gone.jpg"), dir.File("a.jpg")},
        std::vector<std::string>{dir.File("b.bmp"), dir.File("gone.bmp"), dir.File("a.jpg"), dir.File("a.jpg")},
        std::vector<std::string>{dir.File("gone.jpg"), dir.File("a.jpg"), dir.File("a.jpg")}}) {
    const auto want = FullLoadSizes(list);
    ASSERT_TRUE(want.second);
    EXPECT_EQ(IntakeSizes(list), want) << list[0];
  }
}

}  // namespace
}  // namespace tessaly
