// Tessaly tests: the PNG reader and writer, checked against other programs' files and decoders.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "codecs/png/png_codec.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::HaveProgram;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::TempDir;
using testing::WriteFileBytes;

const char* const kPython = "/usr/bin/python3";

// ---------------------------------------------------------------- helpers

struct TChunk {
  std::string Type;
  std::vector<uint8_t> Data;
};

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

std::vector<TChunk> Chunks(const std::vector<uint8_t>& file) {
  std::vector<TChunk> chunks;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = BigEndian32(&file[at]);
    if (at + 12 + length > file.size()) break;
    chunks.push_back({std::string(file.begin() + at + 4, file.begin() + at + 8),
                      std::vector<uint8_t>(file.begin() + at + 8, file.begin() + at + 8 + length)});
    at += 12 + length;
  }
  return chunks;
}

const TChunk* FindChunk(const std::vector<TChunk>& chunks, const std::string& type) {
  for (const TChunk& c : chunks) {
    if (c.Type == type) return &c;
  }
  return nullptr;
}

struct THeaderFields {
  int BitDepth = 0, ColorType = 0, Interlace = 0;
};

THeaderFields HeaderOf(const std::vector<uint8_t>& file) {
  const auto chunks = Chunks(file);
  const TChunk* ihdr = FindChunk(chunks, "IHDR");
  if (ihdr == nullptr || ihdr->Data.size() < 13) return {};
  return {ihdr->Data[8], ihdr->Data[9], ihdr->Data[12]};
}

std::vector<uint8_t> ChunkBytes(const std::string& type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(length >> s));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(crc >> s));
  return out;
}

/// A PNG assembled from its parts: the rows are given unfiltered.
std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, int depth, int type,
                             const std::vector<std::vector<uint8_t>>& rows,
                             const std::vector<TChunk>& before_idat = {}) {
  std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr(13, 0);
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = static_cast<uint8_t>(width >> (24 - 8 * i));
    ihdr[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
  }
  ihdr[8] = static_cast<uint8_t>(depth);
  ihdr[9] = static_cast<uint8_t>(type);
  auto append = [&file](const std::vector<uint8_t>& bytes) { file.insert(file.end(), bytes.begin(), bytes.end()); };
  append(ChunkBytes("IHDR", ihdr));
  for (const TChunk& c : before_idat) append(ChunkBytes(c.Type, c.Data));
  std::vector<uint8_t> raw;
  for (const auto& row : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(size);
  compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(size);
  append(ChunkBytes("IDAT", packed));
  append(ChunkBytes("IEND", {}));
  return file;
}

struct TLoaded {
  TImBitmap Bitmap;
  TIOParamsVals Params;
  std::unique_ptr<TImMask> Mask;
  bool Aborted = false;
};

std::unique_ptr<TLoaded> Load(const std::vector<uint8_t>& bytes, bool native = false, bool info_only = false) {
  auto out = std::make_unique<TLoaded>();
  out->Params.NativePixelFormat = native;
  TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  TCodecProgress progress;
  progress.Aborted = &out->Aborted;
  ReadPngStream(stream, out->Bitmap, out->Params, info_only, progress, &out->Mask,
                static_cast<int64_t>(bytes.size()));
  return out;
}

std::vector<uint8_t> Save(TImBitmap& bitmap, TIOParamsVals& params, const TImMask* mask = nullptr,
                          bool* aborted_out = nullptr) {
  TMemoryStream stream;
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  WritePngStream(stream, bitmap, params, mask, progress);
  if (aborted_out != nullptr) *aborted_out = aborted;
  return stream.Bytes();
}

/// Pixels as 8-bit red, green, blue, alpha, whatever the bitmap's format.
std::vector<uint8_t> RGBAOf(const TImBitmap& b, const TImMask* mask) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.ScanLine(y);
    for (int32_t x = 0; x < b.Width(); ++x) {
      uint8_t r = 0, g = 0, bl = 0;
      switch (b.PixelFormat()) {
        case im1g: r = g = bl = b.PixelBit(x, y) ? 255 : 0; break;
        case im8g: r = g = bl = row[x]; break;
        case imGray16: r = g = bl = row[2 * x + 1]; break;
        case im8p: {
          const TRGB c = b.PaletteColor(row[x]);
          r = c.r, g = c.g, bl = c.b;
          break;
        }
        default: bl = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2]; break;
      }
      out.insert(out.end(), {r, g, bl, static_cast<uint8_t>(mask != nullptr ? mask->GetPixel(x, y) : 255)});
    }
  }
  return out;
}

/// What ImageMagick decodes, reduced to 8 bits by keeping the high byte.
std::vector<uint8_t> MagickRGBA(const TempDir& dir, const std::string& png) {
  const std::string raw = dir.File("peer.rgba");
  if (RunCommand("convert '" + png + "' -depth 16 -endian MSB rgba:'" + raw + "'") != 0) return {};
  const auto words = ReadFileBytes(raw);
  std::vector<uint8_t> out;
  for (size_t i = 0; i < words.size(); i += 2) out.push_back(words[i]);
  return out;
}

