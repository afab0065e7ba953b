// Tessaly: the vector forms of the kernel resampler's two passes.
//
// Both passes work in unsigned 16-bit lanes, which BuildFixedTaps has proven
// exact for the table at hand, and divide by a multiply-high and a shift that
// it has checked against the true quotient for every possible sum. So each
// byte equals the plain 32-bit loop's byte.
//
// The horizontal pass works on bands of 16 rows. The band is transposed so
// that one source byte position of all 16 rows lies in one 16-byte vector;
// a destination column is then a few vector multiply-adds (one lane per row),
// and the results are transposed back into the rows.
#include "raster/resample_simd.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSALY_X86 1
#endif

namespace tessaly {

namespace {

constexpr int kMaxFixedTaps = 64;

// The quotient of the vector passes, written out for one value: division by
// d as a multiply-high by the low 16 bits of a 17-bit reciprocal, the
// missing top bit added back without leaving 16 bits.
inline uint8_t Quotient16(uint16_t sum, uint16_t mul, uint8_t shift) {
  const uint32_t t = (static_cast<uint32_t>(sum) * mul) >> 16;
  return static_cast<uint8_t>((t + ((sum - t) >> 1)) >> shift);
}

// The reciprocal of d: with l = ceil(log2 d), M = 2^16 + mul = floor(2^(16+l)
// (2^l - d) / d) + 2^16 + 1 and the quotient floor(n M / 2^(16+l)). That is
// exact for every 16-bit n; it is also checked here, for the sums 0 .. 255 d
// that occur: with e = M d - 2^(16+l), n = q d + r gives q exactly when
// r 2^(16+l) + n e < d 2^(16+l), and for each remainder r the largest such n
// is the worst, so the last d sums prove all.
bool FindReciprocal(int32_t d, uint16_t& mul, uint8_t& shift) {
  if (d < 2 || d > 257) return false;
  int l = 0;
  while ((1 << l) < d) ++l;
  const uint64_t m = ((uint64_t{1} << 16) * ((uint64_t{1} << l) - static_cast<uint64_t>(d))) /
                         static_cast<uint64_t>(d) + 1;
  if (m > 65535) return false;
  const uint32_t top = 255u * static_cast<uint32_t>(d);
  for (uint32_t n = top - static_cast<uint32_t>(d) + 1; n <= top; ++n) {
    if (Quotient16(static_cast<uint16_t>(n), static_cast<uint16_t>(m), static_cast<uint8_t>(l - 1)) !=
        n / static_cast<uint32_t>(d)) {
      return false;
    }
  }
  mul = static_cast<uint16_t>(m);
  shift = static_cast<uint8_t>(l - 1);
  return true;
}

inline uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// A wide list of a transposed band, lane by lane in 32 bits.
void WideColumn(int channels, const uint8_t* base, const TFixedTaps& taps, int32_t i, uint8_t* out) {
  const int32_t* w = &taps.WideWeight[static_cast<size_t>(i) * taps.Taps];
  const int32_t d = taps.Divisor[static_cast<size_t>(i)];
  for (int c = 0; c < channels; ++c) {
    for (int r = 0; r < 16; ++r) {
      int32_t acc = 0;
      for (int t = 0; t < taps.Taps; ++t) acc += w[t] * base[(t * channels + c) * 16 + r];
      out[(static_cast<size_t>(i) * channels + c) * 16 + r] = ClampByte(acc / d);
    }
  }
}

// ---------------------------------------------------------------- plain stand-ins
//
// Scalar forms of the 16-bit arithmetic for the ends of rows that no full
// vector covers, and for processors without vector units.

void HorizontalBandScalar(int channels, const uint8_t* const* source_rows, int rows, uint8_t* const* work_rows,
                          const TFixedTaps& taps) {
  const int32_t columns = static_cast<int32_t>(taps.First.size());
  for (int r = 0; r < rows; ++r) {
    const uint8_t* src = source_rows[r];
    uint8_t* dst = work_rows[r];
    for (int32_t i = 0; i < columns; ++i) {
      const uint16_t* w = &taps.Weight[static_cast<size_t>(i) * taps.Taps];
      const uint8_t* px = src + static_cast<ptrdiff_t>(taps.First[i]) * channels;
      if (taps.Wide[static_cast<size_t>(i)]) {
        const int32_t* wide = &taps.WideWeight[static_cast<size_t>(i) * taps.Taps];
        for (int c = 0; c < channels; ++c) {
          int32_t acc = 0;
          for (int t = 0; t < taps.Taps; ++t) acc += wide[t] * px[t * channels + c];
          dst[static_cast<ptrdiff_t>(i) * channels + c] = ClampByte(acc / taps.Divisor[static_cast<size_t>(i)]);
        }
        continue;
      }
      for (int c = 0; c < channels; ++c) {
        uint16_t acc = 0;
        for (int t = 0; t < taps.Taps; ++t) acc = static_cast<uint16_t>(acc + w[t] * px[t * channels + c]);
        dst[static_cast<ptrdiff_t>(i) * channels + c] = Quotient16(acc, taps.Mul[i], taps.Shift[i]);
      }
    }
  }
}

void VerticalBytesScalar(const uint8_t* const* rows, const uint16_t* weights, int count, size_t from, size_t to,
                         uint16_t mul, uint8_t shift, uint8_t* dst) {
  for (size_t b = from; b < to; ++b) {
    uint16_t acc = 0;
    for (int t = 0; t < count; ++t) acc = static_cast<uint16_t>(acc + weights[t] * rows[t][b]);
    dst[b] = Quotient16(acc, mul, shift);
  }
}

#ifdef TESSALY_X86

// ---------------------------------------------------------------- SSE2

// Quotient16 on every lane.
__attribute__((target("sse2"))) inline __m128i DivideSse2(__m128i sum, __m128i mul, __m128i shift) {
  const __m128i t = _mm_mulhi_epu16(sum, mul);
  return _mm_srl_epi16(_mm_add_epi16(t, _mm_srli_epi16(_mm_sub_epi16(sum, t), 1)), shift);
}

__attribute__((target("avx2"))) inline __m256i DivideAvx2(__m256i sum, __m256i mul, __m128i shift) {
  const __m256i t = _mm256_mulhi_epu16(sum, mul);
  return _mm256_srl_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(_mm256_sub_epi16(sum, t), 1)), shift);
}

