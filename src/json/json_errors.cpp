#include "json/json_errors.h"

namespace corvane {

namespace {

struct JsonErrorEntry {
  int code;
  std::string_view text;
};

constexpr JsonErrorEntry kJsonErrors[] = {
#define CORVANE_JSON_ERROR(name, code, text) {code, text},
#include "json/json_errors.def"
#undef CORVANE_JSON_ERROR
};

}  // namespace

int JsonErrorCode(JsonError error) noexcept {
  return kJsonErrors[static_cast<int>(error)].code;
}

std::string_view JsonErrorText(JsonError error) noexcept {
  return kJsonErrors[static_cast<int>(error)].text;
}

}  // namespace corvane
