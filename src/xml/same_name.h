#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace corvane::xml {

template <typename Word>
Word LoadWord(const char* p) noexcept {
  Word w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Every end tag is compared with its start: most names are under sixteen
// bytes, which two overlapping word compares cover without a loop or a call.
inline bool SameName(std::string_view a, std::string_view b) noexcept {
  const size_t n = a.size();
  if (n != b.size()) return false;
  const char* x = a.data();
  const char* y = b.data();
  if (n > 16) return std::memcmp(x, y, n) == 0;
  if (n >= 8) {
    return ((LoadWord<uint64_t>(x) ^ LoadWord<uint64_t>(y)) |
            (LoadWord<uint64_t>(x + n - 8) ^ LoadWord<uint64_t>(y + n - 8))) == 0;
  }
  if (n >= 4) {
    return ((LoadWord<uint32_t>(x) ^ LoadWord<uint32_t>(y)) |
            (LoadWord<uint32_t>(x + n - 4) ^ LoadWord<uint32_t>(y + n - 4))) == 0;
  }
  if (n >= 2) {
    return ((LoadWord<uint16_t>(x) ^ LoadWord<uint16_t>(y)) |
            (LoadWord<uint16_t>(x + n - 2) ^ LoadWord<uint16_t>(y + n - 2))) == 0;
  }
  return n == 0 || x[0] == y[0];
}

}  // namespace corvane::xml
