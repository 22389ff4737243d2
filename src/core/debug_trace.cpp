#include "core/debug_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "core/error_codes.h"
#include "core/file_ops.h"

namespace corvane {

std::string TraceHeaderLine(uintptr_t instance, const std::tm& t, std::string_view label,
                            size_t length) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "[%04d/%02d/%02d %02d:%02d:%02d] ", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  std::string line = "[";
  line += std::to_string(instance);
  line += "] ";
  line += stamp;
  line += "------";
  line.append(label);
  line += "------(";
  line += std::to_string(length);
  line += " bytes)\r\n";
  return line;
}

std::string TraceHexDump(const void* data, size_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(length * 3 + length / 32 * 2);
  for (size_t i = 0; i < length; ++i) {
    out += kHex[p[i] >> 4];
    out += kHex[p[i] & 15];
    if ((i + 1) % 32 == 0) out += "\r\n";
    else out += ' ';
  }
  return out;
}

int AppendTraceBlock(const char* path, uintptr_t instance, std::string_view label,
                     const void* data, size_t length, bool hexDump) {
  FileHandle file(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!file) return kErrTraceOpen;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string block = TraceHeaderLine(instance, local, label, length);
  if (hexDump) block += TraceHexDump(data, length);
  else block.append(static_cast<const char*>(data), length);
  block += "\r\n";
  return file.WriteAll(block.data(), block.size()) ? 0 : kErrTraceWrite;
}

void AppendRecordCommand(std::string& out, bool received, const void* data, size_t length) {
  out += "\r\n";
  out += received ? "send -nonewline" : "expect -exact";
  out += " \"";
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = p[i];
    switch (c) {
      case '\\': case '$': case '"': case '{': case '}': case '[': case ']':
        out += '\\';
        out += static_cast<char>(c);
        break;
      case '\r': case '\n':
        out += static_cast<char>(c);
        break;
      default:
        if (c < 32 || c > 126) {
          char esc[5];
          std::snprintf(esc, sizeof esc, "\\%03o", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"\r\n";
}

}  // namespace corvane
