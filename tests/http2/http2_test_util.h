#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "http2/header_list.h"
#include "support/hex.h"

namespace corvane::test {

using testing::Bytes;
inline std::string FromHex(std::string_view hex) { return testing::Unhex(hex); }
inline std::string ToHex(std::string_view bytes) { return testing::Hex(bytes); }

inline std::string U32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// One frame on the wire: 9-byte header, then the payload.
inline std::string Frame(uint8_t type, uint8_t flags, uint32_t stream, std::string_view payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  std::string f = {static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n),
                   static_cast<char>(type), static_cast<char>(flags)};
  return f + U32(stream) + std::string(payload);
}

}  // namespace corvane::test

namespace corvane {
// Readable failure output for header lists.
inline void PrintTo(const HeaderField& h, std::ostream* os) { *os << '"' << h.name << "\": \"" << h.value << '"'; }
}  // namespace corvane