// Transposes a 16 x 16 byte block in place: afterwards v[k] holds byte k of
// every input vector. Four rounds of interleaving v[i] with v[i + 8] turn the
// (vector, byte) index bits by four places, which swaps them.
__attribute__((target("sse2"))) inline void Transpose16x16(__m128i v[16]) {
  for (int round = 0; round < 4; ++round) {
    __m128i n[16];
    for (int i = 0; i < 8; ++i) {
      n[2 * i] = _mm_unpacklo_epi8(v[i], v[i + 8]);
      n[2 * i + 1] = _mm_unpackhi_epi8(v[i], v[i + 8]);
    }
    for (int i = 0; i < 16; ++i) v[i] = n[i];
  }
}

__attribute__((target("avx2"))) inline void Transpose16x16x2(__m256i v[16]) {
  for (int round = 0; round < 4; ++round) {
    __m256i n[16];
    for (int i = 0; i < 8; ++i) {
      n[2 * i] = _mm256_unpacklo_epi8(v[i], v[i + 8]);
      n[2 * i + 1] = _mm256_unpackhi_epi8(v[i], v[i + 8]);
    }
    for (int i = 0; i < 16; ++i) v[i] = n[i];
  }
}

// 16 rows of `length` bytes into length x 16 bytes (byte k of row r at k x 16 + r).
__attribute__((target("sse2"))) void TransposeIn(const uint8_t* const* rows, size_t length, uint8_t* out) {
  size_t k = 0;
  for (; k + 16 <= length; k += 16) {
    __m128i v[16];
    for (int r = 0; r < 16; ++r) v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + k));
    Transpose16x16(v);
    for (int j = 0; j < 16; ++j) _mm_store_si128(reinterpret_cast<__m128i*>(out + (k + j) * 16), v[j]);
  }
  for (; k < length; ++k) {
    for (int r = 0; r < 16; ++r) out[k * 16 + r] = rows[r][k];
  }
}

