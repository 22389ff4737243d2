#include "platform/library_errors.h"

#include <curl/curl.h>

#include "core/error_table.h"

namespace corvane::platform {

namespace {

constexpr ErrorRow kLibraryRows[] = {
#define CORVANE_LIBRARY_ERROR(code, text) {code, text},
#include "platform/library_errors.def"
#undef CORVANE_LIBRARY_ERROR
};

// Looked up by code only: the library's error numbers are the row keys.
constexpr ErrorTable<int> kLibraryErrors(kLibraryRows);

struct CurlResult {
  CURLcode result;
  int code;
};

constexpr CurlResult kCurlResults[] = {
#define CORVANE_CURL_RESULT(result, code) {result, code},
#include "platform/curl_results.def"
#undef CORVANE_CURL_RESULT
};

bool Mentions(std::string_view detail, std::string_view word) {
  return detail.find(word) != std::string_view::npos;
}

}  // namespace

std::string LibraryErrorText(int code) {
  if (const ErrorRow* row = kLibraryErrors.Find(code)) return std::string(row->text);
  return "[" + std::to_string(code) + "] (no description available)";
}

int LibraryErrorForCurl(int curlResult, std::string_view detail) {
  if (curlResult == CURLE_OK) return 0;
  if (curlResult == CURLE_PEER_FAILED_VERIFICATION) {
    // One result covers every verification failure; its message names the kind.
    if (Mentions(detail, "hostname mismatch") || Mentions(detail, "subject name")) return 12037;
    if (Mentions(detail, "expired") || Mentions(detail, "not yet valid")) return 12169;
    if (Mentions(detail, "revoked")) return 12170;
    return 12045;
  }
  for (const CurlResult& r : kCurlResults) {
    if (r.result == curlResult) return r.code;
  }
  return 12004;
}

}  // namespace corvane::platform
