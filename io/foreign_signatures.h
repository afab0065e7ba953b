// Tessaly: content tests of the formats this system lists but does not
// decode, and the TIFF probes detection needs before the TIFF codec is in.
#pragma once

#include "platform/stream.h"

namespace tessaly {

// Each test reads from the stream's current position and answers true or
// false; the caller restores the position.

/// 128-byte preamble, then "DICM".
bool IsDicomStream(TStream& stream);
/// A placeable metafile key, or a plain metafile header (type 1 or 2, nine
/// words long, version 1 or 3).
bool IsWmfStream(TStream& stream);
/// Header record of type 1 with the " EMF" signature at offset 40.
bool IsEmfStream(TStream& stream);
/// "8BPS" with version 1 (or 2 for the large-document form).
bool IsPsdStream(TStream& stream);
/// "RIFF" and "AVI " at offset 8.
bool IsAviStream(TStream& stream);
/// A camera's raw file: the known non-TIFF raw signatures, or a TIFF that
/// IsCameraRawTiffStream accepts.
bool IsCameraRawStream(TStream& stream);

/// "II" or "MM" with a first directory inside the stream that carries both
/// ImageWidth and ImageLength; big-endian files whose ninth byte is 0xBA are
/// not TIFF.
bool IsTiffHeaderStream(TStream& stream);
/// A TIFF-structured camera raw: a DNG version tag, a raw photometric
/// (32803 colour filter array, 34892 linear raw), or SubIFDs with a raw
/// tag beside a main image under 200 x 200 (a preview in front of the raw).
bool IsCameraRawTiffStream(TStream& stream);

}  // namespace tessaly
