// Tessaly: how the dispatch and detection find the codec of a file type.
#pragma once

#include "io/codec_table.h"

namespace tessaly {

/// The codec used for a file type: a substitute while one is installed,
/// else the built-in row (or null).
const TInternalCodec* LookupCodec(int file_type);

/// Puts a codec of the caller's in place of the built-in row of its
/// FileType while the object lives (a tool or test that brings its own
/// coder). Substitutes nest; the newest wins. Window thread only.
class TCodecSubstitute {
 public:
  explicit TCodecSubstitute(const TInternalCodec& codec);
  ~TCodecSubstitute();
  TCodecSubstitute(const TCodecSubstitute&) = delete;
  TCodecSubstitute& operator=(const TCodecSubstitute&) = delete;

 private:
  TInternalCodec codec_;
};

}  // namespace tessaly
