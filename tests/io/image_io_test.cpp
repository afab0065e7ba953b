// Tessaly tests: load and save dispatch of the I/O object, with stand-in
// codecs so the skeletons are checked apart from any real format.
#include "io/image_io.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "io/codec_lookup.h"
#include "io/format_registry.h"
#include "io/image_holder.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- a stand-in codec: the data is "FAKE" and one byte per pixel row
// count; "MASK" asks for an opacity plane, "BAD" is a damaged file.

struct TFakeLog {
  int loads = 0;
  int saves = 0;
  Bytes payload;                       // what the reader saw
  TImPixelLayout saved_format = imNoFormat;
  bool saved_mask = false;
  bool info_cleared_before_read = false;
};
TFakeLog g_log;

void FakeLoad(TLoadArgs& a) {
  ++g_log.loads;
  g_log.info_cleared_before_read = a.Params.PngTextKeys.empty();
  g_log.payload.assign(static_cast<size_t>(a.StreamSize), 0);
  g_log.payload.resize(static_cast<size_t>(std::max<int64_t>(0, a.Stream.Read(g_log.payload.data(), a.StreamSize))));
  const std::string text(g_log.payload.begin(), g_log.payload.end());
  a.Params.Width = 3;
  a.Params.Height = 2;
  a.Params.SetImageCount(1);
  a.Params.DpiX = 1;  // below the floor
  a.Params.DpiY = 150;
  a.Params.PngTextKeys = {"Comment"};
  if (text.rfind("BAD", 0) == 0) {
    a.Progress.Abort();
    return;
  }
  a.Progress.PercentPerUnit = 50;
  a.Progress.Report(1);
  if (a.Progress.IsAborted() || a.InfoOnly) return;
  if (!a.Bitmap.Allocate(3, 2, im24RGB)) return;
  a.Bitmap.Fill(0x0000FF);
  if (text.find("MASK") != std::string::npos) {
    a.Mask = std::make_unique<TImMask>();
    a.Mask->Allocate(3, 2, 1);
    a.Mask->SetPixel(0, 0, 1);
  }
}

void FakeSave(TSaveArgs& a) {
  ++g_log.saves;
  g_log.saved_format = a.Bitmap.PixelFormat();
  g_log.saved_mask = a.Mask != nullptr;
  const char data[] = "FAKE-DATA";
  a.Stream.Write(data, 9);
}

void FailingSave(TSaveArgs& a) {
  a.Stream.Write("PART", 4);
  a.Progress.Abort();
}

TInternalCodec Fake(TFileType type, TSavePreparation preparation = TSavePreparation::kNone) {
  return {type, FakeLoad, FakeSave, nullptr, preparation};
}

class ImageIO : public ::testing::Test {
 protected:
  void SetUp() override { g_log = TFakeLog{}; }

  TImageHolder holder_;
  TImageIO& io_ = holder_.IO();
  testing::TempDir dir_;
};

std::string AsText(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST_F(ImageIO, MissingFileRaisesTheOpenError) {
  TCodecSubstitute bmp(Fake(ftBMP));
  const std::string path = dir_.File("missing.bmp");
  try {
    io_.LoadFile(path);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + path + "\". No such file or directory.");
  }
  EXPECT_TRUE(io_.Aborted);
}