/// What Pillow decodes as 8-bit RGBA.
std::vector<uint8_t> PillowRGBA(const TempDir& dir, const std::string& png) {
  const std::string raw = dir.File("pillow.rgba");
  const std::string script = "from PIL import Image; open('" + raw + "','wb').write(Image.open('" + png +
                             "').convert('RGBA').tobytes())";
  if (RunCommand(std::string(kPython) + " -c \"" + script + "\"") != 0) return {};
  return ReadFileBytes(raw);
}

bool HavePeers() {
  return HaveProgram("convert") && HaveProgram("pngcheck") &&
         RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") == 0;
}

/// A test picture with smooth and sharp changes, a few exact colours and
/// varied alpha; odd sizes catch packing at the end of a row.
void MakePicture(TImBitmap& b, int32_t width, int32_t height, uint32_t seed = 1) {
  b.Allocate(width, height, im24RGB);
  std::mt19937 random(seed);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = b.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / width);
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / height);
      row[3 * x + 2] = static_cast<uint8_t>((x / 4 + y / 4) % 2 ? 230 : random() % 256);
    }
  }
}

// Pillow writes the bulk of the fixtures from one picture; ImageMagick the
// depths and the interlaced variants that Pillow cannot write.
const char* const kFixtureScript = R"PY(
import sys
from PIL import Image
d = sys.argv[1]
w, h = 23, 17
im = Image.new('RGBA', (w, h))
px = im.load()
for y in range(h):
    for x in range(w):
        px[x, y] = (x * 11 % 256, y * 15 % 256, (x * y * 7) % 256, 255 if (x + y) % 5 else (x * 40) % 256)
im.save(d + '/pil-rgba8.png')
im.convert('RGB').save(d + '/pil-rgb8.png')
im.convert('LA').save(d + '/pil-la8.png')
im.convert('L').save(d + '/pil-l8.png')
im.convert('L').point(lambda v: 255 if v > 100 else 0).convert('1').save(d + '/pil-1.png')
im.convert('L').convert('I').point(lambda v: v * 256 + 77).convert('I;16').save(d + '/pil-i16.png')
im.convert('RGB').quantize(200).save(d + '/pil-pal8.png')
p = im.convert('RGB').quantize(150)
p.save(d + '/pil-pal8-trns.png', transparency=bytes((i * 37) % 256 for i in range(150)))
two = Image.new('P', (w, h))
two.putpalette([200, 30, 40, 10, 60, 220])
two.putdata([int((x * 3 + y) % 7 < 3) for y in range(h) for x in range(w)])
two.save(d + '/pil-pal1.png', bits=1)
two.save(d + '/pil-pal1-trns.png', bits=1, transparency=0)
im.convert('RGB').quantize(16).save(d + '/pil-pal4.png', bits=4)
)PY";

struct TPeerCase {
  const char* Name;
  const char* MagickCommand;  // empty: written by the script; else the arguments of convert
  int BitDepth, ColorType, Interlace;
  TImPixelLayout Format;
  bool HasAlpha;
  const char* Source = "pil-rgba8";  // what convert starts from
  const char* Coder = "";            // a coder prefix for the output name
};

// ---------------------------------------------------------------- reading

