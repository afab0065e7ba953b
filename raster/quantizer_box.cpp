// Tessaly: variance-minimising box splitting on a 5-bit colour histogram.
#include <algorithm>
#include <cmath>

#include "raster/quantizer_engines.h"

namespace tessaly {

namespace {

constexpr int kMaxBoxes = 256;
// The score of an axis that cannot be cut. Real scores stay far below it
// (each box error is at most three times 31 squared over four), so it only
// decides when every axis has failed.
constexpr double kFailedAxisScore = 17523.6;

// Round half to even, as the rest of the system rounds.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

void TBoxSplitter::ComputeStatistics(Box& box) const {
  box.error = 0;
  if (box.count == 0) return;
  const double count = box.count;
  for (int a = 0; a < 3; ++a) {
    double sum = 0, sum_squares = 0;
    for (int j = box.lo[a]; j < box.hi[a]; ++j) {
      const double h = box.marginal[a][j];
      sum += j * h;
      sum_squares += static_cast<double>(j) * j * h;
    }
    box.mean[a] = sum / count;
    box.error += sum_squares - box.mean[a] * box.mean[a] * count;
  }
  box.error /= pixel_count_;
}

void TBoxSplitter::ShrinkBounds(Box& box) const {
  for (int a = 0; a < 3; ++a) {
    int first = box.lo[a], last = box.hi[a] - 1;
    while (first <= last && box.marginal[a][first] == 0) ++first;
    while (last >= first && box.marginal[a][last] == 0) --last;
    if (first > last) continue;  // an empty part keeps its bounds; it is never used
    box.lo[a] = first;
    box.hi[a] = last + 1;
  }
}

bool TBoxSplitter::Split(Box& box, Box& upper) const {
  if (box.error <= 0 || box.count == 0) return false;
  const double count = box.count;
  double best_score = kFailedAxisScore;
  int best_axis = -1;
  Box best_lower, best_upper;
  for (int a = 0; a < 3; ++a) {
    const int lo = box.lo[a], hi = box.hi[a];
    if (hi == lo + 1) continue;
    const double m = box.mean[a];
    const uint32_t* h = box.marginal[a];
    const int start = RoundEven((lo + m) * 0.5);
    // Marginals are zero outside the box, so the last cell bounds the walk.
    const int end = std::min(RoundEven((hi + m) * 0.5), 31);
    double s = 0;
    for (int j = lo; j < start; ++j) s += h[j];
    double t = 0, best = -1;
    int cut = start;
    double below = count;
    for (int j = start; j <= end; ++j) {
      s += h[j];
      if (s == count) break;
      t += static_cast<double>(h[j]) * j / count;
      const double score = s / (count - s) * (m - t) * (m - t);
      if (score > best) {
        best = score;
        cut = j;
        below = s;
      }
    }
    if (below == 0 || below == count) continue;

    Box lower = box, up = box;
    lower.count = static_cast<uint32_t>(below);
    lower.hi[a] = cut + 1;
    up.count = box.count - lower.count;
    up.lo[a] = cut + 1;
    for (auto& axis : lower.marginal) std::fill(std::begin(axis), std::end(axis), 0u);
    for (int r = lower.lo[0]; r < lower.hi[0]; ++r) {
      for (int g = lower.lo[1]; g < lower.hi[1]; ++g) {
        const uint32_t* cells = &histogram_[static_cast<size_t>(CellOf(r, g, 0))];
        for (int b = lower.lo[2]; b < lower.hi[2]; ++b) {
          const uint32_t n = cells[b];
          lower.marginal[0][r] += n;
          lower.marginal[1][g] += n;
          lower.marginal[2][b] += n;
        }
      }
    }
    for (int axis = 0; axis < 3; ++axis) {
      for (int j = 0; j < 32; ++j) up.marginal[axis][j] = box.marginal[axis][j] - lower.marginal[axis][j];
    }
    ShrinkBounds(lower);
    ShrinkBounds(up);
    ComputeStatistics(lower);
    ComputeStatistics(up);
    const double score = lower.error + up.error;
    // Strictly smaller wins, so red beats green beats blue on a tie.
    if (score < best_score) {
      best_score = score;
      best_axis = a;
      best_lower = lower;
      best_upper = up;
    }
  }
  if (best_axis < 0) return false;
  box = best_lower;
  upper = best_upper;
  return true;
}

int TBoxSplitter::Build(const TImBitmap& source, int color_count, TRGB* palette) {
  histogram_.assign(32768, 0);
  std::vector<Box> boxes(1);
  Box& first = boxes[0];
  for (int32_t y = 0; y < source.Height(); ++y) {
    const uint8_t* p = source.ScanLine(y);
    for (int32_t x = 0; x < source.Width(); ++x, p += 3) {
      const int r = p[2] >> 3, g = p[1] >> 3, b = p[0] >> 3;
      ++histogram_[static_cast<size_t>(CellOf(r, g, b))];
      ++first.marginal[0][r];
      ++first.marginal[1][g];
      ++first.marginal[2][b];
    }
  }
  pixel_count_ = static_cast<double>(source.Width()) * source.Height();
  first.count = static_cast<uint32_t>(pixel_count_);
  ComputeStatistics(first);

  const int wanted = std::clamp(color_count, 1, kMaxBoxes);
  boxes.reserve(static_cast<size_t>(wanted));
  while (static_cast<int>(boxes.size()) < wanted) {
    int pick = -1;
    for (int i = 0; i < static_cast<int>(boxes.size()); ++i) {
      if (boxes[static_cast<size_t>(i)].error > 0 &&
          (pick < 0 || boxes[static_cast<size_t>(i)].error > boxes[static_cast<size_t>(pick)].error)) {
        pick = i;
      }
    }
    if (pick < 0) break;
    Box upper;
    if (Split(boxes[static_cast<size_t>(pick)], upper)) {
      boxes.push_back(upper);
    } else {
      boxes[static_cast<size_t>(pick)].error = 0;
    }
  }

  table_.assign(32768, 0);
  for (size_t i = 0; i < boxes.size(); ++i) {
    const Box& box = boxes[i];
    palette[i] = TRGB{static_cast<uint8_t>(RoundEven(box.mean[2]) * 8), static_cast<uint8_t>(RoundEven(box.mean[1]) * 8),
                      static_cast<uint8_t>(RoundEven(box.mean[0]) * 8)};
    for (int r = box.lo[0]; r < box.hi[0]; ++r) {
      for (int g = box.lo[1]; g < box.hi[1]; ++g) {
        for (int b = box.lo[2]; b < box.hi[2]; ++b) table_[static_cast<size_t>(CellOf(r, g, b))] = static_cast<uint8_t>(i);
      }
    }
  }
  histogram_.clear();
  histogram_.shrink_to_fit();
  return static_cast<int>(boxes.size());
}

}  // namespace tessaly
