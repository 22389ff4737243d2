#pragma once

// Runs a TlsChannel against a MemoryServer the way the connection layer does:
// each step takes what it can of the received bytes and leaves the rest.

#include <string>

#include "test_pki.h"
#include "tls/channel/sec_status.h"
#include "tls/channel/tls_channel.h"

namespace corvane::tls::testing {

struct HandshakeRun {
  uint32_t status = 0;
  std::string clientHello;
  std::string firstServerFlight;  // the server's first output, for the hello readers
  int incompleteSteps = 0;        // steps that found no whole record
};

// chunk: bytes of server output handed over per read (0 = all at once).
// rx: received ciphertext the channel has not consumed yet (extra).
inline HandshakeRun RunHandshake(TlsChannel& channel, std::shared_ptr<TlsCredentials> credentials,
                                 MemoryServer& server, std::string& rx, std::string_view alpn = {},
                                 size_t chunk = 0) {
  HandshakeRun run;
  std::string token;
  run.status = channel.Start(std::move(credentials), "localhost", alpn, token);
  if (run.status != kSecIContinueNeeded) return run;
  run.clientHello = token;
  server.Receive(token);
  for (int round = 0; round < 64; ++round) {
    std::string pending = server.TakeOutput();
    if (run.firstServerFlight.empty()) run.firstServerFlight = pending;
    if (pending.empty()) {
      run.status = 0xFFFFFFFF;  // both sides wait: stuck
      return run;
    }
    for (size_t at = 0; at < pending.size();) {
      size_t n = chunk == 0 ? pending.size() - at : std::min(chunk, pending.size() - at);
      rx.append(pending, at, n);
      at += n;
      for (;;) {
        size_t consumed = 0;
        std::string out;
        uint32_t st = channel.Step(rx, consumed, out);
        rx.erase(0, consumed);
        if (!out.empty()) server.Receive(out);
        if (st == kSecEIncompleteMessage) {
          ++run.incompleteSteps;
          break;
        }
        if (st == kSecEOk || SecFailed(st)) {
          run.status = st;
          rx.append(pending, at, std::string::npos);
          if (st == kSecEOk) rx += server.TakeOutput();  // e.g. TLS 1.3 session tickets
          return run;
        }
        if (rx.empty()) break;
      }
    }
  }
  run.status = 0xFFFFFFFE;
  return run;
}

inline std::shared_ptr<TlsCredentials> Credentials(uint32_t protocols = 0x3FC0, std::string algorithms = {}) {
  CredentialParams p;
  p.enabledProtocols = protocols;
  p.algorithmList = std::move(algorithms);
  std::shared_ptr<TlsCredentials> c;
  TlsCredentials::Acquire(p, c);
  return c;
}

// Decrypts everything in rx; returns the last status.
inline uint32_t DecryptAll(TlsChannel& channel, std::string& rx, std::string& plain, std::string* token = nullptr) {
  uint32_t st = kSecEOk;
  while (!rx.empty()) {
    size_t consumed = 0;
    std::string out;
    st = channel.Decrypt(rx, consumed, plain, out);
    rx.erase(0, consumed);
    if (token != nullptr) *token += out;
    if (st != kSecEOk) break;
  }
  return st;
}

}  // namespace corvane::tls::testing