TEST(PngRead, FilesOfOtherProgramsDecodeAsTheyDo) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, pngcheck or Pillow missing";
  TempDir dir;
  const std::string script = dir.File("make.py");
  std::ofstream(script) << kFixtureScript;
  ASSERT_EQ(RunCommand(std::string(kPython) + " " + script + " " + dir.Path()), 0);

  const TPeerCase cases[] = {
      {"pil-rgba8", "", 8, 6, 0, im24RGB, true},
      {"pil-rgb8", "", 8, 2, 0, im24RGB, false},
      {"pil-la8", "", 8, 4, 0, im24RGB, true},
      {"pil-l8", "", 8, 0, 0, im24RGB, false},
      {"pil-1", "", 1, 0, 0, im1g, false},
      {"pil-i16", "", 16, 0, 0, im24RGB, false},
      {"pil-pal8", "", 8, 3, 0, im24RGB, false},
      {"pil-pal8-trns", "", 8, 3, 0, im24RGB, true},
      {"pil-pal1", "", 1, 3, 0, im24RGB, false},
      {"pil-pal1-trns", "", 1, 3, 0, im24RGB, true},
      {"pil-pal4", "", 4, 3, 0, im24RGB, false},
      {"im-grey2", "-alpha off -colorspace gray -define png:bit-depth=2 -define png:color-type=0", 2, 0, 0, im24RGB, false},
      {"im-grey4", "-alpha off -colorspace gray -define png:bit-depth=4 -define png:color-type=0", 4, 0, 0, im24RGB, false},
      {"im-grey16", "-alpha off -colorspace gray -depth 16 -evaluate multiply 0.99 -define png:bit-depth=16 -define png:color-type=0", 16, 0, 0, im24RGB, false},
      {"im-greyalpha16", "-colorspace gray -depth 16 -evaluate multiply 0.99 -define png:bit-depth=16 -define png:color-type=4", 16, 4, 0, im24RGB, true},
      {"im-rgb16", "-alpha off -depth 16 -evaluate multiply 0.99 -define png:bit-depth=16 -define png:color-type=2", 16, 2, 0, im24RGB, false},
      {"im-rgba16", "-depth 16 -evaluate multiply 0.99 -define png:bit-depth=16 -define png:color-type=6", 16, 6, 0, im24RGB, true},
      {"im-rgb8-interlaced", "-alpha off -interlace PNG -define png:color-type=2", 8, 2, 1, im24RGB, false},
      {"im-rgba8-interlaced", "-interlace PNG -define png:color-type=6", 8, 6, 1, im24RGB, true},
      {"im-rgba16-interlaced", "-interlace PNG -depth 16 -evaluate multiply 0.99 -define png:bit-depth=16 -define png:color-type=6", 16, 6, 1, im24RGB, true},
      {"im-greyalpha8-interlaced", "-interlace PNG -colorspace gray -define png:color-type=4", 8, 4, 1, im24RGB,
       true},
      {"im-pal8-interlaced", "-interlace PNG -alpha off -colors 40 -define png:color-type=3 -define png:bit-depth=8",
       8, 3, 1, im24RGB, false},
      {"im-grey1-interlaced",
       "-alpha off -interlace PNG -colorspace gray -threshold 50% -define png:bit-depth=1 -define png:color-type=0", 1, 0, 1,
       im1g, false},
      {"im-pal1-interlaced",
       "-interlace PNG -define png:bit-depth=1 -define png:color-type=3", 1, 3, 1, im24RGB, false, "pil-pal1", "PNG8:"},
  };
  for (const TPeerCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.File(std::string(c.Name) + ".png");
    if (*c.MagickCommand != '\0') {
      ASSERT_EQ(RunCommand("convert '" + dir.File(std::string(c.Source) + ".png") + "' " + c.MagickCommand + " " + c.Coder + "'" + path + "'"), 0);
    }
    const auto bytes = ReadFileBytes(path);
    const THeaderFields header = HeaderOf(bytes);
    ASSERT_EQ(header.BitDepth, c.BitDepth);
    ASSERT_EQ(header.ColorType, c.ColorType);
    ASSERT_EQ(header.Interlace, c.Interlace);

    const auto loaded = Load(bytes);
    ASSERT_FALSE(loaded->Aborted);
    EXPECT_EQ(loaded->Bitmap.PixelFormat(), c.Format);
    EXPECT_EQ(loaded->Mask != nullptr, c.HasAlpha);
    if (loaded->Mask != nullptr) {
      EXPECT_FALSE(loaded->Mask->Full());
    }
    EXPECT_EQ(loaded->Params.BitsPerSample, c.BitDepth);
    EXPECT_EQ(loaded->Params.PngInterlaced, c.Interlace != 0);
    const int samples[] = {1, 0, 3, 1, 2, 0, 4};
    EXPECT_EQ(loaded->Params.SamplesPerPixel, samples[c.ColorType]);
    EXPECT_EQ(loaded->Params.Width, 23);
    EXPECT_EQ(loaded->Params.Height, 17);
    const auto ours = RGBAOf(loaded->Bitmap, loaded->Mask.get());
    EXPECT_EQ(ours, MagickRGBA(dir, path));
    if (c.BitDepth <= 8) {
      EXPECT_EQ(ours, PillowRGBA(dir, path));
    }
    if (c.ColorType == 3) {
      ASSERT_GT(loaded->Params.ColorMapCount, 0);
      EXPECT_EQ(loaded->Params.ColorMapCount, static_cast<int>(loaded->Params.ColorMap.size()));
    }
  }
}

TEST(PngRead, NativeGreyKeepsItsDepth) {
  std::vector<std::vector<uint8_t>> rows8 = {{0, 100, 255}, {7, 8, 9}};
  auto loaded = Load(MakePng(3, 2, 8, 0, rows8), true);
  ASSERT_FALSE(loaded->Aborted);
  ASSERT_EQ(loaded->Bitmap.PixelFormat(), im8g);
  EXPECT_EQ(loaded->Bitmap.ScanLine(0)[1], 100);
  EXPECT_EQ(loaded->Bitmap.ScanLine(1)[2], 9);

  std::vector<std::vector<uint8_t>> rows16 = {{0x12, 0x34, 0xFF, 0xFE}};
  loaded = Load(MakePng(2, 1, 16, 0, rows16), true);
  ASSERT_FALSE(loaded->Aborted);
  ASSERT_EQ(loaded->Bitmap.PixelFormat(), imGray16);
  EXPECT_EQ(loaded->Bitmap.PixelWord(0, 0), 0x1234);  // little-endian in memory
  EXPECT_EQ(loaded->Bitmap.PixelWord(1, 0), 0xFFFE);
  EXPECT_EQ(loaded->Params.BitsPerSample, 16);

  // Without the native switch the same file is 24-bit with the high bytes.
  loaded = Load(MakePng(2, 1, 16, 0, rows16));
  ASSERT_EQ(loaded->Bitmap.PixelFormat(), im24RGB);
  EXPECT_EQ(loaded->Bitmap.ScanLine(0)[0], 0x12);
  EXPECT_EQ(loaded->Bitmap.ScanLine(0)[5], 0xFF);

  // A native palette file stays indexed, with its palette.
  const std::vector<TChunk> plte = {{"PLTE", {10, 20, 30, 40, 50, 60}}};
  loaded = Load(MakePng(2, 1, 8, 3, {{1, 0}}, plte), true);
  ASSERT_EQ(loaded->Bitmap.PixelFormat(), im8p);
  EXPECT_EQ(loaded->Bitmap.ScanLine(0)[0], 1);
  EXPECT_EQ(loaded->Bitmap.PaletteColor(1), (TRGB{60, 50, 40}));
}

