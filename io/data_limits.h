// Tessaly: the one check every reader makes before it allocates: can the
// bytes the file holds account for the image it claims?
#pragma once

#include <cstdint>

namespace tessaly {

/// True when `available` bytes of coded data, expanding to at most
/// `per_byte` units each (pixels or bytes: the coding's largest expansion),
/// can yield `units_per_row` x `rows` units. Free of overflow for any input.
constexpr bool DataCanYield(int64_t units_per_row, int64_t rows, int64_t available, int64_t per_byte) {
  if (units_per_row <= 0 || rows <= 0) return true;
  if (available <= 0 || per_byte <= 0) return false;
  const unsigned __int128 needed = static_cast<unsigned __int128>(units_per_row) * static_cast<unsigned __int128>(rows);
  return static_cast<unsigned __int128>(available) * static_cast<unsigned __int128>(per_byte) >= needed;
}

}  // namespace tessaly
