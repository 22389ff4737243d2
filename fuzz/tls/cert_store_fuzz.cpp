// Certificate stores opened from their own bytes: PFX (plain and base64),
// P7B, key files bound to a certificate (PEM, PPK, XML) and public keys (PEM,
// SSH) carried by a temporary certificate. The first byte picks the store
// type; a store that opens is searched by subject as a client-certificate
// selection would. The corpus is protected with "secret".
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tls/channel/cert_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::tls;
  if (size < 1) return 0;
  constexpr CertStoreType kTypes[] = {cstPFXBlob,       cstPEMKeyBlob, cstPublicKeyBlob, cstSSHPublicKeyBlob,
                                      cstP7BBlob,       cstPPKBlob,    cstXMLBlob};
  const CertStoreType type = kTypes[data[0] % std::size(kTypes)];
  std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);
  std::unique_ptr<CertStore> store;
  corvane::keys::KeyStatus status;
  if (OpenCertStore(in, static_cast<int>(type), "secret", store, status) == 0 && store) {
    FindCertificate(*store, "*", status);
    FindCertificate(*store, "alice", status);
  }
  ReadCertificate(in, status);
  return 0;
}