TEST_F(ImageIO, LoadFileChoosesTheReaderByExtension) {
  TCodecSubstitute jpeg(Fake(ftJPEG)), tiff(Fake(ftTIFF)), tga(Fake(ftTGA));
  const struct {
    const char* name;
    int expected;  // ftUnknown: aborted, bitmap left as it was
  } cases[] = {
      {"PHOTO.JPG", ftJPEG}, {"photo.jpeg", ftJPEG}, {"photo.jif", ftJPEG}, {"photo.tiff", ftTIFF},
      {"photo.xif", ftTIFF}, {"photo.pix", ftTGA},   {"photo", ftUnknown},  {"photo.xyz", ftUnknown},
      {"photo.avi", ftUnknown}, {"http://host/photo.jpg", ftUnknown},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(holder_.Bitmap().Allocate(5, 5, im8g));
    io_.IOParams.FileType = ftUnknown;
    const std::string path = c.expected == ftUnknown && c.name[0] == 'h' ? c.name : dir_.File(c.name);
    if (path != c.name) testing::WriteFileBytes(path, Bytes{'F', 'A', 'K', 'E'});
    bool finished = false;
    io_.OnFinishWork = [&](TImageIO*) { finished = true; };
    io_.LoadFile(path);
    EXPECT_TRUE(finished) << c.name;
    if (c.expected == ftUnknown) {
      EXPECT_TRUE(io_.Aborted) << c.name;
      EXPECT_EQ(holder_.Bitmap().Width(), 5) << c.name;
      EXPECT_EQ(io_.IOParams.FileType, ftUnknown) << c.name;
    } else {
      EXPECT_FALSE(io_.Aborted) << c.name;
      EXPECT_EQ(io_.IOParams.FileType, c.expected) << c.name;
      EXPECT_EQ(io_.IOParams.FileName, path) << c.name;
      EXPECT_EQ(holder_.Bitmap().Width(), 3) << c.name;
    }
  }
}

TEST_F(ImageIO, FormatsWithoutAReaderAbortWithoutTouchingAnything) {
  TCodecSubstitute pcx({ftPCX, nullptr, nullptr, nullptr, TSavePreparation::kNone});
  ASSERT_TRUE(holder_.Bitmap().Allocate(5, 5, im8g));
  for (const char* name : {"a.pcx", "a.wmf", "a.dcm", "a.nef", "missing.psd"}) {
    const std::string path = dir_.File(name);
    if (std::string(name) != "missing.psd") testing::WriteFileBytes(path, Bytes{'F'});
    io_.LoadFile(path);  // no reader: no attempt to open, so no error either
    EXPECT_TRUE(io_.Aborted) << name;
    EXPECT_EQ(holder_.Bitmap().Width(), 5) << name;
  }
}

TEST_F(ImageIO, LoadResetsInformationKeepsSettingsAndFloorsTheResolution) {
  TCodecSubstitute jpeg(Fake(ftJPEG));
  TIOParamsVals& p = io_.IOParams;
  p.JpegQuality = 55;
  p.PngCompression = 2;
  p.SetImageCount(3);
  p.PngTextKeys = {"from an earlier file"};
  const std::string path = dir_.File("a.jpg");
  testing::WriteFileBytes(path, Bytes{'F', 'A', 'K', 'E'});
  io_.LoadFile(path);

  EXPECT_TRUE(g_log.info_cleared_before_read);
  EXPECT_EQ(p.JpegQuality, 55);
  EXPECT_EQ(p.PngCompression, 2);
  EXPECT_EQ(p.ImageCount, 1);
  EXPECT_EQ(p.Width, 3);
  EXPECT_EQ(p.DpiX, 300);
  EXPECT_EQ(p.DpiY, 150);
  EXPECT_EQ(holder_.DpiX(), 300);
  EXPECT_EQ(holder_.DpiY(), 150);
}

TEST_F(ImageIO, ReaderMaskBecomesAnEightBitAlphaChannel) {
  TCodecSubstitute png(Fake(ftPNG));
  ASSERT_TRUE(holder_.Bitmap().Allocate(3, 2, im24RGB));
  holder_.Bitmap().AlphaChannel()->Fill(7);  // dropped before the read
  TMemoryStream plain;
  plain.Write("FAKE", 4);
  plain.SetPosition(0);
  io_.LoadStreamPNG(plain);
  EXPECT_FALSE(holder_.Bitmap().HasAlphaChannel());

  TMemoryStream masked;
  masked.Write("MASK", 4);
  masked.SetPosition(0);
  io_.LoadStreamPNG(masked);
  ASSERT_TRUE(holder_.Bitmap().HasAlphaChannel());
  const TImBitmap* alpha = holder_.Bitmap().ExistingAlphaChannel();
  EXPECT_EQ(alpha->PixelFormat(), im8g);
  EXPECT_EQ(alpha->PixelByte(0, 0), 255);
  EXPECT_EQ(alpha->PixelByte(1, 0), 0);
  EXPECT_EQ(alpha->PixelByte(2, 1), 0);
  EXPECT_TRUE(io_.IOParams.FileName.empty());
  EXPECT_EQ(io_.IOParams.FileType, ftPNG);
}

