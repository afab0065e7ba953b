// Tessaly: run-length coding of BMP rows (RLE8 and RLE4), kept apart from the
// rest of the codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tessaly::bmp {

/// Receives one decoded row of indices (width entries; pixels the data skipped
/// are 0) with its file row, counted from height - 1 down to 0. Returning
/// false stops the decoding.
using TRleRowSink = std::function<bool(int32_t file_row, const uint8_t* indices)>;

/// Decodes a whole run-length block. Runs past the row's end are cut, deltas
/// and ends of line that leave the last row end the decoding, and so does the
/// end of the data. Rows the data never reaches are not passed to the sink.
void DecodeRle(const uint8_t* data, size_t size, int32_t width, int32_t height, bool rle4,
               const TRleRowSink& sink);

/// Appends one encoded row of indices, with its end-of-line pair.
void EncodeRleRow(const uint8_t* indices, int32_t width, bool rle4, std::vector<uint8_t>& out);

}  // namespace tessaly::bmp
