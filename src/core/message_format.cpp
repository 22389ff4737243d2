#include "core/message_format.h"

#include <cstdio>

namespace corvane {

std::string StatusHex(uint32_t status) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", status);
  return buf;
}

std::string FormatMessage(std::string_view templ, std::initializer_list<MessageArg> args) {
  std::string out;
  out.reserve(templ.size() + 16);
  size_t i = 0;
  while (i < templ.size()) {
    char c = templ[i];
    if (c == '{' && i + 2 < templ.size() && templ[i + 2] == '}' && templ[i + 1] >= '0' &&
        templ[i + 1] <= '9') {
      size_t n = static_cast<size_t>(templ[i + 1] - '0');
      if (n < args.size()) {
        out += args.begin()[n].Text();
        i += 3;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace corvane