TEST_F(ImageIO, ProgressIsRelayedThenCompletedAndCanCancel) {
  TCodecSubstitute bmp(Fake(ftBMP));
  std::vector<int> events;
  io_.OnProgress = [&](TImageIO* sender, int percent) {
    EXPECT_EQ(sender, &io_);
    events.push_back(percent);
  };
  io_.OnFinishWork = [&](TImageIO*) { events.push_back(-1); };
  TMemoryStream stream;
  stream.Write("FAKE", 4);
  stream.SetPosition(0);
  io_.LoadStreamBMP(stream);
  EXPECT_EQ(events, (std::vector<int>{50, 100, -1}));
  EXPECT_FALSE(io_.Aborted);

  // A handler that sets Aborted stops the codec, and the load reports it.
  io_.OnProgress = [&](TImageIO* sender, int) { sender->Aborted = true; };
  stream.SetPosition(0);
  holder_.Bitmap().FreeImage();
  io_.LoadStreamBMP(stream);
  EXPECT_TRUE(io_.Aborted);
  EXPECT_TRUE(holder_.Bitmap().IsEmpty());

  events.clear();
  io_.OnProgress = nullptr;
  TMemoryStream bad;
  bad.Write("BAD", 3);
  bad.SetPosition(0);
  io_.LoadStreamBMP(bad);
  EXPECT_TRUE(io_.Aborted);
  EXPECT_EQ(events, (std::vector<int>{-1}));
}

TEST_F(ImageIO, ParamsOnlyLoadLeavesTheBitmapAlone) {
  TCodecSubstitute jpeg(Fake(ftJPEG));
  ASSERT_TRUE(holder_.Bitmap().Allocate(5, 4, im8g));
  const std::string path = dir_.File("a.jpg");
  testing::WriteFileBytes(path, Bytes{'F', 'A', 'K', 'E'});
  io_.ParamsFromFile(path);
  EXPECT_FALSE(io_.Aborted);
  EXPECT_EQ(io_.IOParams.Width, 3);
  EXPECT_EQ(io_.IOParams.Height, 2);
  EXPECT_EQ(holder_.Bitmap().Width(), 5);
  EXPECT_EQ(holder_.Bitmap().PixelFormat(), im8g);
}

TEST_F(ImageIO, SaveFileCreatesNoFileWithoutAWriter) {
  TCodecSubstitute pcx({ftPCX, FakeLoad, nullptr, nullptr, TSavePreparation::kNone});
  ASSERT_TRUE(holder_.Bitmap().Allocate(2, 2, im24RGB));
  for (const char* name : {"out.cur", "out.wmf", "out.emf", "out.dcm", "out.nef", "out.xyz", "out", "out.ps",
                           "out.iev", "out.pcx"}) {
    io_.Aborted = false;
    io_.SaveFile(dir_.File(name));
    EXPECT_TRUE(io_.Aborted) << name;
    EXPECT_FALSE(testing::FileExists(dir_.File(name))) << name;
  }
}

