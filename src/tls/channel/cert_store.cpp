#include "tls/channel/cert_store.h"

#include <dirent.h>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/provider.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "core/ascii.h"
#include "core/base64.h"
#include "core/config_item.h"
#include "core/file_ops.h"
#include "tls/channel/key_import.h"
#include "tls/channel/x500_name.h"
#include "tls/keys/pem_format.h"
#include "tls/keys/private_key_reader.h"
#include "tls/keys/public_key_reader.h"
#include "tls/keys/xml_key_reader.h"

namespace corvane::tls {

namespace {

using keys::KeyError;
using keys::KeyStatus;
using Pkcs12Ptr = OsslPtr<PKCS12, PKCS12_free>;
using Pkcs7Ptr = OsslPtr<PKCS7, PKCS7_free>;

// Key and certificate files are small; anything past this is not one.
constexpr size_t kMaxStoreFile = 16 * 1024 * 1024;

// The whole file; 0 or the errno of the failure.
int ReadWholeFile(const std::string& path, std::string& out) {
  FileHandle file;
  if (OpenForRead(path, file) != 0) return errno != 0 ? errno : ENOENT;
  out.clear();
  char buf[16384];
  for (;;) {
    ssize_t n = file.Read(buf, sizeof buf);
    if (n < 0) return errno != 0 ? errno : EIO;
    if (n == 0) return 0;
    if (out.size() + static_cast<size_t>(n) > kMaxStoreFile) return EFBIG;
    out.append(buf, static_cast<size_t>(n));
  }
}

bool IsBase64Text(std::string_view data) {
  for (char c : data) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
              c == '/' || c == '=' || c == ' ' || c == '\r' || c == '\n';
    if (!ok) return false;
  }
  return !data.empty();
}

bool IsBinary(std::string_view data) {
  return std::any_of(data.begin(), data.end(), [](char c) { return static_cast<uint8_t>(c) > 0x7F; });
}

X509Ptr DecodeDer(std::string_view der) {
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  X509Ptr cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  ERR_clear_error();
  return cert;
}

// Every certificate of a PEM file, or the one of a DER file. broken counts
// "CERTIFICATE" armours that did not decode.
std::vector<X509Ptr> ReadCertificates(std::string_view data, int* broken = nullptr) {
  std::vector<X509Ptr> out;
  if (broken != nullptr) *broken = 0;
  KeyStatus ignored;
  std::string der;
  if (IsBinary(data) || data.find("CERTIFICATE") == std::string_view::npos) {
    if (keys::ReadPem("CERTIFICATE", data, {}, false, der, ignored) == 0) {
      if (X509Ptr c = DecodeDer(der)) out.push_back(std::move(c));
    }
    return out;
  }
  for (size_t at = data.find("-----BEGIN CERTIFICATE"); at != std::string_view::npos;
       at = data.find("-----BEGIN CERTIFICATE", at + 1)) {
    X509Ptr c;
    if (keys::ReadPem("CERTIFICATE", data.substr(at), {}, true, der, ignored) == 0) c = DecodeDer(der);
    if (c) {
      out.push_back(std::move(c));
    } else if (broken != nullptr) {
      ++*broken;
    }
  }
  return out;
}

// PKCS #12 import: base64 text is decoded first; the password is tried, and
// when it is empty also no password at all (RFC 7292 B.1 leaves the two
// distinct). The key's certificate comes first, then the others.
// PFX files from older exporters (openssl before 3, other systems' default
// export) protect their certificates with RC2-40 or RC4, which OpenSSL 3
// keeps in its legacy provider. It is loaded into a library context of our
// own, the thread's default only while such a file is parsed, so the host
// process's own use of OpenSSL never sees it. Null when the provider is not
// installed.
OSSL_LIB_CTX* LegacyPfxContext() {
  static OSSL_LIB_CTX* const context = [] {
    OSSL_LIB_CTX* ctx = OSSL_LIB_CTX_new();
    if (ctx == nullptr) return ctx;
    if (OSSL_PROVIDER_load(ctx, "legacy") == nullptr || OSSL_PROVIDER_load(ctx, "default") == nullptr) {
      OSSL_LIB_CTX_free(ctx);
      ERR_clear_error();
      return static_cast<OSSL_LIB_CTX*>(nullptr);
    }
    return ctx;
  }();
  return context;
}

// Key-derivation rounds a PFX may ask for, in its MAC and in each
// password-based encryption inside. OpenSSL runs whatever count the file
// names, so a hostile file would keep a load busy for hours; exporters
// write 2048 to 600000. The PEM and PKCS #8 reader has the same bound.
constexpr long kMaxPfxIterations = 10000000;
// Safe contents nest inside bags; real files use one level.
constexpr int kMaxPfxNesting = 4;

bool IterationsOk(const ASN1_INTEGER* iterations) {
  // ASN1_INTEGER_get gives -1 for a value that does not fit a long.
  const long n = iterations == nullptr ? 1 : ASN1_INTEGER_get(iterations);
  return n >= 1 && n <= kMaxPfxIterations;
}

// PBES2 keeps its rounds in the PBKDF2 parameters, the PKCS #5 v1 and
// PKCS #12 schemes in PBEPARAM. Parameters that do not decode are refused
// here as OpenSSL would refuse them; scrypt's cost is bounded by OpenSSL's
// own memory limit.
bool AlgorithmIterationsOk(const X509_ALGOR* alg) {
  if (alg == nullptr || alg->parameter == nullptr) return false;
  if (OBJ_obj2nid(alg->algorithm) != NID_pbes2) {
    OsslPtr<PBEPARAM, PBEPARAM_free> pbe(
        static_cast<PBEPARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBEPARAM), alg->parameter)));
    return pbe && IterationsOk(pbe->iter);
  }
  OsslPtr<PBE2PARAM, PBE2PARAM_free> pbes2(
      static_cast<PBE2PARAM*>(ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBE2PARAM), alg->parameter)));
  if (!pbes2 || pbes2->keyfunc == nullptr) return false;
  if (OBJ_obj2nid(pbes2->keyfunc->algorithm) != NID_id_pbkdf2) return true;
  if (pbes2->keyfunc->parameter == nullptr) return false;
  OsslPtr<PBKDF2PARAM, PBKDF2PARAM_free> kdf(static_cast<PBKDF2PARAM*>(
      ASN1_TYPE_unpack_sequence(ASN1_ITEM_rptr(PBKDF2PARAM), pbes2->keyfunc->parameter)));
  return kdf && IterationsOk(kdf->iter);
}

