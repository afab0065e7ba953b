// Tessaly: the PNG writer.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <string>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/png/png_codec.h"
#include "codecs/png/png_io.h"
#include "raster/quantizer.h"

namespace tessaly {

using namespace png_detail;

namespace {

constexpr const char* kCreateError = "Error on creating PNG";
constexpr int kMaxKeywordLength = 79;

/// How the rows of the output are built from the source.
enum class TRowKind {
  kGrey1,        // an im1g row unchanged
  kPalette,      // one index byte per pixel
  kGrey8,        // one grey byte per pixel
  kGrey16,       // one big-endian word per pixel
  kRGB,          // the 24-bit row, reordered by the library
  kRGBAlpha,     // blue, green, red and the mask value
};

/// The library structures of one write, destroyed on every way out.
struct TPngWriteStructs {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngWriteStructs() {
    if (Png != nullptr) png_destroy_write_struct(&Png, Info != nullptr ? &Info : nullptr);
  }
};

/// Everything the libpng side of the write needs, prepared beforehand.
struct TPngPlan {
  const TImBitmap* Source = nullptr;
  const TImMask* Mask = nullptr;      // only when the output is transparent
  const TImQuantizer* Quantizer = nullptr;
  TRowKind Kind = TRowKind::kRGB;
  int ColorType = PNG_COLOR_TYPE_RGB;
  int BitDepth = 8;
  bool Interlaced = false;
  png_color Palette[256]{};
  int PaletteCount = 0;
  bool Transparent = false;           // palette entry 0 is the background, alpha 0
  png_color_16 Background{};
  png_uint_32 ResX = 0, ResY = 0;
  int Filter = -1;                    // a PNG_FILTER_* mask, or -1 for the library's choice
  int Level = 5;
  std::vector<png_text> Texts;        // pointing into the parameter record's lists
  std::vector<uint8_t> Row;
};

void BuildRow(const TPngPlan& plan, int32_t r, uint8_t* out);

// ---- libpng calls; no object with a destructor lives in this frame.

bool WriteImage(png_structp png, png_infop info, TPngPlan& plan, TCodecProgress& progress) {
  if (setjmp(png_jmpbuf(png))) return false;
  const int32_t height = plan.Source->Height();
  png_set_IHDR(png, info, static_cast<png_uint_32>(plan.Source->Width()), static_cast<png_uint_32>(height),
               plan.BitDepth, plan.ColorType,
               plan.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (plan.PaletteCount > 0) png_set_PLTE(png, info, plan.Palette, plan.PaletteCount);
  if (plan.Transparent) {
    png_byte alpha0 = 0;
    png_set_tRNS(png, info, &alpha0, 1, nullptr);
  }
  if (plan.ResX > 0 && plan.ResY > 0) png_set_pHYs(png, info, plan.ResX, plan.ResY, PNG_RESOLUTION_METER);
  if (plan.Filter >= 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, plan.Filter);
  png_set_bKGD(png, info, &plan.Background);
  png_set_compression_level(png, plan.Level);
  png_set_bgr(png);
  if (!plan.Texts.empty()) png_set_text(png, info, plan.Texts.data(), static_cast<int>(plan.Texts.size()));
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  progress.PercentPerUnit = 100.0 / (static_cast<double>(height) * passes);
  progress.Counter = 0;
  png_bytep row = plan.Row.data();
  for (int pass = 0; pass < passes && !progress.IsAborted(); ++pass) {
    for (int32_t r = 0; r < height && !progress.IsAborted(); ++r) {
      BuildRow(plan, r, row);
      png_write_rows(png, &row, 1);
      ++progress.Counter;
      progress.Report(progress.Counter);
    }
  }
  if (!progress.IsAborted()) png_write_end(png, info);
  return true;
}

// ---- plain C++ from here on.

int QuantIndex(const TImQuantizer& q, TRGB c, int max) {
  return std::clamp(q.IndexOfColor(c), 0, max);
}

void BuildRow(const TPngPlan& plan, int32_t r, uint8_t* out) {
  const TImBitmap& src = *plan.Source;
  const int32_t width = src.Width();
  const uint8_t* in = src.ScanLine(r);
  switch (plan.Kind) {
    case TRowKind::kGrey1:
      std::memcpy(out, in, static_cast<size_t>((width + 7) / 8));
      return;
    case TRowKind::kRGB:
      std::memcpy(out, in, static_cast<size_t>(width) * 3);
      return;
    case TRowKind::kRGBAlpha: {
      const bool byte_mask = plan.Mask->BitsPerPixel() == 8;
      const uint8_t* m = plan.Mask->ScanLine(r);
      for (int32_t x = 0; x < width; ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = byte_mask ? m[x] : static_cast<uint8_t>(plan.Mask->GetPixel(x, r));
      }
      return;
    }
    case TRowKind::kPalette:
      if (src.PixelFormat() == im8p) {
        std::memcpy(out, in, static_cast<size_t>(width));
      } else if (plan.Transparent) {
        const bool byte_mask = plan.Mask->BitsPerPixel() == 8;
        const uint8_t* m = plan.Mask->ScanLine(r);
        for (int32_t x = 0; x < width; ++x, in += 3) {
          const int opacity = byte_mask ? m[x] : plan.Mask->GetPixel(x, r);
          out[x] = opacity == 255
                       ? static_cast<uint8_t>(QuantIndex(*plan.Quantizer, TRGB{in[0], in[1], in[2]}, 254) + 1)
                       : 0;
        }
      } else {
        for (int32_t x = 0; x < width; ++x, in += 3) {
          out[x] = static_cast<uint8_t>(QuantIndex(*plan.Quantizer, TRGB{in[0], in[1], in[2]}, 255));
        }
      }
      return;
    case TRowKind::kGrey8:
      if (src.PixelFormat() == im8g) {
        std::memcpy(out, in, static_cast<size_t>(width));
      } else {
        for (int32_t x = 0; x < width; ++x, in += 3) {
          out[x] = static_cast<uint8_t>(QuantIndex(*plan.Quantizer, TRGB{in[0], in[1], in[2]}, 255));
        }
      }
      return;
    case TRowKind::kGrey16:
      if (src.PixelFormat() == imGray16) {
        for (int32_t x = 0; x < width; ++x, in += 2) {
          out[2 * x] = in[1];  // PNG samples are big-endian
          out[2 * x + 1] = in[0];
        }
      } else {
        // An 8-bit level v becomes v x 257, so white stays white.
        for (int32_t x = 0; x < width; ++x, in += 3) {
          const auto v = static_cast<uint8_t>(QuantIndex(*plan.Quantizer, TRGB{in[0], in[1], in[2]}, 255));
          out[2 * x] = v;
          out[2 * x + 1] = v;
        }
      }
      return;
  }
}

png_color ToPng(TRGB c) { return png_color{c.r, c.g, c.b}; }

/// The palette entry closest to a colour.
int NearestEntry(const png_color* palette, int count, TRGB c) {
  int best = 0;
  long best_distance = -1;
  for (int i = 0; i < count; ++i) {
    const long dr = palette[i].red - c.r, dg = palette[i].green - c.g, db = palette[i].blue - c.b;
    const long distance = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return best;
}

png_uint_32 PixelsPerMetre(int dpi) {
  if (dpi <= 0) return 0;
  return static_cast<png_uint_32>(std::nearbyint(dpi * 100.0 / 2.54));
}

/// A copy of the bitmap in another pixel format.
std::unique_ptr<TImBitmap> ConvertedCopy(const TImBitmap& bitmap, TImPixelLayout format) {
  auto copy = std::make_unique<TImBitmap>();
  copy->Assign(bitmap);
  copy->ConvertToPixelFormat(format);
  if (copy->PixelFormat() != format || copy->Width() != bitmap.Width() || copy->Height() != bitmap.Height()) {
    throw EInvalidGraphic(kCreateError);
  }
  return copy;
}

bool MaskIsUsable(const TImMask* mask, const TImBitmap& bitmap) {
  return mask != nullptr && !mask->Full() && mask->Width() == bitmap.Width() &&
         mask->Height() == bitmap.Height();
}

}  // namespace

void WritePngStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params, const TImMask* mask,
                    TCodecProgress& progress) {
  if (bitmap.IsEmpty()) throw EInvalidGraphic(kCreateError);
  if (params.SamplesPerPixel == 1 && params.BitsPerSample != 1 && params.BitsPerSample != 8 &&
      params.BitsPerSample != 16) {
    params.BitsPerSample = 8;
  }
  auto plan = std::make_unique<TPngPlan>();
  std::unique_ptr<TImBitmap> temporary;
  std::unique_ptr<TImQuantizer> quantizer;
  const TRGB background = params.PngBackground;
  bool transparent = MaskIsUsable(mask, bitmap);
  const TImBitmap* source = &bitmap;

  if (params.SamplesPerPixel == 1 && params.BitsPerSample == 1) {
    // Black and white: an im1g bitmap as it is; two other colours keep their
    // colours in a two-entry palette; anything else is thresholded.
    plan->Kind = TRowKind::kGrey1;
    plan->BitDepth = 1;
    plan->ColorType = PNG_COLOR_TYPE_GRAY;
    transparent = false;
    if (bitmap.PixelFormat() != im1g) {
      TRGB first, second;
      temporary = ReduceToTwoColors(bitmap, first, second);
      if (temporary != nullptr) {
        if (!(first == TRGB{0, 0, 0} && second == TRGB{255, 255, 255})) {
          plan->ColorType = PNG_COLOR_TYPE_PALETTE;
          plan->Palette[0] = ToPng(first);
          plan->Palette[1] = ToPng(second);
          plan->PaletteCount = 2;
        }
      } else {
        temporary = ConvertedCopy(bitmap, im1g);
      }
      source = temporary.get();
    }
    if (plan->PaletteCount > 0) {
      plan->Background.index = static_cast<png_byte>(NearestEntry(plan->Palette, 2, background));
    } else {
      plan->Background.gray = static_cast<png_uint_16>(GreyOf(background) >> 7);
    }
  } else if (params.SamplesPerPixel == 1) {
    const int bits = params.BitsPerSample;
    const TImPixelLayout format = bitmap.PixelFormat();
    // The rows can be built from 24-bit colour, from a palette without
    // transparency, and from grey at the depth written; the rest is converted.
    const bool usable = format == im24RGB || (format == im8p && !transparent && !bitmap.IsGrayScale()) ||
                        (format == im8g && bits == 8 && !transparent) ||
                        (format == imGray16 && bits == 16 && !transparent);
    if (!usable) {
      temporary = ConvertedCopy(bitmap, im24RGB);
      source = temporary.get();
    }
    TRGB colors[256] = {};
    if (source->PixelFormat() == im8p) {
      for (int i = 0; i < 256; ++i) colors[i] = source->PaletteColor(i);
    }
    plan->ColorType = PNG_COLOR_TYPE_PALETTE;
    plan->Kind = TRowKind::kPalette;
    if (transparent) {
      // Entry 0 is the background, fully transparent; the image's colours follow.
      plan->BitDepth = 8;
      quantizer = std::make_unique<TImQuantizer>(*source, 255, colors);
      plan->Palette[0] = ToPng(background);
      for (int i = 0; i < 255; ++i) plan->Palette[i + 1] = ToPng(colors[i]);
      plan->PaletteCount = 256;
      plan->Transparent = true;
      plan->Background.index = 0;
    } else if (source->IsGrayScale()) {
      // Grey pictures need no palette: the grey levels are written directly.
      plan->ColorType = PNG_COLOR_TYPE_GRAY;
      plan->BitDepth = bits;
      plan->Kind = bits == 16 ? TRowKind::kGrey16 : TRowKind::kGrey8;
      if (source->PixelFormat() == im24RGB) quantizer = std::make_unique<TImQuantizer>(*source, 256, colors);
      const int level = GreyOf(background);
      plan->Background.gray = static_cast<png_uint_16>(bits == 16 ? level * 257 : level);
    } else {
      // A palette holds 8-bit indices whatever depth the record asks for.
      plan->BitDepth = 8;
      quantizer = std::make_unique<TImQuantizer>(*source, 256, colors);
      for (int i = 0; i < 256; ++i) plan->Palette[i] = ToPng(colors[i]);
      plan->PaletteCount = 256;
      const int index = quantizer->IndexOfColor(background);
      plan->Background.index = static_cast<png_byte>(
          index >= 0 && index < 256 && colors[index] == background ? index
                                                                    : NearestEntry(plan->Palette, 256, background));
    }
  } else {
    plan->BitDepth = 8;
    plan->ColorType = transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    plan->Kind = transparent ? TRowKind::kRGBAlpha : TRowKind::kRGB;
    if (bitmap.PixelFormat() != im24RGB) {
      temporary = ConvertedCopy(bitmap, im24RGB);
      source = temporary.get();
    }
    plan->Background.red = background.r;
    plan->Background.green = background.g;
    plan->Background.blue = background.b;
  }

  plan->Source = source;
  plan->Mask = transparent ? mask : nullptr;
  plan->Quantizer = quantizer.get();
  plan->Interlaced = params.PngInterlaced;
  plan->ResX = PixelsPerMetre(params.DpiX);
  plan->ResY = PixelsPerMetre(params.DpiY);
  switch (params.PngFilter) {
    case 0: plan->Filter = PNG_FILTER_NONE; break;
    case 1: plan->Filter = PNG_FILTER_SUB; break;
    case 2: plan->Filter = PNG_FILTER_PAETH; break;
    default: plan->Filter = -1; break;
  }
  plan->Level = std::clamp(params.PngCompression, 0, 9);
  const size_t text_count = std::min(params.PngTextKeys.size(), params.PngTextValues.size());
  for (size_t i = 0; i < text_count; ++i) {
    const std::string& key = params.PngTextKeys[i];
    // A keyword the format cannot hold would fail the whole file: skip it.
    if (key.empty() || key.size() > kMaxKeywordLength) continue;
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char*>(key.c_str());
    text.text = const_cast<char*>(params.PngTextValues[i].c_str());
    text.text_length = params.PngTextValues[i].size();
    plan->Texts.push_back(text);
  }
  plan->Row.assign(static_cast<size_t>(source->Width()) * 4 + 16, 0);

  TPngWriteIO io{&stream, &progress};
  TPngWriteStructs s;
  s.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngErrorJump, PngIgnoreWarning);
  if (s.Png == nullptr) throw EInvalidGraphic(kCreateError);
  s.Info = png_create_info_struct(s.Png);
  if (s.Info == nullptr) throw EInvalidGraphic(kCreateError);
  png_set_write_fn(s.Png, &io, PngWriteData, PngFlushNothing);
  if (!WriteImage(s.Png, s.Info, *plan, progress)) throw EInvalidGraphic(kCreateError);
}

void SavePngCodec(TSaveArgs& args) {
  WritePngStream(args.Stream, args.Bitmap, args.Params, args.Mask, args.Progress);
}

}  // namespace tessaly
