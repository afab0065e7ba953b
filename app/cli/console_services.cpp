// Tessaly: the services of the batch run on a console.
#include "app/cli/console_services.h"

#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

TConsoleServices::TConsoleServices(bool quiet) : quiet_(quiet) {}

void TConsoleServices::ProgressShow(const std::string&, int maximum, std::function<void()>) {
  maximum_ = maximum;
  value_ = 0;
  bar_ = !quiet_ && ::isatty(STDERR_FILENO) && maximum > 0;
}

void TConsoleServices::DrawBar() {
  if (!bar_) return;
  constexpr int kWidth = 30;
  const int filled = maximum_ > 0 ? value_ * kWidth / maximum_ : kWidth;
  std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), value_, maximum_);
  std::fflush(stderr);
  bar_drawn_ = true;
}

void TConsoleServices::ProgressSetValue(int value) {
  value_ = value;
  DrawBar();
}

void TConsoleServices::ProgressClose() {
  if (bar_drawn_) std::fprintf(stderr, "\n");
  bar_drawn_ = false;
  bar_ = false;
}

int TConsoleServices::MessageBox(const std::string& text, TMessageKind, TMessageButtons) {
  if (!quiet_) {
    std::string line = text;
    for (char& c : line) {
      if (c == '\r') c = '\n';
    }
    std::fprintf(stdout, "%s\n", line.c_str());
  }
  return kResultCancel;  // nothing to open on a console
}

std::string TConsoleServices::DisplayName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void TConsoleServices::PhotoFinished(const TBatchPhotoReport& report) {
  if (bar_drawn_) std::fprintf(stderr, "\r\033[K");
  bar_drawn_ = false;
  switch (report.Outcome) {
    case TBatchPhotoReport::kWritten: {
      if (quiet_) break;
      struct stat info {};
      const long long kb = ::stat(report.OutputPath.c_str(), &info) == 0 ? (info.st_size + 1023) / 1024 : 0;
      std::fprintf(stdout, "written: %s (%d x %d, %lld KB)\n", report.OutputPath.c_str(), report.Width,
                   report.Height, kb);
      break;
    }
    case TBatchPhotoReport::kSkipped:
      if (!quiet_) std::fprintf(stdout, "skipped: %s (%s)\n", report.PhotoPath.c_str(), report.Reason.c_str());
      break;
    case TBatchPhotoReport::kFailed:
      std::fprintf(stderr, "failed: %s (%s)\n", report.PhotoPath.c_str(), report.Reason.c_str());
      break;
  }
  std::fflush(stdout);
}

}  // namespace tessaly
