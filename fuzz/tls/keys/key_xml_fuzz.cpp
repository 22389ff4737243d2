// XML key values, and the text they are rewritten into read back by the
// key-file readers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tls/keys/private_key_reader.h"
#include "tls/keys/public_key_reader.h"
#include "tls/keys/xml_key_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::keys;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  KeyStatus status;
  std::string text;
  bool isPrivate = false, isPublic = false;
  if (ReadXmlKey(in, text, isPrivate, isPublic, status) != 0) return 0;
  PrivateKeyBlob blob;
  if (isPrivate) ReadPrivateKey(text, "", blob, status);
  std::string spki;
  if (isPublic) ReadPublicKey(text, true, spki, status);
  return 0;
}
