#pragma once

#include <cstdint>
#include <cstring>

namespace corvane::detail {

inline uint32_t LoadBe32(const uint8_t* p) noexcept {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
inline uint32_t LoadLe32(const uint8_t* p) noexcept {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // x86-64 and the other Linux targets we build for are little-endian
}
inline uint64_t LoadBe64(const uint8_t* p) noexcept {
  return (uint64_t{LoadBe32(p)} << 32) | LoadBe32(p + 4);
}
inline uint64_t LoadLe64(const uint8_t* p) noexcept {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline void StoreBe32(uint8_t* p, uint32_t v) noexcept {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
inline void StoreLe32(uint8_t* p, uint32_t v) noexcept { std::memcpy(p, &v, 4); }
inline void StoreBe64(uint8_t* p, uint64_t v) noexcept {
  StoreBe32(p, static_cast<uint32_t>(v >> 32));
  StoreBe32(p + 4, static_cast<uint32_t>(v));
}
inline void StoreLe64(uint8_t* p, uint64_t v) noexcept { std::memcpy(p, &v, 8); }

inline constexpr uint32_t Rotl32(uint32_t x, int n) noexcept { return (x << n) | (x >> ((32 - n) & 31)); }
inline constexpr uint32_t Rotr32(uint32_t x, int n) noexcept { return (x >> n) | (x << ((32 - n) & 31)); }
inline constexpr uint64_t Rotl64(uint64_t x, int n) noexcept { return (x << n) | (x >> ((64 - n) & 63)); }
inline constexpr uint64_t Rotr64(uint64_t x, int n) noexcept { return (x >> n) | (x << ((64 - n) & 63)); }

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "byte loaders assume a little-endian host");

}  // namespace corvane::detail
