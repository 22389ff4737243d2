#include "tls/keys/pem_format.h"

#include "core/base64.h"
#include "core/config_item.h"
#include "crypto/cipher_context.h"
#include "crypto/crypto_errors.h"
#include "crypto/key_derivation.h"

namespace corvane::keys {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// End of the line starting at pos: the LF, or a CR not followed by LF.
size_t LineEnd(std::string_view s, size_t pos) {
  for (size_t i = pos; i < s.size(); ++i) {
    if (s[i] == '\n') return i;
    if (s[i] == '\r' && (i + 1 >= s.size() || s[i + 1] != '\n')) return i;
  }
  return s.size();
}

struct PemHeaders {
  std::string cipher;  // DEK-Info cipher name
  std::string iv;      // DEK-Info IV, decoded
};

// RFC 1421 4.6 headers ("Name: value", a trailing backslash continues the
// value, as in RFC 4716 3.3); returns the offset where the base64 begins.
size_t ReadHeaders(std::string_view body, PemHeaders& headers, bool& ok) {
  size_t pos = 0;
  ok = true;
  while (body.find(':', pos) != std::string_view::npos) {
    size_t colon = body.find(':', pos);
    std::string_view name = TrimText(body.substr(pos, colon - pos));
    size_t v = colon;
    while (v < body.size() && (body[v] == ':' || body[v] == ' ')) ++v;
    std::string value;
    for (;;) {
      size_t end = v;
      while (end < body.size() && body[end] != '\r' && body[end] != '\n') ++end;
      std::string_view piece = body.substr(v, end - v);
      bool continued = !piece.empty() && piece.back() == '\\';
      if (continued) piece.remove_suffix(1);
      value.append(piece);
      v = end;
      if (v < body.size() && body[v] == '\r') ++v;
      if (v < body.size() && body[v] == '\n') ++v;
      if (!continued || v >= body.size()) break;
    }
    pos = v;
    if (EqualsNoCase(name, "DEK-Info")) {
      std::string_view val = TrimText(value);
      size_t comma = val.find(',');
      if (comma == std::string_view::npos) {
        headers.cipher.assign(val);
      } else {
        headers.cipher.assign(TrimText(val.substr(0, comma)));
        if (!HexDecode(TrimText(val.substr(comma + 1)), headers.iv)) ok = false;
      }
    }
    // Proc-Type, Comment, Subject and the rest carry nothing we use.
  }
  return pos;
}

struct CipherSpec {
  int algorithm;
  int mode;
  int keyLength;
};

bool CipherByName(std::string_view name, CipherSpec& spec) {
  if (EqualsNoCase(name, "DES-EDE3-CBC") || EqualsNoCase(name, "3des-cbc")) {
    spec = {caTripleDES, cmCBC, 24};
  } else if (EqualsNoCase(name, "DES-EDE3-CFB")) {
    spec = {caTripleDES, cmCFB, 24};
  } else if (EqualsNoCase(name, "AES-128-CBC")) {
    spec = {caAES, cmCBC, 16};
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string_view TrimText(std::string_view s) noexcept {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string WritePem(std::string_view label, std::string_view der) {
  std::string out = "-----BEGIN ";
  out.append(label).append("-----\r\n");
  out += Base64Encode(der, Base64Options{true, false});
  out.append("\r\n-----END ").append(label).append("-----");
  return out;
}

int ReadPem(std::string_view label, std::string_view data, std::string_view password, bool armourRequired,
            std::string& out, KeyStatus& status, bool* encrypted) {
  if (encrypted != nullptr) *encrypted = false;
  for (char c : data) {
    if (static_cast<uint8_t>(c) > 0x7F) {
      out.assign(data);
      return 0;
    }
  }
  std::string_view body = data;
  size_t at = data.find(label);
  if (at != std::string_view::npos) {
    size_t lineEnd = LineEnd(data, at);
    std::string_view rest = data.substr(lineEnd < data.size() ? lineEnd + 1 : lineEnd);
    size_t dashes = rest.find("---");
    if (dashes == std::string_view::npos || rest.find(label, dashes) == std::string_view::npos) {
      return status.Fail(KeyError::NotPem);
    }
    body = rest.substr(0, dashes);
  } else if (armourRequired) {
    return status.Fail(KeyError::NotPem);
  }
  PemHeaders headers;
  bool headersOk = true;
  size_t start = ReadHeaders(body, headers, headersOk);
  if (!headersOk || !Base64Decode(body.substr(start), out)) return status.Fail(KeyError::NotPem);
  if (headers.cipher.empty()) return 0;
  if (encrypted != nullptr) *encrypted = true;
  return DecryptWithPassword(headers.cipher, password, headers.iv, false, out, status);
}

int PasswordKey(std::string_view password, std::string_view salt, int keyLength, bool ssh2, std::string& key) {
  // The derivation asks for 8 bytes more than the key, as the IV would
  // follow it; only the key part is used.
  ByteBuffer out;
  int rc = DeriveKeyFromPassword(1, "MD5", password, salt.data(), static_cast<int>(salt.size()), keyLength + 8,
                                 ssh2, out);
  if (rc != 0) return rc;
  key.assign(out.view().substr(0, static_cast<size_t>(keyLength)));
  return 0;
}

int DecryptWithPassword(std::string_view cipherName, std::string_view password, std::string_view iv,
                        bool ssh2, std::string& data, KeyStatus& status) {
  CipherSpec spec{};
  if (!CipherByName(cipherName, spec)) return status.Fail(KeyError::UnknownCipher);
  int block = spec.algorithm == caAES ? 16 : 8;
  std::string useIv = ssh2 ? std::string(static_cast<size_t>(block), '\0') : std::string(iv);
  if (static_cast<int>(useIv.size()) != block) return status.Fail(KeyError::NotPem);
  std::string key;
  int rc = PasswordKey(password, ssh2 ? std::string_view() : std::string_view(useIv).substr(0, 8), spec.keyLength,
                       ssh2, key);
  if (rc != 0) return status.Fail(rc, CryptoErrorText(rc) != nullptr ? CryptoErrorText(rc) : "");
  CipherContext cipher;
  cipher.SetAlgorithm(spec.algorithm);
  cipher.SetMode(spec.mode);
  cipher.SetPadding(cpNone);
  cipher.SetDecrypting(true);
  ByteBuffer plain;
  rc = cipher.SetKey(key.data(), spec.keyLength, useIv.data(), block);
  if (rc == 0) rc = cipher.Decrypt(data.data(), 0, static_cast<int>(data.size()), plain);
  if (rc != 0) return status.Fail(rc, CryptoErrorText(rc) != nullptr ? CryptoErrorText(rc) : "");
  data.assign(plain.view());
  return 0;
}

}  // namespace corvane::keys
