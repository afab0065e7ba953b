// Tessaly: the main form's handlers other than intake and the batch run.
#include "app/main_form.h"

namespace tessaly {

TMainForm::TMainForm(TUiServices& services) : services_(services) {}

TMainForm::~TMainForm() { photo_list_.Clear(); }

void TMainForm::AboutClick() { services_.MessageBox(kAboutText, TMessageKind::mkInformation, TMessageButtons::mbOK); }

void TMainForm::BrowClick() {
  const std::string folder = services_.BrowseForFolder();
  if (!folder.empty()) controls_.EdtPath.Text = folder;
}

void TMainForm::CompressClick() {
  if (!controls_.ChkCompress.Checked) return;
  TCompressSetModel dialog;
  dialog.Show(FJpegQuality, FPngLevel, FGifColors);
  if (services_.ShowCompressDialog(dialog) == kResultOK) {
    FJpegQuality = dialog.JpegQuality();
    FPngLevel = dialog.PngLevel();
    FGifColors = dialog.GifColors();
  } else {
    controls_.ChkCompress.Checked = false;
  }
}

void TMainForm::DoClick() {
  if (running_) return;
  running_ = true;
  struct Guard {
    bool& flag;
    ~Guard() { flag = false; }
  } guard{running_};
  RunBatch();
}

std::string FinalMessageText(const std::string& folder) {
  return "Your image has been output to the following directory:\r" + folder + "\rClick OK to view the directory.";
}

}  // namespace tessaly
