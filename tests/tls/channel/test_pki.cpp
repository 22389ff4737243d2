#include "test_pki.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

namespace corvane::tls::testing {

namespace {

struct CertSpec {
  std::string commonName = "localhost";
  std::string altNames = "DNS:localhost,IP:127.0.0.1,IP:::1";
  long notBeforeDays = -1;
  long notAfterDays = 30;
  bool isCa = false;
  const char* digest = "SHA256";  // of the issuer's signature
};

// Signs with issuerKey under issuer (null issuer: self-signed with key).
X509Ptr MakeCertificate(const CertSpec& spec, EVP_PKEY* key, X509* issuer = nullptr, EVP_PKEY* issuerKey = nullptr) {
  static long serial = 1000;
  X509Ptr cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), spec.notBeforeDays * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), spec.notAfterDays * 86400);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  for (auto [field, value] : {std::pair{"C", "US"}, {"O", "Example"}, {"CN", spec.commonName.c_str()}}) {
    X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value), -1, -1, 0);
  }
  X509* signer = issuer != nullptr ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  auto add = [&](int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, signer, cert.get(), nullptr, nullptr, 0);
    if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str())) {
      X509_add_ext(cert.get(), ext, -1);
      X509_EXTENSION_free(ext);
    }
  };
  add(NID_basic_constraints, spec.isCa ? "critical,CA:TRUE" : "CA:FALSE");
  if (spec.isCa) {
    add(NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    add(NID_ext_key_usage, "serverAuth");
    add(NID_subject_alt_name, spec.altNames);
  }
  add(NID_subject_key_identifier, "hash");
  if (issuer != nullptr) add(NID_authority_key_identifier, "keyid");
  X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_get_digestbyname(spec.digest));
  return cert;
}

}  // namespace

EVP_PKEY* SharedRsaKey() {
  static EvpPkeyPtr key(EVP_RSA_gen(2048));
  return key.get();
}

const TestPki& TestPki::Get() {
  static const TestPki pki = [] {
    TestPki p;
    p.caKey.reset(EVP_EC_gen("P-256"));
    p.otherCaKey.reset(EVP_EC_gen("P-256"));
    p.ca = MakeCertificate({.commonName = "Corvane Test CA", .notAfterDays = 365, .isCa = true}, p.caKey.get());
    p.otherCa = MakeCertificate({.commonName = "Untrusted Test CA", .notAfterDays = 365, .isCa = true},
                                p.otherCaKey.get());
    auto byCa = [&](const CertSpec& spec, EVP_PKEY* key = SharedRsaKey()) {
      return MakeCertificate(spec, key, p.ca.get(), p.caKey.get());
    };
    p.valid = byCa({});
    p.untrusted = MakeCertificate({}, SharedRsaKey(), p.otherCa.get(), p.otherCaKey.get());
    p.selfSigned = MakeCertificate({}, SharedRsaKey());
    p.expired = byCa({.notBeforeDays = -60, .notAfterDays = -1});
    p.otherHost = byCa({.commonName = "www.other.example", .altNames = "DNS:www.other.example"});
    EvpPkeyPtr small(EVP_RSA_gen(1024)), smallEc(EVP_EC_gen("prime192v1"));
    p.rsa1024 = byCa({}, small.get());
    p.ec192 = byCa({}, smallEc.get());
    p.sha1Signed = byCa({.digest = "SHA1"});
    p.md5SelfSigned = MakeCertificate({.digest = "MD5"}, SharedRsaKey());
    p.trust.reset(X509_STORE_new());
    X509_STORE_add_cert(p.trust.get(), p.ca.get());
    return p;
  }();
  return pki;
}

MemoryServer::MemoryServer(const Options& options) : options_(options) {
  if (options.context != nullptr) SSL_CTX_up_ref(options.context);
  ctx_.reset(options.context != nullptr ? options.context : SSL_CTX_new(TLS_server_method()));
  if (options.securityLevel >= 0) SSL_CTX_set_security_level(ctx_.get(), options.securityLevel);
  if (options.minVersion) SSL_CTX_set_min_proto_version(ctx_.get(), options.minVersion);
  if (options.maxVersion) SSL_CTX_set_max_proto_version(ctx_.get(), options.maxVersion);
  SSL_CTX_use_certificate(ctx_.get(), TestPki::Get().valid.get());
  SSL_CTX_use_PrivateKey(ctx_.get(), SharedRsaKey());
  SSL_CTX_set_alpn_select_cb(ctx_.get(), SelectAlpn, this);
  ssl_.reset(SSL_new(ctx_.get()));
  in_ = BIO_new(BIO_s_mem());
  out_ = BIO_new(BIO_s_mem());
  BIO_set_mem_eof_return(in_, -1);
  BIO_set_mem_eof_return(out_, -1);
  SSL_set_bio(ssl_.get(), in_, out_);
  SSL_set_accept_state(ssl_.get());
}

int MemoryServer::SelectAlpn(SSL*, const unsigned char** out, unsigned char* outlen,
                             const unsigned char* in, unsigned inlen, void* arg) {
  auto* self = static_cast<MemoryServer*>(arg);
  self->alpnRan_ = true;
  self->offeredAlpn_.assign(reinterpret_cast<const char*>(in), inlen);
  for (unsigned i = 0; i < inlen; i += 1u + in[i]) {
    if (std::string_view(reinterpret_cast<const char*>(in + i + 1), in[i]) == self->options_.alpnSelect) {
      *out = in + i + 1;
      *outlen = in[i];
      return SSL_TLSEXT_ERR_OK;
    }
  }
  return SSL_TLSEXT_ERR_NOACK;
}

void MemoryServer::Receive(std::string_view bytes) {
  BIO_write(in_, bytes.data(), static_cast<int>(bytes.size()));
  for (;;) {
    int r;
    if (!SSL_is_init_finished(ssl_.get())) {
      r = SSL_do_handshake(ssl_.get());
      if (r == 1) continue;
    } else {
      char buf[16384];
      r = SSL_read(ssl_.get(), buf, sizeof buf);
      if (r > 0) {
        received_.append(buf, static_cast<size_t>(r));
        continue;
      }
    }
    if (SSL_get_error(ssl_.get(), r) != SSL_ERROR_WANT_READ) lastReason_ = ERR_GET_REASON(ERR_peek_last_error());
    ERR_clear_error();
    return;
  }
}

std::string MemoryServer::TakeOutput() {
  char* data = nullptr;
  long n = BIO_get_mem_data(out_, &data);
  std::string out(data, static_cast<size_t>(n > 0 ? n : 0));
  (void)BIO_reset(out_);
  return out;
}

}  // namespace corvane::tls::testing
