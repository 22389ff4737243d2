#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane::test {

inline std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}
inline std::string Hex(const uint8_t* p, size_t n) {
  return Hex(std::string_view(reinterpret_cast<const char*>(p), n));
}

inline std::string Unhex(std::string_view hex) {
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
    if (v < 0) continue;  // allow spaces in long vectors
    if (hi < 0) {
      hi = v;
    } else {
      out += static_cast<char>(hi << 4 | v);
      hi = -1;
    }
  }
  return out;
}

inline std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

}  // namespace corvane::test
