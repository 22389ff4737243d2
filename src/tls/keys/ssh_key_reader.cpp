// The SSH2 private-key container and PPK, the two SSH-world private-key
// files a client certificate can come from.
#include <cstdlib>
#include <cstring>

#include "core/base64.h"
#include "core/config_item.h"
#include "core/zero_memory.h"
#include "crypto/argon2.h"
#include "crypto/cipher_context.h"
#include "crypto/sha1.h"
#include "tls/keys/pem_format.h"
#include "tls/keys/private_key_reader.h"
#include "tls/keys/ssh_wire.h"

namespace corvane::keys {

namespace {

constexpr uint32_t kSsh2Magic = 0x3F6FF9EB;

// The container's integers: 32-bit bit count, then the bytes.
bool BitCountMpint(ByteReader& r, std::string& out) {
  uint32_t bits = 0;
  std::string_view v;
  if (!r.U32Be(bits) || !r.Bytes((static_cast<size_t>(bits) + 7) / 8, v)) return false;
  out.assign(StripZeros(v));
  return true;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool IsPositiveCount(std::string_view s, size_t& n) {
  s = TrimText(s);
  if (s.empty() || s.size() > 6) return false;
  n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  return true;
}

// The Argon2 settings of a PPK file; a "Key-Derivation" line makes it used.
struct PpkArgon2 {
  bool named = false;
  bool valid = true;  // every line that was there could be read
  int seen = 0;       // one bit per Argon2- line; all four are needed
  Argon2Params params;
  std::string salt;
};

// "Argon2-Memory" and its kin: a decimal count below 2^32.
bool PpkNumber(std::string_view value, uint32_t& out) {
  value = TrimText(value);
  if (value.empty() || value.size() > 10) return false;
  uint64_t n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  if (n > 0xFFFFFFFFu) return false;
  out = static_cast<uint32_t>(n);
  return true;
}

void TakeArgon2Line(std::string_view name, std::string_view value, PpkArgon2& kdf) {
  value = TrimText(value);
  if (name == "Key-Derivation") {
    kdf.named = true;
    if (value == "Argon2id") {
      kdf.params.type = Argon2Type::argon2id;
    } else if (value == "Argon2i") {
      kdf.params.type = Argon2Type::argon2i;
    } else if (value == "Argon2d") {
      kdf.params.type = Argon2Type::argon2d;
    } else {
      kdf.valid = false;
    }
  } else if (name == "Argon2-Memory") {
    kdf.valid = kdf.valid && PpkNumber(value, kdf.params.memoryKiB);
    kdf.seen |= 1;
  } else if (name == "Argon2-Passes") {
    kdf.valid = kdf.valid && PpkNumber(value, kdf.params.passes);
    kdf.seen |= 2;
  } else if (name == "Argon2-Parallelism") {
    kdf.valid = kdf.valid && PpkNumber(value, kdf.params.lanes);
    kdf.seen |= 4;
  } else if (name == "Argon2-Salt") {
    kdf.valid = kdf.valid && HexDecode(value, kdf.salt);
    kdf.seen |= 8;
  }
}

}  // namespace

std::string PpkKey(std::string_view password) {
  std::string key;
  for (uint8_t i = 0; i < 2; ++i) {
    Sha1 sha;
    const uint8_t counter[4] = {0, 0, 0, i};
    sha.Update(counter, 4);
    sha.Update(password.data(), password.size());
    key.append(reinterpret_cast<const char*>(sha.Final()), 20);
  }
  key.resize(32);
  return key;
}

int ReadSsh2PrivateKey(std::string_view container, std::string_view password, PrivateKeyBlob& out,
                       KeyStatus& status) {
  ByteReader r(container);
  uint32_t magic = 0, total = 0;
  std::string_view keyType, cipherName, body;
  if (!r.U32Be(magic) || magic != kSsh2Magic || !r.U32Be(total) || total == 0 || total > 0x7FFFFFFF ||
      !SshString(r, keyType) || !SshString(r, cipherName) || !SshString(r, body)) {
    return status.Fail(KeyError::Ssh2Key);
  }
  std::string plain(body);
  if (cipherName != "none") {
    if (DecryptWithPassword(cipherName, password, {}, true, plain, status) != 0) {
      return status.code == KeyErrorCode(KeyError::UnknownCipher) ? status.code : status.Fail(KeyError::Ssh2Key);
    }
  }
  ByteReader outer(plain), payload;
  uint32_t length = 0;
  if (!outer.U32Be(length) || !outer.Sub(length, payload)) return status.Fail(KeyError::Ssh2Key);
  if (StartsWith(keyType, "if-modn{sign{rsa")) {
    RsaKey key;
    // e, d, n, then the coefficient and the two primes.
    if (!BitCountMpint(payload, key.e) || !BitCountMpint(payload, key.d) || !BitCountMpint(payload, key.n) ||
        !BitCountMpint(payload, key.qinv) || !BitCountMpint(payload, key.p) || !BitCountMpint(payload, key.q) ||
        !CompleteRsa(key) || !BuildRsaBlob(key, out.blob)) {
      return status.Fail(KeyError::Ssh2Key);
    }
    out.dss = false;
    return 0;
  }
  if (StartsWith(keyType, "dl-modp{sign{dsa")) {
    DsaKey key;
    uint32_t predefined = 0;
    if (!payload.U32Be(predefined) || predefined != 0 || !BitCountMpint(payload, key.p) ||
        !BitCountMpint(payload, key.g) || !BitCountMpint(payload, key.q) || !BitCountMpint(payload, key.y) ||
        !BitCountMpint(payload, key.x) || !CompleteDsa(key) || !BuildDssBlob(key, out.blob)) {
      return status.Fail(KeyError::Ssh2Key);
    }
    out.dss = true;
    return 0;
  }
  return status.Fail(KeyError::Ssh2Key);
}

int ReadPpk(std::string_view text, std::string_view password, PrivateKeyBlob& out, KeyStatus& status) {
  if (!StartsWith(text, "PuTTY-User-Key-File-")) return status.Fail(KeyError::NotPem);
  std::string encryption, publicText, privateText;
  bool haveEncryption = false, havePublic = false, havePrivate = false;
  PpkArgon2 kdf;
  size_t pos = text.find('\n');
  auto nextLine = [&](std::string_view& line) {
    if (pos == std::string_view::npos || pos + 1 > text.size()) return false;
    size_t start = pos + 1;
    pos = text.find('\n', start);
    line = TrimText(text.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
    return start < text.size();
  };
  auto readLines = [&](std::string_view header, std::string& into) {
    size_t count = 0;
    size_t colon = header.find(':');
    if (colon == std::string_view::npos || !IsPositiveCount(header.substr(colon + 1), count)) return false;
    for (size_t i = 0; i < count; ++i) {
      std::string_view line;
      if (!nextLine(line)) return false;
      into.append(line);
    }
    return true;
  };
  std::string_view line;
  while (nextLine(line)) {
    if (StartsWith(line, "Encryption")) {
      size_t colon = line.find(':');
      encryption.assign(TrimText(colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1)));
      haveEncryption = true;
    } else if (StartsWith(line, "Public-Lines")) {
      if (!readLines(line, publicText)) return status.Fail(KeyError::PpkKey);
      havePublic = true;
    } else if (StartsWith(line, "Private-Lines")) {
      if (!readLines(line, privateText)) return status.Fail(KeyError::PpkKey);
      havePrivate = true;
    } else if (StartsWith(line, "Key-Derivation") || StartsWith(line, "Argon2-")) {
      size_t colon = line.find(':');
      if (colon == std::string_view::npos) return status.Fail(KeyError::PpkKey);
      TakeArgon2Line(TrimText(line.substr(0, colon)), line.substr(colon + 1), kdf);
    }
    // Private-MAC and Comment are not checked.
  }
  std::string publicBlob, privateBlob;
  if (!haveEncryption || !havePublic || !havePrivate || !Base64Decode(publicText, publicBlob) ||
      !Base64Decode(privateText, privateBlob)) {
    return status.Fail(KeyError::PpkKey);
  }
  if (EqualsNoCase(encryption, "aes256-cbc")) {
    if (privateBlob.size() % 16 != 0) return status.Fail(KeyError::PpkKey);
    std::string key;
    uint8_t iv[16] = {};
    if (kdf.named) {
      // Argon2 gives the AES key, the IV and the MAC key, in that order
      // (the MAC is not checked).
      uint8_t derived[80];
      kdf.params.password = password;
      kdf.params.salt = kdf.salt;
      if (!kdf.valid || kdf.seen != 15 || !Argon2(kdf.params, derived, sizeof derived)) {
        return status.Fail(KeyError::PpkKey);
      }
      key.assign(reinterpret_cast<const char*>(derived), 32);
      std::memcpy(iv, derived + 32, 16);
      SecureWipe(derived, sizeof derived);
    } else {
      key = PpkKey(password);
    }
    CipherContext cipher;
    cipher.SetAlgorithm(caAES);
    cipher.SetMode(cmCBC);
    cipher.SetPadding(cpNone);
    cipher.SetDecrypting(true);
    ByteBuffer plain;
    int rc = cipher.SetKey(key.data(), 32, iv, 16);
    if (rc == 0) rc = cipher.Decrypt(privateBlob.data(), 0, static_cast<int>(privateBlob.size()), plain);
    if (rc != 0) return status.Fail(KeyError::PpkKey);
    privateBlob.assign(plain.view());
  } else if (!EqualsNoCase(encryption, "none")) {
    return status.Fail(KeyError::PpkKey);
  }
  ByteReader pub(publicBlob), priv(privateBlob);
  std::string_view type;
  if (!SshString(pub, type)) return status.Fail(KeyError::PpkKey);
  if (type == "ssh-rsa") {
    RsaKey key;
    if (!SshMpint(pub, key.e) || !SshMpint(pub, key.n)) return status.Fail(KeyError::PpkKey);
    if (!SshMpint(priv, key.d) || !SshMpint(priv, key.p) || !SshMpint(priv, key.q) || !SshMpint(priv, key.qinv) ||
        !CompleteRsa(key) || !BuildRsaBlob(key, out.blob)) {
      return status.Fail(KeyError::PpkPassword);
    }
    out.dss = false;
    return 0;
  }
  if (type == "ssh-dss") {
    DsaKey key;
    if (!SshMpint(pub, key.p) || !SshMpint(pub, key.q) || !SshMpint(pub, key.g) || !SshMpint(pub, key.y)) {
      return status.Fail(KeyError::PpkKey);
    }
    if (!SshMpint(priv, key.x) || !CompleteDsa(key) || !BuildDssBlob(key, out.blob)) {
      return status.Fail(KeyError::PpkPassword);
    }
    out.dss = true;
    return 0;
  }
  return status.Fail(KeyError::PpkKey);
}

}  // namespace corvane::keys