__attribute__((target("avx2"))) void TransposeInAvx2(const uint8_t* const* rows, size_t length, uint8_t* out) {
  size_t k = 0;
  for (; k + 32 <= length; k += 32) {
    __m256i v[16];
    for (int r = 0; r < 16; ++r) v[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + k));
    Transpose16x16x2(v);
    for (int j = 0; j < 16; ++j) {
      _mm_store_si128(reinterpret_cast<__m128i*>(out + (k + j) * 16), _mm256_castsi256_si128(v[j]));
      _mm_store_si128(reinterpret_cast<__m128i*>(out + (k + 16 + j) * 16), _mm256_extracti128_si256(v[j], 1));
    }
  }
  if (k < length) {
    const uint8_t* rest[16];
    for (int r = 0; r < 16; ++r) rest[r] = rows[r] + k;
    TransposeIn(rest, length - k, out + k * 16);
  }
}

// length x 16 bytes back into the first `rows` of 16 rows.
__attribute__((target("sse2"))) void TransposeOut(const uint8_t* in, size_t length, uint8_t* const* rows, int count) {
  size_t k = 0;
  for (; k + 16 <= length; k += 16) {
    __m128i v[16];
    for (int j = 0; j < 16; ++j) v[j] = _mm_load_si128(reinterpret_cast<const __m128i*>(in + (k + j) * 16));
    Transpose16x16(v);
    for (int r = 0; r < count; ++r) _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[r] + k), v[r]);
  }
  for (; k < length; ++k) {
    for (int r = 0; r < count; ++r) rows[r][k] = in[k * 16 + r];
  }
}

// Destination columns of a transposed band: one lane per row.
template <int kTaps>
__attribute__((target("sse2"))) void ColumnsSse2(int channels, const uint8_t* transposed, const TFixedTaps& taps,
                                                 uint8_t* out) {
  const int n = kTaps > 0 ? kTaps : taps.Taps;
  const int32_t columns = static_cast<int32_t>(taps.First.size());
  const __m128i zero = _mm_setzero_si128();
  for (int32_t i = 0; i < columns; ++i) {
    const uint16_t* w = &taps.Weight[static_cast<size_t>(i) * taps.Taps];
    const uint8_t* base = transposed + static_cast<size_t>(taps.First[i]) * channels * 16;
    if (taps.Wide[static_cast<size_t>(i)]) {
      WideColumn(channels, base, taps, i, out);
      continue;
    }
    __m128i lo[3] = {zero, zero, zero}, hi[3] = {zero, zero, zero};
    for (int t = 0; t < n; ++t) {
      const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(w[t]));
      for (int c = 0; c < channels; ++c) {
        const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(base + (t * channels + c) * 16));
        lo[c] = _mm_add_epi16(lo[c], _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wv));
        hi[c] = _mm_add_epi16(hi[c], _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wv));
      }
    }
    const __m128i mul = _mm_set1_epi16(static_cast<int16_t>(taps.Mul[i]));
    const __m128i shift = _mm_cvtsi32_si128(taps.Shift[i]);
    for (int c = 0; c < channels; ++c) {
      const __m128i qlo = DivideSse2(lo[c], mul, shift);
      const __m128i qhi = DivideSse2(hi[c], mul, shift);
      _mm_store_si128(reinterpret_cast<__m128i*>(out + (static_cast<size_t>(i) * channels + c) * 16),
                      _mm_packus_epi16(qlo, qhi));
    }
  }
}

