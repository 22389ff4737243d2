#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane {

// Argon2 version 1.3 (RFC 9106): the memory-hard password hash that PPK
// version 3 files use to derive their key, IV and MAC key.
enum class Argon2Type : uint8_t {
  argon2d = 0,   // data-dependent memory access
  argon2i = 1,   // data-independent memory access
  argon2id = 2,  // independent for the first half pass, then dependent
};

struct Argon2Params {
  Argon2Type type = Argon2Type::argon2id;
  uint32_t passes = 1;     // t, at least 1
  uint32_t memoryKiB = 8;  // m, at least 8 per lane
  uint32_t lanes = 1;      // p, 1 to 2^24 - 1
  std::string_view password;
  std::string_view salt;
  std::string_view secret;      // K, may be empty
  std::string_view associated;  // X, may be empty
};

// Largest memory and memory times passes Argon2 takes: a key file names its
// own cost, and a hostile one must not take the process's memory or stall a
// load for minutes.
// The key tools aim at 8 MiB and a tenth of a second on the machine that
// writes the file; the work limit leaves room for a machine several times
// faster (a few seconds here at most).
inline constexpr uint32_t kArgon2MaxMemoryKiB = 1u << 18;         // 256 MiB
inline constexpr uint64_t kArgon2MaxWorkKiB = uint64_t{1} << 21;  // memory x passes: 2 GiB

// Writes tagLength (4 or more) bytes of tag to out. False when a parameter is
// out of range (or above the limits) or the memory cannot be had.
bool Argon2(const Argon2Params& params, uint8_t* out, uint32_t tagLength);

}  // namespace corvane
