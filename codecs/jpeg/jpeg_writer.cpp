// Tessaly: WriteJpegStream, the JPEG writer on the JPEG library.
#include <algorithm>
#include <cmath>
#include <vector>

#include "codecs/jpeg/jpeg_codec.h"
#include "codecs/jpeg/jpeg_internal.h"
#include "raster/color_space.h"

namespace tessaly {

using namespace jpeg_detail;

namespace {

constexpr uint8_t kApp14 = 0xEE;

/// The objects of one write. The library object is destroyed with it.
struct TWriteState {
  jpeg_compress_struct cinfo{};
  TJpegErrorManager err{};
  TJpegDestination destination{};
  bool created = false;
  std::vector<uint8_t> scratch;

  TWriteState() = default;
  TWriteState(const TWriteState&) = delete;
  TWriteState& operator=(const TWriteState&) = delete;
  ~TWriteState() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

J_DCT_METHOD DctMethodOf(int code, J_DCT_METHOD fallback) {
  switch (code) {
    case 0: return JDCT_ISLOW;
    case 1: return JDCT_IFAST;
    case 2: return JDCT_FLOAT;
    default: return fallback;
  }
}

UINT16 DensityOf(int dpi) {
  return static_cast<UINT16>(dpi == 0 ? TIOParamsVals::kDefaultDpi : dpi);
}

[[noreturn]] void RaiseLibraryError(const TWriteState& st) {
  throw EImJpegException(JpegMessageText(st.err.pub, st.err.error_code));
}

}  // namespace

void WriteJpegStream(TStream& stream, TImBitmap& bitmap, TIOParamsVals& params,
                     TCodecProgress& progress) {
  bool own_flag = false;
  bool* const aborted = progress.Aborted != nullptr ? progress.Aborted : &own_flag;
  if (bitmap.Width() == 0 || bitmap.Height() == 0) {
    *aborted = true;
    return;
  }
  // The library takes our 24-bit rows as they are; other formats are
  // converted into a copy first.
  TImBitmap converted;
  const TImBitmap* source = &bitmap;
  if (bitmap.PixelFormat() != im24RGB) {
    if (!converted.Allocate(bitmap.Width(), bitmap.Height(), im24RGB)) {
      *aborted = true;
      return;
    }
    converted.CopyAndConvertFormat(bitmap);
    source = &converted;
  }
  const int width = source->Width();
  const int height = source->Height();

  TWriteState st;
  InitErrorManager(st.err, aborted);
  st.cinfo.err = &st.err.pub;
  bool ok = JpegGuard(st.err, [&] { jpeg_create_compress(&st.cinfo); });
  st.created = true;
  if (!ok) RaiseLibraryError(st);
  AttachDestination(&st.cinfo, st.destination, stream, aborted);
  if (*aborted) return;

  jpeg_compress_struct& c = st.cinfo;
  c.image_width = static_cast<JDIMENSION>(width);
  c.image_height = static_cast<JDIMENSION>(height);
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  J_COLOR_SPACE jpeg_space = JCS_RGB;
  switch (params.JpegColorSpace) {
    case jcGray: jpeg_space = JCS_GRAYSCALE; break;
    case jcYCbCr: jpeg_space = JCS_YCbCr; break;
    case jcCMYK:
    case jcYCCK:
      c.in_color_space = JCS_CMYK;
      c.input_components = 4;
      jpeg_space = params.JpegColorSpace == jcCMYK ? JCS_CMYK : JCS_YCCK;
      break;
    default: break;
  }
  const bool cmyk_input = c.in_color_space == JCS_CMYK;

  params.JpegMarkers.SortForWrite();
  const TImMarkerList& markers = params.JpegMarkers;
  ok = JpegGuard(st.err, [&] {
    jpeg_set_defaults(&st.cinfo);
    jpeg_set_colorspace(&st.cinfo, jpeg_space);
    c.density_unit = 1;
    c.X_density = DensityOf(params.DpiX);
    c.Y_density = DensityOf(params.DpiY);
    c.dct_method = DctMethodOf(params.JpegDctMethod, c.dct_method);
    c.optimize_coding = params.JpegOptimalHuffman ? TRUE : FALSE;
    c.smoothing_factor = std::clamp(params.JpegSmoothing, 0, 100);
    jpeg_set_quality(&st.cinfo, params.JpegQuality, TRUE);
    if (jpeg_space == JCS_YCbCr) {
      int h = 2, v = 2;
      switch (params.JpegSubsampling) {
        case 0: h = 2; v = 1; break;
        case 2: h = 1; v = 1; break;
        default: break;
      }
      c.comp_info[0].h_samp_factor = h;
      c.comp_info[0].v_samp_factor = v;
      for (int i = 1; i < 3; ++i) {
        c.comp_info[i].h_samp_factor = 1;
        c.comp_info[i].v_samp_factor = 1;
      }
    }
    // The library writes an Adobe segment for CMYK on its own; a JFIF
    // header goes with it so the file carries its resolution.
    if (jpeg_space == JCS_CMYK) c.write_JFIF_header = TRUE;
    if (params.JpegProgressive) jpeg_simple_progression(&st.cinfo);
    jpeg_start_compress(&st.cinfo, TRUE);
    // The library writes its own JFIF and Adobe segments; a kept Adobe
    // segment would contradict the colour transform of the new data.
    for (int i = 0; i < markers.Count(); ++i) {
      if (markers.MarkerCode(i) == kApp14) continue;
      jpeg_write_marker(&st.cinfo, markers.MarkerCode(i), markers.MarkerData(i).data(),
                        static_cast<unsigned>(markers.MarkerLength(i)));
    }
  });
  if (!ok) RaiseLibraryError(st);

  if (cmyk_input) st.scratch.assign(static_cast<size_t>(width) * 4, 0);
  progress.PercentPerUnit = 100.0 / height;
  progress.Counter = 0;
  int last_percent = -1;
  JSAMPROW row = nullptr;
  while (c.next_scanline < c.image_height && !*aborted) {
    const int y = static_cast<int>(c.next_scanline);
    uint8_t* pixels = source->ScanLine(y);
    if (cmyk_input) {
      RGBToCMYKRow(reinterpret_cast<const TRGB*>(pixels),
                   reinterpret_cast<TCMYK*>(st.scratch.data()), width);
      pixels = st.scratch.data();
    }
    row = pixels;
    if (!JpegGuard(st.err, [&] { jpeg_write_scanlines(&st.cinfo, &row, 1); })) {
      RaiseLibraryError(st);
    }
    ++progress.Counter;
    if (progress.OnProgress) {
      const int percent = static_cast<int>(std::trunc(progress.Counter * progress.PercentPerUnit));
      if (percent != last_percent) {
        last_percent = percent;
        progress.Report(progress.Counter);
      }
    }
  }
  if (!*aborted) {
    if (!JpegGuard(st.err, [&] { jpeg_finish_compress(&st.cinfo); })) RaiseLibraryError(st);
  }
}

void SaveJpegCodec(TSaveArgs& args) {
  WriteJpegStream(args.Stream, args.Bitmap, args.Params, args.Progress);
}

}  // namespace tessaly
