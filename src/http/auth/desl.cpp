// TEMPORARY local stand-in until the crypto layer's DES lands. Not committed.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "http/auth/desl.h"

#include <openssl/des.h>

#include <cstring>

namespace corvane::auth {

namespace {
void Expand(const uint8_t* k7, DES_cblock& k8) {
  k8[0] = k7[0];
  k8[1] = static_cast<uint8_t>((k7[0] << 7) | (k7[1] >> 1));
  k8[2] = static_cast<uint8_t>((k7[1] << 6) | (k7[2] >> 2));
  k8[3] = static_cast<uint8_t>((k7[2] << 5) | (k7[3] >> 3));
  k8[4] = static_cast<uint8_t>((k7[3] << 4) | (k7[4] >> 4));
  k8[5] = static_cast<uint8_t>((k7[4] << 3) | (k7[5] >> 5));
  k8[6] = static_cast<uint8_t>((k7[5] << 2) | (k7[6] >> 6));
  k8[7] = static_cast<uint8_t>(k7[6] << 1);
  DES_set_odd_parity(&k8);
}
}  // namespace

void Desl(const uint8_t key[16], const uint8_t data[8], uint8_t out[24]) {
  uint8_t k21[21] = {};
  std::memcpy(k21, key, 16);
  for (int i = 0; i < 3; ++i) {
    DES_cblock k8;
    Expand(k21 + 7 * i, k8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k8, &ks);
    DES_cblock in;
    std::memcpy(in, data, 8);
    DES_ecb_encrypt(&in, reinterpret_cast<DES_cblock*>(out + 8 * i), &ks,
                    DES_ENCRYPT);
  }
}

}  // namespace corvane::auth
