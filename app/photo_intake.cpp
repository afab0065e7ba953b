// Tessaly: adding photos to the list (Add File, Add Folder), Delete, Clear
// and the list view.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "app/file_replace.h"
#include "app/main_form.h"
#include "app/photo_measure.h"
#include "io/format_registry.h"
#include "io/image_holder.h"
#include "io/image_io.h"
#include "platform/stream.h"

namespace tessaly {

const std::vector<TFileFilter>& ImageFileFilters() {
  static const std::vector<TFileFilter> filters = [] {
    std::vector<TFileFilter> list;
    auto add = [&list](const std::string& name, std::vector<std::string> patterns) {
      std::string joined;
      for (const std::string& p : patterns) joined += (joined.empty() ? "" : ";") + p;
      list.push_back(TFileFilter{name + " (" + joined + ")", std::move(patterns)});
    };
    add("一般图像文件", {"*.tif", "*.gif", "*.jpg", "*.pcx", "*.bmp", "*.ico", "*.cur", "*.png", "*.dcm",
                         "*.wmf", "*.emf", "*.tga", "*.pxm", "*.wbmp", "*.jp2", "*.j2k", "*.dcx", "*.crw",
                         "*.psd", "*.iev", "*.lyr", "*.all", "*.wdp", "*.avi", "*.mpg", "*.wmv"});
    add("所有文件", {"*.*"});
    add("TIFF Bitmap", {"*.tif", "*.tiff", "*.fax", "*.g3n", "*.g3f", "*.xif"});
    add("CompuServe Bitmap", {"*.gif"});
    add("JPEG Bitmap", {"*.jpg", "*.jpeg", "*.jpe", "*.jif"});
    add("PaintBrush", {"*.pcx"});
    add("Windows Bitmap", {"*.bmp", "*.dib", "*.rle"});
    add("Windows Icon", {"*.ico"});
    add("Windows Cursor", {"*.cur"});
    add("Portable Network Graphics", {"*.png"});
    add("DICOM Bitmap", {"*.dcm", "*.dic", "*.dicom", "*.v2"});
    add("Windows Metafile", {"*.wmf"});
    add("Enhanced Windows Metafile", {"*.emf"});
    add("Targa Bitmap", {"*.tga", "*.targa", "*.vda", "*.icb", "*.vst", "*.pix"});
    add("Portable Pixmap, GrayMap, BitMap", {"*.pxm", "*.ppm", "*.pgm", "*.pbm"});
    add("Wireless Bitmap", {"*.wbmp"});
    add("JPEG2000", {"*.jp2"});
    add("JPEG2000 Code Stream", {"*.j2k", "*.jpc", "*.j2c"});
    add("Multipage PCX", {"*.dcx"});
    add("Camera RAW", {"*.crw", "*.cr2", "*.nef", "*.raw", "*.pef", "*.raf", "*.x3f", "*.bay", "*.orf",
                       "*.srf", "*.mrw", "*.dcr", "*.sr2"});
    add("Photoshop PSD", {"*.psd"});
    add("Vectorial objects", {"*.iev"});
    add("Layers", {"*.lyr"});
    add("Layers and objects", {"*.all"});
    add("Microsoft HD Photo", {"*.wdp", "*.hdp"});
    add("Mpeg", {"*.mpeg", "*.mpg"});
    return list;
  }();
  return filters;
}

std::string FileSizeKBText(const std::string& path) {
  TFileStream file(path, TFileMode::fmOpenRead);
  const int64_t bytes = file.Size();
  return std::to_string((bytes + 1023) / 1024);
}

void TMainForm::AddFiles(const std::vector<std::string>& names) {
  TPhotoMeasurer measurer(names);
  // The view is refreshed however the click ends, so list and view stay in step.
  struct Refresh {
    TMainForm& form;
    ~Refresh() { form.RefreshPhotoView(); }
  } refresh{*this};
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    TPhotoRecord record;
    measurer.Measure(i, record.PhotoWidth, record.PhotoHeight);
    record.PhotoPath = name;
    record.SizeKBText = FileSizeKBText(name);
    photo_list_.AddCopy(record);
  }
}

void TMainForm::AddFolder(const std::string& folder) {
  const std::string separator = (!folder.empty() && folder.back() == '/') ? "" : "/";
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.') continue;  // hidden files, "." and ".."
      const std::string full = folder + separator + name;
      struct stat info {};
      if (::stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
      if (IsKnownImageFile(full)) names.push_back(full);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  AddFiles(names);
}

void TMainForm::AddFileClick() {
  std::vector<std::string> names;
  if (!services_.OpenImageDialog(ImageFileFilters(), names)) return;
  AddFiles(names);
}

void TMainForm::AddFolderClick() {
  const std::string folder = services_.BrowseForFolder();
  if (folder.empty()) return;
  AddFolder(folder);
}

void TMainForm::AddPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      if (!files.empty()) AddFiles(std::exchange(files, {}));
      AddFolder(path);
    } else {
      files.push_back(path);
    }
  }
  if (!files.empty()) AddFiles(files);
}

void TMainForm::DeleteClick() {
  // Backwards, so the rows still to visit keep their indices.
  for (int row = services_.ListRowCount() - 1; row >= 0; --row) {
    if (!services_.ListRowSelected(row)) continue;
    photo_list_.Delete(row);
    services_.ListDeleteRow(row);
  }
}

void TMainForm::ClearClick() {
  services_.ListClear();
  photo_list_.Clear();
}

void TMainForm::RefreshPhotoView() {
  services_.ListClear();
  for (int i = 0; i < photo_list_.Count(); ++i) {
    const TPhotoRecord photo = photo_list_.GetCopy(i);
    services_.ListAddRow(services_.DisplayName(photo.PhotoPath),
                         std::to_string(photo.PhotoWidth) + " * " + std::to_string(photo.PhotoHeight),
                         photo.SizeKBText + "KB", FolderOf(photo.PhotoPath));
  }
}

}  // namespace tessaly
