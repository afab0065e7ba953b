// Tessaly tests: BMP files written by ImageMagick, Pillow and netpbm load with
// the pixels those programs decode, and every file our writer makes is read
// back by them with the pixels it was given.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp_test_util.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::testing;
using testing_bmp::Decode;
using testing_bmp::Decoded;
using testing_bmp::PixelRGBA;

constexpr const char* kPython = "/usr/bin/python3";

struct Raster {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> rgba;  // top row first
};

// Pillow turns any image into "width height\n" and RGBA bytes.
const char* kPillowToRaw =
    "import sys\n"
    "from PIL import Image\n"
    "im = Image.open(sys.argv[1]); im.load(); im = im.convert('RGBA')\n"
    "open(sys.argv[2], 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\n";

bool ReadRaw(const std::string& path, Raster& out) {
  const std::vector<uint8_t> bytes = FileExists(path) ? ReadFileBytes(path) : std::vector<uint8_t>{};
  const auto newline = std::find(bytes.begin(), bytes.end(), '\n');
  if (newline == bytes.end()) return false;
  if (std::sscanf(std::string(bytes.begin(), newline).c_str(), "%d %d", &out.width, &out.height) != 2) return false;
  out.rgba.assign(newline + 1, bytes.end());
  return out.rgba.size() == static_cast<size_t>(out.width) * out.height * 4;
}

enum class Peer { kPillow, kMagick, kNetpbm };
const char* PeerName(Peer p) { return p == Peer::kPillow ? "Pillow" : p == Peer::kMagick ? "ImageMagick" : "netpbm"; }

class BmpPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("convert") || !HaveProgram("bmptopnm") || RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") != 0) {
      GTEST_SKIP() << "peer programs missing";
    }
    WriteFileBytes(dir_.File("to_raw.py"), std::vector<uint8_t>(kPillowToRaw, kPillowToRaw + std::strlen(kPillowToRaw)));
  }

  std::string Py() const { return std::string(kPython) + " "; }

  /// The peer's decoding of a BMP file, false when it refuses the file.
  bool PeerDecode(Peer peer, const std::string& bmp, Raster& out) {
    const std::string raw = dir_.File("peer.raw");
    std::remove(raw.c_str());
    std::string command;
    switch (peer) {
      case Peer::kPillow:
        command = Py() + dir_.File("to_raw.py") + " " + bmp + " " + raw;
        break;
      case Peer::kMagick:
        // An 8-bit RGBA PNG keeps the alpha channel; Pillow only unpacks it.
        command = "convert " + bmp + " PNG32:" + dir_.File("peer.png") + " && " + Py() + dir_.File("to_raw.py") +
                  " " + dir_.File("peer.png") + " " + raw;
        break;
      case Peer::kNetpbm:
        command = "bmptopnm " + bmp + " > " + dir_.File("peer.pnm") + " && " + Py() + dir_.File("to_raw.py") + " " +
                  dir_.File("peer.pnm") + " " + raw;
        break;
    }
    return RunCommand(command + " 2>/dev/null") == 0 && ReadRaw(raw, out);
  }

  /// Writes the image as a binary PPM (and PAM with alpha when given).
  std::string WritePeerSource(const TImBitmap& image, const std::string& name, const TImBitmap* alpha = nullptr) {
    const std::string header = alpha == nullptr
        ? "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n"
        : "P7\nWIDTH " + std::to_string(image.Width()) + "\nHEIGHT " + std::to_string(image.Height()) +
              "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (int32_t y = 0; y < image.Height(); ++y) {
      for (int32_t x = 0; x < image.Width(); ++x) {
        const TRGB c = image.PixelRGB(x, y);
        bytes.insert(bytes.end(), {c.r, c.g, c.b});
        if (alpha != nullptr) bytes.push_back(alpha->PixelByte(x, y));
      }
    }
    const std::string path = dir_.File(name);
    WriteFileBytes(path, bytes);
    return path;
  }

  TempDir dir_;
};

