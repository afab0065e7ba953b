// Tessaly: the JPEG library's source manager over a TStream.
#include "codecs/jpeg/jpeg_internal.h"

namespace tessaly::jpeg_detail {

namespace {

// What the library finds when the data runs out: an end-of-image marker, so
// that a truncated file decodes to its end (the library fills the missing
// rows and warns).
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

TJpegSource& Source(j_decompress_ptr cinfo) { return *reinterpret_cast<TJpegSource*>(cinfo->src); }

void InitSource(j_decompress_ptr cinfo) { Source(cinfo).start_of_file = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  TJpegSource& source = Source(cinfo);
  int64_t got = 0;
  if (!source.at_end) {
    // A stream must not raise into the library; a failing one counts as ended.
    try {
      got = source.stream->Read(source.buffer.get(), kIoBufferSize);
    } catch (...) {
      got = 0;
    }
  }
  if (got <= 0) {
    if (source.start_of_file && source.aborted != nullptr) *source.aborted = true;
    source.at_end = true;
    source.pub.next_input_byte = kEndOfImage;
    source.pub.bytes_in_buffer = sizeof kEndOfImage;
  } else {
    source.pub.next_input_byte = source.buffer.get();
    source.pub.bytes_in_buffer = static_cast<size_t>(got);
  }
  source.start_of_file = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long num_bytes) {
  if (num_bytes <= 0) return;
  TJpegSource& source = Source(cinfo);
  size_t n = static_cast<size_t>(num_bytes);
  while (n > source.pub.bytes_in_buffer) {
    n -= source.pub.bytes_in_buffer;
    FillInputBuffer(cinfo);
    // Past the end only the substituted end-of-image marker is left; it
    // stays in place for the library to read.
    if (source.at_end) return;
  }
  source.pub.next_input_byte += n;
  source.pub.bytes_in_buffer -= n;
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void AttachSource(j_decompress_ptr cinfo, TJpegSource& source, TStream& stream, bool* aborted) {
  source.pub.init_source = InitSource;
  source.pub.fill_input_buffer = FillInputBuffer;
  source.pub.skip_input_data = SkipInputData;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = TermSource;
  source.pub.next_input_byte = nullptr;
  source.pub.bytes_in_buffer = 0;
  // Allocated here, outside the library's frames, where a failure may raise.
  if (!source.buffer) source.buffer = std::make_unique<JOCTET[]>(kIoBufferSize);
  source.stream = &stream;
  source.aborted = aborted;
  source.start_of_file = true;
  source.at_end = false;
  cinfo->src = &source.pub;
}

}  // namespace tessaly::jpeg_detail
