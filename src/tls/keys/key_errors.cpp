#include "tls/keys/key_errors.h"

#include <cstdio>

namespace corvane::keys {

namespace {

struct ErrorEntry {
  int code;
  std::string_view text;
};

constexpr ErrorEntry kErrors[] = {
#define CORVANE_KEY_ERROR(name, code, text) {code, text},
#include "tls/keys/key_errors.def"
#undef CORVANE_KEY_ERROR
};

}  // namespace

int KeyErrorCode(KeyError e) noexcept { return kErrors[static_cast<int>(e)].code; }

std::string KeyErrorText(KeyError e, uint32_t status) {
  std::string_view t = kErrors[static_cast<int>(e)].text;
  size_t at = t.find("%s");
  if (at == std::string_view::npos) return std::string(t);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%x", status);
  return std::string(t.substr(0, at)) + hex + std::string(t.substr(at + 2));
}

}  // namespace corvane::keys
