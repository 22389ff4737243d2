#include "test_pki.h"

#include <openssl/err.h>
#include <openssl/rsa.h>
#include <openssl/x509v3.h>

namespace corvane::tls::testing {

namespace {

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (ext != nullptr) {
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
}

EvpPkeyPtr NewEcKey() { return EvpPkeyPtr(EVP_EC_gen("P-256")); }

}  // namespace

EVP_PKEY* SharedRsaKey() {
  static EvpPkeyPtr key(EVP_RSA_gen(2048));
  return key.get();
}

X509Ptr MakeCertificate(const CertSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey) {
  static long serial = 1000;
  X509Ptr cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), ++serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), spec.notBeforeDays * 86400);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), spec.notAfterDays * 86400);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  auto add = [&](const char* field, const std::string& value) {
    if (!value.empty()) {
      X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                 reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
    }
  };
  add("C", spec.country);
  add("O", spec.organization);
  add("CN", spec.commonName);
  X509* signer = issuer != nullptr ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  if (spec.isCa) {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert.get(), signer, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
  }
  AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  if (issuer != nullptr) AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid");
  std::string san;
  for (const auto& d : spec.dnsNames) san += (san.empty() ? "" : ",") + std::string("DNS:") + d;
  for (const auto& ip : spec.ipNames) san += (san.empty() ? "" : ",") + std::string("IP:") + ip;
  if (!san.empty()) AddExtension(cert.get(), signer, NID_subject_alt_name, san);
  X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_get_digestbyname(spec.digest));
  return cert;
}

const TestPki& TestPki::Get() {
  static const TestPki pki = [] {
    TestPki p;
    p.caKey = NewEcKey();
    p.otherCaKey = NewEcKey();
    CertSpec ca;
    ca.commonName = "Corvane Test CA";
    ca.isCa = true;
    ca.notAfterDays = 365;
    p.ca = MakeCertificate(ca, p.caKey.get(), nullptr, nullptr);
    ca.commonName = "Untrusted Test CA";
    ca.organization = "Elsewhere";
    p.otherCa = MakeCertificate(ca, p.otherCaKey.get(), nullptr, nullptr);

    CertSpec leaf;
    leaf.dnsNames = {"localhost"};
    leaf.ipNames = {"127.0.0.1", "::1"};
    p.valid = MakeCertificate(leaf, SharedRsaKey(), p.ca.get(), p.caKey.get());
    p.untrusted = MakeCertificate(leaf, SharedRsaKey(), p.otherCa.get(), p.otherCaKey.get());
    p.selfSigned = MakeCertificate(leaf, SharedRsaKey(), nullptr, nullptr);
    CertSpec old = leaf;
    old.notBeforeDays = -60;
    old.notAfterDays = -1;
    p.expired = MakeCertificate(old, SharedRsaKey(), p.ca.get(), p.caKey.get());
    CertSpec other;
    other.commonName = "www.other.example";
    other.dnsNames = {"www.other.example"};
    p.otherHost = MakeCertificate(other, SharedRsaKey(), p.ca.get(), p.caKey.get());
    EvpPkeyPtr small(EVP_RSA_gen(1024));
    p.rsa1024 = MakeCertificate(leaf, small.get(), p.ca.get(), p.caKey.get());
    EvpPkeyPtr smallEc(EVP_EC_gen("prime192v1"));
    p.ec192 = MakeCertificate(leaf, smallEc.get(), p.ca.get(), p.caKey.get());
    CertSpec weak = leaf;
    weak.digest = "SHA1";
    p.sha1Signed = MakeCertificate(weak, SharedRsaKey(), p.ca.get(), p.caKey.get());
    weak.digest = "MD5";
    p.md5SelfSigned = MakeCertificate(weak, SharedRsaKey(), nullptr, nullptr);
    p.trust.reset(X509_STORE_new());
    X509_STORE_add_cert(p.trust.get(), p.ca.get());
    return p;
  }();
  return pki;
}

MemoryServer::MemoryServer(const Options& options) : options_(options) {
  ctx_.reset(SSL_CTX_new(TLS_server_method()));
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
  const std::string& want = self->options_.alpnSelect;
  for (unsigned i = 0; i < inlen; i += 1u + in[i]) {
    if (std::string_view(reinterpret_cast<const char*>(in + i + 1), in[i]) == want) {
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

void MemoryServer::Write(std::string_view plain) {
  SSL_write(ssl_.get(), plain.data(), static_cast<int>(plain.size()));
}

std::string MemoryServer::TakeOutput() {
  std::string out;
  char* data = nullptr;
  long n = BIO_get_mem_data(out_, &data);
  if (n > 0) {
    out.assign(data, static_cast<size_t>(n));
    (void)BIO_reset(out_);
  }
  return out;
}

}  // namespace corvane::tls::testing
