#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::tls {

// Readers of the plain handshake records that pass through the channel, for
// the progress log. They never fail loudly: a record too short for what it
// claims is simply not logged.

// "SSL3.0", "TLS1.0" ... "TLS1.3", else "Unknown (" decimal ")".
std::string TlsVersionName(uint32_t version);

// "Enabling TLS versions: " and the words of the protocol bits, each with a
// trailing blank ("TLS1.2 TLS1.1 TLS1.0 ").
std::string EnabledVersionsText(uint32_t protocolBits);

// The offered cipher suites of a client hello record as
// "Cipher Suites:\r\n    A (0x..);\r\n    B (0x..)". False when the record is
// not a client hello or is shorter than its fields claim.
bool ReadClientHelloSuites(std::string_view record, std::string& text);

struct ServerHelloInfo {
  uint32_t version = 0;  // record version, or the supported_versions choice (TLS 1.3)
  uint32_t suite = 0;
  std::string alpn;      // names of the ALPN extension joined by ","
};

// True when input starts with a server hello record (type 22, message 2)
// whose fields all lie within input.
bool StartsWithServerHello(std::string_view input) noexcept;
bool ReadServerHello(std::string_view input, ServerHelloInfo& info);

// The ALPN protocol list in wire form (RFC 7301 3.1: each name as a length
// byte and the name) from a comma-separated setting; empty names and names
// over 255 bytes are left out.
std::string AlpnWireList(std::string_view setting);

// The DER bytes of the first certificate of the first Certificate message
// (type 11) found in the plain handshake records of input. 0, or 281 when a
// length runs past the data; 0 with der empty when there is none.
int FindCertificateInHandshake(std::string_view input, std::string& der);

// False when input cannot be the start of a TLS record: an unknown content
// type, a version byte other than 3, or a length past the largest record a
// peer may send (RFC 8446 5.2, RFC 5246 6.2.3). Only the bytes present are
// judged, so a header cut short is not refused early. A plain-text answer
// ("HTTP/1.1 400 ...") is caught at its first byte instead of being waited
// on as a record of 20 KB.
bool PlausibleRecordStart(std::string_view input) noexcept;

// Splits input into whole TLS records: the length of the complete records at
// its start (0 when the first is incomplete), counting at most maxRecords.
size_t CompleteRecords(std::string_view input, size_t maxRecords = SIZE_MAX) noexcept;

// The records at the start of input that can be decrypted in one go: the
// first complete record, then the application-data records after it while
// each is complete and plausible and their payloads together stay within
// room. Their plaintext is never longer than their payload, so none of it is
// left in the library; a handshake or alert record always comes alone.
size_t DataRecordRun(std::string_view input, size_t room) noexcept;

}  // namespace corvane::tls
