#include "crypto/rc4.h"

namespace corvane {

bool Rc4::SetKey(const uint8_t* key, size_t keyLength) noexcept {
  if (keyLength < 1 || keyLength > 256) return false;
  for (int i = 0; i < 256; ++i) s_[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s_[i] + key[static_cast<size_t>(i) % keyLength]);
    const uint8_t t = s_[i];
    s_[i] = s_[j];
    s_[j] = t;
  }
  i_ = j_ = 0;
  return true;
}

void Rc4::Process(const uint8_t* in, uint8_t* out, size_t len) noexcept {
  uint8_t i = i_, j = j_;
  for (size_t n = 0; n < len; ++n) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + s_[i]);
    const uint8_t t = s_[i];
    s_[i] = s_[j];
    s_[j] = t;
    out[n] = in[n] ^ s_[static_cast<uint8_t>(s_[i] + s_[j])];
  }
  i_ = i;
  j_ = j;
}

}  // namespace corvane
