#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// RC4 stream cipher; keys of 1 to 256 bytes. The state runs on between
// calls, so a message may be processed in pieces.
class Rc4 {
 public:
  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  void Process(const uint8_t* in, uint8_t* out, size_t len) noexcept;

 private:
  uint8_t s_[256];
  uint8_t i_ = 0;
  uint8_t j_ = 0;
};

}  // namespace corvane
