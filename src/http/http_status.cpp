#include "http/http_status.h"

namespace corvane::http {

namespace {

struct Reason {
  int code;
  std::string_view text;
};

constexpr Reason kReasons[] = {
    {100, "Continue"}, {101, "Switching Protocols"}, {102, "Processing"},
    {200, "OK"}, {201, "Created"}, {202, "Accepted"}, {203, "Non-Authoritative Information"},
    {204, "No Content"}, {205, "Reset Content"}, {206, "Partial Content"}, {207, "Multi-Status"},
    {300, "Multiple Choices"}, {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other"},
    {304, "Not Modified"}, {305, "Use Proxy"}, {306, "Switch Proxy"}, {307, "Temporary Redirect"},
    {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"}, {403, "Forbidden"},
    {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {409, "Conflict"},
    {410, "Gone"}, {411, "Length Required"}, {412, "Precondition Failed"},
    {413, "Request Entity Too Large"}, {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"}, {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {421, "There are too many connections from your internet address"},
    {422, "Unprocessable Entity"}, {423, "Locked"}, {424, "Failed Dependency"},
    {425, "Unordered Collection"}, {426, "Upgrade Required"}, {449, "Retry With"},
    {451, "Unavailable For Legal Reasons"},
    {500, "Internal Server Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"},
    {503, "Service Unavailable"}, {504, "Gateway Timeout"}, {505, "HTTP Version Not Supported"},
    {506, "Variant Also Negotiates"}, {507, "Insufficient Storage"},
    {509, "Bandwidth Limit Exceeded"}, {510, "Not Extended"},
};

}  // namespace

std::string_view ReasonPhrase(int statusCode) noexcept {
  for (const Reason& r : kReasons) {
    if (r.code == statusCode) return r.text;
  }
  return "Unknown";
}

int PercentDone(int64_t bytes, int64_t contentLength) noexcept {
  if (contentLength <= 0) return -1;
  // bytes × 100 could overflow for huge lengths; divide first there.
  int64_t p = bytes < INT64_MAX / 100 ? bytes * 100 / contentLength : bytes / (contentLength / 100 + 1);
  return p > 100 ? 100 : static_cast<int>(p);
}

int UploadPercent(int64_t sent, int64_t contentLength) noexcept {
  int64_t base = (contentLength > sent ? contentLength : sent) + 100;
  int64_t p = sent < INT64_MAX / 100 ? sent * 100 / base : 99;
  return p > 99 ? 99 : static_cast<int>(p);
}

}  // namespace corvane::http