TEST_F(ImageIO, SaveFileChoosesTheWriterByExtension) {
  TCodecSubstitute png(Fake(ftPNG)), tiff(Fake(ftTIFF)), tga(Fake(ftTGA));
  ASSERT_TRUE(holder_.Bitmap().Allocate(2, 2, im24RGB));
  const struct {
    const char* name;
    int expected;
  } cases[] = {{"out.PNG", ftPNG}, {"out.xif", ftTIFF}, {"out.win", ftTGA}, {"out.pix", ftTGA}};
  for (const auto& c : cases) {
    const std::string path = dir_.File(c.name);
    io_.SaveFile(path);
    EXPECT_FALSE(io_.Aborted) << c.name;
    EXPECT_EQ(io_.IOParams.FileType, c.expected) << c.name;
    EXPECT_EQ(io_.IOParams.FileName, path) << c.name;
    EXPECT_EQ(AsText(testing::ReadFileBytes(path)), "FAKE-DATA") << c.name;
  }
  EXPECT_FALSE(IsKnownImageFile(dir_.File("out.win")));
}

TEST_F(ImageIO, SaveStreamByCode) {
  TCodecSubstitute bmp(Fake(ftBMP));
  ASSERT_TRUE(holder_.Bitmap().Allocate(2, 2, im24RGB));
  TMemoryStream by_code, by_name;
  io_.SaveStream(by_code, ftBMP);
  io_.SaveStreamBMP(by_name);
  EXPECT_EQ(by_code.Bytes(), by_name.Bytes());
  EXPECT_EQ(AsText(by_code.Bytes()), "FAKE-DATA");
  const std::string name_before = io_.IOParams.FileName;

  for (int code : {int(ftCUR), int(ftWMF), int(ftRAW), int(ftBMPRAW), int(ftIEV), int(ftPS), 999}) {
    TMemoryStream none;
    io_.SaveStream(none, code);
    EXPECT_TRUE(io_.Aborted) << code;
    EXPECT_EQ(none.Size(), 0) << code;
  }
  EXPECT_EQ(io_.IOParams.FileName, name_before);
}

TEST_F(ImageIO, SavePreparationConvertsAndBuildsTheMask) {
  TCodecSubstitute jpeg(Fake(ftJPEG, TSavePreparation::kTo24Bit));
  TCodecSubstitute png(Fake(ftPNG, TSavePreparation::kMaskFromAlpha));
  TCodecSubstitute tga(Fake(ftTGA, TSavePreparation::kTo24BitAndMask));
  const struct {
    const char* name;
    int type;
    TImPixelLayout source;
    bool alpha;
    TImPixelLayout written;
    bool mask;
  } cases[] = {
      {"JPEG from grey", ftJPEG, im8g, true, im24RGB, false},
      {"JPEG keeps 1-bit", ftJPEG, im1g, false, im1g, false},
      {"PNG keeps grey, with mask", ftPNG, im8g, true, im8g, true},
      {"PNG without alpha", ftPNG, im24RGB, false, im24RGB, false},
      {"TGA from grey, with mask", ftTGA, im8g, true, im24RGB, true},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(holder_.Bitmap().Allocate(4, 3, c.source));
    holder_.Bitmap().Fill(0);
    if (c.alpha) holder_.Bitmap().AlphaChannel()->Fill(128);
    TMemoryStream out;
    io_.SaveStream(out, c.type);
    EXPECT_EQ(g_log.saved_format, c.written) << c.name;
    EXPECT_EQ(g_log.saved_mask, c.mask) << c.name;
  }
}

