#include "http2/http2_errors.h"

namespace corvane {

namespace {

struct ErrorCodeEntry {
  uint32_t value;
  std::string_view name;
  std::string_view description;
};

constexpr ErrorCodeEntry kErrorCodes[] = {
#define CORVANE_H2_ERROR_CODE(value, ident, name, description) {value, name, description},
#include "http2/http2_error_codes.def"
#undef CORVANE_H2_ERROR_CODE
};

struct MessageEntry {
  int code;
  std::string_view text;
};

constexpr MessageEntry kMessages[] = {
#define CORVANE_H2_MESSAGE(ident, code, text) {code, text},
#include "http2/http2_errors.def"
#undef CORVANE_H2_MESSAGE
};

const ErrorCodeEntry* FindCode(uint32_t code) noexcept {
  for (const auto& e : kErrorCodes) {
    if (e.value == code) return &e;
  }
  return nullptr;
}

}  // namespace

std::string Http2ErrorCodeName(uint32_t code) {
  if (const ErrorCodeEntry* e = FindCode(code)) return std::string(e->name);
  return FormatMessage("{0} (INTERNAL_ERROR)", {static_cast<unsigned long long>(code)});
}

std::string_view Http2ErrorCodeDescription(uint32_t code) noexcept {
  if (const ErrorCodeEntry* e = FindCode(code)) return e->description;
  return FindCode(0x2)->description;
}

int Http2MessageCode(Http2Message message) noexcept {
  return kMessages[static_cast<int>(message)].code;
}

std::string_view Http2MessageTemplate(Http2Message message) noexcept {
  return kMessages[static_cast<int>(message)].text;
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
