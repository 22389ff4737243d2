#include "tls/channel/key_import.h"

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rand.h>

#include <string>

#include "core/base64.h"
#include "tls/channel/x500_name.h"

namespace corvane::tls {

namespace {

// The signing key of temporary certificates: a 512-bit RSA private-key blob
// (type 7, version 2, "RSA2"), made for this component. It only makes the
// certificate well formed; the peer cannot chain it to anything.
constexpr std::string_view kSigningKeyBlob =
    "BwIAAACkAABSU0EyAAIAAAEAAQDPMqgZZp4wF44XNHo7sNXzmTViNdZ/8gT7krcVVghf7CBWm4zbVnVbyJLoQv/o/CvZrpA9uK4G"
    "MWNC2YFZGJzXu+hSeM3URGkWrQffq93yUIzaHZ+O1fJBLON/pB/kd/39djYTB9yLyzQfi41FtUCTqbv7n/A7+wUnKHvZq2bD2a2L"
    "fmiJw2sX1k41+LyrqfNnhQlUqkWvQ6V+9lEb8ol+Nbn/fcS/BRw5ZoqQOE4dAudlTzrY0+iWdaijg2BXtwxGWhhN0ZO2QuJHr+EV"
    "tOINhYte5fQP030R05NflTafMzkdUS+5keC42bz8tKNifEcc1xmBFF8ol02xpLw7dEII7ok6zqNfq4yLjyHz+mzq67moFMTmBxdV"
    "kkwgqY+9ymA=";

using BnPtr = OsslPtr<BIGNUM, BN_free>;
using ParamBldPtr = OsslPtr<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using ParamPtr = OsslPtr<OSSL_PARAM, OSSL_PARAM_free>;
using PkeyCtxPtr = OsslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;

BnPtr Bn(std::string_view bigEndian) {
  return BnPtr(BN_bin2bn(reinterpret_cast<const unsigned char*>(bigEndian.data()),
                         static_cast<int>(bigEndian.size()), nullptr));
}

EvpPkeyPtr DsaFromParts(const keys::DsaKey& key) {
  BnPtr p = Bn(key.p), q = Bn(key.q), g = Bn(key.g), y = Bn(key.y), x = Bn(key.x);
  ParamBldPtr bld(OSSL_PARAM_BLD_new());
  if (!p || !q || !g || !y || !x || !bld || !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_FFC_P, p.get()) ||
      !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_FFC_Q, q.get()) ||
      !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_FFC_G, g.get()) ||
      !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_PUB_KEY, y.get()) ||
      !OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_PRIV_KEY, x.get())) {
    return nullptr;
  }
  ParamPtr params(OSSL_PARAM_BLD_to_param(bld.get()));
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr));
  EVP_PKEY* pkey = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &pkey, EVP_PKEY_KEYPAIR, params.get()) != 1) {
    return nullptr;
  }
  return EvpPkeyPtr(pkey);
}

EvpPkeyPtr RsaFromBlob(std::string_view blob) {
  const auto* p = reinterpret_cast<const unsigned char*>(blob.data());
  return EvpPkeyPtr(b2i_PrivateKey(&p, static_cast<long>(blob.size())));
}

}  // namespace

EvpPkeyPtr ImportKeyBlob(const keys::PrivateKeyBlob& blob) {
  EvpPkeyPtr key;
  if (blob.dss) {
    keys::DsaKey parts;
    if (keys::ParseDssBlob(blob.blob, parts)) key = DsaFromParts(parts);
  } else {
    key = RsaFromBlob(blob.blob);
  }
  ERR_clear_error();
  return key;
}

EvpPkeyPtr ImportPublicKeyInfo(std::string_view spki) {
  const auto* p = reinterpret_cast<const unsigned char*>(spki.data());
  EvpPkeyPtr key(d2i_PUBKEY(nullptr, &p, static_cast<long>(spki.size())));
  ERR_clear_error();
  return key;
}

X509Ptr MakeTemporaryCertificate(std::string_view subject, EVP_PKEY* publicKey, keys::KeyStatus& status) {
  using keys::KeyError;
  std::string signingBlob;
  EvpPkeyPtr signer;
  if (Base64Decode(kSigningKeyBlob, signingBlob)) signer = RsaFromBlob(signingBlob);
  if (!signer) {
    status.Fail(KeyError::ImportSigningKey, static_cast<uint32_t>(ERR_get_error()));
    return nullptr;
  }
  X509NamePtr name(X500NameFromString(subject));
  X509Ptr cert(X509_new());
  unsigned char serial[4];
  if (!name || !cert || RAND_bytes(serial, sizeof serial) != 1) {
    status.Fail(KeyError::EncodeCertificate, keys::kStatusInvalidData);
    return nullptr;
  }
  serial[0] &= 0x7F;  // a positive INTEGER
  BnPtr serialBn(BN_bin2bn(serial, sizeof serial, nullptr));
  bool ok = serialBn && X509_set_version(cert.get(), X509_VERSION_3) == 1 &&
            BN_to_ASN1_INTEGER(serialBn.get(), X509_get_serialNumber(cert.get())) != nullptr &&
            X509_set_subject_name(cert.get(), name.get()) == 1 && X509_set_issuer_name(cert.get(), name.get()) == 1 &&
            X509_gmtime_adj(X509_getm_notBefore(cert.get()), 0) != nullptr &&
            X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 60 * 60) != nullptr;
  if (!ok || publicKey == nullptr || X509_set_pubkey(cert.get(), publicKey) != 1) {
    status.Fail(KeyError::ExportPublicKey, keys::kStatusInvalidData);
    ERR_clear_error();
    return nullptr;
  }
  if (X509_sign(cert.get(), signer.get(), EVP_sha1()) <= 0) {
    status.Fail(KeyError::EncodeCertificate, static_cast<uint32_t>(ERR_get_error()));
    ERR_clear_error();
    return nullptr;
  }
  return cert;
}

}  // namespace corvane::tls
