// Tessaly tests: the segments a JPEG keeps, their write order, and exiftool's
// view of a photo's metadata after a load and a save.
#include "codecs/jpeg/jpeg_markers.h"

#include <gtest/gtest.h>

#include "codecs/jpeg_test_support.h"

namespace tessaly {
namespace {

using namespace jpegtest;

// ---------------------------------------------------------------- segments

// A photo's segments come through a load and a save: the JFIF header is made
// anew, the Adobe segment is the library's, and everything else is written
// back in write order.
TEST(JpegMarkers, SegmentsSurviveLoadAndSave) {
  TImBitmap photo;
  MakePhoto(photo, 48, 32);
  TIOParamsVals params;
  const Bytes plain = WriteJpeg(photo, params);

  const Bytes icc = IccProfile(150000);
  auto icc_chunk = [&](int seq) {
    Bytes data = Text("ICC_PROFILE", 12);
    data.push_back(static_cast<uint8_t>(seq));
    data.push_back(3);
    const size_t begin = (seq - 1) * 60000;
    data.insert(data.end(), icc.begin() + begin, icc.begin() + std::min(icc.size(), begin + 60000));
    return data;
  };
  const Bytes xmp_packet = Text("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta>title</x:xmpmeta>", 57);
  Bytes extra_app0 = Text("JFXX\0\x13", 6);
  const std::vector<std::pair<uint8_t, Bytes>> inserted = {
      {0xFE, Text("first comment", 13)},
      {0xE2, icc_chunk(3)},
      {0xE1, xmp_packet},
      {0xE2, icc_chunk(1)},
      {0xE0, extra_app0},
      {0xED, Text("Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0\0\x07\x1c\x02\x19\0\x02hi", 33)},
      {0xE2, icc_chunk(2)},
      {0xEE, Text("Adobe\0d\0\0\0\0\1", 12)},
      {0xFE, Text("second comment", 14)},
  };
  // SOI and the JFIF segment, then ours, then the rest of the plain file.
  Bytes file(plain.begin(), plain.begin() + 20);
  for (const auto& [code, data] : inserted) {
    const Bytes s = Segment(code, data);
    file.insert(file.end(), s.begin(), s.end());
  }
  file.insert(file.end(), plain.begin() + 20, plain.end());

  TReadResult got;
  ReadJpeg(file, got);
  ASSERT_FALSE(got.aborted);
  ASSERT_EQ(got.params.JpegMarkers.Count(), static_cast<int>(inserted.size()));
  for (size_t i = 0; i < inserted.size(); ++i) {
    EXPECT_EQ(got.params.JpegMarkers.MarkerCode(i), inserted[i].first);
    EXPECT_EQ(got.params.JpegMarkers.MarkerData(i), inserted[i].second);
  }

  const Bytes saved = WriteJpeg(got.bitmap, got.params);
  const std::vector<std::pair<uint8_t, Bytes>> expected = {
      {0xE0, {}},  // the library's JFIF header, checked apart
      {0xE0, extra_app0},
      {0xE1, xmp_packet},
      {0xE2, icc_chunk(1)},
      {0xE2, icc_chunk(2)},
      {0xE2, icc_chunk(3)},
      {0xED, inserted[5].second},
      {0xFE, inserted[0].second},
      {0xFE, inserted[8].second},
  };
  auto segments = Segments(saved);
  std::erase_if(segments, [](const auto& s) { return s.first == 0xDB || s.first == 0xC4 ||
                                                     s.first == 0xC0; });
  ASSERT_EQ(segments.size(), expected.size());
  EXPECT_EQ(Bytes(segments[0].second.begin(), segments[0].second.begin() + 5), Text("JFIF", 5));
  for (size_t i = 1; i < expected.size(); ++i) {
    EXPECT_EQ(segments[i].first, expected[i].first) << i;
    EXPECT_EQ(segments[i].second, expected[i].second) << i;
  }

  if (!HaveProgram("exiftool")) return;
  TempDir dir;
  WriteFileBytes(dir.File("saved.jpg"), saved);
  ASSERT_EQ(RunCommand("exiftool -q -q -b -ICC_Profile " + dir.File("saved.jpg") + " > " +
                       dir.File("icc.bin")),
            0);
  EXPECT_TRUE(ReadFileBytes(dir.File("icc.bin")) == icc);
}

// The same with a photo whose metadata exiftool wrote: every tag reads back.
TEST(JpegMarkers, ExiftoolTagsSurvive) {
  if (!HavePeers() || !HaveProgram("exiftool")) GTEST_SKIP() << "peer tools missing";
  TempDir dir;
  TImBitmap photo;
  MakePhoto(photo, 64, 40);
  WritePpm(dir.File("p.ppm"), photo);
  const std::string in = dir.File("in.jpg");
  ASSERT_EQ(RunCommand("cjpeg " + dir.File("p.ppm") + " > " + in), 0);
  const std::string tags =
      "-Make=Tessera -Model=Nine -ExposureTime=1/250 -FNumber=5.6 -ISO=200 "
      "-DateTimeOriginal='2021:06:01 10:20:30' -GPSLatitude=48.5 -GPSLatitudeRef=N "
      "-XMP:Title=Harbour -XMP:Creator=Someone -IPTC:Keywords=boats -IPTC:City=Porto "
      "-Comment='A quiet morning' '-ICC_Profile<=" + dir.File("p.icc") + "'";
  WriteFileBytes(dir.File("p.icc"), IccProfile(600));
  ASSERT_EQ(RunCommand("exiftool -q -overwrite_original " + tags + " " + in), 0);

  TReadResult got;
  ReadJpeg(ReadFileBytes(in), got);
  ASSERT_FALSE(got.aborted);
  const Bytes saved = WriteJpeg(got.bitmap, got.params);
  const std::string out = dir.File("out.jpg");
  WriteFileBytes(out, saved);

  const std::string list = "-q -q -s -s -s -Make -Model -ExposureTime -FNumber -ISO "
                           "-DateTimeOriginal -GPSLatitude -XMP:Title -XMP:Creator "
                           "-IPTC:Keywords -IPTC:City -Comment";
  for (const std::string& file : {in, out}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(RunCommand("exiftool " + list + " " + file + " > " + dir.File("tags.txt")), 0);
    const Bytes tags_read = ReadFileBytes(dir.File("tags.txt"));
    EXPECT_EQ(std::string(tags_read.begin(), tags_read.end()),
              "Tessera\nNine\n1/250\n5.6\n200\n2021:06:01 10:20:30\n48 deg 30' 0.00\" N\n"
              "Harbour\nSomeone\nboats\nPorto\nA quiet morning\n");
    ASSERT_EQ(RunCommand("exiftool -q -q -b -ICC_Profile " + file + " > " + dir.File("icc.bin")), 0);
    EXPECT_TRUE(ReadFileBytes(dir.File("icc.bin")) == IccProfile(600));
  }
}

TEST(JpegMarkers, WriteOrder) {
  auto entry = [](uint8_t code, const char* text, size_t n) { return std::pair{code, Text(text, n)}; };
  const std::vector<std::pair<uint8_t, Bytes>> input = {
      entry(0xFE, "note", 4),
      entry(0xE1, "http://ns.adobe.com/xap/1.0/\0x", 30),
      entry(0xED, "part one", 8),
      entry(0xE2, "ICC_PROFILE\0\x02\x02" "b", 15),
      entry(0xE2, "MPF\0", 4),
      entry(0xE1, "Exif\0\0II", 8),
      entry(0xE2, "ICC_PROFILE\0\x01\x02" "a", 15),
      entry(0xED, "part two", 8),
      entry(0xE0, "JFXX", 4),
  };
  TImMarkerList list;
  for (const auto& [code, data] : input) list.AddMarker(code, data.data(), static_cast<int>(data.size()));
  list.SortForWrite();
  // By code; EXIF first among APP1; ICC chunks by sequence in their slots;
  // segments of one code otherwise in file order.
  const int order[] = {8, 5, 1, 6, 4, 3, 2, 7, 0};
  ASSERT_EQ(list.Count(), 9);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(list.MarkerCode(i), input[order[i]].first) << i;
    EXPECT_EQ(list.MarkerData(i), input[order[i]].second) << i;
  }
  EXPECT_EQ(list.IndexOf(0xE2), 3);
  EXPECT_EQ(list.IndexOf(0xEF), -1);
  list.DeleteMarker(0);
  EXPECT_EQ(list.MarkerCode(0), 0xE1);
  const Bytes big(70000, 1);
  list.SetMarker(0, 0xE5, big.data(), 70000);
  EXPECT_EQ(list.MarkerLength(0), TImMarkerList::kMaxDataLength);
}

}  // namespace
}  // namespace tessaly
