// Tessaly: the JPEG library's destination manager over a TStream.
#include "codecs/jpeg/jpeg_internal.h"

namespace tessaly::jpeg_detail {

namespace {

TJpegDestination& Destination(j_compress_ptr cinfo) {
  return *reinterpret_cast<TJpegDestination*>(cinfo->dest);
}

// A stream must not raise into the library; a failing write is a short one.
bool WriteAll(TJpegDestination& destination, size_t count) {
  try {
    return destination.stream->WriteExact(destination.buffer.get(), static_cast<int64_t>(count));
  } catch (...) {
    return false;
  }
}

void InitDestination(j_compress_ptr cinfo) {
  TJpegDestination& destination = Destination(cinfo);
  destination.pub.next_output_byte = destination.buffer.get();
  destination.pub.free_in_buffer = kIoBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  TJpegDestination& destination = Destination(cinfo);
  if (!WriteAll(destination, kIoBufferSize) && destination.aborted != nullptr) {
    *destination.aborted = true;
  }
  destination.pub.next_output_byte = destination.buffer.get();
  destination.pub.free_in_buffer = kIoBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  TJpegDestination& destination = Destination(cinfo);
  const size_t filled = kIoBufferSize - destination.pub.free_in_buffer;
  if (filled > 0 && !WriteAll(destination, filled) && destination.aborted != nullptr) {
    *destination.aborted = true;
  }
}

}  // namespace

void AttachDestination(j_compress_ptr cinfo, TJpegDestination& destination, TStream& stream,
                       bool* aborted) {
  destination.pub.init_destination = InitDestination;
  destination.pub.empty_output_buffer = EmptyOutputBuffer;
  destination.pub.term_destination = TermDestination;
  // Allocated here, outside the library's frames, where a failure may raise.
  if (!destination.buffer) destination.buffer = std::make_unique<JOCTET[]>(kIoBufferSize);
  destination.stream = &stream;
  destination.aborted = aborted;
  cinfo->dest = &destination.pub;
}

}  // namespace tessaly::jpeg_detail