TEST(PngRead, OneBitTransparencyBecomesAlpha) {
  // White (bit set) is the transparent grey; palette entry 0 is the transparent colour.
  auto loaded = Load(MakePng(2, 1, 1, 0, {{0x80}}, {{"tRNS", {0, 1}}}));
  ASSERT_FALSE(loaded->Aborted);
  ASSERT_NE(loaded->Mask, nullptr);
  EXPECT_EQ(RGBAOf(loaded->Bitmap, loaded->Mask.get()), (std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 255}));
  loaded = Load(MakePng(2, 1, 1, 3, {{0x40}}, {{"PLTE", {1, 2, 3, 4, 5, 6}}, {"tRNS", {0}}}));
  ASSERT_FALSE(loaded->Aborted);
  ASSERT_NE(loaded->Mask, nullptr);
  EXPECT_EQ(RGBAOf(loaded->Bitmap, loaded->Mask.get()), (std::vector<uint8_t>{1, 2, 3, 0, 4, 5, 6, 255}));
}

TEST(PngRead, ResolutionFromPhysicalChunk) {
  struct Case {
    std::vector<TChunk> Extra;
    int DpiX, DpiY;
  };
  auto phys = [](uint32_t x, uint32_t y, uint8_t unit) {
    std::vector<uint8_t> d(9, 0);
    for (int i = 0; i < 4; ++i) {
      d[i] = static_cast<uint8_t>(x >> (24 - 8 * i));
      d[4 + i] = static_cast<uint8_t>(y >> (24 - 8 * i));
    }
    d[8] = unit;
    return std::vector<TChunk>{{"pHYs", d}};
  };
  const Case cases[] = {
      {phys(2835, 2835, 1), 72, 72},
      {phys(11811, 3937, 1), 300, 100},
      {phys(2835, 2835, 0), 300, 300},  // an aspect ratio only
      {{}, 300, 300},
  };
  for (const Case& c : cases) {
    const auto loaded = Load(MakePng(1, 1, 8, 2, {{1, 2, 3}}, c.Extra), false, true);
    ASSERT_FALSE(loaded->Aborted);
    EXPECT_EQ(loaded->Params.DpiX, c.DpiX);
    EXPECT_EQ(loaded->Params.DpiY, c.DpiY);
  }
}

TEST(PngRead, BackgroundAtTheImagesOwnDepth) {
  struct Case {
    const char* Name;
    int Depth, Type;
    std::vector<uint8_t> Row;
    std::vector<TChunk> Extra;
    TRGB Expected;
  };
  const TRGB preset{1, 2, 3};
  const Case cases[] = {
      {"palette index", 8, 3, {0}, {{"PLTE", {1, 2, 3, 200, 100, 50}}, {"bKGD", {1}}}, TRGB{50, 100, 200}},
      {"palette index outside", 8, 3, {0}, {{"PLTE", {1, 2, 3}}, {"bKGD", {5}}}, preset},
      {"grey 8", 8, 0, {0}, {{"bKGD", {0, 200}}}, TRGB{200, 200, 200}},
      {"grey 16", 16, 0, {0, 0}, {{"bKGD", {0xAB, 0xCD}}}, TRGB{0xAB, 0xAB, 0xAB}},
      {"grey 2", 2, 0, {0}, {{"bKGD", {0, 2}}}, TRGB{170, 170, 170}},
      {"rgb 8", 8, 2, {0, 0, 0}, {{"bKGD", {0, 250, 0, 128, 0, 7}}}, TRGB{7, 128, 250}},
      {"rgb 16", 16, 2, {0, 0, 0, 0, 0, 0}, {{"bKGD", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}}}, TRGB{0x9A, 0x56, 0x12}},
      {"none", 8, 2, {0, 0, 0}, {}, preset},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto loaded = std::make_unique<TLoaded>();
    loaded->Params.PngBackground = preset;
    const auto bytes = MakePng(1, 1, c.Depth, c.Type, {c.Row}, c.Extra);
    TBufferStream stream(bytes.data(), static_cast<int64_t>(bytes.size()));
    TCodecProgress progress;
    progress.Aborted = &loaded->Aborted;
    ReadPngStream(stream, loaded->Bitmap, loaded->Params, false, progress, &loaded->Mask);
    EXPECT_FALSE(loaded->Aborted);
    EXPECT_EQ(loaded->Params.PngBackground, c.Expected);
  }
}

