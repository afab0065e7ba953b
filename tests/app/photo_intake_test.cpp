// Tessaly tests: photo intake, Delete, Clear and the list view.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/fake_services.h"
#include "app/main_form.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::FakeServices;
using testing::TempDir;

void WriteBmp(const std::string& path, int width, int height) {
  TImageHolder holder;
  ASSERT_TRUE(holder.Bitmap().Allocate(width, height, im24RGB));
  holder.Bitmap().Fill(0x00336699);
  holder.IO().SaveFile(path);
  ASSERT_FALSE(holder.IO().Aborted);
}

TEST(PhotoIntake, SizeInKilobytesRoundsUp) {
  TempDir dir;
  struct Case { size_t bytes; const char* text; };
  for (const Case& c : {Case{0, "0"}, Case{1024, "1"}, Case{1025, "2"}, Case{2048, "2"}}) {
    testing::WriteFileBytes(dir.File("f"), std::vector<uint8_t>(c.bytes, 7));
    EXPECT_EQ(FileSizeKBText(dir.File("f")), c.text) << c.bytes;
  }
  EXPECT_THROW(FileSizeKBText(dir.File("missing")), EFOpenError);
}

TEST(PhotoIntake, AddFileRecordsTheLoadedSizeAndShowsTheRows) {
  TempDir dir;
  WriteBmp(dir.File("a.bmp"), 30, 20);
  FakeServices services;
  TMainForm form(services);
  services.dialog_files = {dir.File("a.bmp"), dir.File("a.bmp")};  // duplicates are allowed
  form.AddFileClick();
  ASSERT_EQ(form.PhotoList().Count(), 2);
  const TPhotoRecord r = form.PhotoList().GetCopy(0);
  EXPECT_EQ(r.PhotoPath, dir.File("a.bmp"));
  EXPECT_EQ(r.PhotoWidth, 30);
  EXPECT_EQ(r.PhotoHeight, 20);
  EXPECT_EQ(r.SizeKBText, "2");  // 1,854 bytes
  ASSERT_EQ(services.rows.size(), 2u);
  EXPECT_EQ(services.rows[0].caption, "name:a.bmp");
  EXPECT_EQ(services.rows[0].dimensions, "30 * 20");
  EXPECT_EQ(services.rows[0].size, "2KB");
  EXPECT_EQ(services.rows[0].path, dir.Path() + "/");

  services.dialog_ok = false;  // Cancel changes nothing
  form.AddFileClick();
  EXPECT_EQ(form.PhotoList().Count(), 2);
}

TEST(PhotoIntake, AnUnopenableFileEndsTheClickWithListAndViewInStep) {
  TempDir dir;
  WriteBmp(dir.File("a.bmp"), 4, 4);
  FakeServices services;
  TMainForm form(services);
  services.dialog_files = {dir.File("a.bmp"), dir.File("gone.bmp"), dir.File("a.bmp")};
  EXPECT_THROW(form.AddFileClick(), EFOpenError);
  EXPECT_EQ(form.PhotoList().Count(), 1);
  EXPECT_EQ(services.rows.size(), 1u);
}

TEST(PhotoIntake, AddFolderTakesKnownImageFilesOnly) {
  TempDir dir;
  WriteBmp(dir.File("a.bmp"), 4, 4);
  WriteBmp(dir.File("b.BMP"), 4, 4);
  testing::WriteFileBytes(dir.File("c.txt"), {1, 2, 3});
  WriteBmp(dir.File(".hidden.bmp"), 4, 4);
  std::filesystem::create_directories(dir.File("d.bmp"));
  WriteBmp(dir.File("d.bmp/inner.bmp"), 4, 4);
  FakeServices services;
  TMainForm form(services);
  services.folder_answer = dir.Path();
  form.AddFolderClick();
  ASSERT_EQ(form.PhotoList().Count(), 2);
  EXPECT_EQ(form.PhotoList().GetCopy(0).PhotoPath, dir.File("a.bmp"));
  EXPECT_EQ(form.PhotoList().GetCopy(1).PhotoPath, dir.File("b.BMP"));
  // A folder path that ends with its separator gets no second one.
  form.ClearClick();
  services.folder_answer = dir.Path() + "/";
  form.AddFolderClick();
  EXPECT_EQ(form.PhotoList().GetCopy(0).PhotoPath, dir.File("a.bmp"));
}

TEST(PhotoIntake, DeleteSelectedRowsAndClear) {
  TempDir dir;
  FakeServices services;
  TMainForm form(services);
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    names.push_back(dir.File("p" + std::to_string(i) + ".bmp"));
    WriteBmp(names.back(), 2 + i, 2);
  }
  services.dialog_files = names;
  form.AddFileClick();
  services.rows[1].selected = true;
  services.rows[3].selected = true;
  form.DeleteClick();
  ASSERT_EQ(form.PhotoList().Count(), 3);
  ASSERT_EQ(services.rows.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(form.PhotoList().GetCopy(i).PhotoPath, names[static_cast<size_t>(2 * i)]);
    EXPECT_EQ(services.rows[static_cast<size_t>(i)].caption, "name:p" + std::to_string(2 * i) + ".bmp");
  }
  form.ClearClick();
  EXPECT_EQ(form.PhotoList().Count(), 0);
  EXPECT_TRUE(services.rows.empty());
  form.ClearClick();
}

TEST(PhotoIntake, CompressionDialogResults) {
  FakeServices services;
  TMainForm form(services);
  form.Controls().ChkCompress.Checked = true;
  services.on_compress_dialog = [](TCompressSetModel& d) {
    EXPECT_EQ(d.TbJpg, 0);
    EXPECT_EQ(d.CmbPngCompressLvl.Text, "0");
    EXPECT_EQ(d.CmbGifColorNum.Text, "256");
    d.TbJpg = 75;
    d.TrackBarChanged();
    d.CmbPngCompressLvl.Select(6);
    d.CmbGifColorNum.SelectText("32");
    return kResultOK;
  };
  form.CompressClick();
  EXPECT_EQ(form.FJpegQuality, 75);
  EXPECT_EQ(form.FPngLevel, 6);
  EXPECT_EQ(form.FGifColors, 32);
  EXPECT_TRUE(form.Controls().ChkCompress.Checked);
  services.on_compress_dialog = [](TCompressSetModel& d) {
    EXPECT_EQ(d.EdtJpg, 75);
    EXPECT_EQ(d.CmbPngCompressLvl.Text, "6");
    EXPECT_EQ(d.CmbGifColorNum.Text, "32");
    d.TbJpg = 10;
    return kResultCancel;
  };
  form.CompressClick();
  EXPECT_EQ(form.FJpegQuality, 75);
  EXPECT_FALSE(form.Controls().ChkCompress.Checked);
  form.AboutClick();
  EXPECT_EQ(services.messages.back(), "Tessaly Version 2.0");
}

}  // namespace
}  // namespace tessaly
