// Tessaly tests: a batch run that decodes ahead is indistinguishable from one that does not.
#include "app/batch_decode_ahead.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

using TFolderState = std::map<std::string, std::vector<uint8_t>>;

TFolderState StateOf(const std::string& root) {
  TFolderState state;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) state[e.path().string().substr(root.size())] = testing::ReadFileBytes(e.path().string());
  }
  return state;
}

void WritePhoto(const std::string& path, int w, int h, int seed) {
  TImageHolder holder;
  ASSERT_TRUE(holder.Bitmap().Allocate(w, h, im24RGB));
  for (int y = 0; y < h; ++y) {
    uint8_t* row = holder.Bitmap().ScanLine(y);
    for (int i = 0; i < w * 3; ++i) row[i] = uint8_t((i * (seed + 3) + y * y * seed) >> 2);
  }
  holder.IO().IOParams.SetDpiX(72 + seed);
  holder.IO().SaveFile(path);
  ASSERT_FALSE(holder.IO().Aborted);
}

struct TRunRecord {
  std::vector<std::string> reports;  // everything a report says, paths relative
  std::vector<int> progress;
  std::vector<TFolderState> at_pumps;  // the files at every pump
  TFolderState at_end;
  std::vector<std::string> messages;
  std::string raised;
  bool operator==(const TRunRecord&) const = default;
};

struct TScenario {
  const char* name;
  std::function<void(TWizardControls&, TMainForm&)> settings;
  int cancel_at_pump = 0;
};

// The photos: JPEGs of several sizes, the same file twice (its output
// replaces it between the two), a damaged JPEG, a PNG, and a missing file
// last (the error that ends a run).
std::vector<std::string> MakePhotos(const std::string& dir) {
  WritePhoto(dir + "/a.jpg", 120, 80, 1);
  WritePhoto(dir + "/b.jpg", 64, 96, 2);
  WritePhoto(dir + "/c.png", 50, 50, 3);
  WritePhoto(dir + "/d.jpg", 90, 90, 4);
  auto d = testing::ReadFileBytes(dir + "/d.jpg");
  d.resize(d.size() / 2);
  testing::WriteFileBytes(dir + "/cut.jpg", d);
  return {dir + "/a.jpg", dir + "/b.jpg", dir + "/a.jpg", dir + "/cut.jpg", dir + "/c.png",
          dir + "/d.jpg", dir + "/b.jpg", dir + "/gone.jpg"};
}

TRunRecord RunScenario(const TScenario& s, bool ahead) {
  SetBatchDecodeAhead(ahead);
  TempDir dir;
  const std::string root = dir.Path();
  const std::vector<std::string> photos = MakePhotos(root);
  testing::FakeServices services;
  services.message_answer = kResultCancel;
  TMainForm form(services);
  // Recorded as intake records them, before any file changes.
  for (const std::string& p : photos) {
    TPhotoRecord r;
    r.PhotoPath = p;
    TImageHolder h;
    if (fs::exists(p)) h.IO().LoadFile(p);
    r.PhotoWidth = h.Bitmap().Width();
    r.PhotoHeight = h.Bitmap().Height();
    r.SizeKBText = "9";
    form.PhotoList().AddCopy(r);
  }
  s.settings(form.Controls(), form);
  TRunRecord rec;
  services.on_pump = [&](int n) {
    rec.at_pumps.push_back(StateOf(root));
    if (n == s.cancel_at_pump) services.cancel();
  };
  try {
    form.DoClick();
  } catch (const std::exception& e) {
    rec.raised = e.what();
    const size_t at = rec.raised.find(root);
    if (at != std::string::npos) rec.raised.erase(at, root.size());
  }
  auto rel = [&](std::string p) { return p.rfind(root, 0) == 0 ? p.substr(root.size()) : p; };
  for (const TBatchPhotoReport& r : services.reports) {
    rec.reports.push_back(std::to_string(r.Index) + " " + rel(r.PhotoPath) + " " + std::to_string(int(r.Outcome)) +
                          " " + r.Reason + " " + rel(r.OutputPath) + " " + std::to_string(r.Width) + "x" +
                          std::to_string(r.Height));
  }
  rec.progress = services.progress_values;
  for (std::string m : services.messages) rec.messages.push_back(rel(m));
  rec.at_end = StateOf(root);
  SetBatchDecodeAhead(true);
  return rec;
}

TEST(BatchDecodeAhead, RunsLookTheSameWithAndWithoutIt) {
  const TScenario scenarios[] = {
      {"own format over the sources, with backups",
       [](TWizardControls& c, TMainForm&) {
         c.CmbZoomSize.Select(0);
         c.EdtWidth.Text = "40";
         c.EdtHeight.Text = "30";
         c.ChkAntialias.Checked = true;
       }},
      {"to JPEG at quality 60 in a sub-folder, named by size",
       [](TWizardControls& c, TMainForm& f) {
         c.CmbZoomSize.Select(0);
         c.EdtWidth.Text = "33";
         c.EdtHeight.Text = "21";
         c.ChkAntialias.Checked = true;
         c.ChkConvFmt.Checked = true;
         c.CmbFormat.Text = "*.jpg";
         c.ChkCompress.Checked = true;
         f.FJpegQuality = 60;
         c.CmbFilename.Select(1);
         c.ChkBackup.Checked = false;
       }},
      {"to PNG, cropped to the frame",
       [](TWizardControls& c, TMainForm&) {
         c.CmbZoomSize.Select(0);
         c.EdtWidth.Text = "25";
         c.EdtHeight.Text = "25";
         c.ChkKeepZoom.Checked = true;
         c.ChkConvFmt.Checked = true;
         c.CmbFormat.Text = "*.png";
       }},
      {"to BMP, cancelled at the third photo",
       [](TWizardControls& c, TMainForm&) {
         c.CmbZoomSize.Select(1);
         c.ChkConvFmt.Checked = true;
         c.CmbFormat.Text = "*.bmp";
       },
       3},
  };
  for (const TScenario& s : scenarios) {
    const TRunRecord with = RunScenario(s, true);
    const TRunRecord without = RunScenario(s, false);
    EXPECT_FALSE(with.reports.empty()) << s.name;
    EXPECT_EQ(with.reports, without.reports) << s.name;
    EXPECT_EQ(with.progress, without.progress) << s.name;
    EXPECT_EQ(with.messages, without.messages) << s.name;
    EXPECT_EQ(with.raised, without.raised) << s.name;
    EXPECT_TRUE(with.at_pumps == without.at_pumps) << s.name;
    EXPECT_TRUE(with.at_end == without.at_end) << s.name;
  }
}

}  // namespace
}  // namespace tessaly