TEST(PngRead, TextChunksBeforeTheImage) {
  std::vector<uint8_t> ztxt = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
  const char* zipped_text = "packed words";
  uLongf size = 64;
  std::vector<uint8_t> packed(size);
  compress(packed.data(), &size, reinterpret_cast<const Bytef*>(zipped_text), std::strlen(zipped_text));
  ztxt.insert(ztxt.end(), packed.begin(), packed.begin() + static_cast<long>(size));
  const std::vector<TChunk> extra = {{"tEXt", {'T', 'i', 't', 'l', 'e', 0, 'S', 'e', 'a'}}, {"zTXt", ztxt}};
  const auto loaded = Load(MakePng(1, 1, 8, 0, {{9}}, extra));
  ASSERT_FALSE(loaded->Aborted);
  EXPECT_EQ(loaded->Params.PngTextKeys, (std::vector<std::string>{"Title", "Comment"}));
  EXPECT_EQ(loaded->Params.PngTextValues, (std::vector<std::string>{"Sea", "packed words"}));
}

TEST(PngRead, DamagedFilesEndCleanly) {
  TImBitmap picture;
  MakePicture(picture, 40, 30);
  TIOParamsVals params;
  TImMask mask;
  mask.Allocate(40, 30, 8);
  mask.Fill(128);
  const auto good = Save(picture, params, &mask);
  params.PngInterlaced = true;
  const auto interlaced = Save(picture, params, &mask);

  // Every cut of the file fails, and never reads past what it has.
  for (const auto* file : {&good, &interlaced}) {
    for (size_t cut = 0; cut < file->size(); cut += 7) {
      const std::vector<uint8_t> part(file->begin(), file->begin() + static_cast<long>(cut));
      EXPECT_TRUE(Load(part)->Aborted) << cut;
    }
  }
  // A flipped byte in the image data fails the checksum.
  auto corrupt = good;
  corrupt[good.size() - 20] ^= 0x55;
  EXPECT_TRUE(Load(corrupt)->Aborted);

  // Random bytes behind the signature, and random bytes alone.
  std::mt19937 random(7);
  for (int trial = 0; trial < 50; ++trial) {
    std::vector<uint8_t> noise(static_cast<size_t>(random() % 400));
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    if (trial % 2 == 0) noise.insert(noise.begin(), good.begin(), good.begin() + 8);
    EXPECT_TRUE(Load(noise)->Aborted);
  }

  // A header that claims a picture the file cannot hold is refused before
  // anything is allocated for it.
  const auto huge = MakePng(1000000, 1000000, 8, 6, {{1, 2, 3, 4}});
  const auto lying = Load(huge);
  EXPECT_TRUE(lying->Aborted);
  EXPECT_TRUE(lying->Bitmap.IsEmpty());
  EXPECT_EQ(lying->Mask, nullptr);
  EXPECT_TRUE(Load(MakePng(1000001, 1, 8, 0, {{0}}))->Aborted);  // beyond the width limit

  // A text chunk announcing nearly 2 GB in a file of a few bytes: the library
  // only warns about the length, so its allocation must be refused for it.
  auto long_text = MakePng(1, 1, 8, 0, {{0}});
  long_text.resize(33);
  long_text.insert(long_text.end(), {0x6F, 0, 0, 0, 't', 'E', 'X', 't', 'a', 0, 'b'});
  EXPECT_TRUE(Load(long_text)->Aborted);
}

TEST(PngRead, ContentTest) {
  const auto png = MakePng(1, 1, 8, 0, {{0}});
  struct Case {
    std::vector<uint8_t> Bytes;
    bool Expected;
  };
  const Case cases[] = {
      {png, true},
      {{0x89, 'P', 'N', 'G'}, true},
      {{0x89, 'P', 'N'}, false},
      {{'G', 'I', 'F', '8', '9', 'a', 0, 0}, false},
      {{}, false},
  };
  for (const Case& c : cases) {
    TMemoryStream stream;
    stream.Write("xy", 2);
    if (!c.Bytes.empty()) stream.Write(c.Bytes.data(), static_cast<int64_t>(c.Bytes.size()));
    stream.SetPosition(2);
    EXPECT_EQ(IsPngStream(stream), c.Expected);
    EXPECT_EQ(stream.Position(), 2);
  }
}

// ---------------------------------------------------------------- writing

/// Writes, checks with pngcheck and returns the file's path.
std::string SaveChecked(const TempDir& dir, const std::string& name, TImBitmap& b, TIOParamsVals& params,
                        const TImMask* mask = nullptr) {
  const std::string path = dir.File(name + ".png");
  WriteFileBytes(path, Save(b, params, mask));
  EXPECT_EQ(RunCommand("pngcheck -q '" + path + "' >/dev/null"), 0) << name;
  return path;
}

