#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/enums.h"
#include "tls/channel/ossl_handles.h"
#include "tls/keys/key_errors.h"

namespace corvane::tls {

// Certificate store types: the public enumeration, under the name and in the
// namespace this layer uses.
using CertStoreType = ::corvane::CertStoreTypes;
using enum ::corvane::CertStoreTypes;

// One certificate of a store, with the private key bound to it (or none).
struct StoredCertificate {
  X509Ptr certificate;
  EvpPkeyPtr key;
};

// An opened store: its certificates in store order. A PFX store searches
// "*" for the first certificate with a key; key-file stores come out as PFX
// stores holding one certificate and its key.
struct CertStore {
  std::vector<StoredCertificate> certificates;
  bool pfx = false;
};

// Where the system stores live: a user store S is
// $XDG_DATA_HOME/corvane/certstores/S (default ~/.local/share/...), a
// machine store /etc/corvane/certstores/S.
std::string SystemStorePath(bool machine, std::string_view name);

// Opens the store named by bytes (a store name, a file name or the store's
// own bytes, by type). Empty bytes: no store and no error (0, store null).
// Codes: 0; -1 unsupported type; 271 the store cannot be opened or its key
// data decoded; an errno value for a key file that cannot be read; the
// key readers' codes (1424, 280, 2001).
int OpenCertStore(std::string_view bytes, int type, std::string_view password, std::unique_ptr<CertStore>& store,
                  keys::KeyStatus& status);

// The three-step search by subject: the encoded name equal to the text
// (unless it begins with "*"), then "*" or the rendered subject equal to the
// text, then the rendered subject containing the text in any case. Returns
// the index or -1 with status 271 "could not be found".
int FindCertificate(const CertStore& store, std::string_view subject, keys::KeyStatus& status);

// A certificate from PEM ("CERTIFICATE" armour, optional) or DER. Null with
// status 280 when there is none that decodes.
X509Ptr ReadCertificate(std::string_view data, keys::KeyStatus& status);

}  // namespace corvane::tls
