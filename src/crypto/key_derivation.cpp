#include "crypto/key_derivation.h"

#include <cstring>
#include <string>

#include "core/ascii.h"
#include "core/error_codes.h"
#include "core/zero_memory.h"
#include "crypto/crypto_errors.h"

namespace corvane {

int Pbkdf2(HmacContext& hmac, int id, const void* password, int passwordLength, const void* salt,
           int saltLength, int iterations, int derivedBits, ByteBuffer& output) noexcept {
  const int hLen = HashDigestBits(id) / 8;
  if (hLen == 0) return kErrUnknownCipher;
  const int dkLen = derivedBits > 0 ? derivedBits / 8 : 0;
  if (dkLen > kPbkdf2MaxBlocks * hLen) return kErrOutOfMemory;
  if (saltLength < 0) saltLength = 0;
  if (int rc = hmac.SetKey(id, password, passwordLength); rc != 0) return rc;
  if (int rc = output.Resize(dkLen); rc != 0) return rc;
  uint8_t* out = reinterpret_cast<uint8_t*>(output.data());
  const int blocks = (dkLen + hLen - 1) / hLen;
  uint8_t u[64];
  uint8_t t[64];
  int rc = 0;
  for (int i = 1; i <= blocks && rc == 0; ++i) {
    std::memset(t, 0, sizeof t);
    const uint8_t index[4] = {static_cast<uint8_t>(i >> 24), static_cast<uint8_t>(i >> 16),
                              static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    for (int j = 1; j <= iterations; ++j) {
      if (j == 1) {
        rc = hmac.Update(salt, saltLength);
        if (rc == 0) rc = hmac.Update(index, 4);
      } else {
        rc = hmac.Update(u, hLen);
      }
      if (rc == 0) rc = hmac.Final(u);
      if (rc != 0) break;
      for (int k = 0; k < hLen; ++k) t[k] ^= u[k];
    }
    const int take = dkLen - (i - 1) * hLen < hLen ? dkLen - (i - 1) * hLen : hLen;
    std::memcpy(out + (i - 1) * hLen, t, static_cast<size_t>(take));
  }
  SecureWipe(u, sizeof u);
  SecureWipe(t, sizeof t);
  if (rc != 0) output.Clear();
  return rc;
}

namespace {

// Which PRF an "hmac..." name asks for; -1 when none.
int HmacPrfFromName(const std::string& lower) {
  static constexpr struct {
    const char* text;
    int id;
  } kPrfs[] = {{"sha1", haSHA1},     {"sha224", haSHA224}, {"sha256", haSHA256},
               {"sha384", haSHA384}, {"sha512", haSHA512}, {"md5", haMD5},
               {"ripemd", haRIPEMD160}};
  for (const auto& prf : kPrfs) {
    const size_t pos = lower.find(prf.text);
    if (pos != std::string::npos && pos >= 1) return prf.id;
  }
  return -1;
}

}  // namespace

int DeriveKeyFromPassword(int iterations, std::string_view algorithmName, std::string_view password,
                          const void* salt, int saltLength, int keyLength, bool passwordFirst,
                          ByteBuffer& output) noexcept {
  if (algorithmName.empty()) algorithmName = "MD5";
  if (keyLength < 0) keyLength = 0;
  if (saltLength < 0) saltLength = 0;
  std::string lower = ToLowerAscii(algorithmName);
  if (lower.find("hmac") != std::string::npos) {
    const int id = HmacPrfFromName(lower);
    if (id < 0) return kErrUnknownDigest;
    if (keyLength > INT_MAX / 8) return kErrOutOfMemory;
    HmacContext hmac;
    return Pbkdf2(hmac, id, password.data(), static_cast<int>(password.size()), salt, saltLength,
                  iterations, keyLength * 8, output);
  }
  int id;
  if (EqualsNoCase(algorithmName, "MD5")) {
    id = haMD5;
  } else if (EqualsNoCase(algorithmName, "SHA1")) {
    id = haSHA1;
  } else if (EqualsNoCase(algorithmName, "MD2")) {
    id = haMD2;
  } else {
    return kErrUnknownDigest;
  }
  // The classic PEM password-to-key scheme (EVP_BytesToKey style).
  if (int rc = output.Resize(keyLength); rc != 0) return rc;
  HashContext h(id);
  const int size = h.DigestSize();
  uint8_t d[64];
  int produced = 0;
  int rc = 0;
  for (bool first = true; produced < keyLength && rc == 0; first = false) {
    const int previous = first ? 0 : size;
    if (passwordFirst) {
      rc = h.Update(password.data(), static_cast<int>(password.size()));
      if (rc == 0) rc = h.Update(d, previous);
    } else {
      rc = h.Update(d, previous);
      if (rc == 0) rc = h.Update(password.data(), static_cast<int>(password.size()));
    }
    if (rc == 0) rc = h.Update(salt, saltLength);
    if (rc == 0) rc = h.Final(d);
    for (int i = 1; i < iterations && rc == 0; ++i) {
      rc = h.Update(d, size);
      if (rc == 0) rc = h.Final(d);
    }
    if (rc != 0) break;
    const int take = keyLength - produced < size ? keyLength - produced : size;
    std::memcpy(output.data() + produced, d, static_cast<size_t>(take));
    produced += take;
  }
  SecureWipe(d, sizeof d);
  if (rc != 0) output.Clear();
  return rc;
}

}  // namespace corvane