void FreeSafeBags(STACK_OF(PKCS12_SAFEBAG)* s) { sk_PKCS12_SAFEBAG_pop_free(s, PKCS12_SAFEBAG_free); }
void FreeSafes(STACK_OF(PKCS7)* s) { sk_PKCS7_pop_free(s, PKCS7_free); }
using SafeBagStackPtr = OsslPtr<STACK_OF(PKCS12_SAFEBAG), FreeSafeBags>;
using Pkcs7StackPtr = OsslPtr<STACK_OF(PKCS7), FreeSafes>;

bool BagIterationsOk(const STACK_OF(PKCS12_SAFEBAG)* bags, int depth) {
  if (depth > kMaxPfxNesting) return false;
  for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
    const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
    switch (PKCS12_SAFEBAG_get_nid(bag)) {
      case NID_pkcs8ShroudedKeyBag: {
        const X509_ALGOR* alg = nullptr;
        X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &alg, nullptr);
        if (!AlgorithmIterationsOk(alg)) return false;
        break;
      }
      case NID_safeContentsBag:
        if (!BagIterationsOk(PKCS12_SAFEBAG_get0_safes(bag), depth + 1)) return false;
        break;
      default: break;
    }
  }
  return true;
}

// Runs step with the default library context, and again with the legacy
// one while step says an older exporter's cipher kept it from finishing.
template <typename Step>
bool WithLegacyFallback(Step step) {
  if (step()) return true;
  OSSL_LIB_CTX* legacy = LegacyPfxContext();
  if (legacy == nullptr) return false;
  ERR_clear_error();
  OSSL_LIB_CTX* previous = OSSL_LIB_CTX_set0_default(legacy);
  bool ok = step();
  OSSL_LIB_CTX_set0_default(previous);
  return ok;
}

