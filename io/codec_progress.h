// Tessaly: the progress record every reader and writer receives.
#pragma once

#include <cmath>
#include <functional>

namespace tessaly {

class TImageIO;

/// Progress event: sender and a percentage 0..100.
using TImProgressEvent = std::function<void(TImageIO* sender, int percent)>;
/// Finish event: sender.
using TImNotifyEvent = std::function<void(TImageIO* sender)>;

/// Built by the I/O object for each load or save. A codec sets
/// PercentPerUnit to 100 / units, reports Trunc(units done x PercentPerUnit)
/// and stops early once Aborted becomes true.
struct TCodecProgress {
  TImProgressEvent OnProgress;  // the I/O object's relay; unset when empty
  TImageIO* Sender = nullptr;
  int Counter = 0;
  double PercentPerUnit = 0;
  bool* Aborted = nullptr;

  /// Reports units done, when the event is set.
  void Report(double units_done) const {
    if (OnProgress) OnProgress(Sender, static_cast<int>(std::trunc(units_done * PercentPerUnit)));
  }
  bool IsAborted() const { return Aborted != nullptr && *Aborted; }
  void Abort() const {
    if (Aborted != nullptr) *Aborted = true;
  }
};

}  // namespace tessaly
