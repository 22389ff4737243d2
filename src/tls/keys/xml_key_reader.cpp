#include "tls/keys/xml_key_reader.h"

#include <map>

#include "core/base64.h"
#include "tls/keys/der.h"
#include "tls/keys/pem_format.h"
#include "tls/keys/ssh_wire.h"
#include "xml/xml_parser.h"

namespace corvane::keys {

namespace {

constexpr size_t kMaxElements = 4096;  // a key description is a handful

std::string_view LocalName(std::string_view qname) {
  size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

// The elements of the document by local name, first occurrence, with their
// text, and the text of each one's children by local name.
struct ElementIndex {
  struct Entry {
    std::string text;
    std::map<std::string, std::string, std::less<>> children;
  };
  std::map<std::string, Entry, std::less<>> byName;
  size_t visited = 0;

  void Walk(XmlParser& xml, const std::string& path) {
    if (++visited > kMaxElements || xml.SetXPath(path) != 0) return;
    std::string name(LocalName(xml.XElement()));
    Entry entry;
    entry.text = xml.XText();
    int count = xml.XChildCount();
    for (int i = 0; i < count; ++i) {
      std::string childName, childText;
      if (xml.XChildName(i, childName) == 0 && xml.XChildXText(i, childText) == 0) {
        entry.children.emplace(std::string(LocalName(childName)), childText);
      }
    }
    byName.emplace(name, std::move(entry));
    for (int i = 0; i < count; ++i) {
      Walk(xml, (path == "/" ? std::string("/[") : path + "/[") + std::to_string(i + 1) + "]");
    }
  }
};

// The base64 value of a child, as unsigned big-endian bytes.
bool Value(const ElementIndex::Entry& e, std::string_view name, std::string& out) {
  auto it = e.children.find(name);
  return it != e.children.end() && Base64Decode(it->second, out) && !StripZeros(out).empty();
}

void PutBitCountMpint(std::string& out, std::string_view bigEndian) {
  std::string_view v = StripZeros(bigEndian);
  size_t bits = v.size() * 8;
  if (!v.empty()) {
    for (auto top = static_cast<uint8_t>(v[0]); (top & 0x80) == 0; top = static_cast<uint8_t>(top << 1)) --bits;
  }
  for (int i = 3; i >= 0; --i) out += static_cast<char>(bits >> (8 * i));
  out.append(v);
}

std::string Armour(std::string_view label, std::string_view bytes) {
  return "---- BEGIN " + std::string(label) + " ----\r\n" + Base64Encode(bytes, Base64Options{true, false}) +
         "\r\n---- END " + std::string(label) + " ----";
}

// The SSH2 private-key container with cipher "none" (magic 0x3F6FF9EB).
std::string Container(std::string_view keyType, std::string_view payload) {
  std::string body;
  PutSshString(body, payload);
  std::string rest;
  PutSshString(rest, keyType);
  PutSshString(rest, "none");
  PutSshString(rest, body);
  std::string out = "\x3F\x6F\xF9\xEB";
  uint32_t total = static_cast<uint32_t>(8 + rest.size());
  for (int i = 3; i >= 0; --i) out += static_cast<char>(total >> (8 * i));
  return out + rest;
}

}  // namespace

int ReadXmlKey(std::string_view text, std::string& out, bool& isPrivate, bool& isPublic, KeyStatus& status) {
  out.clear();
  isPrivate = isPublic = false;
  XmlParser xml;
  xml.SetBuildDOM(true);
  xml.Reset();
  if (xml.Feed(text) != 0) return status.Fail(KeyError::XmlKey);
  ElementIndex index;
  index.Walk(xml, "/[1]");
  auto append = [&out](const std::string& piece) {
    if (!out.empty()) out += "\r\n";
    out += piece;
  };
  auto find = [&index](std::string_view name) {
    auto it = index.byName.find(name);
    return it == index.byName.end() ? nullptr : &it->second;
  };
  if (const auto* cert = find("X509Certificate"); cert != nullptr && !TrimText(cert->text).empty()) {
    append("-----BEGIN CERTIFICATE-----\r\n" + std::string(TrimText(cert->text)) + "\r\n-----END CERTIFICATE-----");
  }
  if (const auto* rsa = find("RSAKeyValue")) {
    std::string n, e, d, p, q, u;
    if (Value(*rsa, "Modulus", n) && Value(*rsa, "Exponent", e)) {
      if (Value(*rsa, "D", d) && Value(*rsa, "P", p) && Value(*rsa, "Q", q) && Value(*rsa, "InverseQ", u)) {
        std::string payload;
        for (const std::string* v : {&e, &d, &n, &u, &p, &q}) PutBitCountMpint(payload, *v);
        append(Armour("SSH2 ENCRYPTED PRIVATE KEY",
                      Container("if-modn{sign{rsa-pkcs1-sha1},encrypt{rsa-pkcs1v2-oaep}}", payload)));
        isPrivate = true;
      } else {
        std::string blob;
        PutSshString(blob, "ssh-rsa");
        PutSshMpint(blob, e);
        PutSshMpint(blob, n);
        append(Armour("SSH2 PUBLIC KEY", blob));
        isPublic = true;
      }
    }
  } else if (const auto* dsa = find("DSAKeyValue")) {
    std::string p, q, g, y, x;
    if (Value(*dsa, "P", p) && Value(*dsa, "Q", q) && Value(*dsa, "G", g) && Value(*dsa, "Y", y)) {
      if (Value(*dsa, "X", x)) {
        std::string payload(4, '\0');
        for (const std::string* v : {&p, &g, &q, &y, &x}) PutBitCountMpint(payload, *v);
        append(Armour("SSH2 ENCRYPTED PRIVATE KEY", Container("dl-modp{sign{dsa-nist-sha1},dh{plain}}", payload)));
        isPrivate = true;
      } else {
        std::string blob;
        PutSshString(blob, "ssh-dss");
        for (const std::string* v : {&p, &q, &g, &y}) PutSshMpint(blob, *v);
        append(Armour("SSH2 PUBLIC KEY", blob));
        isPublic = true;
      }
    }
  }
  if (out.empty()) return status.Fail(KeyError::XmlKey);
  return 0;
}

}  // namespace corvane::keys