// Our decoding equals the peer's within tolerance (16-bit files: peers
// widen 5 bits by scaling, we by shifting).
void ExpectSamePixels(const Decoded& ours, const Raster& theirs, int tolerance, bool alpha, const std::string& what) {
  ASSERT_EQ(ours.bitmap->Width(), theirs.width) << what;
  ASSERT_EQ(ours.bitmap->Height(), theirs.height) << what;
  for (int32_t y = 0; y < theirs.height; ++y) {
    for (int32_t x = 0; x < theirs.width; ++x) {
      const auto mine = PixelRGBA(ours, x, y);
      const uint8_t* p = theirs.rgba.data() + (static_cast<size_t>(y) * theirs.width + x) * 4;
      for (int c = 0; c < (alpha ? 4 : 3); ++c) {
        ASSERT_LE(std::abs(mine[c] - p[c]), tolerance) << what << " at " << x << "," << y << " channel " << c;
      }
    }
  }
}

TEST_F(BmpPeers, FilesOfOtherProgramsLoadWithTheirPixels) {
  TImBitmap rich, few;
  testing_bmp::FillPattern(rich, 37, 23, 0);
  testing_bmp::FillPattern(few, 37, 23, 12);
  TImBitmap alpha(37, 23, im8g);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) alpha.SetPixelByte(x, y, static_cast<uint8_t>(x * 7));
  const std::string r = WritePeerSource(rich, "rich.ppm"), f = WritePeerSource(few, "few.ppm");
  const std::string a = WritePeerSource(rich, "alpha.pam", &alpha);
  const std::string pil = Py() + "-c \"import sys; from PIL import Image; im = Image.open(sys.argv[1]); ";
  const std::string pil_alpha = Py() +
      "-c \"import sys; from PIL import Image; raw = open(sys.argv[1], 'rb').read(); "
      "im = Image.frombytes('RGBA', (37, 23), raw[raw.index(b'ENDHDR') + 7:]); ";
  // Edits of peer files for forms no peer writes: rows top-down, a 108-byte header.
  const std::string top_down = Py() +
      "-c \"import sys, struct; d = bytearray(open(sys.argv[1], 'rb').read()); off = struct.unpack_from('<I', d, 10)[0]; "
      "w, h = struct.unpack_from('<ii', d, 18); s = (w * 3 + 3) // 4 * 4; "
      "rows = [d[off + i * s: off + (i + 1) * s] for i in range(h)]; struct.pack_into('<i', d, 22, -h); "
      "open(sys.argv[2], 'wb').write(d[:off] + b''.join(reversed(rows)))\"";
  const std::string to_v4 = Py() +
      "-c \"import sys, struct; d = bytearray(open(sys.argv[1], 'rb').read()); assert struct.unpack_from('<I', d, 14)[0] == 124; "
      "d = d[:14 + 108] + d[14 + 124:]; struct.pack_into('<I', d, 14, 108); "
      "struct.pack_into('<I', d, 10, struct.unpack_from('<I', d, 10)[0] - 16); struct.pack_into('<I', d, 2, len(d)); "
      "open(sys.argv[2], 'wb').write(d)\"";
  // An RLE4 file with runs, an absolute run, a delta and an early end of line.
  const std::string rle4 = Py() +
      "-c \"import sys, struct; pal = b''.join(bytes((i * 16, 255 - i * 16, i * 7, 0)) for i in range(16)); "
      "data = bytes([6, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 3, 0xAB, 0, 2, 2, 1, 2, 0xCD, 0, 0, 11, 0xEF, 0, 1]); "
      "info = struct.pack('<IiiHHIIiiII', 40, 11, 3, 1, 4, 2, len(data), 0, 0, 16, 0); off = 14 + 40 + 64; "
      "open(sys.argv[1], 'wb').write(b'BM' + struct.pack('<IHHI', off + len(data), 0, 0, off) + info + pal + data)\"";
  // Pillow 9's RLE4 decoder drops the last pixel of odd absolute runs and
  // what follows a delta; it reads the fourth byte of a 32-bit file as alpha
  // only with bit-field masks.
  const std::vector<Peer> both = {Peer::kPillow, Peer::kMagick}, magick = {Peer::kMagick};
  struct Case {
    const char* name;
    std::string command;  // writes OUT
    int bits;
    int tolerance;
    std::vector<Peer> alpha_from;  // peers whose alpha we match (alpha read when any)
    std::vector<Peer> peers = {Peer::kPillow, Peer::kMagick};
  };
  const std::vector<Case> cases = {
      {"magick-1bit", "convert " + f + " -monochrome BMP3:OUT", 1, 0, {}},
      {"magick-4bit", "convert " + f + " -colors 12 -type palette -compress none BMP3:OUT", 4, 0, {}},
      {"magick-8bit", "convert " + r + " -colors 200 -type palette -compress none BMP3:OUT", 8, 0, {}},
      {"magick-rle8", "convert " + r + " -colors 200 -type palette -compress RLE BMP3:OUT", 8, 0, {}},
      {"magick-565-v5", "convert " + r + " -define bmp:subtype=RGB565 BMP:OUT", 16, 7, {}},
      {"magick-555-v5", "convert " + r + " -define bmp:subtype=RGB555 BMP:OUT", 16, 7, {}},
      {"magick-565-v4", "convert " + r + " -define bmp:subtype=RGB565 BMP:OUT.v5 && " + to_v4 + " OUT.v5 OUT", 16, 7, {}},
      {"magick-24", "convert " + r + " BMP3:OUT", 24, 0, {}},
      {"magick-24-v5", "convert " + r + " BMP:OUT", 24, 0, {}},
      {"magick-24-v4", "convert " + r + " BMP:OUT.v5 && " + to_v4 + " OUT.v5 OUT", 24, 0, {}},
      {"magick-os2-24", "convert " + r + " BMP2:OUT", 24, 0, {}},
      {"magick-os2-4", "convert " + f + " -colors 12 -type palette BMP2:OUT", 4, 0, {}},
      {"magick-32-alpha", "convert " + a + " BMP:OUT", 32, 0, both},
      {"pillow-1bit", pil + "im.convert('1').save(sys.argv[2], 'BMP')\" " + r + " OUT", 1, 0, {}},
      {"pillow-8bit-grey", pil + "im.convert('L').save(sys.argv[2], 'BMP')\" " + r + " OUT", 8, 0, {}},
      {"pillow-8bit-palette", pil + "im.quantize(200).save(sys.argv[2], 'BMP')\" " + r + " OUT", 8, 0, {}},
      {"pillow-24", pil + "im.save(sys.argv[2], 'BMP')\" " + r + " OUT", 24, 0, {}},
      {"pillow-24-top-down", pil + "im.save(sys.argv[2], 'BMP')\" " + r + " OUT.up && " + top_down + " OUT.up OUT", 24, 0, {}},
      {"pillow-32-alpha", pil_alpha + "im.save(sys.argv[2], 'BMP')\" " + a + " OUT", 32, 0, magick},
      {"netpbm-1bit", "ppmtopgm " + r + " | pgmtopbm -threshold | ppmtobmp > OUT", 1, 0, {}},
      {"netpbm-4bit", "ppmtobmp -bpp 4 " + f + " > OUT", 4, 0, {}},
      {"netpbm-8bit", "ppmtobmp -bpp 8 " + f + " > OUT", 8, 0, {}},
      {"netpbm-24", "ppmtobmp -bpp 24 " + r + " > OUT", 24, 0, {}},
      {"netpbm-os2-8", "ppmtobmp -os2 -bpp 8 " + f + " > OUT", 8, 0, {}},
      {"crafted-rle4", rle4 + " OUT", 4, 0, {}, magick},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = dir_.File(std::string(c.name) + ".bmp");
    std::string command = c.command;
    for (size_t at; (at = command.find("OUT")) != std::string::npos;) command.replace(at, 3, out);
    ASSERT_EQ(RunCommand(command + " 2>/dev/null"), 0) << command;
    const std::vector<uint8_t> bytes = ReadFileBytes(out);
    const int bits = bytes[14] == 12 ? bytes[24] : bytes[28];
    EXPECT_EQ(bits, c.bits) << "the peer wrote another depth than the case is about";
    const bool alpha = !c.alpha_from.empty();
    const Decoded ours = Decode(bytes, {.alpha = alpha});
    ASSERT_FALSE(ours.aborted);
    if (alpha) {
      EXPECT_NE(ours.mask, nullptr);
    }
    int decoded_by = 0;
    for (Peer peer : c.peers) {
      Raster theirs;
      EXPECT_TRUE(PeerDecode(peer, out, theirs)) << PeerName(peer);
      if (theirs.rgba.empty()) continue;
      ++decoded_by;
      const bool with_alpha = std::find(c.alpha_from.begin(), c.alpha_from.end(), peer) != c.alpha_from.end();
      ExpectSamePixels(ours, theirs, c.tolerance, with_alpha, PeerName(peer));
    }
    EXPECT_GT(decoded_by, 0);
  }
}

