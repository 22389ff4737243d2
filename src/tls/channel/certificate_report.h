#pragma once

#include <string>

namespace corvane::tls {

// What is kept of a server certificate after a check.
struct CertificateReport {
  std::string status;   // "OK", "[0x800b0109] A certification chain ..." or "Parsed"
  std::string subject;  // X.500 string form
  std::string issuer;
  std::string encoded;  // PEM text (the chain's blocks joined by CR LF)
};

}  // namespace corvane::tls
