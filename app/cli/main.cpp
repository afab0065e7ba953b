// Tessaly: tessaly-batch, the batch run from a command line.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "app/batch_options.h"
#include "app/cli/console_services.h"
#include "app/main_form.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  using namespace tessaly;
  const std::vector<std::string> args(argv + 1, argv + argc);
  TBatchOptions options;
  std::string error;
  if (!ParseBatchOptions(args, options, error)) {
    std::fprintf(stderr, "tessaly-batch: %s\n%s", error.c_str(), BatchUsage());
    return 2;
  }
  if (options.Help) {
    std::fputs(BatchUsage(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("tessaly-batch %s\n", TESSALY_VERSION);
    return 0;
  }
  InitializeImageLibrary();
  TConsoleServices services(options.Quiet);
  TMainForm form(services);
  try {
    if (options.OutDir) std::filesystem::create_directories(*options.OutDir);
    ApplyBatchOptions(options, form);
    form.AddPaths(options.Paths);
    form.DoClick();
  } catch (const std::exception& e) {
    services.ProgressClose();
    std::fprintf(stderr, "tessaly-batch: %s\n", e.what());
    return 1;
  }
  const TBatchSummary& run = form.LastRun();
  if (!options.Quiet || run.Failed > 0) {
    std::printf("%d written, %d skipped, %d failed%s\n", run.Written, run.Skipped, run.Failed,
                run.Cancelled ? " (cancelled)" : "");
  }
  return run.Failed > 0 ? 1 : 0;
}
