// Tessaly: the PNG reader and the content test.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "codecs/png/png_codec.h"
#include "codecs/png/png_io.h"
#include "io/data_limits.h"

namespace tessaly {

using namespace png_detail;

namespace {

constexpr uint8_t kPngSignature[4] = {0x89, 'P', 'N', 'G'};
constexpr int kColorGrey = PNG_COLOR_TYPE_GRAY;            // 0
constexpr int kColorRGB = PNG_COLOR_TYPE_RGB;              // 2
constexpr int kColorPalette = PNG_COLOR_TYPE_PALETTE;      // 3
constexpr int kColorGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA; // 4
constexpr int kColorRGBAlpha = PNG_COLOR_TYPE_RGB_ALPHA;   // 6
// Deflate cannot do better than about 1032 to 1 (a 258-byte match coded in
// two bits), so a file shorter than its image data over that is lying.
constexpr int64_t kMaxDeflateRatio = 1032;

/// The library structures of one read, destroyed on every way out.
struct TPngReadStructs {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngReadStructs() {
    if (Png != nullptr) png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
  }
};

/// What the header tells, copied out of the library so that the C++ side
/// never works inside a setjmp frame.
struct TPngHeader {
  png_uint_32 Width = 0, Height = 0;
  int BitDepth = 0, ColorType = 0, Interlace = 0;
  bool HasTRNS = false;
  bool Native = false;
  int Passes = 1;
  int Channels = 0;
  size_t RowBytes = 0;  // after the transformations
  png_uint_32 XPixelsPerMetre = 0, YPixelsPerMetre = 0;
  png_color Palette[256]{};
  int PaletteCount = 0;
  bool HasBackground = false;
  png_color_16 Background{};
  png_textp Texts = nullptr;  // owned by the library structures
  int TextCount = 0;
};

/// The pixels of one read and where they go.
struct TPngRowTarget {
  TImBitmap* Bitmap = nullptr;
  TImMask* Alpha = nullptr;        // four channels: the fourth goes here
  std::vector<uint8_t> Scratch;    // one row, or every row when interlaced
  size_t ScratchRowBytes = 0;
  bool ExpandOneBitPalette = false;
  TRGB OneBitColors[2]{};
};

// ---- libpng calls; no object with a destructor lives in these frames.

bool ReadHeader(png_structp png, png_infop info, bool native_wanted, TPngHeader& h) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  int compression = 0, filter = 0;
  png_get_IHDR(png, info, &h.Width, &h.Height, &h.BitDepth, &h.ColorType, &h.Interlace, &compression,
               &filter);
  png_get_text(png, info, &h.Texts, &h.TextCount);
  png_color_16p background = nullptr;
  if (png_get_bKGD(png, info, &background) != 0 && background != nullptr) {
    h.HasBackground = true;
    h.Background = *background;
  }
  png_colorp palette = nullptr;
  int count = 0;
  if (png_get_PLTE(png, info, &palette, &count) != 0 && palette != nullptr) {
    h.PaletteCount = std::clamp(count, 0, 256);
    std::memcpy(h.Palette, palette, sizeof(png_color) * static_cast<size_t>(h.PaletteCount));
  }
  h.HasTRNS = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  h.XPixelsPerMetre = png_get_x_pixels_per_meter(png, info);
  h.YPixelsPerMetre = png_get_y_pixels_per_meter(png, info);