TEST_F(BmpPeers, EveryVariantWeWriteReadsBackInOtherPrograms) {
  TImBitmap rich, few;
  testing_bmp::FillPattern(rich, 37, 23, 0);
  testing_bmp::FillPattern(few, 37, 23, 12);
  TImBitmap two(37, 23, im24RGB);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) two.SetPixelRGB(x, y, (x * y) % 3 ? TRGB{200, 100, 50} : TRGB{20, 30, 40});
  TImBitmap with_alpha;
  with_alpha.Assign(rich);
  TImBitmap* alpha = with_alpha.AlphaChannel();
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) alpha->SetPixelByte(x, y, static_cast<uint8_t>(y * 11));
  struct Case {
    const char* name;
    TImBitmap* image;
    int bits_per_sample, samples;
    uint8_t version, compression;
    bool use_alpha;
    std::vector<Peer> alpha_readers;  // peers expected to read our 32-bit alpha
    std::vector<Peer> peers = {Peer::kPillow, Peer::kMagick, Peer::kNetpbm};
  };
  const std::vector<Case> cases = {
      {"1bit", &two, 1, 1, 1, 0, false, {}},
      {"4bit", &few, 4, 1, 1, 0, false, {}},
      {"8bit", &few, 8, 1, 1, 0, false, {}},
      {"rle4", &few, 4, 1, 1, 1, false, {}, {Peer::kMagick, Peer::kNetpbm}},  // Pillow: see above
      {"rle8", &few, 8, 1, 1, 1, false, {}},
      {"24bit", &rich, 8, 3, 1, 0, false, {}},
      {"32bit-alpha", &with_alpha, 8, 3, 1, 0, true, {Peer::kMagick}},
      {"os2-8bit", &few, 8, 1, 2, 0, false, {}},
      {"os2-24bit", &rich, 8, 3, 2, 0, false, {}},
      // ImageMagick takes the palette after a 64-byte header for 3-byte
      // entries, and netpbm reads a zero height from that header.
      {"os2v2-64-byte-header", &few, 8, 1, 3, 0, false, {}, {Peer::kPillow}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIOParamsVals params;
    params.BitsPerSample = c.bits_per_sample;
    params.SamplesPerPixel = c.samples;
    params.BmpVersion = c.version;
    params.BmpCompression = c.compression;
    params.BmpUseAlpha = c.use_alpha;
    const std::vector<uint8_t> file = testing_bmp::Encode(*c.image, params);
    const std::string path = dir_.File(std::string(c.name) + ".bmp");
    WriteFileBytes(path, file);
    int read_by = 0;
    for (Peer peer : c.peers) {
      Raster theirs;
      EXPECT_TRUE(PeerDecode(peer, path, theirs)) << PeerName(peer);
      if (theirs.rgba.empty()) continue;
      ++read_by;
      ASSERT_EQ(theirs.width, 37);
      ASSERT_EQ(theirs.height, 23);
      const bool check_alpha = std::find(c.alpha_readers.begin(), c.alpha_readers.end(), peer) != c.alpha_readers.end();
      for (int32_t y = 0; y < 23; ++y) {
        for (int32_t x = 0; x < 37; ++x) {
          const TRGB want = c.image->PixelRGB(x, y);
          const uint8_t* p = theirs.rgba.data() + (static_cast<size_t>(y) * 37 + x) * 4;
          ASSERT_EQ((std::array<uint8_t, 3>{p[0], p[1], p[2]}), (std::array<uint8_t, 3>{want.r, want.g, want.b}))
              << PeerName(peer) << " at " << x << "," << y;
          if (check_alpha) {
            ASSERT_EQ(p[3], alpha->PixelByte(x, y)) << PeerName(peer) << " alpha at " << x << "," << y;
          }
        }
      }
    }
    EXPECT_GT(read_by, 0);
  }
}

}  // namespace
}  // namespace tessaly
