// The SSH2 private-key container (plain and 3des-cbc with "secret") and the
// SSH public-key forms (binary blob, one-line, RFC 4716 armour).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tls/keys/pem_format.h"
#include "tls/keys/private_key_reader.h"
#include "tls/keys/public_key_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::keys;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  KeyStatus status;
  PrivateKeyBlob blob;
  ReadSsh2PrivateKey(in, "secret", blob, status);
  std::string body;
  if (ReadPem("SSH2 ENCRYPTED PRIVATE KEY", in, {}, true, body, status) == 0) {
    ReadSsh2PrivateKey(body, "secret", blob, status);
  }
  std::string spki;
  ReadPublicKey(in, true, spki, status);
  return 0;
}