template <int kTaps>
__attribute__((target("avx2"))) void ColumnsAvx2(int channels, const uint8_t* transposed, const TFixedTaps& taps,
                                                 uint8_t* out) {
  const int n = kTaps > 0 ? kTaps : taps.Taps;
  const int32_t columns = static_cast<int32_t>(taps.First.size());
  for (int32_t i = 0; i < columns; ++i) {
    const uint16_t* w = &taps.Weight[static_cast<size_t>(i) * taps.Taps];
    const uint8_t* base = transposed + static_cast<size_t>(taps.First[i]) * channels * 16;
    if (taps.Wide[static_cast<size_t>(i)]) {
      WideColumn(channels, base, taps, i, out);
      continue;
    }
    __m256i acc[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
    for (int t = 0; t < n; ++t) {
      const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(w[t]));
      for (int c = 0; c < channels; ++c) {
        const __m256i v = _mm256_cvtepu8_epi16(
            _mm_load_si128(reinterpret_cast<const __m128i*>(base + (t * channels + c) * 16)));
        acc[c] = _mm256_add_epi16(acc[c], _mm256_mullo_epi16(v, wv));
      }
    }
    const __m256i mul = _mm256_set1_epi16(static_cast<int16_t>(taps.Mul[i]));
    const __m128i shift = _mm_cvtsi32_si128(taps.Shift[i]);
    for (int c = 0; c < channels; ++c) {
      const __m256i q = DivideAvx2(acc[c], mul, shift);
      _mm_store_si128(reinterpret_cast<__m128i*>(out + (static_cast<size_t>(i) * channels + c) * 16),
                      _mm_packus_epi16(_mm256_castsi256_si128(q), _mm256_extracti128_si256(q, 1)));
    }
  }
}

// The tap count fixed at compile time for the usual reductions and
// enlargements; other counts take the loop with a run-time bound.
template <template <int> class Fn, typename... Args>
void WithTaps(int taps, Args&&... args) {
  switch (taps) {
    case 2: Fn<2>::Run(args...); break;
    case 3: Fn<3>::Run(args...); break;
    case 4: Fn<4>::Run(args...); break;
    case 5: Fn<5>::Run(args...); break;
    case 6: Fn<6>::Run(args...); break;
    case 7: Fn<7>::Run(args...); break;
    case 8: Fn<8>::Run(args...); break;
    case 9: Fn<9>::Run(args...); break;
    case 10: Fn<10>::Run(args...); break;
    case 11: Fn<11>::Run(args...); break;
    case 12: Fn<12>::Run(args...); break;
    default: Fn<0>::Run(args...); break;
  }
}

template <int kTaps>
struct ColumnsSse2Fn {
  static void Run(int channels, const uint8_t* transposed, const TFixedTaps& taps, uint8_t* out) {
    ColumnsSse2<kTaps>(channels, transposed, taps, out);
  }
};
template <int kTaps>
struct ColumnsAvx2Fn {
  static void Run(int channels, const uint8_t* transposed, const TFixedTaps& taps, uint8_t* out) {
    ColumnsAvx2<kTaps>(channels, transposed, taps, out);
  }
};

// Bytes from `b` on in steps of 16; returns where it stopped.
__attribute__((target("sse2"))) size_t VerticalSse2(const uint8_t* const* rows, const uint16_t* weights, int count,
                                                    size_t b, size_t bytes, uint16_t mul16, uint8_t shift8,
                                                    uint8_t* dst) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i mul = _mm_set1_epi16(static_cast<int16_t>(mul16));
  const __m128i shift = _mm_cvtsi32_si128(shift8);
  for (; b + 16 <= bytes; b += 16) {
    __m128i lo = zero, hi = zero;
    for (int t = 0; t < count; ++t) {
      const __m128i wv = _mm_set1_epi16(static_cast<int16_t>(weights[t]));
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + b));
      lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), wv));
      hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), wv));
    }
    lo = DivideSse2(lo, mul, shift);
    hi = DivideSse2(hi, mul, shift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + b), _mm_packus_epi16(lo, hi));
  }
  return b;
}

