// Tessaly: ReadJpegStream, the JPEG reader on the JPEG library.
#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/jpeg/jpeg_internal.h"
#include "io/data_limits.h"
#include "raster/color_space.h"

static_assert(sizeof(tessaly::TCMYK) == 4, "CMYK rows are read as TCMYK runs");

namespace tessaly {

using namespace jpeg_detail;

namespace {

// A hostile file can declare a huge frame in a few bytes. Complete JPEG data
// needs at least one bit per 8x8 block, so a frame far larger than the data
// can account for is refused before the library allocates for it.
constexpr int64_t kPixelsWithoutQuestion = int64_t{1} << 24;
constexpr int64_t kPixelsPerDataByte = 1024;
// Photos have a dozen scans at most; thousands of tiny scans are an attack
// that makes every scan pass over the whole coefficient buffer.
constexpr int kMaxScans = 1000;
constexpr int kMarkerSaveLimit = 0xFFFF;

/// The objects of one read. The library object is destroyed with it.
struct TReadState {
  jpeg_decompress_struct cinfo{};
  TJpegErrorManager err{};
  TJpegSource source{};
  jpeg_progress_mgr monitor{};
  bool created = false;
  std::vector<uint8_t> scratch;

  TReadState() = default;
  TReadState(const TReadState&) = delete;
  TReadState& operator=(const TReadState&) = delete;
  ~TReadState() { Destroy(); }
  void Destroy() {
    if (created) jpeg_destroy_decompress(&cinfo);
    created = false;
  }
};

void LimitScans(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = kOwnErrorCode;
    cinfo->err->error_exit(cinfo);
  }
}

void ReverseTriples(uint8_t* row, int width) {
  for (int x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
}

int ScaleDenominator(int scale, int image_width, int image_height, int wanted_width,
                     int wanted_height) {
  switch (scale) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 4;
    case 4: return 8;
    case 0:
      // The smallest decode that is still at least the requested size.
      if (wanted_width > 0 && wanted_height > 0) {
        for (int n = 3; n >= 0; --n) {
          if ((image_width >> n) >= wanted_width && (image_height >> n) >= wanted_height) {
            return 1 << n;
          }
        }
      }
      return 1;
    default: return 1;
  }
}

J_DCT_METHOD DctMethodOf(int code, J_DCT_METHOD fallback) {
  switch (code) {
    case 0: return JDCT_ISLOW;
    case 1: return JDCT_IFAST;
    case 2: return JDCT_FLOAT;
    default: return fallback;
  }
}

// Collects the kept segments into the record: all but the first APP0 (the
// JFIF header, which the writer makes anew).
void CollectMarkers(const jpeg_decompress_struct& cinfo, TImMarkerList& markers) {
  markers.Clear();
  bool skipped_app0 = false;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
    if (m->marker == JPEG_APP0 && !skipped_app0) {
      skipped_app0 = true;
      continue;
    }
    markers.AddMarker(static_cast<uint8_t>(m->marker), m->data, static_cast<int>(m->data_length));
  }
}

}  // namespace

int ReadJpegStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params,
                   TCodecProgress& progress, const TJpegReadOptions& options) {
  bool own_flag = false;
  bool* const aborted = progress.Aborted != nullptr ? progress.Aborted : &own_flag;
  const int wanted_width = params.Width;
  const int wanted_height = params.Height;

  params.JpegWarningCount = 0;
  params.JpegLastWarning = 0;

  const int64_t start = FindJpegStart(stream);
  if (start < 0) {
    *aborted = true;
    return 0;
  }
  stream.SetPosition(start);
  const int64_t available = std::max<int64_t>(0, stream.Size() - start);

  TReadState st;
  InitErrorManager(st.err, aborted);
  st.cinfo.err = &st.err.pub;
  int delivered = 0;
  JSAMPROW row = nullptr;
  JDIMENSION got = 0;
  bool ok = JpegGuard(st.err, [&] { jpeg_create_decompress(&st.cinfo); });
  st.created = true;

  if (ok && !*aborted) {
    st.monitor.progress_monitor = LimitScans;
    st.cinfo.progress = &st.monitor;
    if (options.TablesStream != nullptr && options.TablesStream != &stream) {
      AttachSource(&st.cinfo, st.source, *options.TablesStream, aborted);
      ok = JpegGuard(st.err, [&] { jpeg_read_header(&st.cinfo, FALSE); });
    }
  }
  if (ok && !*aborted) {
    AttachSource(&st.cinfo, st.source, stream, aborted);
    ok = JpegGuard(st.err, [&] {
      jpeg_save_markers(&st.cinfo, JPEG_COM, kMarkerSaveLimit);
      for (int i = 0; i < 16; ++i) jpeg_save_markers(&st.cinfo, JPEG_APP0 + i, kMarkerSaveLimit);
      jpeg_read_header(&st.cinfo, TRUE);
    });
  }

  TImPixelLayout format = imNoFormat;
  bool cmyk_to_rgb = false;
  if (ok && !*aborted) {
    jpeg_decompress_struct& c = st.cinfo;
    params.SetImageCount(1);
    params.BitsPerSample = 8;
    const bool native = options.NativePixelFormat;
    // Our 24-bit rows are blue, green, red: the library's BGR output fills
    // them directly, from YCbCr, from RGB-coded data and from grey alike.
    switch (c.jpeg_color_space) {
      case JCS_GRAYSCALE:
        params.JpegColorSpace = jcGray;
        params.SamplesPerPixel = 1;
        c.out_color_space = native ? JCS_GRAYSCALE : JCS_EXT_BGR;
        format = native ? im8g : im24RGB;
        break;
      case JCS_RGB:
        params.JpegColorSpace = jcRGB;
        params.SamplesPerPixel = 3;
        c.out_color_space = JCS_EXT_BGR;
        format = im24RGB;
        break;
      case JCS_YCbCr:
        params.JpegColorSpace = jcYCbCr;
        params.SamplesPerPixel = 3;
        c.out_color_space = JCS_EXT_BGR;
        format = im24RGB;
        break;
      case JCS_CMYK:
      case JCS_YCCK:
        params.JpegColorSpace = c.jpeg_color_space == JCS_CMYK ? jcCMYK : jcYCCK;
        params.SamplesPerPixel = 4;
        c.out_color_space = JCS_CMYK;
        format = native ? imCMYK : im24RGB;
        cmyk_to_rgb = !native;
        break;
      default:
        // Component layouts the library cannot name (two channels, say)
        // have no pixel format here.
        c.out_color_space = c.jpeg_color_space;
        break;
    }
    if (options.RawYCbCr) {
      c.out_color_space = JCS_YCbCr;
      format = im24RGB;
      cmyk_to_rgb = false;
    }
    c.dct_method = DctMethodOf(params.JpegDctMethod, c.dct_method);

    switch (c.density_unit) {
      case 0:
      case 1:
        params.SetDpiX(static_cast<int>(c.X_density));
        params.SetDpiY(static_cast<int>(c.Y_density));
        break;
      case 2:
        params.SetDpiX(static_cast<int>(std::trunc(c.X_density * 2.54)));
        params.SetDpiY(static_cast<int>(std::trunc(c.Y_density * 2.54)));
        break;
      default: break;
    }
    params.ClearColorMap();
    params.JpegProgressive = c.progressive_mode != 0;
    params.OriginalWidth = static_cast<int32_t>(c.image_width);
    params.OriginalHeight = static_cast<int32_t>(c.image_height);

    const int denominator =
        params.JpegScale > 4
            ? 1
            : ScaleDenominator(params.JpegScale, static_cast<int>(c.image_width),
                               static_cast<int>(c.image_height), wanted_width, wanted_height);
    c.scale_num = 1;
    c.scale_denom = static_cast<unsigned>(denominator);
    params.JpegScaleUsed = denominator;

    if (options.InfoOnly) {
      params.Width = static_cast<int32_t>(c.image_width);
      params.Height = static_cast<int32_t>(c.image_height);
    } else if (format == imNoFormat) {
      *aborted = true;
    } else {
      const int64_t pixels = static_cast<int64_t>(c.image_width) * c.image_height;
      if (pixels > kPixelsWithoutQuestion &&
          !DataCanYield(c.image_width, c.image_height, available, kPixelsPerDataByte)) {
        *aborted = true;
      }
    }
  }

  if (ok && !*aborted && !options.InfoOnly) {
    jpeg_decompress_struct& c = st.cinfo;
    ok = JpegGuard(st.err, [&] { jpeg_start_decompress(&st.cinfo); });
    if (ok && !*aborted) {
      const int width = static_cast<int>(c.output_width);
      const int height = static_cast<int>(c.output_height);
      params.Width = width;
      params.Height = height;
      st.scratch.assign(static_cast<size_t>(width) * 4, 0);
      if (!bitmap.Allocate(width, height, format)) *aborted = true;
    }
    if (ok && !*aborted) {
      const int width = static_cast<int>(c.output_width);
      const int height = static_cast<int>(c.output_height);
      const int line_limit = options.LineLimit < 0 ? height : options.LineLimit;
      const bool reverse = c.jpeg_color_space == JCS_RGB && c.out_color_space == JCS_YCbCr;
      progress.PercentPerUnit = 100.0 / height;
      progress.Counter = 0;
      int last_percent = -1;
      while (c.output_scanline < c.output_height && delivered < line_limit) {
        uint8_t* target = bitmap.ScanLine(delivered);
        row = cmyk_to_rgb ? st.scratch.data() : target;
        got = 0;
        if (!JpegGuard(st.err, [&] { got = jpeg_read_scanlines(&st.cinfo, &row, 1); })) {
          ok = false;
          break;
        }
        if (got == 0) {
          *aborted = true;
          break;
        }
        if (cmyk_to_rgb) {
          uint8_t* samples = st.scratch.data();
          if (options.InvertCmyk) {
            for (int i = 0; i < width * 4; ++i) samples[i] = static_cast<uint8_t>(255 - samples[i]);
          }
          CMYKToRGBRow(reinterpret_cast<const TCMYK*>(samples), reinterpret_cast<TRGB*>(target),
                       width);
        } else if (reverse) {
          ReverseTriples(target, width);
        }
        delivered += static_cast<int>(got);
        progress.Counter += static_cast<int>(got);
        if (progress.OnProgress) {
          const int percent = static_cast<int>(std::trunc(progress.Counter * progress.PercentPerUnit));
          if (percent != last_percent) {
            last_percent = percent;
            progress.Report(progress.Counter);
          }
        }
        if (*aborted) break;
      }
      if (ok && delivered < line_limit) *aborted = true;
    }
  }

  // Clean-up, whatever happened above.
  if (st.created) {
    CollectMarkers(st.cinfo, params.JpegMarkers);
    // A read that stopped at a line limit leaves the rest of the data
    // unread; finishing only makes sense after the last row.
    if (ok && !*aborted && !options.InfoOnly && st.cinfo.output_height > 0 &&
        st.cinfo.output_scanline >= st.cinfo.output_height) {
      // Trouble after the last row does not spoil the image.
      st.err.aborted = nullptr;
      (void)JpegGuard(st.err, [&] { jpeg_finish_decompress(&st.cinfo); });
      st.err.aborted = aborted;
    }
  }
  st.Destroy();
  if (!ok) *aborted = true;
  if (st.err.warning_count > 0) {
    params.JpegWarningCount = st.err.warning_count;
    params.JpegLastWarning = st.err.last_warning;
  }
  return delivered;
}

void LoadJpegCodec(TLoadArgs& args) {
  TJpegReadOptions options;
  options.NativePixelFormat = args.Params.NativePixelFormat;
  options.ReadIcc = true;
  options.ParseMetadata = true;
  options.InfoOnly = args.InfoOnly;
  ReadJpegStream(args.Stream, args.Bitmap, args.Params, args.Progress, options);
}

}  // namespace tessaly
