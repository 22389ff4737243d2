#include "crypto/md2.h"

#include <cstring>

#include "core/zero_memory.h"

namespace corvane {
namespace {

// RFC 1319 3.2: the permutation of 0..255 built from the digits of pi.
constexpr uint8_t kS[256] = {
    41, 46, 67, 201, 162, 216, 124, 1, 61, 54, 84, 161, 236, 240, 6, 19,
    98, 167, 5, 243, 192, 199, 115, 140, 152, 147, 43, 217, 188, 76, 130, 202,
    30, 155, 87, 60, 253, 212, 224, 22, 103, 66, 111, 24, 138, 23, 229, 18,
    190, 78, 196, 214, 218, 158, 222, 73, 160, 251, 245, 142, 187, 47, 238, 122,
    169, 104, 121, 145, 21, 178, 7, 63, 148, 194, 16, 137, 11, 34, 95, 33,
    128, 127, 93, 154, 90, 144, 50, 39, 53, 62, 204, 231, 191, 247, 151, 3,
    255, 25, 48, 179, 72, 165, 181, 209, 215, 94, 146, 42, 172, 86, 170, 198,
    79, 184, 56, 210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4, 241,
    69, 157, 112, 89, 100, 113, 135, 32, 134, 91, 207, 101, 230, 45, 168, 2,
    27, 96, 37, 173, 174, 176, 185, 246, 28, 70, 97, 105, 52, 64, 126, 15,
    85, 71, 163, 35, 221, 81, 175, 58, 195, 92, 249, 206, 186, 197, 234, 38,
    44, 83, 13, 110, 133, 40, 132, 9, 211, 223, 205, 244, 65, 129, 77, 82,
    106, 220, 55, 200, 108, 193, 171, 250, 36, 225, 123, 8, 12, 189, 177, 74,
    120, 136, 149, 139, 227, 99, 232, 109, 233, 203, 213, 254, 59, 0, 29, 57,
    242, 239, 183, 14, 102, 88, 208, 228, 166, 119, 114, 248, 235, 117, 75, 10,
    49, 68, 80, 180, 143, 237, 31, 26, 219, 153, 141, 51, 159, 17, 131, 20,
};

}  // namespace

void Md2::Init() noexcept {
  std::memset(state_, 0, sizeof state_);
  std::memset(checksum_, 0, sizeof checksum_);
  used_ = 0;
}

void Md2::Transform(const uint8_t* block) noexcept {
  // RFC 1319 3.3: checksum update (with the L carried from the last byte).
  uint8_t l = checksum_[15];
  for (int j = 0; j < 16; ++j) {
    checksum_[j] ^= kS[block[j] ^ l];
    l = checksum_[j];
  }
  // 3.4: the 48-byte work area X = state || block || state ^ block.
  for (int j = 0; j < 16; ++j) {
    state_[16 + j] = block[j];
    state_[32 + j] = static_cast<uint8_t>(state_[j] ^ block[j]);
  }
  unsigned t = 0;
  for (int j = 0; j < 18; ++j) {
    for (int k = 0; k < 48; ++k) {
      state_[k] ^= kS[t];
      t = state_[k];
    }
    t = (t + static_cast<unsigned>(j)) & 0xff;
  }
}

int Md2::Update(const void* data, size_t len) noexcept {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (len != 0) {
    size_t take = 16 - used_ < len ? 16 - used_ : len;
    std::memcpy(buffer_ + used_, p, take);
    used_ += take;
    p += take;
    len -= take;
    if (used_ == 16) {
      Transform(buffer_);
      used_ = 0;
    }
  }
  return 0;
}

const uint8_t* Md2::Final() noexcept {
  // 3.1: always pad with i bytes of value i, 1 <= i <= 16; then append the checksum.
  const uint8_t pad = static_cast<uint8_t>(16 - used_);
  std::memset(buffer_ + used_, pad, pad);
  Transform(buffer_);
  uint8_t checksum[16];
  std::memcpy(checksum, checksum_, 16);
  Transform(checksum);
  std::memcpy(digest_, state_, kDigestSize);
  SecureWipe(state_, sizeof state_);
  SecureWipe(checksum_, sizeof checksum_);
  SecureWipe(buffer_, sizeof buffer_);
  used_ = 0;
  return digest_;
}

}  // namespace corvane
