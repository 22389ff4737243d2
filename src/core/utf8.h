#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// Writes the UTF-8 form of a code point (at most U+10FFFF; callers have
// already replaced surrogates and out-of-range values) to out, which has room
// for four bytes, and returns its length.
inline size_t PutUtf8(char* out, uint32_t cp) noexcept {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// Appends the same to a string.
inline void AppendUtf8(std::string& out, uint32_t cp) {
  char bytes[4];
  out.append(bytes, PutUtf8(bytes, cp));
}

}  // namespace corvane
