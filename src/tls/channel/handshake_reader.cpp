#include "tls/channel/handshake_reader.h"

#include "core/byte_reader.h"
#include "tls/channel/cipher_suite_names.h"
#include "tls/channel/sec_status.h"

namespace corvane::tls {

namespace {

constexpr uint32_t kRecordHandshake = 22;
constexpr uint32_t kClientHello = 1;
constexpr uint32_t kServerHello = 2;
constexpr uint32_t kCertificate = 11;
constexpr uint32_t kExtAlpn = 16;
constexpr uint32_t kExtSupportedVersions = 43;
// Record header (5) + handshake header (4) + version (2) + random (32): the
// session-id length is byte 43.
constexpr size_t kSessionIdAt = 43;
constexpr size_t kMinHelloRecord = 46;

struct VersionWord {
  uint32_t bits;
  const char* word;
};
constexpr VersionWord kVersionWords[] = {
    {kProtTls13, "TLS1.3 "}, {kProtTls12, "TLS1.2 "}, {kProtTls11, "TLS1.1 "},
    {kProtTls10, "TLS1.0 "}, {kProtSsl3, "SSL3.0 "},  {kProtSsl2, "SSL2.0 "},
    {kProtUni, "UNI "},      {kProtPct1, "PCT1 "},
};

}  // namespace

std::string TlsVersionName(uint32_t version) {
  switch (version) {
    case 0x0300: return "SSL3.0";
    case 0x0301: return "TLS1.0";
    case 0x0302: return "TLS1.1";
    case 0x0303: return "TLS1.2";
    case 0x0304: return "TLS1.3";
  }
  return "Unknown (" + std::to_string(version) + ")";
}

std::string EnabledVersionsText(uint32_t protocolBits) {
  std::string text = "Enabling TLS versions: ";
  for (const auto& v : kVersionWords) {
    if (protocolBits & v.bits) text += v.word;
  }
  return text;
}

bool ReadClientHelloSuites(std::string_view record, std::string& text) {
  if (record.size() < kMinHelloRecord) return false;
  ByteReader r(record);
  uint32_t type = 0, hsType = 0, sidLength = 0, listLength = 0;
  r.U8(type);
  r.Skip(4);
  r.U8(hsType);
  if (type != kRecordHandshake || hsType != kClientHello) return false;
  r.Skip(kSessionIdAt - 6);
  if (!r.U8(sidLength) || !r.Skip(sidLength) || !r.U16Be(listLength)) return false;
  ByteReader list;
  if (!r.Sub(listLength, list)) return false;
  text = "Cipher Suites:\r\n    ";
  bool first = true;
  uint32_t suite = 0;
  while (list.U16Be(suite)) {
    if (!first) text += ";\r\n    ";
    text += CipherSuiteText(suite);
    first = false;
  }
  return true;
}

bool StartsWithServerHello(std::string_view input) noexcept {
  return input.size() >= 6 && static_cast<uint8_t>(input[0]) == kRecordHandshake &&
         static_cast<uint8_t>(input[5]) == kServerHello;
}

bool ReadServerHello(std::string_view input, ServerHelloInfo& info) {
  if (!StartsWithServerHello(input) || input.size() < kMinHelloRecord) return false;
  ByteReader r(input);
  uint32_t version = 0, recordLength = 0;
  r.Skip(1);
  r.U16Be(version);
  r.U16Be(recordLength);
  ByteReader record;
  if (!r.Sub(recordLength, record)) return false;
  ByteReader hello;
  uint32_t hsType = 0, sidLength = 0, suite = 0;
  record.U8(hsType);
  if (!record.Vector(3, hello)) return false;
  hello.Skip(2 + 32);
  if (!hello.U8(sidLength) || !hello.Skip(sidLength) || !hello.U16Be(suite)) return false;
  info = {};
  info.version = version;
  info.suite = suite;
  ByteReader extensions;
  if (!hello.Skip(1) || !hello.Vector(2, extensions)) return true;  // no extensions
  uint32_t extType = 0;
  ByteReader ext;
  while (extensions.U16Be(extType) && extensions.Vector(2, ext)) {
    if (extType == kExtAlpn) {
      ByteReader names, name;
      if (!ext.Vector(2, names)) continue;
      while (names.Vector(1, name)) {
        std::string_view n;
        name.Bytes(name.Remaining(), n);
        if (!info.alpn.empty()) info.alpn += ',';
        info.alpn += n;
      }
    } else if (extType == kExtSupportedVersions) {
      // RFC 8446 4.2.1: the server's choice; the record version stays 1.2.
      uint32_t chosen = 0;
      if (ext.U16Be(chosen)) info.version = chosen;
    }
  }
  return true;
}

std::string AlpnWireList(std::string_view setting) {
  std::string wire;
  while (!setting.empty()) {
    size_t comma = setting.find(',');
    std::string_view name = setting.substr(0, comma);
    setting = comma == std::string_view::npos ? std::string_view{} : setting.substr(comma + 1);
    if (name.empty() || name.size() > 255) continue;
    wire += static_cast<char>(name.size());
    wire += name;
  }
  return wire;
}

int FindCertificateInHandshake(std::string_view input, std::string& der) {
  constexpr int kNoCertificate = 281;
  der.clear();
  ByteReader records(input);
  uint32_t type = 0;
  ByteReader record;
  while (records.U8(type)) {
    if (!records.Skip(2) || !records.Vector(2, record)) return kNoCertificate;
    if (type != kRecordHandshake) continue;
    uint32_t hsType = 0;
    ByteReader message;
    while (record.U8(hsType)) {
      if (!record.Vector(3, message)) return kNoCertificate;
      if (hsType != kCertificate) continue;
      ByteReader list, cert;
      if (!message.Vector(3, list) || !list.Vector(3, cert)) return kNoCertificate;
      std::string_view bytes;
      cert.Bytes(cert.Remaining(), bytes);
      der.assign(bytes);
      return 0;
    }
  }
  return 0;
}

namespace {
constexpr uint8_t kApplicationData = 23;
constexpr size_t kMaxRecordLength = 16384 + 2048;  // TLSCiphertext before 1.3, the larger bound

size_t RecordLength(std::string_view input, size_t at) noexcept {
  return (static_cast<uint8_t>(input[at + 3]) << 8) | static_cast<uint8_t>(input[at + 4]);
}
}  // namespace

bool PlausibleRecordStart(std::string_view input) noexcept {
  if (input.empty()) return true;
  auto type = static_cast<uint8_t>(input[0]);
  // change_cipher_spec, alert, handshake, application_data, heartbeat
  if (type < 20 || type > 24) return false;
  if (input.size() >= 2 && static_cast<uint8_t>(input[1]) != 3) return false;
  if (input.size() >= 5) {
    size_t length = RecordLength(input, 0);
    if (length > kMaxRecordLength) return false;
  }
  return true;
}

size_t CompleteRecords(std::string_view input, size_t maxRecords) noexcept {
  size_t at = 0;
  for (size_t n = 0; n < maxRecords; ++n) {
    if (input.size() - at < 5) break;
    size_t length = RecordLength(input, at);
    if (input.size() - at - 5 < length) break;
    at += 5 + length;
  }
  return at;
}

size_t DataRecordRun(std::string_view input, size_t room) noexcept {
  size_t at = CompleteRecords(input, 1);
  if (at == 0 || static_cast<uint8_t>(input[0]) != kApplicationData) return at;
  size_t payload = at - 5;
  for (;;) {
    std::string_view rest = input.substr(at);
    if (rest.empty() || static_cast<uint8_t>(rest[0]) != kApplicationData ||
        !PlausibleRecordStart(rest))
      break;
    size_t n = CompleteRecords(rest, 1);
    if (n == 0 || payload + (n - 5) > room) break;
    payload += n - 5;
    at += n;
  }
  return at;
}

}  // namespace corvane::tls
