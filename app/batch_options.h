// Tessaly: the command line of tessaly-batch, turned into the wizard's settings.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tessaly {

class TMainForm;

struct TBatchOptions {
  std::optional<std::string> Width, Height;  // --size WxH (texts, as typed into the wizard)
  int Preset = 0;                            // --preset 1..19
  bool KeepRatio = false;
  int Style = 0;                             // 0 crop, 1 border
  bool Smooth = false;
  bool NoEnlarge = false;
  std::optional<std::string> MaxKB;
  std::optional<std::string> Format;         // "jpg"
  std::optional<int> Quality, PngLevel, GifColors;
  std::optional<std::string> OutDir;
  int NameScheme = 0;                        // original, size, postfix
  std::string Postfix;
  bool Backup = true;
  bool Quiet = false;
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Paths;
};

/// Parses the arguments (without the program name). False with a one-line
/// reason for a usage error.
bool ParseBatchOptions(const std::vector<std::string>& args, TBatchOptions& options, std::string& error);

/// Sets the wizard's controls and stored compression settings as the options
/// say; what an option does not say keeps the wizard's default.
void ApplyBatchOptions(const TBatchOptions& options, TMainForm& form);

/// The usage text.
const char* BatchUsage();

}  // namespace tessaly
