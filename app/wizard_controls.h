// Tessaly: the wizard's controls as plain state, with their design-time
// values and the rules that enable and disable them. The window mirrors this
// state; the batch run, the command line and the tests read it.
#pragma once

#include <string>
#include <vector>

namespace tessaly {

struct TButtonState {
  std::string Caption;
  bool Enabled = true;
};

/// A check box or a radio button.
struct TCheckState {
  std::string Caption;
  bool Checked = false;
  bool Enabled = true;
};

struct TEditState {
  std::string Text;
  bool Enabled = true;
};

/// A list of fixed items with a shown text.
struct TListState {
  std::vector<std::string> Items;
  int ItemIndex = -1;
  std::string Text;
  bool Enabled = true;

  /// Selects by index; -1 (or an index outside the items) leaves the shown text unchanged.
  void Select(int index);
  /// Selects the item with this text; when none matches, nothing is selected
  /// and the shown text stays. Returns the index or -1.
  int SelectText(const std::string& text);
};

struct TRadioGroupState {
  std::string Caption;
  std::vector<std::string> Items;
  int ItemIndex = 0;
  bool Enabled = true;
};

/// One entry of the size list.
struct TZoomSize {
  const char* Text;
  int Width;
  int Height;
};
/// The size list, "Custom..." first (its size comes from the edit boxes).
extern const TZoomSize kZoomSizes[20];

/// The formats of the "Convert Format" list.
extern const char* const kOutputFormats[9];

/// The three step captions shown on every page.
extern const char* const kStepCaptions[3];

/// Every control of the three pages, with its design-time state.
struct TWizardControls {
  TWizardControls();

  int Page = 0;  // 0 "Select Picture", 1 "Resize Setting", 2 "Output Setting"

  // page 1
  TButtonState BtnAddFile{"Add File"}, BtnAddFolder{"Add Folder"}, BtnDelete{"Delete"}, BtnClear{"Clear"},
      BtnAbout{"About"}, BtnNext1{"Next"};
  // page 2
  TListState CmbZoomSize;
  TEditState EdtWidth{"160"}, EdtHeight{"160"};
  TCheckState ChkKeepZoom{"Keep Zoom Ratio"};
  TRadioGroupState GrpStyle;
  TCheckState ChkNoZoomSmall{"No zoom in the photos whose size less than preset"};
  TCheckState ChkFileSize{" Limit Files Size (Automatically Zoom in Proportion)"};
  TEditState EdtLessThan{"200", false};
  TButtonState BtnLast2{"Previous"}, BtnNext2{"Next"};
  // page 3
  TCheckState ChkOrgFmt{"Original Format", true}, ChkConvFmt{"Convert Format"};
  TListState CmbFormat;
  TCheckState ChkOutOrgFld{"Output to Original Folder", true}, ChkOutFld{"Output to Below Folder"};
  TEditState EdtPath{"", false};
  TButtonState BtnBrow{"Browse", false};
  TCheckState ChkBackup{"Auto Backup Original  File to Sub Folder", true};
  TListState CmbFilename;
  TEditState EdtPostfix{"", false};
  TCheckState ChkCompress{"Use Compress"}, ChkAntialias{"Use Anti-aliasing"};
  TButtonState BtnLast3{"Previous"}, BtnDo{"Finish"};

  // ---- enabling rules, each run when its control is clicked or changed
  void ZoomSizeChanged();
  void KeepZoomClicked();
  void FileSizeClicked();
  /// ChkOrgFmt or ChkConvFmt clicked.
  void FormatChoiceClicked();
  /// ChkOutOrgFld or ChkOutFld clicked.
  void OutputFolderChoiceClicked();
  void FilenameChanged();

  // ---- radio pairs: checking one unchecks the other, then its rule runs
  void ChooseConvertFormat(bool convert);
  void ChooseOutputFolder(bool below_folder);

  // ---- page navigation (no check is made when a page is left)
  void Next1() { Page = 1; }
  void Last2() { Page = 0; }
  void Next2() { Page = 2; }
  void Last3() { Page = 1; }
};

/// The compression dialog's controls and rules.
class TCompressSetModel {
 public:
  TCompressSetModel();

  int Page = 0;  // "JPG", "PNG", "GIF"
  int TbJpg = 100;       // track bar 0..100
  double EdtJpg = 100;   // spin edit 0..100, step 10
  TListState CmbPngCompressLvl;
  TListState CmbGifColorNum;

  /// On show: the first page and the stored settings.
  void Show(int jpeg_quality, int png_level, int gif_colors);
  /// Moving the track bar sets the spin edit, and the other way round.
  void TrackBarChanged();
  void SpinEditChanged();
  /// Spin buttons: one step of 10 up or down within 0..100.
  void SpinStep(int direction);

  /// The values OK stores: quality, level and colour count.
  int JpegQuality() const { return static_cast<int>(EdtJpg); }
  int PngLevel() const;
  int GifColors() const;
};

}  // namespace tessaly
