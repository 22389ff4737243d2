#include "crypto/hmac_context.h"

#include <cstring>

#include "core/zero_memory.h"

namespace corvane {

HmacContext::~HmacContext() = default;

int HmacContext::SetKey(int id, const void* key, int keyLength) noexcept {
  if (keyLength < 0) keyLength = 0;
  id_ = id;
  hash_.SetAlgorithm(id);
  keysPending_ = true;
  prepared_ = false;
  return key_.Assign(keyLength == 0 ? "" : key, keyLength);
}

int HmacContext::PrepareKeys() noexcept {
  if (!prepared_) {
    const int block = HmacBlockSize(id_);
    uint8_t inner[128] = {};
    uint8_t outer[128] = {};
    if (key_.size() <= block) {
      std::memcpy(inner, key_.data(), static_cast<size_t>(key_.size()));
    } else {
      // RFC 2104 2: keys longer than B are hashed first.
      HashContext h(id_);
      if (int rc = h.Update(key_.data(), key_.size()); rc != 0) return rc;
      if (int rc = h.Final(inner); rc != 0) return rc;
    }
    std::memcpy(outer, inner, sizeof inner);
    for (int i = 0; i < block; ++i) {
      inner[i] ^= 0x36;
      outer[i] ^= 0x5c;
    }
    innerStart_.SetAlgorithm(id_);
    outerStart_.SetAlgorithm(id_);
    int rc = innerStart_.Update(inner, block);
    if (rc == 0) rc = outerStart_.Update(outer, block);
    SecureWipe(inner, sizeof inner);
    SecureWipe(outer, sizeof outer);
    if (rc != 0) return rc;
    prepared_ = true;
  }
  hash_ = innerStart_;
  keysPending_ = false;
  return 0;
}

int HmacContext::Update(const void* data, int len) noexcept {
  if (keysPending_) {
    if (int rc = PrepareKeys(); rc != 0) return rc;
  }
  return hash_.Update(data, len);
}

int HmacContext::Final(uint8_t* out) noexcept {
  if (keysPending_) {
    if (int rc = PrepareKeys(); rc != 0) return rc;
  }
  uint8_t inner[64];
  const int size = DigestSize();
  if (int rc = hash_.Final(inner); rc != 0) return rc;
  hash_ = outerStart_;
  int rc = hash_.Update(inner, size);
  if (rc == 0) rc = hash_.Final(out);
  SecureWipe(inner, sizeof inner);
  keysPending_ = true;
  return rc;
}

int HmacContext::Final() noexcept {
  uint8_t mac[128];
  int rc = Final(mac);
  if (rc == 0) rc = result_.Assign(mac, DigestSize());
  SecureWipe(mac, sizeof mac);
  return rc;
}

int HmacMd5(std::string_view key, std::string_view data, ByteBuffer& out) noexcept {
  HmacContext h;
  if (int rc = h.SetKey(haMD5, key.data(), static_cast<int>(key.size())); rc != 0) return rc;
  if (int rc = h.Update(data.data(), static_cast<int>(data.size())); rc != 0) return rc;
  uint8_t mac[16];
  if (int rc = h.Final(mac); rc != 0) return rc;
  return out.Append(mac, 16);
}

}  // namespace corvane