// Whether every key derivation PKCS12_parse would run with this password
// stays within the bound. An encrypted safe is opened (after its own
// algorithm is checked) to see the key bags inside; opened is false when
// one did not open, which the legacy context may change.
bool ContentIterationsOk(PKCS12* p12, const char* password, bool& opened) {
  opened = true;
  Pkcs7StackPtr safes(PKCS12_unpack_authsafes(p12));
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7* safe = sk_PKCS7_value(safes.get(), i);
    SafeBagStackPtr bags;
    switch (OBJ_obj2nid(safe->type)) {
      case NID_pkcs7_data: bags.reset(PKCS12_unpack_p7data(safe)); break;
      case NID_pkcs7_encrypted:
        if (safe->d.encrypted == nullptr || safe->d.encrypted->enc_data == nullptr ||
            !AlgorithmIterationsOk(safe->d.encrypted->enc_data->algorithm)) {
          return false;
        }
        bags.reset(PKCS12_unpack_p7encdata(safe, password, password == nullptr ? 0 : -1));
        opened = opened && bags != nullptr;
        break;
      default: break;
    }
    if (bags && !BagIterationsOk(bags.get(), 0)) return false;
  }
  ERR_clear_error();
  return true;
}

bool ParsePfx(PKCS12* p12, const char* password, EVP_PKEY** key, X509** cert, STACK_OF(X509)** ca) {
  return WithLegacyFallback([&] { return PKCS12_parse(p12, password, key, cert, ca) == 1; });
}

int ImportPfx(std::string_view bytes, std::string_view password, CertStore& store, KeyStatus& status) {
  std::string decoded;
  if (IsBase64Text(bytes) && Base64Decode(bytes, decoded)) bytes = decoded;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
  if (!p12) {
    ERR_clear_error();
    return status.Fail(KeyError::StoreOpen, keys::kStatusBadEncoding);
  }
  const ASN1_INTEGER* macIterations = nullptr;
  PKCS12_get0_mac(nullptr, nullptr, nullptr, &macIterations, p12.get());
  if (PKCS12_mac_present(p12.get()) && !IterationsOk(macIterations)) {
    return status.Fail(KeyError::StoreOpen, keys::kStatusBadEncoding);
  }
  std::string pass(password);
  const char* tries[2] = {pass.c_str(), pass.empty() ? nullptr : pass.c_str()};
  bool macFailed = false;
  for (int i = 0; i < (pass.empty() ? 2 : 1); ++i) {
    const char* pw = tries[i];
    if (PKCS12_mac_present(p12.get()) && PKCS12_verify_mac(p12.get(), pw, pw == nullptr ? 0 : -1) != 1) {
      macFailed = true;
      continue;
    }
    bool withinBound = true;
    WithLegacyFallback([&] {
      bool opened = false;
      withinBound = ContentIterationsOk(p12.get(), pw, opened);
      return !withinBound || opened;
    });
    if (!withinBound) return status.Fail(KeyError::StoreOpen, keys::kStatusBadEncoding);
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    STACK_OF(X509)* ca = nullptr;
    if (!ParsePfx(p12.get(), pw, &key, &cert, &ca)) continue;
    EvpPkeyPtr keyOwned(key);
    X509Ptr certOwned(cert);
    X509StackPtr caOwned(ca);
    if (certOwned) store.certificates.push_back({std::move(certOwned), std::move(keyOwned)});
    while (caOwned && sk_X509_num(caOwned.get()) > 0) {
      store.certificates.push_back({X509Ptr(sk_X509_shift(caOwned.get())), nullptr});
    }
    store.pfx = true;
    ERR_clear_error();
    return 0;
  }
  ERR_clear_error();
  return status.Fail(KeyError::StoreOpen, macFailed ? keys::kStatusBadPassword : keys::kStatusBadEncoding);
}