TEST(PngWrite, OtherProgramsDecodeOurPixels) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, pngcheck or Pillow missing";
  TempDir dir;
  TImBitmap picture;
  MakePicture(picture, 37, 21);
  TImMask mask;
  mask.Allocate(37, 21, 8);
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x) mask.SetPixel(x, y, (x * 7 + y) % 3 ? 255 : (x * 13) % 256);
  }
  TImBitmap grey(37, 21, im8g);
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x) grey.ScanLine(y)[x] = static_cast<uint8_t>(x * 7 + y);
  }
  TImBitmap few(30, 10, im24RGB);  // nine exact colours, so the palette is exact
  for (int32_t y = 0; y < 10; ++y) {
    for (int32_t x = 0; x < 30; ++x) few.SetPixelRGB(x, y, TRGB{uint8_t(x / 10 * 100), uint8_t(y / 4 * 90), 40});
  }

  struct Case {
    const char* Name;
    TImBitmap* Bitmap;
    int Samples, Bits;
    bool WithMask, Interlaced;
    int ColorType, BitDepth;
    bool Exact;  // pixels kept exactly (no palette reduction)
  };
  const Case cases[] = {
      {"rgb", &picture, 3, 8, false, false, 2, 8, true},
      {"rgb-interlaced", &picture, 3, 8, false, true, 2, 8, true},
      {"rgba", &picture, 3, 8, true, false, 6, 8, true},
      {"rgba-interlaced", &picture, 3, 8, true, true, 6, 8, true},
      {"grey8", &grey, 1, 8, false, false, 0, 8, true},
      {"grey16", &grey, 1, 16, false, false, 0, 16, true},
      {"palette-exact", &few, 1, 8, false, false, 3, 8, true},
      {"palette-exact-interlaced", &few, 1, 8, false, true, 3, 8, true},
      {"palette-quantised", &picture, 1, 8, false, false, 3, 8, false},
      {"palette-from-4-bits", &few, 1, 4, false, false, 3, 8, true},
      {"palette-16-bits", &few, 1, 16, false, false, 3, 8, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals params;
    params.SamplesPerPixel = c.Samples;
    params.BitsPerSample = c.Bits;
    params.PngInterlaced = c.Interlaced;
    params.SetDpiX(72);
    params.SetDpiY(150);
    const std::string path = SaveChecked(dir, c.Name, *c.Bitmap, params, c.WithMask ? &mask : nullptr);
    const auto bytes = ReadFileBytes(path);
    const THeaderFields header = HeaderOf(bytes);
    EXPECT_EQ(header.ColorType, c.ColorType);
    EXPECT_EQ(header.BitDepth, c.BitDepth);
    EXPECT_EQ(header.Interlace, c.Interlaced ? 1 : 0);

    const auto magick = MagickRGBA(dir, path);
    if (c.BitDepth <= 8) {  // Pillow clips 16-bit grey instead of scaling it
      EXPECT_EQ(magick, PillowRGBA(dir, path));
    }
    const auto ours = RGBAOf(*c.Bitmap, c.WithMask ? &mask : nullptr);
    ASSERT_EQ(magick.size(), ours.size());
    if (c.Exact) {
      EXPECT_EQ(magick, ours);
    } else {
      int far = 0;
      for (size_t i = 0; i < ours.size(); ++i) far += std::abs(int(ours[i]) - int(magick[i])) > 48;
      EXPECT_LT(far, static_cast<int>(ours.size() / 50));
    }
    // Our own reader agrees with the peers, resolution included.
    const auto back = Load(bytes);
    ASSERT_FALSE(back->Aborted);
    EXPECT_EQ(RGBAOf(back->Bitmap, back->Mask.get()), magick);
    EXPECT_EQ(back->Params.DpiX, 72);
    EXPECT_EQ(back->Params.DpiY, 150);
    if (c.Bits == 4) {
      EXPECT_EQ(params.BitsPerSample, 8);
    }
  }
}

TEST(PngWrite, TransparentPaletteUsesTheBackgroundEntry) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, pngcheck or Pillow missing";
  TempDir dir;
  TImBitmap few(12, 6, im24RGB);
  TImMask mask;
  mask.Allocate(12, 6, 8);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 12; ++x) {
      few.SetPixelRGB(x, y, TRGB{uint8_t(x * 20), 0, uint8_t(y * 40)});
      mask.SetPixel(x, y, x < 3 ? 0 : 255);
    }
  }
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.PngBackground = TRGB{9, 8, 7};
  const std::string path = SaveChecked(dir, "palette-transparent", few, params, &mask);
  const auto bytes = ReadFileBytes(path);
  const auto chunks = Chunks(bytes);
  EXPECT_EQ(HeaderOf(bytes).ColorType, 3);
  ASSERT_NE(FindChunk(chunks, "tRNS"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "tRNS")->Data, std::vector<uint8_t>{0});
  ASSERT_NE(FindChunk(chunks, "PLTE"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "PLTE")->Data.size(), 256u * 3);
  const std::vector<uint8_t> entry0(FindChunk(chunks, "PLTE")->Data.begin(), FindChunk(chunks, "PLTE")->Data.begin() + 3);
  EXPECT_EQ(entry0, (std::vector<uint8_t>{7, 8, 9}));
  ASSERT_NE(FindChunk(chunks, "bKGD"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "bKGD")->Data, std::vector<uint8_t>{0});

  const auto peer = PillowRGBA(dir, path);
  ASSERT_EQ(peer.size(), 12u * 6 * 4);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 12; ++x) {
      const uint8_t* p = &peer[(y * 12 + x) * 4];
      if (x < 3) {
        EXPECT_EQ(p[3], 0);
      } else {
        const TRGB c = few.PixelRGB(x, y);
        EXPECT_EQ((std::vector<uint8_t>{p[0], p[1], p[2], p[3]}), (std::vector<uint8_t>{c.r, c.g, c.b, 255}));
      }
    }
  }
}

