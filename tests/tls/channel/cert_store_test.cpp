// Client-certificate stores over the files that tests/servers/tls/client_keys
// makes with openssl, ssh-keygen and puttygen: every store type, every key
// format and encryption, the subject search, and the failure texts.
#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/servers.h"
#include "tls/channel/cert_store.h"
#include "tls/channel/client_cert_selection.h"
#include "tls/channel/tls_credentials.h"
#include "tls/channel/x500_name.h"

namespace corvane::tls {
namespace {

using testing::ReadFile;

EvpPkeyPtr LoadKey(const std::string& path) {
  BioPtr bio(BIO_new_file(path.c_str(), "r"));
  return EvpPkeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

// System stores are named; every other type here names a file.
std::string StorePath(const std::string& dir, const char* name, int type) {
  return type == cstUser || type == cstMachine ? std::string(name) : dir + "/" + name;
}

constexpr const char* kAlice = "CN=alice, O=Example, C=US";

struct LoadCase {
  const char* file;  // under CORVANE_CLIENT_KEYS; "@" prefix: its bytes are the store
  int type;
  const char* password;
  const char* subject;      // what is asked for
  const char* certSubject;  // the held certificate's subject
  const char* key;          // the key file it must equal, "" for no key
  const char* subjectAfter;  // SSLCertSubject after the load
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.file << " as " << c.type; }

class StoreLoads : public ::testing::TestWithParam<LoadCase> {};

TEST_P(StoreLoads, HoldsTheCertificateWithItsKey) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  const LoadCase& c = GetParam();
  setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
  ClientCertSelection sel;
  sel.SetStoreType(c.type);
  sel.SetPassword(c.password);
  std::string store = c.file[0] == '@' ? ReadFile(dir + "/" + (c.file + 1)) : StorePath(dir, c.file, c.type);
  ASSERT_EQ(sel.SetStore(store), 0);
  ASSERT_EQ(sel.SetSubject(c.subject), 0) << sel.FailureMessage();
  auto held = sel.Held();
  ASSERT_TRUE(held && held->certificate);
  EXPECT_EQ(X500NameString(X509_get_subject_name(held->certificate.get())), c.certSubject);
  EXPECT_EQ(sel.Subject(), c.subjectAfter);
  if (*c.key == '\0') {
    EXPECT_FALSE(held->key);
    return;
  }
  EvpPkeyPtr expected = LoadKey(dir + "/" + c.key);
  ASSERT_TRUE(expected && held->key);
  EXPECT_EQ(EVP_PKEY_eq(held->key.get(), expected.get()), 1);
  EXPECT_EQ(X509_check_private_key(held->certificate.get(), held->key.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    KeyFiles, StoreLoads,
    ::testing::Values(
        LoadCase{"alice.pfx", cstPFXFile, "secret", "*", kAlice, "alice.key", kAlice},
        LoadCase{"alice-3des.pfx", cstPFXFile, "secret", "*", kAlice, "alice.key", kAlice},
        // RC2-40 certificate bag, as older exporters write it.
        LoadCase{"alice-legacy.pfx", cstPFXFile, "secret", "*", kAlice, "alice.key", kAlice},
        LoadCase{"alice-nopass.pfx", cstPFXFile, "", "*", kAlice, "alice.key", kAlice},
        LoadCase{"@alice.pfx.b64", cstPFXBlob, "secret", "alice", kAlice, "alice.key", kAlice},
        LoadCase{"@alice.pfx", cstPFXBlob, "secret", kAlice, kAlice, "alice.key", kAlice},
        LoadCase{"alice.pem", cstPEMKeyFile, "", "*", kAlice, "alice.key", "*"},
        LoadCase{"alice-pkcs8.pem", cstPEMKeyFile, "", "*", kAlice, "alice.key", "*"},
        LoadCase{"alice-des3.pem", cstPEMKeyFile, "secret", "*", kAlice, "alice.key", "*"},
        LoadCase{"alice-pbes2.pem", cstPEMKeyFile, "secret", "*", kAlice, "alice.key", "*"},
        LoadCase{"alice-pbes2-sha1.key", cstPEMKeyFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-aes128.key", cstPEMKeyFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-pkcs1.der", cstPEMKeyFile, "", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"@alice.pem", cstPEMKeyBlob, "", "anything", kAlice, "alice.key", "*"},
        LoadCase{"alice.ppk", cstPPKFile, "", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-enc.ppk", cstPPKFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        // Version 3: Argon2id by default, Argon2i on two lanes, none.
        LoadCase{"alice-v3.ppk", cstPPKFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-v3-argon2i.ppk", cstPPKFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-v3-plain.ppk", cstPPKFile, "", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-sshcom.key", cstPEMKeyFile, "", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-sshcom-enc.key", cstPEMKeyFile, "secret", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"bob.pem", cstPEMKeyFile, "", "*", "CN=bob, O=Example, C=US", "bob.key", "*"},
        LoadCase{"bob-pkcs8.pem", cstPEMKeyFile, "", "*", "CN=bob, O=Example, C=US", "bob.key", "*"},
        LoadCase{"bob-des3.key", cstPEMKeyFile, "secret", "*", "CN=pem_cert", "bob.key", "*"},
        LoadCase{"bob.ppk", cstPPKFile, "", "*", "CN=pem_cert", "bob.key", "*"},
        LoadCase{"bob-sshcom.key", cstPPKFile, "", "*", "CN=pem_cert", "bob.key", "*"},
        LoadCase{"alice-private.xml", cstXMLFile, "", "*", "CN=pem_cert", "alice.key", "*"},
        LoadCase{"alice-cert-private.xml", cstXMLFile, "", "*", kAlice, "alice.key", "*"},
        LoadCase{"bob-private.xml", cstXMLFile, "", "*", "CN=pem_cert", "bob.key", "*"},
        LoadCase{"carol.pfx", cstPFXFile, "secret", "carol", "CN=carol, O=Example, C=US", "carol.key",
                 "CN=carol, O=Example, C=US"},
        LoadCase{"alice.p7b", cstP7BFile, "", "ali", kAlice, "", kAlice},
        LoadCase{"MY", cstUser, "", kAlice, kAlice, "alice.key", kAlice},
        LoadCase{"MY", cstUser, "secret", "CAROL", "CN=carol, O=Example, C=US", "carol.key",
                 "CN=carol, O=Example, C=US"}));

// Public-key stores hold a certificate made around the key, and no key.
struct PublicCase {
  const char* file;
  int type;
};
void PrintTo(const PublicCase& c, std::ostream* os) { *os << c.file << " as " << c.type; }

class PublicKeyStores : public ::testing::TestWithParam<PublicCase> {};

TEST_P(PublicKeyStores, CarryTheKeyInATemporaryCertificate) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  ClientCertSelection sel;
  sel.SetStoreType(GetParam().type);
  ASSERT_EQ(sel.SetStore(dir + "/" + GetParam().file), 0);
  ASSERT_EQ(sel.SetSubject("*"), 0) << sel.FailureMessage();
  auto held = sel.Held();
  ASSERT_TRUE(held && held->certificate);
  EXPECT_FALSE(held->key);
  EXPECT_EQ(X500NameString(X509_get_subject_name(held->certificate.get())), "CN=pem_cert");
  EvpPkeyPtr alice = LoadKey(dir + "/alice.key");
  EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(held->certificate.get()), alice.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(Files, PublicKeyStores,
                         ::testing::Values(PublicCase{"alice-pub.pem", cstPublicKeyFile},
                                           PublicCase{"alice-rsapub.pem", cstPublicKeyFile},
                                           PublicCase{"alice-ssh2.pub", cstPublicKeyFile},
                                           PublicCase{"alice.pub", cstSSHPublicKeyFile},
                                           PublicCase{"alice-ssh2.pub", cstSSHPublicKeyFile},
                                           PublicCase{"alice-public.xml", cstXMLFile}));

struct FailCase {
  const char* file;
  int type;
  const char* password;
  const char* subject;
  int code;
  const char* message;
};
void PrintTo(const FailCase& c, std::ostream* os) { *os << c.file << " as " << c.type << " with \"" << c.password << "\""; }

class StoreFailures : public ::testing::TestWithParam<FailCase> {};

TEST_P(StoreFailures, FailWithTheirCodeAndText) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  const FailCase& c = GetParam();
  setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
  ClientCertSelection sel;
  sel.SetStoreType(c.type);
  sel.SetPassword(c.password);
  ASSERT_EQ(sel.SetStore(StorePath(dir, c.file, c.type)), 0);
  EXPECT_EQ(sel.SetSubject(c.subject), c.code);
  EXPECT_EQ(sel.FailureMessage(), c.message);
  EXPECT_EQ(sel.FailureCode(), c.code);
  EXPECT_FALSE(sel.Held());
  EXPECT_EQ(sel.Subject(), "");
}

constexpr const char* kStoreBadPassword = "The certificate store could not be opened (0x80070056).";
constexpr const char* kStoreMissing = "The certificate store could not be opened (0x2).";
constexpr const char* kStoreUndecodable = "The certificate store could not be opened (0x8009310b).";
constexpr const char* kKeyBadPassword = "The certificate could not be decoded (error 0x80070056).";
constexpr const char* kUndecodable = "The certificate could not be decoded (error 0x8009310b).";

INSTANTIATE_TEST_SUITE_P(
    Files, StoreFailures,
    ::testing::Values(
        FailCase{"alice.pfx", cstPFXFile, "wrong", "*", 271, kStoreBadPassword},
        FailCase{"alice.pfx", cstPFXFile, "", "*", 271, kStoreBadPassword},
        FailCase{"missing.pfx", cstPFXFile, "", "*", 271, kStoreMissing},
        FailCase{"truncated.pfx", cstPFXFile, "secret", "*", 271, kStoreUndecodable},
        // 2^31 - 1 rounds would keep the load busy for hours.
        FailCase{"alice-maciter.pfx", cstPFXFile, "secret", "*", 271, kStoreUndecodable},
        FailCase{"alice-certiter.pfx", cstPFXFile, "secret", "*", 271, kStoreUndecodable},
        FailCase{"alice-keyiter.pfx", cstPFXFile, "secret", "*", 271, kStoreUndecodable},
        FailCase{"alice.pfx", cstJKSFile, "secret", "*", -1, "Unknown or unsupported certificate store type."},
        FailCase{"alice.pfx", 18, "secret", "*", -1, "Unknown or unsupported certificate store type."},
        FailCase{"missing.pem", cstPEMKeyFile, "", "*", 2, "The certificate file could not be opened."},
        FailCase{"missing.ppk", cstPPKFile, "", "*", 2, "The certificate file could not be opened."},
        FailCase{"missing.pub", cstSSHPublicKeyFile, "", "*", 2, "The public key file could not be opened."},
        FailCase{"missing.pub", cstPublicKeyFile, "", "*", 2, "The public key file could not be opened."},
        FailCase{"missing.xml", cstXMLFile, "", "*", 2, "The xml key file could not be opened."},
        FailCase{"alice-des3.pem", cstPEMKeyFile, "wrong", "*", 271, kKeyBadPassword},
        FailCase{"alice-aes128.key", cstPEMKeyFile, "wrong", "*", 271, kKeyBadPassword},
        FailCase{"alice-pbes2.pem", cstPEMKeyFile, "wrong", "*", 271, kKeyBadPassword},
        FailCase{"alice-pbes2-aes.key", cstPEMKeyFile, "secret", "*", 1424, "Failed to decode PEM file."},
        FailCase{"carol.pem", cstPEMKeyFile, "", "*", 1424, "Failed to decode PEM file."},
        FailCase{"alice-enc.ppk", cstPPKFile, "wrong", "*", 280, "Could not read PPK key, password incorrect"},
        FailCase{"alice-v3.ppk", cstPPKFile, "wrong", "*", 280, "Could not read PPK key, password incorrect"},
        FailCase{"truncated.ppk", cstPPKFile, "", "*", 280, "Could not read PPK key"},
        FailCase{"alice-sshcom-enc.key", cstPEMKeyFile, "wrong", "*", 280, "Could not read SSH2 encrypted key"},
        FailCase{"ed25519.pub", cstSSHPublicKeyFile, "", "*", 280, "Unknown SSH2 public key type"},
        FailCase{"truncated.pem", cstPEMKeyFile, "", "*", 271, kUndecodable},
        FailCase{"corrupted.pem", cstPEMKeyFile, "", "*", 271, kUndecodable},
        FailCase{"alice.crt", cstXMLFile, "", "*", 280, "Could not read XML certificate."},
        FailCase{"alice.pfx", cstP7BFile, "", "*", 271, kUndecodable},
        FailCase{"Nope", cstUser, "", "*", 271, kStoreMissing},
        FailCase{"../certstores/MY", cstUser, "", "*", 271, kStoreMissing},
        FailCase{"..", cstMachine, "", "*", 271, kStoreMissing},
        FailCase{"Empty", cstUser, "", "*", 271, "The certificate could not be found (0x80092004)."},
        FailCase{"MY", cstUser, "", "CN=nobody", 271, "The certificate could not be found (0x80092004)."}));

TEST(ClientCertSelection, EmptyStoreOrSubjectLoadsNothingWithoutError) {
  ClientCertSelection sel;
  sel.SetStoreType(cstPFXFile);
  EXPECT_EQ(sel.SetStore("/nonexistent.pfx"), 0);  // no subject yet
  EXPECT_EQ(sel.SetSubject(""), 0);
  EXPECT_EQ(sel.SetStore(""), 0);
  EXPECT_EQ(sel.SetSubject("*"), 0);
  EXPECT_FALSE(sel.Held());
  EXPECT_EQ(sel.FailureCode(), 0);
}

TEST(ClientCertSelection, EncodedCertificateTakesTheStoreCopyWithItsKey) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  ClientCertSelection sel;
  sel.SetStoreType(cstPFXFile);
  sel.SetPassword("secret");
  ASSERT_EQ(sel.SetStore(dir + "/alice.pfx"), 0);
  ASSERT_EQ(sel.SetEncoded(ReadFile(dir + "/alice.der")), 0);
  ASSERT_TRUE(sel.Held() && sel.Held()->key);
  EXPECT_EQ(sel.Subject(), kAlice);
  // Read back as PEM with CR LF lines, and as DER.
  EXPECT_EQ(sel.EncodedBytes(), ReadFile(dir + "/alice.der"));
  EXPECT_EQ(sel.Encoded().substr(0, 29), "-----BEGIN CERTIFICATE-----\r\n");
  EXPECT_EQ(sel.SetEncoded("not a certificate"), 280);
  EXPECT_EQ(sel.FailureMessage(), "The certificate could not be decoded (error 0x8009310b).");
}

TEST(ClientCertSelection, TemporaryCertificateIsValidForADay) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  ClientCertSelection sel;
  sel.SetStoreType(cstPPKFile);
  ASSERT_EQ(sel.SetStore(dir + "/alice.ppk"), 0);
  ASSERT_EQ(sel.SetSubject("*"), 0);
  X509* cert = sel.Held()->certificate.get();
  int days = -1, seconds = -1;
  ASSERT_EQ(ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(cert), X509_get0_notAfter(cert)), 1);
  EXPECT_EQ(days * 86400 + seconds, 86400);
  EXPECT_EQ(X509_get_signature_nid(cert), NID_sha1WithRSAEncryption);
  EXPECT_EQ(X500NameString(X509_get_issuer_name(cert)), "CN=pem_cert");
}

// Every file cut short and with a byte flipped, at positions across its
// length: the load either fails with a code and a message, or holds
// alice's own key; it never holds another key or crashes.
TEST(BrokenKeyFiles, FailWithATextOrLoadTheRightKey) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  EvpPkeyPtr alice = LoadKey(dir + "/alice.key");
  struct File {
    const char* name;
    int blobType;
  } files[] = {{"alice.pem", cstPEMKeyBlob},       {"alice-des3.pem", cstPEMKeyBlob},
               {"alice-pbes2.pem", cstPEMKeyBlob}, {"alice.pfx", cstPFXBlob},
               {"alice.ppk", cstPPKBlob},          {"alice-enc.ppk", cstPPKBlob},
               {"alice-sshcom-enc.key", cstPEMKeyBlob}, {"alice-private.xml", cstXMLBlob},
               {"alice-pkcs1.der", cstPEMKeyBlob}};
  for (const auto& f : files) {
    std::string whole = ReadFile(dir + "/" + f.name);
    ASSERT_FALSE(whole.empty()) << f.name;
    size_t step = whole.size() / 37 + 1;
    for (size_t at = 0; at < whole.size(); at += step) {
      for (int variant = 0; variant < 2; ++variant) {
        if (variant == 0 && at == 0) continue;  // no bytes: no store, as asked
        std::string data = whole;
        if (variant == 0) {
          data.resize(at);
        } else {
          data[at] = static_cast<char>(data[at] ^ 0x5A);
        }
        std::unique_ptr<CertStore> store;
        keys::KeyStatus status;
        int rc = OpenCertStore(data, f.blobType, "secret", store, status);
        if (rc != 0 || !store) {
          EXPECT_FALSE(status.message.empty()) << f.name << " at " << at << " variant " << variant;
          continue;
        }
        for (const auto& c : store->certificates) {
          if (c.key) {
            EXPECT_EQ(EVP_PKEY_eq(c.key.get(), alice.get()), 1) << f.name << " at " << at;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvane::tls

namespace corvane::tls {
namespace {

// The machine store lives at a fixed system path, so the test makes a store
// of its own there and removes it again; without the right to write there
// (not root) it is skipped.
class MachineStore : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* keys = std::getenv("CORVANE_CLIENT_KEYS");
    if (keys == nullptr) GTEST_SKIP() << "CORVANE_CLIENT_KEYS not set; run the suite through scripts/test";
    keys_ = keys;
    name_ = "corvane-test-" + std::to_string(getpid());
    std::filesystem::path base = std::filesystem::path(SystemStorePath(true, name_)).parent_path();
    std::error_code ec;
    createdBase_ = !std::filesystem::exists(base, ec);
    std::filesystem::create_directories(base / name_, ec);
    if (ec || access((base / name_).c_str(), W_OK) != 0) GTEST_SKIP() << "cannot write " << base << " (not root)";
    store_ = base / name_;
    std::filesystem::copy_file(keys_ + "/alice.crt", store_ / "10-alice.pem");
    std::filesystem::copy_file(keys_ + "/alice-pkcs1.key", store_ / "11-alice.key");
  }
  void TearDown() override {
    std::error_code ec;
    if (store_.empty()) return;
    std::filesystem::remove_all(store_, ec);
    if (createdBase_) {
      std::filesystem::remove(store_.parent_path(), ec);
      std::filesystem::remove(store_.parent_path().parent_path(), ec);
    }
  }
  std::string keys_, name_;
  std::filesystem::path store_;
  bool createdBase_ = false;
};

TEST_F(MachineStore, IsReadFromTheSystemDirectoryNotTheUsers) {
  setenv("XDG_DATA_HOME", (keys_ + "/xdg").c_str(), 1);
  ClientCertSelection sel;
  sel.SetStoreType(cstMachine);
  ASSERT_EQ(sel.SetStore(name_), 0);
  ASSERT_EQ(sel.SetSubject("alice"), 0) << sel.FailureMessage();
  auto held = sel.Held();
  ASSERT_TRUE(held && held->certificate && held->key);
  EXPECT_EQ(sel.Subject(), kAlice);
  EXPECT_EQ(X509_check_private_key(held->certificate.get(), held->key.get()), 1);

  // The user's store of that name is not the machine's.
  ClientCertSelection user;
  user.SetStoreType(cstUser);
  ASSERT_EQ(user.SetStore(name_), 0);
  EXPECT_EQ(user.SetSubject("alice"), 271);
  EXPECT_EQ(user.FailureMessage(), "The certificate store could not be opened (0x2).");
}

}  // namespace
}  // namespace corvane::tls
