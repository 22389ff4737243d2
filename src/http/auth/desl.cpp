#include "http/auth/desl.h"

#include <cstring>

#include "crypto/des.h"

namespace corvane::auth {

void Desl(const uint8_t key[16], const uint8_t data[8], uint8_t out[24]) {
  uint8_t padded[21] = {};
  std::memcpy(padded, key, 16);
  for (int i = 0; i < 3; ++i) {
    uint8_t key8[8];
    DesExpandKey56(padded + 7 * i, key8);
    Des des;
    des.SetKey(key8, false);
    des.CryptBlock(data, out + 8 * i);
    std::memset(key8, 0, sizeof key8);
  }
  std::memset(padded, 0, sizeof padded);
}

}  // namespace corvane::auth
