// Throughput of the digests, HMAC and ciphers on 16 KB buffers next to
// OpenSSL's EVP in the same run. Each line runs both sides alternately and
// keeps the best of several rounds timed in thread CPU time, so background
// load hits both alike.
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/params.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/cpu_features.h"
#include "crypto/cipher_context.h"
#include "crypto/hash_context.h"
#include "crypto/hmac_context.h"

namespace {

constexpr int kBufferSize = 16 * 1024;

// CPU time of this thread: the machine is shared, and wall time would
// charge other processes' slices to whichever side happened to be running.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Bytes per CPU second of fn, which processes one buffer per call.
double Rate(const std::function<void()>& fn, double seconds) {
  int calls = 0;
  const double start = ThreadSeconds();
  double now = start;
  do {
    for (int i = 0; i < 16; ++i) fn();
    calls += 16;
    now = ThreadSeconds();
  } while (now - start < seconds);
  return static_cast<double>(calls) * kBufferSize / (now - start);
}

struct Line {
  const char* name;
  std::function<void()> ours;
  std::function<void()> openssl;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane;
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  std::vector<uint8_t> data(kBufferSize);
  for (int i = 0; i < kBufferSize; ++i) data[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 131 + 7);
  const uint8_t key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  const uint8_t iv[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  std::vector<uint8_t> sink(kBufferSize + 64);
  volatile uint8_t guard = 0;

  auto ourHash = [&](int id) {
    auto ctx = std::make_shared<HashContext>(id);
    return [&, ctx] {
      ctx->Update(data.data(), kBufferSize);
      ctx->Final();
      guard = guard + static_cast<uint8_t>(ctx->Digest()[0]);
    };
  };
  auto sslHash = [&](const char* name) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    return [&, md, ctx] {
      unsigned char out[EVP_MAX_MD_SIZE];
      unsigned int len = 0;
      EVP_DigestInit_ex2(ctx, md, nullptr);
      EVP_DigestUpdate(ctx, data.data(), kBufferSize);
      EVP_DigestFinal_ex(ctx, out, &len);
      guard = guard + out[0];
    };
  };

  auto ourHmac = std::make_shared<HmacContext>();
  ourHmac->SetKey(haSHA256, key, 32);
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* macCtx = EVP_MAC_CTX_new(mac);
  char digestName[] = "SHA256";
  OSSL_PARAM macParams[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                            OSSL_PARAM_construct_end()};
  EVP_MAC_init(macCtx, key, 32, macParams);

  auto ourCipher = [&](int algorithm, int keyLength, bool decrypt) {
    auto ctx = std::make_shared<CipherContext>();
    ctx->SetAlgorithm(algorithm);
    ctx->SetMode(cmCBC);
    ctx->SetDecrypting(decrypt);
    ctx->SetKey(key, keyLength, iv, algorithm == caAES ? 16 : 8);
    return [&, ctx, decrypt] {
      ByteBuffer out;  // a fresh output buffer per call, as callers use it
      if (decrypt) ctx->Decrypt(data.data(), 0, kBufferSize, out);
      else ctx->Encrypt(data.data(), 0, kBufferSize, out);
      guard = guard + static_cast<uint8_t>(out[0]);
    };
  };
  auto sslCipher = [&](const char* name, bool decrypt) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex2(ctx, cipher, key, iv, decrypt ? 0 : 1, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    return [&, ctx] {
      int len = 0;
      EVP_CipherUpdate(ctx, sink.data(), &len, data.data(), kBufferSize);
      guard = guard + sink[0];
    };
  };

  const Line lines[] = {
      {"MD5", ourHash(haMD5), sslHash("MD5")},
      {"SHA-1", ourHash(haSHA1), sslHash("SHA1")},
      {"SHA-256", ourHash(haSHA256), sslHash("SHA256")},
      {"SHA-512", ourHash(haSHA512), sslHash("SHA512")},
      {"HMAC-SHA-256",
       [&] {
         ourHmac->Update(data.data(), kBufferSize);
         ourHmac->Final();
         guard = guard + static_cast<uint8_t>(ourHmac->Result()[0]);
       },
       [&] {
         unsigned char out[64];
         size_t len = 0;
         EVP_MAC_init(macCtx, nullptr, 0, nullptr);
         EVP_MAC_update(macCtx, data.data(), kBufferSize);
         EVP_MAC_final(macCtx, out, &len, sizeof out);
         guard = guard + out[0];
       }},
      {"AES-128-CBC encrypt", ourCipher(caAES, 16, false), sslCipher("AES-128-CBC", false)},
      {"AES-128-CBC decrypt", ourCipher(caAES, 16, true), sslCipher("AES-128-CBC", true)},
      {"3DES-CBC encrypt", ourCipher(caTripleDES, 24, false), sslCipher("DES-EDE3-CBC", false)},
      {"3DES-CBC decrypt", ourCipher(caTripleDES, 24, true), sslCipher("DES-EDE3-CBC", true)},
  };

  const auto& cpu = detail::Cpu();
  std::printf("16 KB buffers, best of 10 alternating rounds, %.2f CPU s per side; MB = 10^6 bytes\n", seconds);
  std::printf("CPU extensions used: SHA %s, AES %s, VAES %s, AVX2 %s; %s\n", cpu.shaNi ? "yes" : "no",
              cpu.aesNi ? "yes" : "no", cpu.vaes ? "yes" : "no", cpu.avx2 ? "yes" : "no",
              OpenSSL_version(OPENSSL_VERSION));
  std::printf("%-22s %12s %12s %8s\n", "algorithm", "ours MB/s", "OpenSSL MB/s", "ratio");
  int below = 0;
  for (const auto& line : lines) {
    double ours = 0, theirs = 0;
    for (int round = 0; round < 10; ++round) {
      ours = std::max(ours, Rate(line.ours, seconds / 10));
      theirs = std::max(theirs, Rate(line.openssl, seconds / 10));
    }
    const double ratio = ours / theirs;
    if (ratio < 0.8) ++below;
    std::printf("%-22s %12.1f %12.1f %7.2fx\n", line.name, ours / 1e6, theirs / 1e6, ratio);
  }
  std::printf("%s\n", below == 0 ? "every line at or above 0.8x OpenSSL" : "some lines below 0.8x OpenSSL");
  return guard == 255 ? 0 : 0;
}
