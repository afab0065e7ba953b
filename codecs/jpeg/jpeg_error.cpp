// Tessaly: the JPEG library's error manager.
#include <cstring>

#include "codecs/jpeg/jpeg_internal.h"

#include <jerror.h>

namespace tessaly::jpeg_detail {

namespace {

TJpegErrorManager& Manager(j_common_ptr cinfo) {
  return *reinterpret_cast<TJpegErrorManager*>(cinfo->err);
}

// An error ends the library call: the flag is set and control goes back to
// the guard that made the call.
void ErrorExit(j_common_ptr cinfo) {
  TJpegErrorManager& manager = Manager(cinfo);
  manager.error_code = manager.pub.msg_code;
  if (manager.aborted != nullptr) *manager.aborted = true;
  std::longjmp(manager.jump, 1);
}

// Level -1 is a warning (damaged data the library worked around); higher
// levels are trace messages.
void EmitMessage(j_common_ptr cinfo, int msg_level) {
  if (msg_level != -1) return;
  TJpegErrorManager& manager = Manager(cinfo);
  ++manager.warning_count;
  manager.last_warning = manager.pub.msg_code;
}

// Nothing is printed: the caller sees the count and the exception text.
void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* buffer) { buffer[0] = '\0'; }

void ResetErrorManager(j_common_ptr cinfo) {
  TJpegErrorManager& manager = Manager(cinfo);
  manager.warning_count = 0;
  manager.last_warning = 0;
  manager.pub.num_warnings = 0;
  manager.pub.msg_code = 0;
}

// One printf conversion, from the '%' on; returns its length.
size_t ConversionLength(const char* text) {
  size_t n = 1;
  while (text[n] != '\0' && std::strchr("-+ #0123456789.lhzjt", text[n]) != nullptr) ++n;
  if (text[n] != '\0') ++n;
  return n;
}

}  // namespace

void InitErrorManager(TJpegErrorManager& manager, bool* aborted) {
  jpeg_std_error(&manager.pub);
  manager.pub.error_exit = ErrorExit;
  manager.pub.emit_message = EmitMessage;
  manager.pub.output_message = OutputMessage;
  manager.pub.format_message = FormatMessage;
  manager.pub.reset_error_mgr = ResetErrorManager;
  manager.aborted = aborted;
  manager.warning_count = 0;
  manager.last_warning = 0;
  manager.error_code = 0;
}

std::string JpegMessageText(const jpeg_error_mgr& manager, int code) {
  if (code < 0 || code > manager.last_jpeg_message || manager.jpeg_message_table == nullptr ||
      manager.jpeg_message_table[code] == nullptr) {
    return "Corrupted";
  }
  // The library's own name and version are not shown to users.
  if (code == JMSG_COPYRIGHT || code == JMSG_VERSION) return "";
  // A value the message would name becomes "?", with its "0x" prefix; values
  // that stand side by side ("0x%02x 0x%02x") become one "?".
  std::string text;
  const char* p = manager.jpeg_message_table[code];
  while (*p != '\0') {
    const bool hex_prefix = p[0] == '0' && p[1] == 'x' && p[2] == '%' && p[3] != '%';
    if (hex_prefix || (p[0] == '%' && p[1] != '%')) {
      if (hex_prefix) p += 2;
      p += ConversionLength(p);
      const bool joins = !text.empty() && text.back() == ' ' && text.size() >= 2 &&
                         text[text.size() - 2] == '?';
      if (joins) {
        text.pop_back();
      } else {
        text += '?';
      }
    } else if (p[0] == '%') {
      text += '%';
      p += 2;
    } else {
      text += *p++;
    }
  }
  return text;
}

}  // namespace tessaly::jpeg_detail