__attribute__((target("avx2"))) size_t VerticalAvx2(const uint8_t* const* rows, const uint16_t* weights, int count,
                                                    size_t bytes, uint16_t mul16, uint8_t shift8, uint8_t* dst) {
  const __m256i mul = _mm256_set1_epi16(static_cast<int16_t>(mul16));
  const __m128i shift = _mm_cvtsi32_si128(shift8);
  size_t b = 0;
  for (; b + 32 <= bytes; b += 32) {
    __m256i a0 = _mm256_setzero_si256(), a1 = _mm256_setzero_si256();
    for (int t = 0; t < count; ++t) {
      const __m256i wv = _mm256_set1_epi16(static_cast<int16_t>(weights[t]));
      const __m256i v0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + b)));
      const __m256i v1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + b + 16)));
      a0 = _mm256_add_epi16(a0, _mm256_mullo_epi16(v0, wv));
      a1 = _mm256_add_epi16(a1, _mm256_mullo_epi16(v1, wv));
    }
    a0 = DivideAvx2(a0, mul, shift);
    a1 = DivideAvx2(a1, mul, shift);
    // packus works within 128-bit lanes; the permute puts the bytes back in order.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + b),
                        _mm256_permute4x64_epi64(_mm256_packus_epi16(a0, a1), 0xD8));
  }
  return VerticalSse2(rows, weights, count, b, bytes, mul16, shift8, dst);
}

#endif  // TESSALY_X86

}  // namespace

TKernelIsa BestKernelIsa() {
#ifdef TESSALY_X86
  static const TKernelIsa best = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? TKernelIsa::kAvx2 : TKernelIsa::kSse2;
  }();
  return best;
#else
  return TKernelIsa::kPlain;
#endif
}

bool KernelIsaAvailable(TKernelIsa isa) { return static_cast<int>(isa) <= static_cast<int>(BestKernelIsa()); }

bool BuildFixedTaps(const TContributions& list, int32_t source_size, TFixedTaps& fixed) {
  fixed = TFixedTaps{};
  const int32_t count = list.Count();
  if (count < 1 || source_size < 1) return false;
  int32_t span = 1;
  for (int32_t i = 0; i < count; ++i) {
    const auto lo = std::min_element(list.Index.begin() + list.Start[i], list.Index.begin() + list.Start[i + 1]);
    const auto hi = std::max_element(list.Index.begin() + list.Start[i], list.Index.begin() + list.Start[i + 1]);
    span = std::max(span, *hi - *lo + 1);
  }
  if (span > kMaxFixedTaps || span > source_size) return false;
  const size_t n = static_cast<size_t>(count);
  fixed.Taps = span;
  fixed.First.assign(n, 0);
  fixed.Weight.assign(n * span, 0);
  fixed.Mul.assign(n, 0);
  fixed.Shift.assign(n, 0);
  fixed.Wide.assign(n, 0);
  fixed.WideWeight.assign(n * span, 0);
  fixed.Divisor.assign(list.Divisor.begin(), list.Divisor.end());
  int32_t last_divisor = -1;
  bool last_found = false;
  uint16_t last_mul = 0;
  uint8_t last_shift = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t lo = *std::min_element(list.Index.begin() + list.Start[i], list.Index.begin() + list.Start[i + 1]);
    const int32_t first = std::min(lo, source_size - span);
    int32_t* merged = &fixed.WideWeight[static_cast<size_t>(i) * span];
    int32_t total = 0;
    for (int32_t p = list.Start[i]; p < list.Start[i + 1]; ++p) {
      merged[list.Index[p] - first] += list.Weight[p];
      total += list.Weight[p];
    }
    fixed.First[static_cast<size_t>(i)] = first;
    const int32_t d = list.Divisor[i];
    // 16 bits hold every sum only for non-negative weights whose total (the
    // divisor) is at most 257.
    bool narrow = total == d && d >= 1 && 255 * d <= 65535;
    for (int32_t t = 0; t < span && narrow; ++t) narrow = merged[t] >= 0;
    if (narrow) {
      if (d != last_divisor) {
        last_found = FindReciprocal(d, last_mul, last_shift);
        last_divisor = d;
      }
      narrow = last_found;
    }
    if (!narrow) {
      fixed.Wide[static_cast<size_t>(i)] = 1;
      ++fixed.WideCount;
      continue;
    }
    for (int32_t t = 0; t < span; ++t) fixed.Weight[static_cast<size_t>(i) * span + t] = static_cast<uint16_t>(merged[t]);
    fixed.Mul[static_cast<size_t>(i)] = last_mul;
    fixed.Shift[static_cast<size_t>(i)] = last_shift;
  }
  return true;
}

