#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::test {

inline std::string FromHex(std::string_view hex) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  int hi = -1;
  for (char c : hex) {
    int v = nibble(c);
    if (v < 0) continue;  // spaces allowed
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<char>(hi << 4 | v));
      hi = -1;
    }
  }
  return out;
}

inline std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

inline const uint8_t* Bytes(const std::string& s) {
  return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace corvane::test

#include <ostream>

#include "http2/header_list.h"

namespace corvane {
// Readable failure output for header lists.
inline void PrintTo(const HeaderField& h, std::ostream* os) {
  *os << '"' << h.name << "\": \"" << h.value << '"';
}
}  // namespace corvane
