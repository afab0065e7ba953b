// Tessaly tests: user-interface services that record what the logic asked.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/ui_services.h"

namespace tessaly::testing {

struct ListRow {
  std::string caption, dimensions, size, path;
  bool selected = false;
};

class FakeServices : public TUiServices {
 public:
  // What the run did.
  bool progress_shown = false;
  std::string progress_caption;
  int progress_maximum = -1;
  std::vector<int> progress_values;
  std::vector<std::string> messages;
  std::vector<std::string> opened_folders;
  std::vector<TBatchPhotoReport> reports;
  int pumps = 0;

  // How the fake answers.
  int message_answer = kResultOK;
  std::vector<std::string> dialog_files;
  bool dialog_ok = true;
  std::string folder_answer;
  /// Called at every pump, with the pump's number (1 first).
  std::function<void(int)> on_pump;
  std::function<int(TCompressSetModel&)> on_compress_dialog;

  std::vector<ListRow> rows;
  std::function<void()> cancel;

  void ProgressShow(const std::string& caption, int maximum, std::function<void()> on_cancel) override {
    progress_shown = true;
    progress_caption = caption;
    progress_maximum = maximum;
    cancel = std::move(on_cancel);
  }
  void ProgressSetValue(int value) override { progress_values.push_back(value); }
  void ProgressClose() override {}
  void ProcessMessages() override {
    ++pumps;
    if (on_pump) on_pump(pumps);
  }
  int MessageBox(const std::string& text, TMessageKind, TMessageButtons) override {
    messages.push_back(text);
    return message_answer;
  }
  std::string BrowseForFolder() override { return folder_answer; }
  bool OpenImageDialog(const std::vector<TFileFilter>&, std::vector<std::string>& names) override {
    names = dialog_files;
    return dialog_ok;
  }
  std::string DisplayName(const std::string& path) override { return "name:" + path.substr(path.rfind('/') + 1); }
  void OpenFolder(const std::string& folder) override { opened_folders.push_back(folder); }
  int ShowCompressDialog(TCompressSetModel& dialog) override {
    return on_compress_dialog ? on_compress_dialog(dialog) : kResultCancel;
  }
  void ListClear() override { rows.clear(); }
  void ListAddRow(const std::string& caption, const std::string& dimensions, const std::string& size,
                  const std::string& path) override {
    rows.push_back({caption, dimensions, size, path});
  }
  void ListDeleteRow(int row) override { rows.erase(rows.begin() + row); }
  int ListRowCount() override { return static_cast<int>(rows.size()); }
  bool ListRowSelected(int row) override { return rows[static_cast<size_t>(row)].selected; }
  void PhotoFinished(const TBatchPhotoReport& report) override { reports.push_back(report); }
};

}  // namespace tessaly::testing