void HorizontalBand16(TKernelIsa isa, int channels, const uint8_t* const* source_rows, int rows,
                      int32_t source_width, uint8_t* const* work_rows, const TFixedTaps& taps,
                      THorizontalScratch& scratch) {
#ifdef TESSALY_X86
  if (isa != TKernelIsa::kPlain && KernelIsaAvailable(isa)) {
    // Missing rows of a short band repeat its last row; their results are dropped.
    const uint8_t* in[kBandRows];
    for (int r = 0; r < kBandRows; ++r) in[r] = source_rows[std::min(r, rows - 1)];
    const size_t in_length = static_cast<size_t>(source_width) * channels;
    const size_t out_length = taps.First.size() * static_cast<size_t>(channels);
    // 16-byte alignment for the vector loads of the transposed band.
    scratch.Transposed.resize(in_length * kBandRows + 16);
    scratch.Result.resize(out_length * kBandRows + 16);
    auto aligned = [](std::vector<uint8_t>& v) {
      const uintptr_t p = reinterpret_cast<uintptr_t>(v.data());
      return v.data() + ((16 - (p & 15)) & 15);
    };
    uint8_t* transposed = aligned(scratch.Transposed);
    uint8_t* result = aligned(scratch.Result);
    if (isa == TKernelIsa::kAvx2) {
      TransposeInAvx2(in, in_length, transposed);
      WithTaps<ColumnsAvx2Fn>(taps.Taps, channels, transposed, taps, result);
    } else {
      TransposeIn(in, in_length, transposed);
      WithTaps<ColumnsSse2Fn>(taps.Taps, channels, transposed, taps, result);
    }
    TransposeOut(result, out_length, work_rows, rows);
    return;
  }
#endif
  (void)isa;
  (void)source_width;
  (void)scratch;
  HorizontalBandScalar(channels, source_rows, rows, work_rows, taps);
}

void VerticalRow16(TKernelIsa isa, const TFixedTaps& taps, int32_t k, const uint8_t* const* work_rows,
                   size_t bytes, uint8_t* dest_row) {
  const size_t list = static_cast<size_t>(k);
  const int32_t first = taps.First[list];
  if (taps.Wide[list]) {
    const int32_t* w = &taps.WideWeight[list * taps.Taps];
    const int32_t d = taps.Divisor[list];
    for (size_t b = 0; b < bytes; ++b) {
      int32_t acc = 0;
      for (int t = 0; t < taps.Taps; ++t) acc += w[t] * work_rows[first + t][b];
      dest_row[b] = ClampByte(acc / d);
    }
    return;
  }
  // Only the rows that carry weight are read.
  const uint8_t* rows[kMaxFixedTaps];
  uint16_t weights[kMaxFixedTaps];
  int count = 0;
  const uint16_t* w = &taps.Weight[list * taps.Taps];
  for (int t = 0; t < taps.Taps; ++t) {
    if (w[t] == 0) continue;
    rows[count] = work_rows[first + t];
    weights[count++] = w[t];
  }
  const uint16_t mul = taps.Mul[list];
  const uint8_t shift = taps.Shift[list];
  size_t done = 0;
#ifdef TESSALY_X86
  if (isa == TKernelIsa::kAvx2 && KernelIsaAvailable(isa)) {
    done = VerticalAvx2(rows, weights, count, bytes, mul, shift, dest_row);
  } else if (isa == TKernelIsa::kSse2 && KernelIsaAvailable(isa)) {
    done = VerticalSse2(rows, weights, count, 0, bytes, mul, shift, dest_row);
  }
#endif
  (void)isa;
  VerticalBytesScalar(rows, weights, count, done, bytes, mul, shift, dest_row);
}

}  // namespace tessaly
