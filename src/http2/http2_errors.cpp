#include "http2/http2_errors.h"

#include "core/error_table.h"

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

constexpr ErrorRow kMessages[] = {
#define CORVANE_H2_MESSAGE(ident, code, text) {code, text},
#include "http2/http2_errors.def"
#undef CORVANE_H2_MESSAGE
};

constexpr ErrorTable<Http2Message> kMessageTable(kMessages);

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
  return kMessageTable.Code(message);
}

std::string_view Http2MessageTemplate(Http2Message message) noexcept {
  return kMessageTable.Template(message);
}

}  // namespace corvane