// A file naming a private key we could not read is an error, not a
// certificate without a key.
bool MentionsPrivateKey(std::string_view data) {
  return !IsBinary(data) && (data.find("PRIVATE KEY") != std::string_view::npos ||
                             data.find("PuTTY-User-Key-File-") != std::string_view::npos);
}

// PEM, PPK and SSH2 key files: the certificate(s) in the data, and the
// private key bound to the first; a key without a certificate gets the
// temporary one.
int ConvertKeyFile(std::string_view data, std::string_view password, CertStore& store, KeyStatus& status) {
  int broken = 0;
  std::vector<X509Ptr> certs = ReadCertificates(data, &broken);
  // A certificate that does not decode is never replaced by the temporary one.
  if (broken > 0) return status.Fail(KeyError::KeyDataDecode, keys::kStatusBadEncoding);
  keys::PrivateKeyBlob blob;
  KeyStatus keyStatus;
  int rc = keys::ReadPrivateKey(data, password, blob, keyStatus);
  bool noKey = rc == keys::KeyErrorCode(KeyError::NotPem);
  if (rc != 0 && (!noKey || MentionsPrivateKey(data))) {
    status = keyStatus;
    return status.code;
  }
  if (noKey && certs.empty()) return status.Fail(KeyError::KeyDataDecode, keys::kStatusBadEncoding);
  EvpPkeyPtr key;
  if (!noKey) {
    key = ImportKeyBlob(blob);
    if (!key) return status.Fail(KeyError::ImportKey, keys::kStatusInvalidData);
  }
  if (certs.empty()) {
    X509Ptr temporary = MakeTemporaryCertificate("CN=pem_cert", key.get(), status);
    if (!temporary) return status.code;
    certs.push_back(std::move(temporary));
  }
  store.certificates.push_back({std::move(certs[0]), std::move(key)});
  for (size_t i = 1; i < certs.size(); ++i) store.certificates.push_back({std::move(certs[i]), nullptr});
  store.pfx = true;
  return 0;
}

int ConvertPublicKey(std::string_view data, bool ssh, CertStore& store, KeyStatus& status) {
  std::string spki;
  int rc = keys::ReadPublicKey(data, ssh, spki, status);
  // The PEM store types also take the SSH forms.
  if (rc == keys::KeyErrorCode(KeyError::NotPem) && !ssh) rc = keys::ReadPublicKey(data, true, spki, status);
  if (rc != 0) return rc;
  EvpPkeyPtr key = ImportPublicKeyInfo(spki);
  if (!key) return status.Fail(KeyError::NotPem);
  X509Ptr cert = MakeTemporaryCertificate("CN=pem_cert", key.get(), status);
  if (!cert) return status.code;
  store.certificates.push_back({std::move(cert), nullptr});
  return 0;
}

int ImportP7b(std::string_view data, CertStore& store, KeyStatus& status) {
  std::string der;
  KeyStatus pem;
  if (keys::ReadPem("PKCS7", data, {}, false, der, pem) != 0) {
    return status.Fail(KeyError::KeyDataDecode, keys::kStatusBadEncoding);
  }
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(der.size())));
  ERR_clear_error();
  STACK_OF(X509)* certs = p7 && PKCS7_type_is_signed(p7.get()) && p7->d.sign != nullptr ? p7->d.sign->cert : nullptr;
  if (certs == nullptr) return status.Fail(KeyError::KeyDataDecode, keys::kStatusBadEncoding);
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    store.certificates.push_back({ShareX509(sk_X509_value(certs, i)), nullptr});
  }
  return 0;
}