TEST_F(ImageIO, StreamHeaderIsWrittenAndReadBack) {
  TCodecSubstitute jpeg(Fake(ftJPEG)), tiff(Fake(ftTIFF)), pcx(Fake(ftPCX));
  ASSERT_TRUE(holder_.Bitmap().Allocate(2, 2, im24RGB));
  const Bytes expected_header = {'J', 'F', 'I', 'F', 0, 0, 0, 0, 9, 0, 0, 0};

  TMemoryStream plain;
  io_.SaveStreamJPEG(plain);
  EXPECT_EQ(AsText(plain.Bytes()), "FAKE-DATA");

  io_.StreamHeaders = true;
  TMemoryStream headed;
  headed.Write("lead", 4);  // the header goes at the current position
  io_.SaveStreamJPEG(headed);
  EXPECT_EQ(headed.Position(), 4 + 12 + 9);
  EXPECT_EQ(Bytes(headed.Bytes().begin() + 4, headed.Bytes().begin() + 16), expected_header);
  EXPECT_EQ(AsText(Bytes(headed.Bytes().begin() + 16, headed.Bytes().end())), "FAKE-DATA");

  // Read back: the reader sees exactly the announced data, and the stream
  // ends up after it.
  headed.Write("TRAILER", 7);
  headed.SetPosition(4);
  EXPECT_EQ(DetectStreamFormat(headed), ftJPEG);
  io_.LoadStream(headed);
  EXPECT_FALSE(io_.Aborted);
  EXPECT_EQ(AsText(g_log.payload), "FAKE-DATA");
  EXPECT_EQ(headed.Position(), 4 + 12 + 9);

  for (int type : {int(ftTIFF), int(ftPCX)}) {
    TMemoryStream s;
    io_.SaveStream(s, type);
    ASSERT_EQ(s.Size(), 21) << type;
    EXPECT_EQ(std::memcmp(s.Memory(), type == ftTIFF ? "TIFF" : "PCX2", 4), 0) << type;
    s.SetPosition(0);
    io_.LoadStreamOfType(s, type);
    EXPECT_FALSE(io_.Aborted) << type;
    EXPECT_EQ(AsText(g_log.payload), "FAKE-DATA") << type;
  }

  // TIFF and PCX stream loads require the header when headers are on.
  TMemoryStream bare;
  bare.Write("FAKE", 4);
  bare.SetPosition(0);
  g_log.loads = 0;
  io_.LoadStreamTIFF(bare);
  EXPECT_TRUE(io_.Aborted);
  EXPECT_EQ(g_log.loads, 0);

  // A file stays a plain image file.
  const std::string path = dir_.File("out.jpg");
  io_.SaveFile(path);
  EXPECT_EQ(AsText(testing::ReadFileBytes(path)), "FAKE-DATA");
}

TEST_F(ImageIO, FailedPcxSaveKeepsThePlaceholderHeader) {
  TCodecSubstitute pcx({ftPCX, nullptr, FailingSave, nullptr, TSavePreparation::kNone});
  TCodecSubstitute tiff({ftTIFF, nullptr, FailingSave, nullptr, TSavePreparation::kNone});
  ASSERT_TRUE(holder_.Bitmap().Allocate(2, 2, im24RGB));
  io_.StreamHeaders = true;
  TMemoryStream pcx_out, tiff_out;
  io_.SaveStreamPCX(pcx_out);
  EXPECT_TRUE(io_.Aborted);
  EXPECT_EQ(pcx_out.Memory()[8], 0);
  io_.SaveStreamTIFF(tiff_out);
  EXPECT_TRUE(io_.Aborted);
  EXPECT_EQ(tiff_out.Memory()[8], 4);
}

