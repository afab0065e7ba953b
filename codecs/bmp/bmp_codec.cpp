// Tessaly: the BMP row of the codec table.
#include "codecs/bmp/bmp.h"
#include "io/codec_table.h"

namespace tessaly {

void LoadStreamBmp(TLoadArgs& args) {
  // A probe wants header fields only and knows how much the stream holds.
  const bool probe = args.InfoOnly;
  ReadBmpStream(args.Stream, args.Bitmap, probe ? args.StreamSize : 0, probe || !args.Params.BmpUseAlpha,
                args.Mask, false, probe, args.Progress, args.Params);
}

void SaveStreamBmp(TSaveArgs& args) {
  WriteBmpStream(args.Stream, args.Bitmap, args.Params, args.Params.BmpUseAlpha, args.Progress);
}

}  // namespace tessaly
