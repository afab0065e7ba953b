// Tessaly: the wizard's controls, their design-time values and enabling rules.
#include "app/wizard_controls.h"

#include <algorithm>
#include <cmath>

namespace tessaly {

const TZoomSize kZoomSizes[20] = {
    {"Custom...", 0, 0},
    {"32 x 32", 32, 32},
    {"64 x 64", 64, 64},
    {"320 x 320", 320, 320},
    {"640 x 480", 640, 480},
    {"800 x 600", 800, 600},
    {"1024 x 768", 1024, 768},
    {"1200 x 900", 1200, 900},
    {"1280 x 800", 1280, 800},
    {"1280 x 1024", 1280, 1024},
    {"1360 x 768", 1360, 768},
    {"1440 x 900", 1440, 900},
    {"1680 x 1050", 1680, 1050},
    {"1920 x 1080", 1920, 1080},
    {"1920 x 1200", 1920, 1200},
    {"iPod Photo - 220 x 176", 220, 176},
    {"iPod Classic/Nano - 320 x 240", 320, 240},
    {"iPod Touch - 480 x 320", 480, 320},
    {"iPhone - 480 x 320", 480, 320},
    {"Sony PSP - 480 x 272", 480, 272},
};

const char* const kOutputFormats[9] = {"*.bmp", "*.jpg", "*.png", "*.gif", "*.tif",
                                       "*.pcx", "*.tga", "*.dcx", "*.ico"};

const char* const kStepCaptions[3] = {"Select Picture", "Resize Setting", "Output Setting"};

void TListState::Select(int index) {
  if (index < 0 || index >= static_cast<int>(Items.size())) {
    ItemIndex = -1;
    return;
  }
  ItemIndex = index;
  Text = Items[static_cast<size_t>(index)];
}

int TListState::SelectText(const std::string& text) {
  const auto found = std::find(Items.begin(), Items.end(), text);
  Select(found == Items.end() ? -1 : static_cast<int>(found - Items.begin()));
  return ItemIndex;
}

TWizardControls::TWizardControls() {
  for (const TZoomSize& size : kZoomSizes) CmbZoomSize.Items.emplace_back(size.Text);
  CmbZoomSize.Select(0);
  GrpStyle.Caption = "Resize Style";
  GrpStyle.Items = {"Crop", "Add Black Border"};
  GrpStyle.ItemIndex = 0;
  GrpStyle.Enabled = false;
  for (const char* format : kOutputFormats) CmbFormat.Items.emplace_back(format);
  CmbFormat.Select(0);
  CmbFormat.Enabled = false;
  CmbFilename.Items = {"Original Filename", "[Original Filename]_[width]x[height]", "Add Postfix..."};
  CmbFilename.Select(0);
}

void TWizardControls::ZoomSizeChanged() {
  const bool custom = CmbZoomSize.ItemIndex == 0;
  EdtWidth.Enabled = custom;
  EdtHeight.Enabled = custom;
}

void TWizardControls::KeepZoomClicked() { GrpStyle.Enabled = ChkKeepZoom.Checked; }

void TWizardControls::FileSizeClicked() {
  EdtLessThan.Enabled = ChkFileSize.Checked;
  // Unchecking enables all three whatever size is selected.
  if (!ChkFileSize.Checked) {
    CmbZoomSize.Enabled = true;
    EdtWidth.Enabled = true;
    EdtHeight.Enabled = true;
  }
}

void TWizardControls::FormatChoiceClicked() { CmbFormat.Enabled = ChkConvFmt.Checked; }

void TWizardControls::OutputFolderChoiceClicked() {
  EdtPath.Enabled = ChkOutFld.Checked;
  BtnBrow.Enabled = ChkOutFld.Checked;
}

void TWizardControls::FilenameChanged() { EdtPostfix.Enabled = CmbFilename.ItemIndex == 2; }

void TWizardControls::ChooseConvertFormat(bool convert) {
  ChkConvFmt.Checked = convert;
  ChkOrgFmt.Checked = !convert;
  FormatChoiceClicked();
}

void TWizardControls::ChooseOutputFolder(bool below_folder) {
  ChkOutFld.Checked = below_folder;
  ChkOutOrgFld.Checked = !below_folder;
  OutputFolderChoiceClicked();
}

// ---------------------------------------------------------------- compression dialog

TCompressSetModel::TCompressSetModel() {
  for (int level = 0; level <= 9; ++level) CmbPngCompressLvl.Items.push_back(std::to_string(level));
  CmbPngCompressLvl.Select(9);
  CmbGifColorNum.Items = {"2", "4", "8", "16", "32", "64", "128", "256"};
  CmbGifColorNum.Text = "256";
  CmbGifColorNum.ItemIndex = -1;
}

void TCompressSetModel::Show(int jpeg_quality, int png_level, int gif_colors) {
  Page = 0;
  TbJpg = std::clamp(jpeg_quality, 0, 100);
  EdtJpg = TbJpg;
  CmbPngCompressLvl.SelectText(std::to_string(png_level));
  CmbGifColorNum.SelectText(std::to_string(gif_colors));
}

void TCompressSetModel::TrackBarChanged() { EdtJpg = TbJpg; }

void TCompressSetModel::SpinEditChanged() {
  EdtJpg = std::clamp(EdtJpg, 0.0, 100.0);
  TbJpg = static_cast<int>(std::trunc(EdtJpg));
}

void TCompressSetModel::SpinStep(int direction) {
  EdtJpg = std::clamp(EdtJpg + (direction > 0 ? 10 : -10), 0.0, 100.0);
  SpinEditChanged();
}

namespace {
int IntegerOr(const std::string& text, int fallback) {
  try {
    size_t used = 0;
    const int value = std::stoi(text, &used);
    return used == text.size() ? value : fallback;
  } catch (...) {
    return fallback;
  }
}
}  // namespace

int TCompressSetModel::PngLevel() const { return IntegerOr(CmbPngCompressLvl.Text, 0); }
int TCompressSetModel::GifColors() const { return IntegerOr(CmbGifColorNum.Text, 256); }

}  // namespace tessaly
