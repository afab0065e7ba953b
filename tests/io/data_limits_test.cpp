// Tessaly tests: the check readers make before they allocate.
#include "io/data_limits.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TEST(DataLimits, DataCanYield) {
  struct Case { int64_t per_row, rows, available, per_byte; bool expected; };
  const Case cases[] = {
      {12, 10, 120, 1, true},    {12, 10, 119, 1, false},  // uncompressed rows must all be there
      {100, 100, 79, 128, true}, {100, 100, 78, 128, false},
      {0, 5, 0, 1, true},        {5, 5, 0, 1, false},
      // Products far past 64 bits are refused, not wrapped into small numbers.
      {INT64_MAX, INT64_MAX, INT64_MAX, 1024, false},
      {int64_t{1} << 40, int64_t{1} << 30, int64_t{1} << 40, int64_t{1} << 30, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DataCanYield(c.per_row, c.rows, c.available, c.per_byte), c.expected)
        << c.per_row << " x " << c.rows << " from " << c.available << " at " << c.per_byte;
  }
}

}  // namespace
}  // namespace tessaly
