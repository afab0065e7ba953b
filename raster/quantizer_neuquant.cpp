// Tessaly: the NeuQuant neural-network colour reducer (a self-organising map
// over the colour cube, after the algorithm published in 1994).
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "raster/quantizer_engines.h"

namespace tessaly {

namespace {

constexpr int kCycles = 100;
constexpr int kNetBiasShift = 4;     // network values are colours x 16
constexpr int kIntBiasShift = 16;    // frequency and bias in 1/65536
constexpr int kBeta = 64;            // 1/1024 of intbias
constexpr int kBetaGamma = 65536;    // beta x 1024
constexpr int kInitAlpha = 1024;
constexpr int kRadiusBias = 64;
constexpr int kRadiusDec = 30;
constexpr int kRadBias = 256;
constexpr int kAlphaRadBias = 262144;
constexpr int kPrimes[4] = {499, 491, 487, 503};

void ComputeRadPower(std::vector<int32_t>& radpower, int rad, int32_t alpha) {
  for (int i = 0; i < rad; ++i) {
    radpower[static_cast<size_t>(i)] =
        alpha * static_cast<int32_t>(((rad * rad - i * i) * kRadBias) / (rad * rad));
  }
}

}  // namespace

int TNeuQuant::SamplingFactor(int64_t pixel_count, int quality) {
  if (quality >= 0) {
    const int q = std::min(quality, 100);
    return static_cast<int>(std::trunc((100 - q) / 100.0 * 29)) + 1;
  }
  if (pixel_count < 2000) return 1;
  const double f = std::nearbyint(13.0 * static_cast<double>(pixel_count - 2000) / 148000.0 + 2.0);
  return static_cast<int>(std::clamp(f, 1.0, 30.0));
}

int TNeuQuant::Contest(int32_t b, int32_t g, int32_t r) {
  int32_t best_d = INT32_MAX, best_bias_d = INT32_MAX;
  int best_pos = 0, best_bias_pos = 0;
  for (int i = 0; i < netsize_; ++i) {
    const Neuron& n = network_[static_cast<size_t>(i)];
    const int32_t dist = std::abs(n.b - b) + std::abs(n.g - g) + std::abs(n.r - r);
    if (dist < best_d) {
      best_d = dist;
      best_pos = i;
    }
    // An arithmetic shift: a negative bias rounds towards minus infinity.
    const int32_t bias_dist = dist - (bias_[static_cast<size_t>(i)] >> (kIntBiasShift - kNetBiasShift));
    if (bias_dist < best_bias_d) {
      best_bias_d = bias_dist;
      best_bias_pos = i;
    }
    const int32_t beta_freq = frequency_[static_cast<size_t>(i)] >> 10;
    frequency_[static_cast<size_t>(i)] -= beta_freq;
    bias_[static_cast<size_t>(i)] += beta_freq << 10;
  }
  frequency_[static_cast<size_t>(best_pos)] += kBeta;
  bias_[static_cast<size_t>(best_pos)] -= kBetaGamma;
  return best_bias_pos;
}

void TNeuQuant::AlterSingle(int32_t alpha, int i, int32_t b, int32_t g, int32_t r) {
  Neuron& n = network_[static_cast<size_t>(i)];
  n.b -= alpha * (n.b - b) / kInitAlpha;
  n.g -= alpha * (n.g - g) / kInitAlpha;
  n.r -= alpha * (n.r - r) / kInitAlpha;
}

void TNeuQuant::AlterNeighbours(int rad, int i, int32_t b, int32_t g, int32_t r) {
  const int lo = std::max(i - rad, -1);
  const int hi = std::min(i + rad, netsize_);
  int j = i + 1, k = i - 1, d = 0;
  while (j < hi || k > lo) {
    // radpower[d] (at most 1024 x 256) times a difference of at most 4080
    // stays below 2^31, but a 64-bit product leaves no doubt.
    const int64_t a = radpower_[static_cast<size_t>(++d)];
    auto alter = [&](Neuron& n) {
      n.b -= static_cast<int32_t>(a * (n.b - b) / kAlphaRadBias);
      n.g -= static_cast<int32_t>(a * (n.g - g) / kAlphaRadBias);
      n.r -= static_cast<int32_t>(a * (n.r - r) / kAlphaRadBias);
    };
    if (j < hi) alter(network_[static_cast<size_t>(j++)]);
    if (k > lo) alter(network_[static_cast<size_t>(k--)]);
  }
}

void TNeuQuant::Learn(const TImBitmap& source, int sampling_factor) {
  const int32_t width = source.Width();
  const int64_t pixels = int64_t{width} * source.Height();
  const int64_t samples = pixels / sampling_factor;
  int64_t delta = samples / kCycles;
  if (delta == 0) delta = 1;
  const int32_t alpha_dec = 30 + (sampling_factor - 1) / 3;
  int32_t alpha = kInitAlpha;
  int32_t radius = (netsize_ / 8) * kRadiusBias;
  int rad = radius / kRadiusBias;
  if (rad <= 1) rad = 0;
  radpower_.assign(static_cast<size_t>(netsize_ / 8 + 1), 0);
  ComputeRadPower(radpower_, rad, alpha);

  int64_t step = kPrimes[3];
  for (int i = 0; i < 3; ++i) {
    if ((3 * pixels) % kPrimes[i] != 0) {
      step = kPrimes[i];
      break;
    }
  }
  step %= pixels;
  int64_t position = 0;
  for (int64_t i = 0; i < samples;) {
    const uint8_t* p = source.ScanLine(static_cast<int32_t>(position / width)) + 3 * (position % width);
    const int32_t b = p[0] << kNetBiasShift, g = p[1] << kNetBiasShift, r = p[2] << kNetBiasShift;
    const int winner = Contest(b, g, r);
    AlterSingle(alpha, winner, b, g, r);
    if (rad > 0) AlterNeighbours(rad, winner, b, g, r);
    // Wrap modulo the pixel count: a small image may be shorter than a step.
    position += step;
    if (position >= pixels) position -= pixels;
    ++i;
    if (i % delta == 0) {
      alpha -= alpha / alpha_dec;
      radius -= radius / kRadiusDec;
      rad = radius / kRadiusBias;
      if (rad <= 1) rad = 0;
      ComputeRadPower(radpower_, rad, alpha);
    }
  }
}

void TNeuQuant::BuildGreenIndex() {
  int previous = 0, start = 0;
  for (int i = 0; i < netsize_; ++i) {
    int small_pos = i;
    int32_t small_val = network_[static_cast<size_t>(i)].g;
    for (int j = i + 1; j < netsize_; ++j) {
      if (network_[static_cast<size_t>(j)].g < small_val) {
        small_pos = j;
        small_val = network_[static_cast<size_t>(j)].g;
      }
    }
    if (small_pos != i) std::swap(network_[static_cast<size_t>(i)], network_[static_cast<size_t>(small_pos)]);
    if (small_val != previous) {
      green_index_[previous] = (start + i) >> 1;
      for (int j = previous + 1; j < small_val; ++j) green_index_[j] = i;
      previous = small_val;
      start = i;
    }
  }
  const int max_pos = netsize_ - 1;
  green_index_[previous] = (start + max_pos) >> 1;
  for (int j = previous + 1; j < 256; ++j) green_index_[j] = max_pos;
}

void TNeuQuant::Build(const TImBitmap& source, int color_count, int sampling_factor, TRGB* palette) {
  netsize_ = std::max(color_count, 1);
  network_.assign(static_cast<size_t>(netsize_), Neuron{});
  frequency_.assign(static_cast<size_t>(netsize_), 65536 / netsize_);
  bias_.assign(static_cast<size_t>(netsize_), 0);
  for (int i = 0; i < netsize_; ++i) {
    const int32_t v = static_cast<int32_t>((int64_t{i} << (kNetBiasShift + 8)) / netsize_);
    network_[static_cast<size_t>(i)] = Neuron{v, v, v, i};
  }
  if (source.Width() > 0 && source.Height() > 0) Learn(source, std::max(sampling_factor, 1));

  for (int i = 0; i < netsize_; ++i) {
    Neuron& n = network_[static_cast<size_t>(i)];
    auto unbias = [](int32_t v) { return std::clamp((v + (1 << (kNetBiasShift - 1))) >> kNetBiasShift, 0, 255); };
    n.b = unbias(n.b);
    n.g = unbias(n.g);
    n.r = unbias(n.r);
    n.index = i;
    palette[i] = TRGB{static_cast<uint8_t>(n.b), static_cast<uint8_t>(n.g), static_cast<uint8_t>(n.r)};
  }
  BuildGreenIndex();
  frequency_.clear();
  bias_.clear();
}

int TNeuQuant::IndexOfColor(TRGB color) const {
  const int32_t b = color.b, g = color.g, r = color.r;
  int32_t best_d = 1000;
  int best = -1;
  int i = green_index_[g];
  int j = i - 1;
  auto consider = [&](const Neuron& n, int32_t green_dist) {
    int32_t dist = std::abs(green_dist) + std::abs(n.b - b);
    if (dist >= best_d) return;
    dist += std::abs(n.r - r);
    if (dist < best_d) {
      best_d = dist;
      best = n.index;
    }
  };
  while (i < netsize_ || j >= 0) {
    if (i < netsize_) {
      const Neuron& n = network_[static_cast<size_t>(i)];
      const int32_t dist = n.g - g;
      if (dist >= best_d) {
        i = netsize_;
      } else {
        ++i;
        consider(n, dist);
      }
    }
    if (j >= 0) {
      const Neuron& n = network_[static_cast<size_t>(j)];
      const int32_t dist = g - n.g;
      if (dist >= best_d) {
        j = -1;
      } else {
        --j;
        consider(n, dist);
      }
    }
  }
  return best < 0 ? 0 : best;
}

}  // namespace tessaly
