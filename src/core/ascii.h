#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// ASCII character helpers for protocol text (header fields, config names,
// challenge parameters). They never consult the locale: protocol tokens
// compare the same whatever the process's LC_CTYPE is.

// Space or horizontal tab: the "blank" of header grammars (RFC 7230 OWS).
constexpr bool IsBlank(char c) noexcept { return c == ' ' || c == '\t'; }

constexpr char LowerAscii(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive equality of ASCII letters; other bytes compare exactly.
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// A lower-case copy of s (ASCII letters only).
inline std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// s without leading and trailing blanks.
constexpr std::string_view TrimBlanks(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// 0-15 for a hexadecimal digit of either case, -1 for anything else.
constexpr int HexValue(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace corvane
