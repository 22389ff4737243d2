// PPK files (unencrypted and aes256-cbc with "secret") over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tls/keys/private_key_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::keys;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  KeyStatus status;
  PrivateKeyBlob blob;
  ReadPpk(in, "secret", blob, status);
  ReadPpk(in, "", blob, status);
  return 0;
}
