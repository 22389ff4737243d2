// Client-certificate stores over the files that tests/servers/tls/client_keys
// makes with openssl, ssh-keygen and puttygen.
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
constexpr const char* kBob = "CN=bob, O=Example, C=US";
constexpr const char* kCarol = "CN=carol, O=Example, C=US";
constexpr const char* kMade = "CN=pem_cert";  // the temporary certificate around a bare key

// A store that loads holds a certificate for keyFile's key (and the key, withKey).
TEST(ClientCertSelection, StoresHoldTheCertificateWithItsKey) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
  struct Case {
    const char* file;  // under CORVANE_CLIENT_KEYS; "@" prefix: its bytes are the store
    int type;
    const char* password;
    const char* subject;      // what is asked for
    const char* certSubject;  // the held certificate's subject
    const char* keyFile;
    bool withKey;
    const char* subjectAfter;  // SSLCertSubject after the load
  } cases[] = {
      {"alice.pfx", cstPFXFile, "secret", "*", kAlice, "alice.key", true, kAlice},
      // RC2-40 certificate bag, as older exporters write it.
      {"alice-legacy.pfx", cstPFXFile, "secret", "*", kAlice, "alice.key", true, kAlice},
      {"@alice.pfx.b64", cstPFXBlob, "secret", "alice", kAlice, "alice.key", true, kAlice},
      {"carol.pfx", cstPFXFile, "secret", "carol", kCarol, "carol.key", true, kCarol},
      {"alice.pem", cstPEMKeyFile, "", "*", kAlice, "alice.key", true, "*"},
      {"alice-des3.pem", cstPEMKeyFile, "secret", "*", kAlice, "alice.key", true, "*"},
      {"alice-pbes2.pem", cstPEMKeyFile, "secret", "*", kAlice, "alice.key", true, "*"},
      {"alice-pbes2-sha1.key", cstPEMKeyFile, "secret", "*", kMade, "alice.key", true, "*"},
      {"alice-aes128.key", cstPEMKeyFile, "secret", "*", kMade, "alice.key", true, "*"},
      {"alice-pkcs1.der", cstPEMKeyFile, "", "*", kMade, "alice.key", true, "*"},
      {"@alice.pem", cstPEMKeyBlob, "", "anything", kAlice, "alice.key", true, "*"},
      {"alice.ppk", cstPPKFile, "", "*", kMade, "alice.key", true, "*"},
      {"alice-enc.ppk", cstPPKFile, "secret", "*", kMade, "alice.key", true, "*"},
      // Version 3: Argon2id by default, Argon2i on two lanes.
      {"alice-v3.ppk", cstPPKFile, "secret", "*", kMade, "alice.key", true, "*"},
      {"alice-v3-argon2i.ppk", cstPPKFile, "secret", "*", kMade, "alice.key", true, "*"},
      {"alice-sshcom-enc.key", cstPEMKeyFile, "secret", "*", kMade, "alice.key", true, "*"},
      {"bob.pem", cstPEMKeyFile, "", "*", kBob, "bob.key", true, "*"},
      {"bob-pkcs8.pem", cstPEMKeyFile, "", "*", kBob, "bob.key", true, "*"},
      {"bob-des3.key", cstPEMKeyFile, "secret", "*", kMade, "bob.key", true, "*"},
      {"bob.ppk", cstPPKFile, "", "*", kMade, "bob.key", true, "*"},
      {"bob-sshcom.key", cstPPKFile, "", "*", kMade, "bob.key", true, "*"},
      {"alice-private.xml", cstXMLFile, "", "*", kMade, "alice.key", true, "*"},
      {"alice-cert-private.xml", cstXMLFile, "", "*", kAlice, "alice.key", true, "*"},
      {"bob-private.xml", cstXMLFile, "", "*", kMade, "bob.key", true, "*"},
      {"alice.p7b", cstP7BFile, "", "ali", kAlice, "alice.key", false, kAlice},
      {"MY", cstUser, "", kAlice, kAlice, "alice.key", true, kAlice},
      {"MY", cstUser, "secret", "CAROL", kCarol, "carol.key", true, kCarol},
      // Public-key stores carry the key in a temporary certificate.
      {"alice-pub.pem", cstPublicKeyFile, "", "*", kMade, "alice.key", false, "*"},
      {"alice-ssh2.pub", cstPublicKeyFile, "", "*", kMade, "alice.key", false, "*"},
      {"alice-rsapub.pem", cstPublicKeyFile, "", "*", kMade, "alice.key", false, "*"},
      {"alice.pub", cstSSHPublicKeyFile, "", "*", kMade, "alice.key", false, "*"},
      {"alice-ssh2.pub", cstSSHPublicKeyFile, "", "*", kMade, "alice.key", false, "*"},
      {"alice-public.xml", cstXMLFile, "", "*", kMade, "alice.key", false, "*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " as " + std::to_string(c.type));
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
    EvpPkeyPtr expected = LoadKey(dir + "/" + c.keyFile);
    EXPECT_EQ(EVP_PKEY_eq(X509_get0_pubkey(held->certificate.get()), expected.get()), 1);
    ASSERT_EQ(held->key != nullptr, c.withKey);
    if (c.withKey) {
      EXPECT_EQ(EVP_PKEY_eq(held->key.get(), expected.get()), 1);
    }
    if (std::string_view(c.certSubject) != kMade) continue;
    // The temporary certificate: its own issuer, SHA-1, valid for a day.
    X509* cert = held->certificate.get();
    int days = -1, seconds = -1;
    ASSERT_EQ(ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(cert), X509_get0_notAfter(cert)), 1);
    EXPECT_EQ(days * 86400 + seconds, 86400);
    EXPECT_EQ(X509_get_signature_nid(cert), NID_sha1WithRSAEncryption);
    EXPECT_EQ(X500NameString(X509_get_issuer_name(cert)), kMade);
  }
}

