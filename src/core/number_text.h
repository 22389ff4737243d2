#pragma once

#include <cstdint>
#include <string_view>

#include "core/ascii.h"

namespace corvane {

// The numbers of HTTP heads (Content-Length, chunk sizes), read alike by the
// HTTP client, its platform backend and the proxy tunnel below both.

// Decimal digits with optional blanks around them. False for a sign, other
// bytes, no digits or a value past 2^63-1.
constexpr bool ParseDecimal(std::string_view text, int64_t& out) noexcept {
  text = TrimBlanks(text);
  if (text.empty()) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || v > (INT64_MAX - (c - '0')) / 10) return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// A chunk-size line: hex digits with optional blanks around them, then
// optionally ";extensions". False when there are no digits or the size
// exceeds 2^31-1.
constexpr bool ParseChunkSize(std::string_view line, int32_t& out) noexcept {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  size_t start = i;
  int64_t v = 0;
  for (int d; i < line.size() && (d = HexValue(line[i])) >= 0; ++i) {
    v = v * 16 + d;
    if (v > INT32_MAX) return false;
  }
  if (i == start) return false;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i != line.size() && line[i] != ';') return false;
  out = static_cast<int32_t>(v);
  return true;
}

}  // namespace corvane