TEST_F(ImageIO, AddOnFormatIsLoadedAndSavedThroughTheDispatch) {
  // A tiny format: "TAD1", width and height bytes, then one grey byte per pixel.
  TImFileFormatInfo info;
  info.FileType = 1100;
  info.FullName = "Test add-on";
  info.Extensions = "TAD";
  info.WriteFunction = [](TStream& s, TImBitmap& b, TIOParamsVals&, TCodecProgress&) {
    const uint8_t head[6] = {'T', 'A', 'D', '1', static_cast<uint8_t>(b.Width()), static_cast<uint8_t>(b.Height())};
    s.Write(head, 6);
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) {
        const uint8_t grey = static_cast<uint8_t>(GreyOf(b.PixelRGB(x, y)));
        s.Write(&grey, 1);
      }
  };
  info.ReadFunction = [](TStream& s, TImBitmap& b, TIOParamsVals& p, bool params_only, TCodecProgress&) {
    uint8_t head[6];
    if (!s.ReadExact(head, 6) || std::memcmp(head, "TAD1", 4) != 0) throw std::runtime_error("not a TAD file");
    p.Width = head[4];
    p.Height = head[5];
    p.SetDpiX(96);
    p.SetDpiY(96);
    if (params_only) return;
    b.Allocate(head[4], head[5], im8g);
    for (int32_t y = 0; y < b.Height(); ++y) s.Read(b.ScanLine(y), b.Width());
  };
  info.TestFunction = [](TStream& s) {
    uint8_t head[4];
    return s.ReadExact(head, 4) && std::memcmp(head, "TAD1", 4) == 0;
  };
  RegisterFileFormat(info);
  struct TRemove {
    ~TRemove() { RemoveFileFormat(1100); }
  } remove;

  ASSERT_TRUE(holder_.Bitmap().Allocate(3, 2, im8g));
  holder_.Bitmap().Fill(0);
  holder_.Bitmap().SetPixelByte(1, 1, 200);  // converted to 24-bit before the writer runs
  const std::string path = dir_.File("picture.tad");
  io_.SaveFile(path);
  EXPECT_FALSE(io_.Aborted);
  EXPECT_EQ(io_.IOParams.FileType, 1100);
  EXPECT_EQ(holder_.Bitmap().PixelFormat(), im24RGB);
  EXPECT_EQ(testing::ReadFileBytes(path), (Bytes{'T', 'A', 'D', '1', 3, 2, 0, 0, 0, 0, 200, 0}));

  holder_.Bitmap().FreeImage();
  io_.LoadFile(path);
  EXPECT_FALSE(io_.Aborted);
  EXPECT_EQ(io_.IOParams.FileName, path);
  EXPECT_EQ(holder_.Bitmap().Width(), 3);
  EXPECT_EQ(holder_.Bitmap().PixelByte(1, 1), 200);
  EXPECT_EQ(holder_.DpiX(), 96);

  // By content: a name that says nothing.
  const std::string renamed = dir_.File("picture.bin");
  testing::WriteFileBytes(renamed, testing::ReadFileBytes(path));
  holder_.Bitmap().FreeImage();
  io_.LoadFileByContent(renamed);
  EXPECT_FALSE(io_.Aborted);
  EXPECT_EQ(holder_.Bitmap().Width(), 3);

  TMemoryStream stream;
  io_.SaveStream(stream, 1100);
  EXPECT_EQ(stream.Size(), 12);
  stream.SetPosition(0);
  io_.LoadStream(stream);
  EXPECT_FALSE(io_.Aborted);

  // An add-on that throws on a bad file gives a failed load, not an error.
  const std::string bad = dir_.File("bad.tad");
  testing::WriteFileBytes(bad, Bytes{'n', 'o', 'p', 'e', 0, 0});
  io_.LoadFile(bad);
  EXPECT_TRUE(io_.Aborted);
}

TEST_F(ImageIO, BackgroundIsReadFromTheHolder) {
  EXPECT_EQ(holder_.Background(), 0xFF00000Fu);
  EXPECT_EQ(ResolveColor(holder_.Background()), holder_.ResolvedBackground());
  EXPECT_EQ(holder_.ResolvedBackground() & 0xFF000000u, 0u);
  EXPECT_EQ(io_.Background(), 0xFF00000Fu);
  io_.SetBackground(0x123456);
  EXPECT_EQ(holder_.Background(), 0xFF00000Fu);
  holder_.SetBackground(clWhite);
  EXPECT_EQ(io_.Background(), clWhite);

  TImageIO free_standing;
  EXPECT_EQ(free_standing.Background(), 0u);
  ASSERT_NE(free_standing.Bitmap(), nullptr);
}

}  // namespace
}  // namespace tessaly
