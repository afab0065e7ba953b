// Tessaly tests: the wizard's controls, enabling rules and the compression dialog.
#include "app/wizard_controls.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(WizardControls, DesignTimeStates) {
  TWizardControls c;
  EXPECT_EQ(c.Page, 0);
  EXPECT_EQ(c.CmbZoomSize.Items.size(), 20u);
  EXPECT_EQ(c.CmbZoomSize.Text, "Custom...");
  EXPECT_EQ(c.CmbZoomSize.Items[19], "Sony PSP - 480 x 272");
  EXPECT_EQ(c.EdtWidth.Text, "160");
  EXPECT_EQ(c.EdtHeight.Text, "160");
  EXPECT_FALSE(c.GrpStyle.Enabled);
  EXPECT_EQ(c.GrpStyle.ItemIndex, 0);
  EXPECT_EQ(c.ChkFileSize.Caption, " Limit Files Size (Automatically Zoom in Proportion)");
  EXPECT_EQ(c.EdtLessThan.Text, "200");
  EXPECT_FALSE(c.EdtLessThan.Enabled);
  EXPECT_TRUE(c.ChkOrgFmt.Checked);
  EXPECT_EQ(c.CmbFormat.Text, "*.bmp");
  EXPECT_FALSE(c.CmbFormat.Enabled);
  EXPECT_FALSE(c.EdtPath.Enabled);
  EXPECT_FALSE(c.BtnBrow.Enabled);
  EXPECT_EQ(c.ChkBackup.Caption, "Auto Backup Original  File to Sub Folder");
  EXPECT_TRUE(c.ChkBackup.Checked);
  EXPECT_EQ(c.CmbFilename.Items[1], "[Original Filename]_[width]x[height]");
  EXPECT_FALSE(c.EdtPostfix.Enabled);
  EXPECT_FALSE(c.ChkCompress.Checked);
  EXPECT_EQ(c.BtnDo.Caption, "Finish");
}

TEST(WizardControls, EnablingRules) {
  TWizardControls c;
  c.CmbZoomSize.Select(5);  // "800 x 600"
  c.ZoomSizeChanged();
  EXPECT_FALSE(c.EdtWidth.Enabled);
  // Toggling the size limit with a preset selected enables the edit boxes all the same.
  c.ChkFileSize.Checked = true;
  c.FileSizeClicked();
  EXPECT_TRUE(c.EdtLessThan.Enabled);
  EXPECT_FALSE(c.EdtWidth.Enabled);
  c.ChkFileSize.Checked = false;
  c.FileSizeClicked();
  EXPECT_FALSE(c.EdtLessThan.Enabled);
  EXPECT_TRUE(c.EdtWidth.Enabled);
  EXPECT_TRUE(c.EdtHeight.Enabled);
  EXPECT_TRUE(c.CmbZoomSize.Enabled);

  c.ChkKeepZoom.Checked = true;
  c.KeepZoomClicked();
  EXPECT_TRUE(c.GrpStyle.Enabled);

  c.ChooseConvertFormat(true);
  EXPECT_TRUE(c.CmbFormat.Enabled);
  EXPECT_FALSE(c.ChkOrgFmt.Checked);

  // A disabled output path keeps its text.
  c.ChooseOutputFolder(true);
  EXPECT_TRUE(c.EdtPath.Enabled);
  EXPECT_TRUE(c.BtnBrow.Enabled);
  c.EdtPath.Text = "/photos/out";
  c.ChooseOutputFolder(false);
  EXPECT_FALSE(c.EdtPath.Enabled);
  EXPECT_EQ(c.EdtPath.Text, "/photos/out");

  c.CmbFilename.Select(2);
  c.FilenameChanged();
  EXPECT_TRUE(c.EdtPostfix.Enabled);
  c.CmbFilename.Select(1);
  c.FilenameChanged();
  EXPECT_FALSE(c.EdtPostfix.Enabled);
}

TEST(WizardControls, PageNavigation) {
  TWizardControls c;
  c.Next1();
  EXPECT_EQ(c.Page, 1);
  c.Next2();
  EXPECT_EQ(c.Page, 2);
  c.Last3();
  EXPECT_EQ(c.Page, 1);
  c.Last2();
  EXPECT_EQ(c.Page, 0);
}

TEST(CompressSet, FirstOpeningAndSync) {
  TCompressSetModel d;
  d.Show(0, 0, 0);
  EXPECT_EQ(d.TbJpg, 0);
  EXPECT_EQ(d.EdtJpg, 0);
  EXPECT_EQ(d.CmbPngCompressLvl.Text, "0");
  EXPECT_EQ(d.CmbGifColorNum.ItemIndex, -1);
  EXPECT_EQ(d.CmbGifColorNum.Text, "256");
  EXPECT_EQ(d.GifColors(), 256);
  d.EdtJpg = 42;
  d.SpinEditChanged();
  EXPECT_EQ(d.TbJpg, 42);
  d.SpinStep(+1);
  EXPECT_EQ(d.TbJpg, 52);
  d.TbJpg = 75;
  d.TrackBarChanged();
  EXPECT_EQ(d.JpegQuality(), 75);
  d.CmbPngCompressLvl.Select(6);
  d.CmbGifColorNum.SelectText("32");
  EXPECT_EQ(d.PngLevel(), 6);
  EXPECT_EQ(d.GifColors(), 32);
  d.Show(75, 6, 32);
  EXPECT_EQ(d.Page, 0);
  EXPECT_EQ(d.EdtJpg, 75);
  EXPECT_EQ(d.CmbPngCompressLvl.ItemIndex, 6);
  EXPECT_EQ(d.CmbGifColorNum.Text, "32");
}

}  // namespace
}  // namespace tessaly