TEST(ClientCertSelection, StoreFailuresCarryTheirCodeAndText) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
  const char* storeBadPassword = "The certificate store could not be opened (0x80070056).";
  const char* storeMissing = "The certificate store could not be opened (0x2).";
  const char* storeUndecodable = "The certificate store could not be opened (0x8009310b).";
  const char* keyBadPassword = "The certificate could not be decoded (error 0x80070056).";
  const char* undecodable = "The certificate could not be decoded (error 0x8009310b).";
  const char* notFound = "The certificate could not be found (0x80092004).";
  struct Case {
    const char* file;
    int type;
    const char* password;
    const char* subject;
    int code;
    const char* message;
  } cases[] = {
      {"alice.pfx", cstPFXFile, "wrong", "*", 271, storeBadPassword},
      {"missing.pfx", cstPFXFile, "", "*", 271, storeMissing},
      {"truncated.pfx", cstPFXFile, "secret", "*", 271, storeUndecodable},
      // 2^31 - 1 rounds would keep the load busy for hours.
      {"alice-maciter.pfx", cstPFXFile, "secret", "*", 271, storeUndecodable},
      {"alice-certiter.pfx", cstPFXFile, "secret", "*", 271, storeUndecodable},
      {"alice-keyiter.pfx", cstPFXFile, "secret", "*", 271, storeUndecodable},
      {"alice.pfx", cstJKSFile, "secret", "*", -1, "Unknown or unsupported certificate store type."},
      {"missing.pem", cstPEMKeyFile, "", "*", 2, "The certificate file could not be opened."},
      {"missing.pub", cstSSHPublicKeyFile, "", "*", 2, "The public key file could not be opened."},
      {"missing.xml", cstXMLFile, "", "*", 2, "The xml key file could not be opened."},
      {"alice-des3.pem", cstPEMKeyFile, "wrong", "*", 271, keyBadPassword},
      {"alice-pbes2-aes.key", cstPEMKeyFile, "secret", "*", 1424, "Failed to decode PEM file."},
      {"carol.pem", cstPEMKeyFile, "", "*", 1424, "Failed to decode PEM file."},
      {"alice-enc.ppk", cstPPKFile, "wrong", "*", 280, "Could not read PPK key, password incorrect"},
      {"truncated.ppk", cstPPKFile, "", "*", 280, "Could not read PPK key"},
      {"alice-sshcom-enc.key", cstPEMKeyFile, "wrong", "*", 280, "Could not read SSH2 encrypted key"},
      {"ed25519.pub", cstSSHPublicKeyFile, "", "*", 280, "Unknown SSH2 public key type"},
      {"truncated.pem", cstPEMKeyFile, "", "*", 271, undecodable},
      {"alice.crt", cstXMLFile, "", "*", 280, "Could not read XML certificate."},
      {"alice.pfx", cstP7BFile, "", "*", 271, undecodable},
      {"Nope", cstUser, "", "*", 271, storeMissing},
      {"../certstores/MY", cstUser, "", "*", 271, storeMissing},
      {"..", cstMachine, "", "*", 271, storeMissing},
      {"Empty", cstUser, "", "*", 271, notFound},
      {"MY", cstUser, "", "CN=nobody", 271, notFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " as " + std::to_string(c.type) + " with \"" + c.password + "\"");
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
}

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