  const int depth = h.BitDepth;
  const int type = h.ColorType;
  h.Native = native_wanted && (depth == 8 || depth == 16) && (type == kColorGrey || type == kColorPalette);
  if (h.Native) {
    if (depth == 16) png_set_swap(png);
  } else if (depth == 1 && h.HasTRNS) {
    // A 1-bit file with a transparent colour: expanded like the deeper files
    // so that its transparency survives as an alpha channel.
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_tRNS_to_alpha(png);
  } else if (depth > 1) {
    if (type == kColorPalette || (type == kColorGrey && depth < 8)) png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (depth < 8) png_set_packing(png);
    if (type == kColorGrey || type == kColorGreyAlpha) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_tRNS_to_alpha(png);
  }
  h.Passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  h.Channels = png_get_channels(png, info);
  h.RowBytes = png_get_rowbytes(png, info);
  return true;
}

void CopyRow(TPngRowTarget& t, int32_t row, const uint8_t* source);

bool ReadRows(png_structp png, const TPngHeader& h, TPngRowTarget& t,
              TCodecProgress& progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int32_t height = static_cast<int32_t>(h.Height);
  const bool via_scratch = !t.Scratch.empty();
  const bool whole_image = via_scratch && t.Scratch.size() > t.ScratchRowBytes;
  for (int pass = 0; pass < h.Passes && !progress.IsAborted(); ++pass) {
    int last_reported = -1;
    for (int32_t r = 0; r < height && !progress.IsAborted(); ++r) {
      png_bytep target = nullptr;
      if (via_scratch) {
        target = t.Scratch.data() + (whole_image ? t.ScratchRowBytes * static_cast<size_t>(r) : 0);
      } else {
        target = t.Bitmap->ScanLine(r);
      }
      png_read_rows(png, &target, nullptr, 1);
      if (via_scratch) CopyRow(t, r, target);
      ++progress.Counter;
      if (progress.OnProgress) {
        const int percent = static_cast<int>(std::trunc(progress.Counter * progress.PercentPerUnit));
        if (percent != last_reported) {
          last_reported = percent;
          progress.OnProgress(progress.Sender, percent);
        }
      }
    }
  }
  if (!progress.IsAborted()) png_read_end(png, nullptr);
  return true;
}

// ---- plain C++ from here on.

void CopyRow(TPngRowTarget& t, int32_t row, const uint8_t* source) {
  uint8_t* dest = t.Bitmap->ScanLine(row);
  const int32_t width = t.Bitmap->Width();
  if (t.ExpandOneBitPalette) {
    for (int32_t x = 0; x < width; ++x) {
      const TRGB c = t.OneBitColors[(source[x >> 3] >> (7 - (x & 7))) & 1];
      dest[3 * x] = c.b;
      dest[3 * x + 1] = c.g;
      dest[3 * x + 2] = c.r;
    }
    return;
  }
  uint8_t* alpha = t.Alpha->ScanLine(row);
  for (int32_t x = 0; x < width; ++x, source += 4, dest += 3) {
    dest[0] = source[0];
    dest[1] = source[1];
    dest[2] = source[2];
    alpha[x] = source[3];
  }
}

int DpiOf(png_uint_32 pixels_per_metre) {
  // Round half to even, as everywhere in the system.
  const int dpi = static_cast<int>(std::nearbyint(static_cast<double>(pixels_per_metre) / 100.0 * 2.54));
  return dpi == 0 ? TIOParamsVals::kDefaultDpi : dpi;
}

/// A bKGD sample at the file's bit depth, as an 8-bit level.
uint8_t BackgroundLevel(png_uint_16 sample, int bit_depth) {
  if (bit_depth == 16) return static_cast<uint8_t>(sample >> 8);
  if (bit_depth == 8) return static_cast<uint8_t>(std::min<png_uint_16>(sample, 255));
  const int max = (1 << bit_depth) - 1;
  return static_cast<uint8_t>(std::min<int>(sample, max) * 255 / max);
}

void StoreBackground(const TPngHeader& h, TIOParamsVals& params) {
  if (!h.HasBackground) return;
  const png_color_16& b = h.Background;
  if (h.ColorType == kColorPalette) {
    // An index outside the palette names no colour: the preset stays.
    if (b.index < h.PaletteCount) {
      const png_color& c = h.Palette[b.index];
      params.PngBackground = TRGB{c.blue, c.green, c.red};
    }
  } else if (h.ColorType == kColorGrey || h.ColorType == kColorGreyAlpha) {
    const uint8_t level = BackgroundLevel(b.gray, h.BitDepth);
    params.PngBackground = TRGB{level, level, level};
  } else {
    params.PngBackground = TRGB{BackgroundLevel(b.blue, h.BitDepth), BackgroundLevel(b.green, h.BitDepth),
                                BackgroundLevel(b.red, h.BitDepth)};
  }
}

void StoreHeader(const TPngHeader& h, TIOParamsVals& params) {
  params.PngTextKeys.clear();
  params.PngTextValues.clear();
  for (int i = 0; i < h.TextCount; ++i) {
    const png_text& text = h.Texts[i];
    params.PngTextKeys.emplace_back(text.key != nullptr ? text.key : "");
    params.PngTextValues.emplace_back(text.text != nullptr ? text.text : "");
  }
  StoreBackground(h, params);
  params.SetImageCount(1);
  params.Width = params.OriginalWidth = static_cast<int32_t>(h.Width);
  params.Height = params.OriginalHeight = static_cast<int32_t>(h.Height);
  params.BitsPerSample = h.BitDepth;
  switch (h.ColorType) {
    case kColorRGB: params.SamplesPerPixel = 3; break;
    case kColorGreyAlpha: params.SamplesPerPixel = 2; break;
    case kColorRGBAlpha: params.SamplesPerPixel = 4; break;
    default: params.SamplesPerPixel = 1; break;
  }
  params.SetDpiX(DpiOf(h.XPixelsPerMetre));
  params.SetDpiY(DpiOf(h.YPixelsPerMetre));
  params.ClearColorMap();
  if (h.ColorType == kColorPalette && h.PaletteCount > 0) {
    std::vector<TRGB> map(static_cast<size_t>(h.PaletteCount));
    for (int i = 0; i < h.PaletteCount; ++i) map[i] = TRGB{h.Palette[i].blue, h.Palette[i].green, h.Palette[i].red};
    params.SetColorMap(map.data(), h.PaletteCount);
  }
  params.PngInterlaced = h.Interlace != PNG_INTERLACE_NONE;
}

/// Bytes of filtered image data in the file, before compression.
int64_t RawImageBytes(const TPngHeader& h) {
  int samples = 1;
  switch (h.ColorType) {
    case kColorRGB: samples = 3; break;
    case kColorGreyAlpha: samples = 2; break;
    case kColorRGBAlpha: samples = 4; break;
    default: break;
  }
  const int64_t row = (static_cast<int64_t>(h.Width) * samples * h.BitDepth + 7) / 8 + 1;
  return row * static_cast<int64_t>(h.Height);
}

/// Chooses the bitmap's format, allocates it and the scratch space.
bool PrepareTarget(const TPngHeader& h, const TIOParamsVals& params, TImBitmap& bitmap,
                   std::unique_ptr<TImMask>& alpha, TPngRowTarget& t) {
  const int32_t width = static_cast<int32_t>(h.Width);
  const int32_t height = static_cast<int32_t>(h.Height);
  const bool one_bit_raw = h.BitDepth == 1 && h.Channels == 1;
  TImPixelLayout format = im24RGB;
  if (one_bit_raw && h.ColorType == kColorGrey) {
    format = im1g;  // PNG rows as they stand: most significant bit first, 1 = white
  } else if (h.Native) {
    format = h.ColorType == kColorPalette ? im8p : (h.BitDepth == 16 ? imGray16 : im8g);
  }
  if (!bitmap.Allocate(width, height, format)) return false;
  // A damaged file leaves the rest of the picture black, not old memory.
  for (int32_t r = 0; r < height; ++r) std::memset(bitmap.ScanLine(r), 0, static_cast<size_t>(bitmap.RowLen()));
  if (format == im8p) {
    std::vector<TRGB> palette(256);
    for (int i = 0; i < params.ColorMapCount && i < 256; ++i) palette[i] = params.ColorMap[i];
    bitmap.SetPalette(palette.data(), 256);
  }
  t.Bitmap = &bitmap;
  const bool whole = h.Passes > 1;
  if (h.Channels == 4) {
    alpha = std::make_unique<TImMask>();
    if (!alpha->Allocate(width, height, 8)) return false;
    alpha->SetBoxToAll();
    t.Alpha = alpha.get();
  } else if (one_bit_raw && h.ColorType == kColorPalette) {
    t.ExpandOneBitPalette = true;
    for (int i = 0; i < 2; ++i) {
      if (i < params.ColorMapCount) t.OneBitColors[i] = params.ColorMap[i];
    }
  } else {
    // Straight into the bitmap rows.
    return h.RowBytes <= static_cast<size_t>(bitmap.RowLen());
  }
  t.ScratchRowBytes = h.RowBytes;
  // Interlaced passes combine in the buffer, so each row keeps its own slot.
  t.Scratch.assign(h.RowBytes * (whole ? static_cast<size_t>(height) : 1), 0);
  return true;
}

}  // namespace

void ReadPngStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, bool info_only,
                   TCodecProgress& progress, std::unique_ptr<TImMask>* alpha_out, int64_t available) {
  try {
    if (available <= 0) available = stream.Remaining();
    TPngReadIO io{&stream};
    TPngMemory memory;  // outlives the structures, which it counts
    TPngReadStructs s;
    s.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, PngErrorJump, PngIgnoreWarning, &memory,
                                     PngLimitedMalloc, PngCountedFree);
    if (s.Png == nullptr) return progress.Abort();
    s.Info = png_create_info_struct(s.Png);
    if (s.Info == nullptr) return progress.Abort();
    SetPngReadLimits(s.Png);
    png_set_read_fn(s.Png, &io, PngReadData);

    auto header = std::make_unique<TPngHeader>();
    TPngHeader& h = *header;
    if (!ReadHeader(s.Png, s.Info, params.NativePixelFormat, h)) return progress.Abort();
    StoreHeader(h, params);
    if (info_only) return;

    if (available > 0 && !DataCanYield(RawImageBytes(h), 1, available, kMaxDeflateRatio)) return progress.Abort();
    std::unique_ptr<TImMask> alpha;
    TPngRowTarget target;
    if (!PrepareTarget(h, params, bitmap, alpha, target)) return progress.Abort();
    progress.PercentPerUnit = 100.0 / (static_cast<double>(h.Height) * h.Passes);
    progress.Counter = 0;
    const bool complete = ReadRows(s.Png, h, target, progress);
    if (alpha_out != nullptr) *alpha_out = std::move(alpha);
    if (!complete) progress.Abort();
  } catch (...) {
    // Nothing escapes a reader: out of memory or a failing handler is a failed load.
    progress.Abort();
  }
}

bool IsPngStream(TStream& stream) {
  uint8_t head[8] = {};
  const int64_t got = stream.Read(head, sizeof head);
  if (got > 0) stream.Seek(-got, TSeekOrigin::soCurrent);
  return got >= 4 && std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0;
}

void LoadPngCodec(TLoadArgs& args) {
  args.Params.PngBackground = ColorToRGB(args.Background);
  ReadPngStream(args.Stream, args.Bitmap, args.Params, args.InfoOnly, args.Progress, &args.Mask,
                args.StreamSize);
}

}  // namespace tessaly
