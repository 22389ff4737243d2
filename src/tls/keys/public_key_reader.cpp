#include "tls/keys/public_key_reader.h"

#include "core/base64.h"
#include "tls/keys/der.h"
#include "tls/keys/pem_format.h"
#include "tls/keys/ssh_wire.h"

namespace corvane::keys {

namespace {

constexpr std::string_view kOidRsa = "1.2.840.113549.1.1.1";
constexpr std::string_view kOidDsa = "1.2.840.10040.4.1";

// A binary SSH key blob starts with its type name as an SSH string.
bool StartsWithSshString(std::string_view data) {
  ByteReader r(data);
  std::string_view name;
  if (!SshString(r, name) || name.empty() || name.size() > 64) return false;
  for (char c : name) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

int FromSshBlob(std::string_view blob, std::string& spki, KeyStatus& status) {
  ByteReader r(blob);
  std::string_view type;
  if (!SshString(r, type)) return status.Fail(KeyError::NotPem);
  if (type == "ssh-rsa") {
    std::string e, n;
    if (!SshMpint(r, e) || !SshMpint(r, n) || n.empty()) return status.Fail(KeyError::NotPem);
    spki = RsaPublicKeyInfo(n, e);
    return 0;
  }
  if (type == "ssh-dss") {
    std::string p, q, g, y;
    if (!SshMpint(r, p) || !SshMpint(r, q) || !SshMpint(r, g) || !SshMpint(r, y)) {
      return status.Fail(KeyError::NotPem);
    }
    spki = DsaPublicKeyInfo(p, q, g, y);
    return 0;
  }
  return status.Fail(KeyError::SshKeyType);
}

bool RsaFromPkcs1Public(std::string_view der, std::string& spki) {
  DerReader top(der), seq;
  std::string_view n, e;
  if (!top.Sequence(seq) || !seq.Integer(n) || !seq.Integer(e) || !seq.AtEnd() || n.empty()) return false;
  spki = RsaPublicKeyInfo(n, e);
  return true;
}

// SubjectPublicKeyInfo of RSA or DSA, passed on as it stands.
bool CheckPublicKeyInfo(std::string_view der, std::string& spki) {
  DerReader top(der), seq, alg;
  std::string oid;
  std::string_view bits;
  if (!top.Sequence(seq) || !seq.Sequence(alg) || !alg.Oid(oid) || (oid != kOidRsa && oid != kOidDsa) ||
      !seq.Element(kTagBitString, bits) || bits.empty()) {
    return false;
  }
  spki.assign(der.substr(0, top.Position()));
  return true;
}

// The DSA public key of the older tools: SEQUENCE { y, p, q, g }.
bool DsaFromDerPublic(std::string_view der, std::string& spki) {
  DerReader top(der), seq;
  std::string_view y, p, q, g;
  if (!top.Sequence(seq) || !seq.Integer(y) || !seq.Integer(p) || !seq.Integer(q) || !seq.Integer(g) ||
      !seq.AtEnd()) {
    return false;
  }
  spki = DsaPublicKeyInfo(p, q, g, y);
  return true;
}

}  // namespace

std::string RsaPublicKeyInfo(std::string_view n, std::string_view e) {
  std::string alg = DerElement(kTagSequence, DerOid(kOidRsa) + DerElement(kTagNull, {}));
  std::string key = DerElement(kTagSequence, DerInteger(n) + DerInteger(e));
  return DerElement(kTagSequence, alg + DerElement(kTagBitString, std::string(1, '\0') + key));
}

std::string DsaPublicKeyInfo(std::string_view p, std::string_view q, std::string_view g, std::string_view y) {
  std::string params = DerElement(kTagSequence, DerInteger(p) + DerInteger(q) + DerInteger(g));
  std::string alg = DerElement(kTagSequence, DerOid(kOidDsa) + params);
  return DerElement(kTagSequence, alg + DerElement(kTagBitString, std::string(1, '\0') + DerInteger(y)));
}

int ReadPublicKey(std::string_view data, bool ssh, std::string& spki, KeyStatus& status) {
  status = KeyStatus{};
  if (ssh) {
    if (StartsWithSshString(data)) return FromSshBlob(data, spki, status);
    std::string_view text = TrimText(data);
    std::string blob;
    if (text.substr(0, 4) == "ssh-") {
      // "type base64 comment": the type is checked inside the blob.
      size_t gap = text.find_first_of(" \t");
      if (gap == std::string_view::npos) return status.Fail(KeyError::NotPem);
      std::string_view rest = TrimText(text.substr(gap));
      rest = rest.substr(0, rest.find_first_of(" \t\r\n"));
      if (!Base64Decode(rest, blob)) return status.Fail(KeyError::NotPem);
    } else if (ReadPem("SSH2 PUBLIC KEY", text, {}, false, blob, status) != 0) {
      return status.code;
    }
    return FromSshBlob(blob, spki, status);
  }
  std::string der;
  bool binary = false;
  for (char c : data) binary = binary || static_cast<uint8_t>(c) > 0x7F;
  if (binary) {
    if (CheckPublicKeyInfo(data, spki) || RsaFromPkcs1Public(data, spki) || DsaFromDerPublic(data, spki)) {
      return 0;
    }
    return status.Fail(KeyError::NotPem);
  }
  if (data.find("RSA PUBLIC KEY") != std::string_view::npos) {
    if (ReadPem("RSA PUBLIC KEY", data, {}, true, der, status) != 0) return status.code;
    return RsaFromPkcs1Public(der, spki) ? 0 : status.Fail(KeyError::NotPem);
  }
  if (data.find("DSA PUBLIC KEY") != std::string_view::npos) {
    if (ReadPem("DSA PUBLIC KEY", data, {}, true, der, status) != 0) return status.code;
    return DsaFromDerPublic(der, spki) || CheckPublicKeyInfo(der, spki) ? 0 : status.Fail(KeyError::NotPem);
  }
  if (data.find("-----BEGIN PUBLIC KEY") != std::string_view::npos) {
    if (ReadPem("PUBLIC KEY", data, {}, true, der, status) != 0) return status.code;
    return CheckPublicKeyInfo(der, spki) ? 0 : status.Fail(KeyError::NotPem);
  }
  return status.Fail(KeyError::NotPem);
}

}  // namespace corvane::keys
