#include "tls/channel/client_cert_selection.h"

#include <openssl/x509.h>

#include "tls/channel/cert_store.h"
#include "tls/channel/tls_credentials.h"
#include "tls/channel/x500_name.h"
#include "tls/keys/pem_format.h"

namespace corvane::tls {

namespace {

// Store types whose subject reads "*" after a load: the key files, whose
// certificate is found that way.
bool IsKeyFileType(int type) {
  switch (type) {
    case cstPEMKeyFile: case cstPEMKeyBlob: case cstPPKFile: case cstPPKBlob:
    case cstXMLFile: case cstXMLBlob: case cstPublicKeyFile: case cstPublicKeyBlob:
    case cstSSHPublicKeyBlob: case cstSSHPublicKeyFile:
      return true;
    default:
      return false;
  }
}

std::string Der(X509* cert) {
  unsigned char* der = nullptr;
  int n = i2d_X509(cert, &der);
  std::string out = n > 0 ? std::string(reinterpret_cast<char*>(der), static_cast<size_t>(n)) : std::string();
  OPENSSL_free(der);
  return out;
}

}  // namespace

ClientCertSelection::ClientCertSelection() = default;
ClientCertSelection::~ClientCertSelection() = default;

int ClientCertSelection::Fail(int code, std::string message) {
  failureCode_ = code;
  failureMessage_ = std::move(message);
  return code;
}

int ClientCertSelection::SetStore(std::string_view store) {
  store_.assign(store);
  return LoadClientCertificate();
}

int ClientCertSelection::SetSubject(std::string_view subject) {
  subject_.assign(subject);
  return LoadClientCertificate();
}

void ClientCertSelection::Hold(const CertStore& store, int index) {
  auto cert = std::make_shared<ClientCertificate>();
  const StoredCertificate& found = store.certificates[static_cast<size_t>(index)];
  cert->certificate = ShareX509(found.certificate.get());
  cert->key = ShareKey(found.key.get());
  // The other certificates of a key file or PFX are its chain.
  if (store.pfx && store.certificates.size() > 1) {
    cert->chain.reset(sk_X509_new_null());
    for (size_t i = 0; i < store.certificates.size() && cert->chain; ++i) {
      if (static_cast<int>(i) == index) continue;
      X509* c = store.certificates[i].certificate.get();
      if (sk_X509_push(cert->chain.get(), c) > 0) X509_up_ref(c);
    }
  }
  held_ = std::move(cert);
}

int ClientCertSelection::LoadClientCertificate() {
  held_.reset();
  failureCode_ = 0;
  failureMessage_.clear();
  if (store_.empty() || subject_.empty()) return 0;
  std::unique_ptr<CertStore> store;
  keys::KeyStatus status;
  if (OpenCertStore(store_, storeType_, password_, store, status) != 0) {
    subject_.clear();
    return Fail(status.code, status.message);
  }
  if (!store) return 0;
  if (IsKeyFileType(storeType_)) subject_ = "*";
  int index = FindCertificate(*store, subject_, status);
  if (index < 0) {
    subject_.clear();
    return Fail(status.code, status.message);
  }
  Hold(*store, index);
  if (!IsKeyFileType(storeType_)) {
    subject_ = X500NameString(X509_get_subject_name(held_->certificate.get()));
  }
  return 0;
}

std::string ClientCertSelection::EncodedBytes() const {
  return held_ && held_->certificate ? Der(held_->certificate.get()) : std::string();
}

std::string ClientCertSelection::Encoded() const {
  std::string der = EncodedBytes();
  return der.empty() ? std::string() : keys::WritePem("CERTIFICATE", der);
}

int ClientCertSelection::SetEncoded(std::string_view encoded) {
  held_.reset();
  failureCode_ = 0;
  failureMessage_.clear();
  if (encoded.empty()) return 0;
  keys::KeyStatus status;
  X509Ptr cert = ReadCertificate(encoded, status);
  if (!cert) return Fail(status.code, status.message);
  std::string der = Der(cert.get());
  auto held = std::make_shared<ClientCertificate>();
  held->certificate = std::move(cert);
  held_ = held;
  // With a store set, its copy carries the private key.
  std::unique_ptr<CertStore> store;
  if (store_.empty() || OpenCertStore(store_, storeType_, password_, store, status) != 0 || !store) return 0;
  for (size_t i = 0; i < store->certificates.size(); ++i) {
    if (Der(store->certificates[i].certificate.get()) == der) {
      Hold(*store, static_cast<int>(i));
      subject_ = X500NameString(X509_get_subject_name(held_->certificate.get()));
      break;
    }
  }
  return 0;
}

}  // namespace corvane::tls
