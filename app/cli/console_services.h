// Tessaly: the services of the batch run on a console.
#pragma once

#include <cstdio>
#include <string>

#include "app/ui_services.h"

namespace tessaly {

/// Progress on stderr when it is a terminal, one line per photo on stdout,
/// no dialogs (they answer Cancel), a list view that only counts.
class TConsoleServices final : public TUiServices {
 public:
  explicit TConsoleServices(bool quiet);

  void ProgressShow(const std::string& caption, int maximum, std::function<void()> on_cancel) override;
  void ProgressSetValue(int value) override;
  void ProgressClose() override;
  void ProcessMessages() override {}
  int MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons) override;
  std::string BrowseForFolder() override { return {}; }
  bool OpenImageDialog(const std::vector<TFileFilter>&, std::vector<std::string>&) override { return false; }
  std::string DisplayName(const std::string& path) override;
  void OpenFolder(const std::string&) override {}
  int ShowCompressDialog(TCompressSetModel&) override { return kResultCancel; }
  void ListClear() override { rows_ = 0; }
  void ListAddRow(const std::string&, const std::string&, const std::string&, const std::string&) override { ++rows_; }
  void ListDeleteRow(int) override { --rows_; }
  int ListRowCount() override { return rows_; }
  bool ListRowSelected(int) override { return false; }
  void PhotoFinished(const TBatchPhotoReport& report) override;

 private:
  void DrawBar();

  bool quiet_;
  bool bar_ = false;
  bool bar_drawn_ = false;
  int maximum_ = 0;
  int value_ = 0;
  int rows_ = 0;
};

}  // namespace tessaly
