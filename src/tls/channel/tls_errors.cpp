#include "tls/channel/tls_errors.h"

#include <cstdio>

namespace corvane::tls {

namespace {

struct ErrorEntry {
  int code;
  std::string_view text;
};

constexpr ErrorEntry kErrors[] = {
#define CORVANE_TLS_ERROR(name, code, text) {code, text},
#include "tls/channel/tls_errors.def"
#undef CORVANE_TLS_ERROR
};

}  // namespace

int TlsErrorCode(TlsError e) noexcept { return kErrors[static_cast<int>(e)].code; }

std::string_view TlsErrorTemplate(TlsError e) noexcept { return kErrors[static_cast<int>(e)].text; }

std::string TlsErrorText(TlsError e, std::string_view argument) {
  std::string_view t = TlsErrorTemplate(e);
  size_t at = t.find("%s");
  if (at == std::string_view::npos) return std::string(t);
  std::string out;
  out.reserve(t.size() + argument.size());
  out.append(t.substr(0, at)).append(argument).append(t.substr(at + 2));
  return out;
}

std::string TlsErrorText(TlsError e, uint32_t status) { return TlsErrorText(e, StatusHex(status)); }

std::string StatusHex(uint32_t status) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", status);
  return buf;
}

}  // namespace corvane::tls