// A system store: a directory of PEM, DER and PFX files, read in name
// order. A key file's key goes to the certificate it matches; files that
// hold nothing readable are passed over, as a store passes over foreign
// entries.
int OpenSystemStore(bool machine, std::string_view name, std::string_view password, CertStore& store,
                    KeyStatus& status) {
  // A store name is one folder under the store root: "../x" or "a/b" must not
  // reach files outside it.
  if (name == "." || name == ".." || name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
    return status.Fail(KeyError::StoreOpen, static_cast<uint32_t>(ENOENT));
  }
  std::string dir = SystemStorePath(machine, name);
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return status.Fail(KeyError::StoreOpen, static_cast<uint32_t>(errno));
  std::vector<std::string> files;
  while (dirent* e = readdir(d)) {
    std::string file = dir + "/" + e->d_name;
    struct stat st {};
    if (e->d_name[0] != '.' && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(file);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  std::vector<EvpPkeyPtr> keys;
  for (const std::string& file : files) {
    std::string data;
    if (ReadWholeFile(file, data) != 0) continue;
    auto endsWith = [&file](std::string_view ext) {
      return file.size() > ext.size() && EqualsNoCase(std::string_view(file).substr(file.size() - ext.size()), ext);
    };
    KeyStatus ignored;
    if (endsWith(".pfx") || endsWith(".p12")) {
      CertStore pfx;
      if (ImportPfx(data, password, pfx, ignored) == 0) {
        for (auto& c : pfx.certificates) store.certificates.push_back(std::move(c));
      }
      continue;
    }
    for (X509Ptr& c : ReadCertificates(data)) store.certificates.push_back({std::move(c), nullptr});
    keys::PrivateKeyBlob blob;
    if (keys::ReadPrivateKey(data, password, blob, ignored) == 0) {
      if (EvpPkeyPtr k = ImportKeyBlob(blob)) keys.push_back(std::move(k));
    }
  }
  for (auto& entry : store.certificates) {
    for (auto& k : keys) {
      if (!entry.key && k && X509_check_private_key(entry.certificate.get(), k.get()) == 1) {
        entry.key = ShareKey(k.get());
        break;
      }
    }
  }
  ERR_clear_error();
  return 0;
}

// Reads the file behind a file store type; the failure carries errno as
// its code with the type's own text.
int ReadStoreFile(std::string_view path, int type, std::string& data, KeyStatus& status) {
  int err = ReadWholeFile(std::string(path), data);
  if (err == 0) return 0;
  switch (type) {
    case cstPEMKeyFile:
    case cstPPKFile:
      return status.Fail(err, "The certificate file could not be opened.");
    case cstPublicKeyFile:
    case cstSSHPublicKeyFile:
      return status.Fail(err, "The public key file could not be opened.");
    case cstXMLFile:
      return status.Fail(err, "The xml key file could not be opened.");
    default:
      return status.Fail(KeyError::StoreOpen, static_cast<uint32_t>(err));
  }
}

}  // namespace

std::string SystemStorePath(bool machine, std::string_view name) {
  std::string base;
  if (machine) {
    base = "/etc/corvane/certstores";
  } else {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg != nullptr && *xdg == '/') {
      base = xdg;
    } else {
      base = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    base += "/corvane/certstores";
  }
  return base + "/" + std::string(name);
}

int OpenCertStore(std::string_view bytes, int type, std::string_view password, std::unique_ptr<CertStore>& store,
                  KeyStatus& status) {
  store.reset();
  status = KeyStatus{};
  if (type < cstUser || type > cstXMLBlob || type == cstJKSFile || type == cstJKSBlob) {
    return status.Fail(KeyError::StoreType);
  }
  if (bytes.empty()) return 0;
  auto opened = std::make_unique<CertStore>();
  std::string fileData;
  int rc = 0;
  switch (static_cast<CertStoreType>(type)) {
    case cstUser:
    case cstMachine:
      rc = OpenSystemStore(type == cstMachine, bytes, password, *opened, status);
      break;
    case cstPFXFile:
    case cstPEMKeyFile:
    case cstPPKFile:
    case cstPublicKeyFile:
    case cstSSHPublicKeyFile:
    case cstP7BFile:
    case cstXMLFile:
      rc = ReadStoreFile(bytes, type, fileData, status);
      if (rc != 0) break;
      // Every file type reads as the blob type after it, except SSH public keys.
      return OpenCertStore(fileData, type == cstSSHPublicKeyFile ? cstSSHPublicKeyBlob : type + 1, password, store,
                           status);
    case cstPFXBlob:
      rc = ImportPfx(bytes, password, *opened, status);
      break;
    case cstPEMKeyBlob:
    case cstPPKBlob:
      rc = ConvertKeyFile(bytes, password, *opened, status);
      break;
    case cstPublicKeyBlob:
    case cstSSHPublicKeyBlob:
      rc = ConvertPublicKey(bytes, type == cstSSHPublicKeyBlob, *opened, status);
      break;
    case cstP7BBlob:
      rc = ImportP7b(bytes, *opened, status);
      break;
    case cstXMLBlob: {
      std::string text;
      bool isPrivate = false, isPublic = false;
      rc = keys::ReadXmlKey(bytes, text, isPrivate, isPublic, status);
      if (rc != 0) break;
      if (isPublic && !isPrivate) {
        rc = ConvertPublicKey(text, true, *opened, status);
      } else {
        rc = ConvertKeyFile(text, password, *opened, status);
      }
      break;
    }
    case cstJKSFile:
    case cstJKSBlob:
      rc = status.Fail(KeyError::StoreType);
      break;
  }
  if (rc != 0) return rc;
  store = std::move(opened);
  return 0;
}

int FindCertificate(const CertStore& store, std::string_view subject, KeyStatus& status) {
  const auto& certs = store.certificates;
  // 1. The encoded name, exactly.
  if (!subject.empty() && subject[0] != '*') {
    X509NamePtr wanted(X500NameFromString(subject));
    ERR_clear_error();
    if (wanted) {
      for (size_t i = 0; i < certs.size(); ++i) {
        if (X509_NAME_cmp(X509_get_subject_name(certs[i].certificate.get()), wanted.get()) == 0) {
          return static_cast<int>(i);
        }
      }
    }
  }
  // 2. "*", or the rendered subject, exactly.
  for (size_t i = 0; i < certs.size(); ++i) {
    if (subject == "*") {
      if (!store.pfx || certs[i].key) return static_cast<int>(i);
      continue;
    }
    if (X500NameString(X509_get_subject_name(certs[i].certificate.get())) == subject) return static_cast<int>(i);
  }
  // 3. The rendered subject containing the text, ignoring case.
  std::string needle = ToLowerAscii(subject);
  if (subject != "*" && !needle.empty()) {
    for (size_t i = 0; i < certs.size(); ++i) {
      if (ToLowerAscii(X500NameString(X509_get_subject_name(certs[i].certificate.get()))).find(needle) !=
          std::string::npos) {
        return static_cast<int>(i);
      }
    }
  }
  status.Fail(KeyError::NotFound, keys::kStatusNotFound);
  return -1;
}

X509Ptr ReadCertificate(std::string_view data, KeyStatus& status) {
  std::vector<X509Ptr> certs = ReadCertificates(data);
  if (certs.empty()) {
    status.Fail(KeyError::CertificateDecode, keys::kStatusBadEncoding);
    return nullptr;
  }
  return std::move(certs[0]);
}

}  // namespace corvane::tls