TEST(PngWrite, OneBitOutput) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, pngcheck or Pillow missing";
  TempDir dir;
  TImBitmap bw(19, 5, im1g);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 19; ++x) bw.SetPixelBit(x, y, (x + y) % 3 == 0);
  }
  TImBitmap two(19, 5, im24RGB);
  const TRGB dark{90, 10, 20}, light{10, 200, 250};
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 19; ++x) two.SetPixelRGB(x, y, (x + y) % 3 == 0 ? light : dark);
  }
  TIOParamsVals params;
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 1;
  std::string path = SaveChecked(dir, "bw", bw, params);
  EXPECT_EQ(HeaderOf(ReadFileBytes(path)).ColorType, 0);
  EXPECT_EQ(HeaderOf(ReadFileBytes(path)).BitDepth, 1);
  EXPECT_EQ(MagickRGBA(dir, path), RGBAOf(bw, nullptr));
  EXPECT_EQ(Load(ReadFileBytes(path))->Bitmap.PixelFormat(), im1g);

  // Two colours other than black and white keep their colours.
  path = SaveChecked(dir, "two-colours", two, params);
  EXPECT_EQ(HeaderOf(ReadFileBytes(path)).ColorType, 3);
  EXPECT_EQ(HeaderOf(ReadFileBytes(path)).BitDepth, 1);
  EXPECT_EQ(PillowRGBA(dir, path), RGBAOf(two, nullptr));
}

TEST(PngWrite, CompressionLevelsAndFilters) {
  TImBitmap picture;
  MakePicture(picture, 64, 48);
  auto image_data = [](const std::vector<uint8_t>& file) {
    std::vector<uint8_t> data;
    for (const TChunk& c : Chunks(file)) {
      if (c.Type == "IDAT") data.insert(data.end(), c.Data.begin(), c.Data.end());
    }
    return data;
  };
  std::vector<size_t> sizes;
  std::vector<uint8_t> pixels;
  for (int level = 0; level <= 9; ++level) {
    TIOParamsVals params;
    params.PngCompression = level;
    const auto file = Save(picture, params);
    sizes.push_back(file.size());
    const auto back = Load(file);
    ASSERT_FALSE(back->Aborted);
    if (level == 0) pixels = RGBAOf(back->Bitmap, nullptr);
    EXPECT_EQ(RGBAOf(back->Bitmap, nullptr), pixels) << level;
    if (level == 0) {
      // Level 0 stores: every deflate block is a stored block, and the rows
      // can be read straight out of the stream with their filter bytes (none).
      const auto z = image_data(file);
      size_t at = 2;
      std::vector<uint8_t> raw;
      bool last = false;
      while (!last && at + 5 <= z.size()) {
        ASSERT_EQ((z[at] >> 1) & 3, 0) << "block type at " << at;
        last = z[at] & 1;
        const size_t length = z[at + 1] | (z[at + 2] << 8);
        raw.insert(raw.end(), z.begin() + static_cast<long>(at) + 5, z.begin() + static_cast<long>(at + 5 + length));
        at += 5 + length;
      }
      ASSERT_EQ(raw.size(), 48u * (64 * 3 + 1));
      for (size_t r = 0; r < 48; ++r) EXPECT_EQ(raw[r * (64 * 3 + 1)], 0);
    }
  }
  EXPECT_EQ(*std::min_element(sizes.begin(), sizes.end()), sizes[9]);
  EXPECT_GT(sizes[0], sizes[9]);

  // The filter choice shows in the filter byte of each stored row.
  for (int filter : {1, 2}) {
    TIOParamsVals params;
    params.PngCompression = 0;
    params.PngFilter = static_cast<uint8_t>(filter);
    const auto file = Save(picture, params);
    const auto z = image_data(file);
    EXPECT_EQ(z[2 + 5], filter == 1 ? 1 : 4);  // PNG numbers Paeth 4
    const auto back = Load(file);
    EXPECT_EQ(RGBAOf(back->Bitmap, nullptr), pixels);
  }
}

