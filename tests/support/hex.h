#pragma once

// Hex text for known-answer vectors: Unhex skips anything that is not a hex
// digit, so long vectors can be written in spaced groups.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ascii.h"
#include "core/base64.h"

namespace corvane::testing {

inline std::string Hex(std::string_view bytes) { return HexEncode(bytes); }
inline std::string Hex(const uint8_t* p, size_t n) { return Hex(std::string_view(reinterpret_cast<const char*>(p), n)); }

inline std::string Unhex(std::string_view hex) {
  std::string out;
  int hi = -1;
  for (char c : hex) {
    int v = HexValue(c);
    if (v < 0) continue;
    if (hi < 0) {
      hi = v;
    } else {
      out += static_cast<char>(hi << 4 | v);
      hi = -1;
    }
  }
  return out;
}

inline const uint8_t* Bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace corvane::testing
