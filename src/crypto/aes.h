#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// AES (FIPS 197) with 128-, 192- and 256-bit keys. Uses the AES instructions
// when the CPU has them and table lookups otherwise; SetKey prepares both
// directions.
class Aes {
 public:
  static constexpr int kBlockSize = 16;

  // false for a key length other than 16, 24 or 32 bytes.
  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  int Rounds() const noexcept { return rounds_; }

  void EncryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept;
  void DecryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept;
  void EncryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept;
  void DecryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept;
  // CBC over whole blocks; iv is the chaining register, updated in place.
  void EncryptCbc(uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t blocks) const noexcept;
  void DecryptCbc(uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t blocks) const noexcept;

  // Round keys as FIPS 197 words (w[0..4Nr+3]) and, for decryption, the
  // equivalent inverse cipher's keys in the order they are used; the byte
  // images of both feed the AES instructions.
  struct Schedule {
    alignas(16) uint32_t enc[60];
    alignas(16) uint32_t dec[60];
    alignas(16) uint8_t encBytes[240];
    alignas(16) uint8_t decBytes[240];
  };

 private:
  Schedule ks_;
  int rounds_ = 0;
};

namespace detail {
void AesNiEncryptEcb(const uint8_t* rk, int rounds, const uint8_t* in, uint8_t* out, size_t blocks) noexcept;
void AesNiDecryptEcb(const uint8_t* rk, int rounds, const uint8_t* in, uint8_t* out, size_t blocks) noexcept;
void AesNiEncryptCbc(const uint8_t* rk, int rounds, uint8_t* iv, const uint8_t* in, uint8_t* out,
                     size_t blocks) noexcept;
void AesNiDecryptCbc(const uint8_t* rk, int rounds, uint8_t* iv, const uint8_t* in, uint8_t* out,
                     size_t blocks) noexcept;
void AesVaesDecryptCbc(const uint8_t* rk, int rounds, uint8_t* iv, const uint8_t* in, uint8_t* out,
                       size_t blocks) noexcept;
}  // namespace detail

}  // namespace corvane
