#include "http/http_errors.h"

namespace corvane::http {

namespace {

struct ErrorEntry {
  int code;
  std::string_view text;
};

constexpr ErrorEntry kErrors[] = {
#define CORVANE_HTTP_ERROR(name, code, text) {code, text},
#include "http/http_errors.def"
#undef CORVANE_HTTP_ERROR
};

}  // namespace

int HttpErrorCode(HttpError e) noexcept { return kErrors[static_cast<int>(e)].code; }

std::string_view HttpErrorTemplate(HttpError e) noexcept {
  return kErrors[static_cast<int>(e)].text;
}

std::string HttpErrorText(HttpError e, std::string_view argument) {
  std::string_view t = HttpErrorTemplate(e);
  std::string out;
  size_t at = t.find("%s");
  if (at == std::string_view::npos) return std::string(t);
  out.reserve(t.size() + argument.size());
  out.append(t.substr(0, at)).append(argument).append(t.substr(at + 2));
  return out;
}

}  // namespace corvane::http