TEST(PngWrite, ChunksCarriedFromTheRecord) {
  TImBitmap picture;
  MakePicture(picture, 5, 4);
  TIOParamsVals params;
  params.PngTextKeys = {"Title", "Author", "", "Extra"};
  params.PngTextValues = {"Harbour", "Me", "no keyword", "unpaired?"};
  params.PngTextValues.resize(3);  // only the first three pairs exist
  params.PngBackground = TRGB{30, 20, 10};
  params.SetDpiX(300);
  params.SetDpiY(72);
  const auto file = Save(picture, params);
  const auto chunks = Chunks(file);
  std::vector<std::string> texts;
  for (const TChunk& c : chunks) {
    if (c.Type == "tEXt") texts.emplace_back(c.Data.begin(), c.Data.end());
  }
  EXPECT_EQ(texts, (std::vector<std::string>{std::string("Title\0Harbour", 13), std::string("Author\0Me", 9)}));
  ASSERT_NE(FindChunk(chunks, "bKGD"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "bKGD")->Data, (std::vector<uint8_t>{0, 10, 0, 20, 0, 30}));
  ASSERT_NE(FindChunk(chunks, "pHYs"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "pHYs")->Data, (std::vector<uint8_t>{0, 0, 0x2E, 0x23, 0, 0, 0x0B, 0x13, 1}));

  // Read back, the record holds what was written.
  const auto back = Load(file);
  EXPECT_EQ(back->Params.PngTextKeys, (std::vector<std::string>{"Title", "Author"}));
  EXPECT_EQ(back->Params.PngBackground, (TRGB{30, 20, 10}));

  // Grey output gives the background's grey level; 16 bits scale it.
  TImBitmap grey(3, 3, im8g);
  grey.Fill(0);
  TIOParamsVals grey_params;
  grey_params.SamplesPerPixel = 1;
  grey_params.BitsPerSample = 16;
  grey_params.PngBackground = TRGB{200, 200, 200};
  const auto grey_file = Save(grey, grey_params);
  ASSERT_NE(FindChunk(Chunks(grey_file), "bKGD"), nullptr);
  EXPECT_EQ(FindChunk(Chunks(grey_file), "bKGD")->Data, (std::vector<uint8_t>{200, 200}));
  EXPECT_EQ(Load(grey_file)->Params.PngBackground, (TRGB{200, 200, 200}));
}

/// A stream that takes only so many bytes.
class TShortStream final : public TStream {
 public:
  explicit TShortStream(int64_t room) : room_(room) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    const int64_t done = std::min(count, room_);
    room_ -= done;
    return done;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }

 private:
  int64_t room_;
};

TEST(PngWrite, FailuresAreReported) {
  TImBitmap picture;
  MakePicture(picture, 50, 50);
  TIOParamsVals params;
  int reports = 0;
  bool aborted = false;
  TCodecProgress progress;
  progress.Aborted = &aborted;
  progress.OnProgress = [&reports](TImageIO*, int) { ++reports; };
  TShortStream full_disk(20);
  WritePngStream(full_disk, picture, params, nullptr, progress);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(reports, 0);  // the row loop never started

  TImBitmap empty;
  TMemoryStream stream;
  EXPECT_THROW(WritePngStream(stream, empty, params, nullptr, progress), EInvalidGraphic);
  TImBitmap too_wide(1000001, 1, im1g);
  params.SamplesPerPixel = 1;
  params.BitsPerSample = 1;
  try {
    WritePngStream(stream, too_wide, params, nullptr, progress);
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Error on creating PNG");
  }
}

// ---------------------------------------------------------------- through the I/O object

TEST(PngImageIO, LoadAndSaveByFileName) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick, pngcheck or Pillow missing";
  TempDir dir;
  const std::string source = dir.File("source.png");
  ASSERT_EQ(RunCommand("convert -size 31x9 gradient:red-blue -alpha set -channel A -fx 'i/w' +channel "
                       "-define png:color-type=6 -define png:exclude-chunk=bKGD '" + source + "'"),
            0);
  TImageIO io;
  io.SetBackground(0x00332211);
  io.LoadFile(source);
  ASSERT_FALSE(io.Aborted);
  TImBitmap* bitmap = io.Bitmap();
  ASSERT_TRUE(bitmap->HasAlphaChannel());
  EXPECT_FALSE(bitmap->ExistingAlphaChannel()->AlphaFull());
  EXPECT_EQ(io.IOParams.PngBackground, (TRGB{0x33, 0x22, 0x11}));  // no bKGD: the preset stays
  const auto expected = MagickRGBA(dir, source);

  // A real alpha channel is written as RGB with alpha and survives the peers.
  const std::string out = dir.File("OUT.PNG");
  io.SaveFile(out);
  ASSERT_FALSE(io.Aborted);
  EXPECT_EQ(RunCommand("pngcheck -q '" + out + "' >/dev/null"), 0);
  EXPECT_EQ(HeaderOf(ReadFileBytes(out)).ColorType, 6);
  EXPECT_EQ(MagickRGBA(dir, out), expected);
  EXPECT_EQ(PillowRGBA(dir, out), expected);

  // A damaged file through the same road sets Aborted and raises nothing.
  auto bytes = ReadFileBytes(out);
  bytes.resize(bytes.size() / 2);
  WriteFileBytes(dir.File("half.png"), bytes);
  io.LoadFile(dir.File("half.png"));
  EXPECT_TRUE(io.Aborted);
}

}  // namespace
}  // namespace tessaly