// Every file cut short and with a byte flipped across its length: the load
// fails with a message or holds alice's own key, never another one.
TEST(BrokenKeyFiles, FailWithATextOrLoadTheRightKey) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  EvpPkeyPtr alice = LoadKey(dir + "/alice.key");
  const std::pair<const char*, int> files[] = {
      {"alice.pem", cstPEMKeyBlob}, {"alice-des3.pem", cstPEMKeyBlob}, {"alice-pbes2.pem", cstPEMKeyBlob},
      {"alice.pfx", cstPFXBlob},    {"alice.ppk", cstPPKBlob},         {"alice-enc.ppk", cstPPKBlob},
      {"alice-sshcom-enc.key", cstPEMKeyBlob}, {"alice-private.xml", cstXMLBlob}, {"alice-pkcs1.der", cstPEMKeyBlob}};
  for (const auto& [name, type] : files) {
    const std::string whole = ReadFile(dir + "/" + name);
    ASSERT_FALSE(whole.empty()) << name;
    for (size_t at = 0; at < whole.size(); at += whole.size() / 37 + 1) {
      std::string flipped = whole;
      flipped[at] = static_cast<char>(flipped[at] ^ 0x5A);
      // No bytes at all is no store, as asked: cut only past the start.
      for (const std::string& data : {whole.substr(0, at ? at : whole.size()), flipped}) {
        std::unique_ptr<CertStore> store;
        keys::KeyStatus status;
        if (OpenCertStore(data, type, "secret", store, status) != 0 || !store) {
          EXPECT_FALSE(status.message.empty()) << name << " at " << at;
          continue;
        }
        for (const auto& c : store->certificates) {
          if (c.key) {
            EXPECT_EQ(EVP_PKEY_eq(c.key.get(), alice.get()), 1) << name << " at " << at;
          }
        }
      }
    }
  }
}

// The machine store lives at a fixed system path: the test makes one of its
// own there and removes it again, and is skipped without the right (not root).
TEST(MachineStore, IsReadFromTheSystemDirectoryNotTheUsers) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  namespace fs = std::filesystem;
  const std::string name = "corvane-test-" + std::to_string(getpid());
  const fs::path store = SystemStorePath(true, name);
  std::error_code ec;
  struct Cleanup {
    fs::path store;
    bool base;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(store, ec);
      if (base) fs::remove(store.parent_path(), ec), fs::remove(store.parent_path().parent_path(), ec);
    }
  } cleanup{store, !fs::exists(store.parent_path(), ec)};
  fs::create_directories(store, ec);
  if (ec || access(store.c_str(), W_OK) != 0) GTEST_SKIP() << "cannot write " << store << " (not root)";
  fs::copy_file(dir + "/alice.crt", store / "10-alice.pem");
  fs::copy_file(dir + "/alice-pkcs1.key", store / "11-alice.key");
  setenv("XDG_DATA_HOME", (dir + "/xdg").c_str(), 1);
  ClientCertSelection sel;
  sel.SetStoreType(cstMachine);
  ASSERT_EQ(sel.SetStore(name), 0);
  ASSERT_EQ(sel.SetSubject("alice"), 0) << sel.FailureMessage();
  auto held = sel.Held();
  ASSERT_TRUE(held && held->certificate && held->key);
  EXPECT_EQ(sel.Subject(), kAlice);
  EXPECT_EQ(X509_check_private_key(held->certificate.get(), held->key.get()), 1);
  // The user's store of that name is not the machine's.
  ClientCertSelection user;
  user.SetStoreType(cstUser);
  ASSERT_EQ(user.SetStore(name), 0);
  EXPECT_EQ(user.SetSubject("alice"), 271);
}

}  // namespace
}  // namespace corvane::tls
