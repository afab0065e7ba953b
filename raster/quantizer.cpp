// Tessaly: colour reduction: the choice of method, the exact palette, the grey
// ramp and the source's own palette.
#include "raster/quantizer.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "raster/quantizer_engines.h"

namespace tessaly {

int QuantizerMethod = -1;
int NeuQuantQuality = -1;

namespace {

uint32_t Key(TRGB c) { return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b; }

// Collects the distinct colours of an im24RGB image in order of first
// appearance; false as soon as a colour beyond `limit` turns up.
bool CollectExactColors(const TImBitmap& source, size_t limit, std::vector<TRGB>& colors,
                        std::unordered_map<uint32_t, int>& index) {
  index.reserve(std::min<size_t>(limit + 1, 4096));
  // Photos come in runs of one colour: the last colour seen skips the lookup.
  uint32_t last = UINT32_MAX;
  for (int32_t y = 0; y < source.Height(); ++y) {
    const uint8_t* p = source.ScanLine(y);
    for (int32_t x = 0; x < source.Width(); ++x, p += 3) {
      const TRGB c{p[0], p[1], p[2]};
      const uint32_t key = Key(c);
      if (key == last) continue;
      last = key;
      if (index.count(key) != 0) continue;
      if (colors.size() == limit) return false;
      index.emplace(key, static_cast<int>(colors.size()));
      colors.push_back(c);
    }
  }
  return true;
}

}  // namespace

struct TImQuantizer::Engine {
  std::unordered_map<uint32_t, int> exact_index;  // colour to its first entry
  TBoxSplitter box;
  TNeuQuant neuquant;
};

TImQuantizer::TImQuantizer(const TImBitmap& source, int color_count, TRGB* palette, int limit)
    : source_(source), color_count_(std::max(color_count, 1)) {
  (void)limit;  // accepted for the callers' sake; the result does not depend on it
  is_grey_ = source.IsGrayScale();
  if (source.PixelFormat() == im24RGB && !is_grey_) {
    engine_ = std::make_unique<Engine>();
    if (CollectExactColors(source, static_cast<size_t>(color_count_), exact_colors_, engine_->exact_index)) {
      has_exact_ = true;
      std::copy(exact_colors_.begin(), exact_colors_.end(), palette);
      return;
    }
    exact_colors_.clear();
    exact_colors_.shrink_to_fit();
    engine_->exact_index.clear();
    const bool box = QuantizerMethod == 1 || (QuantizerMethod != 0 && color_count_ < 128);
    if (box) {
      method_ = 1;
      engine_->box.Build(source, color_count_, palette);
    } else {
      method_ = 0;
      engine_->neuquant.Build(source, color_count_,
                              TNeuQuant::SamplingFactor(int64_t{source.Width()} * source.Height(), NeuQuantQuality),
                              palette);
    }
    return;
  }
  if (source.PixelFormat() == im8p && !is_grey_) {
    const int n = std::min(color_count_, source.PaletteLength());
    for (int i = 0; i < n; ++i) palette[i] = source.PaletteColor(i);
  } else if (is_grey_) {
    for (int i = 0; i < color_count_; ++i) {
      const uint8_t v = static_cast<uint8_t>(std::min(256 * i / color_count_, 255));
      palette[i] = TRGB{v, v, v};
    }
  }
}

TImQuantizer::~TImQuantizer() = default;

int TImQuantizer::IndexOfColor(TRGB color) const {
  if (has_exact_) {
    const auto it = engine_->exact_index.find(Key(color));
    return it == engine_->exact_index.end() ? -1 : it->second;
  }
  if (is_grey_) return color.r * color_count_ / 256;
  if (engine_ != nullptr) {
    return method_ == 1 ? engine_->box.IndexOfColor(color) : engine_->neuquant.IndexOfColor(color);
  }
  if (source_.PixelFormat() == im8p) {
    const int length = source_.PaletteLength();
    for (int i = 0; i < length; ++i) {
      if (source_.PaletteColor(i) == color) return i;
    }
    return length;
  }
  return 0;
}

}  // namespace tessaly
