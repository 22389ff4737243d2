#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace corvane::tls {

struct ClientCertificate;
struct CertStore;

// The client certificate the caller chose: the store settings
// (SSLCertStoreType, SSLCertStore, SSLCertStorePassword, SSLCertSubject),
// the certificate found with them and the private key bound to it, or one
// handed over as SSLCertEncoded. Setting the store or the subject loads at
// once; type and password are only stored, so they are set first.
//
// Codes of the setters: 0; -1 unsupported store type; 271 the store cannot
// be opened, the certificate is not found, or key data does not decode; an
// errno value for a key file that cannot be read; 1424, 280, 2001 from the
// key readers. The message of the last failure is kept for the TLS channel,
// which reports it when it needs the certificate.
class ClientCertSelection {
 public:
  ClientCertSelection();
  ~ClientCertSelection();
  ClientCertSelection(const ClientCertSelection&) = delete;
  ClientCertSelection& operator=(const ClientCertSelection&) = delete;

  int StoreType() const noexcept { return storeType_; }
  void SetStoreType(int type) noexcept { storeType_ = type; }
  const std::string& Store() const noexcept { return store_; }
  int SetStore(std::string_view store);
  const std::string& Password() const noexcept { return password_; }
  void SetPassword(std::string_view password) { password_.assign(password); }
  const std::string& Subject() const noexcept { return subject_; }
  int SetSubject(std::string_view subject);

  // The held certificate as PEM text, and as DER; empty without one.
  std::string Encoded() const;
  std::string EncodedBytes() const;
  // A certificate in PEM, base64 or DER; empty releases the held one. When
  // a store is set, the store's copy (with its key) is taken and its
  // subject becomes the subject.
  int SetEncoded(std::string_view encoded);

  // The certificate for the next handshake; null when none is held.
  std::shared_ptr<const ClientCertificate> Held() const noexcept { return held_; }
  // The failure of the last load (0 when it succeeded or nothing was asked).
  int FailureCode() const noexcept { return failureCode_; }
  const std::string& FailureMessage() const noexcept { return failureMessage_; }

 private:
  int LoadClientCertificate();
  int Fail(int code, std::string message);
  void Hold(const CertStore& store, int index);

  int storeType_ = 0;  // cstUser
  std::string store_ = "MY";
  std::string password_;
  std::string subject_;
  std::shared_ptr<const ClientCertificate> held_;
  int failureCode_ = 0;
  std::string failureMessage_;
};

}  // namespace corvane::tls
