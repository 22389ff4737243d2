// The readers of plain handshake records (client hello suites, server hello,
// the certificate of the early look) over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tls/channel/cert_validation.h"
#include "tls/channel/handshake_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string text;
  corvane::tls::ReadClientHelloSuites(in, text);
  corvane::tls::ServerHelloInfo hello;
  corvane::tls::ReadServerHello(in, hello);
  corvane::tls::CertificateReport report;
  corvane::tls::ParseCertificateFromHandshake(in, report);
  corvane::tls::CompleteRecords(in);
  corvane::tls::AlpnWireList(in);
  return 0;
}
