#pragma once

#include <string>
#include <string_view>

namespace corvane::keys {

// RSA private key as big-endian unsigned integers. dp, dq may be empty when
// the file format does not carry them; CompleteRsa derives them.
struct RsaKey {
  std::string n, e, d, p, q, dp, dq, qinv;
};

// DSA key; y may be empty (PKCS #8 carries only x).
struct DsaKey {
  std::string p, q, g, y, x;
};

// The private key a reader produced: the platform private-key blob and
// whether it is a DSS key.
struct PrivateKeyBlob {
  std::string blob;
  bool dss = false;
};

// Fills dp = d mod (p-1), dq = d mod (q-1) when missing and checks that
// n = p * q and that every part is present; false for an inconsistent key
// (the sign of a wrong password in formats without a MAC we check).
bool CompleteRsa(RsaKey& key);
// Fills y = g^x mod p when missing; false when a part is absent or y does
// not match x.
bool CompleteDsa(DsaKey& key);

// Private-key blob, all integers little-endian: type 7, version 2, reserved,
// algorithm 0xA400, "RSA2", bit length, public exponent, then modulus,
// prime 1, prime 2, exponent 1, exponent 2, coefficient, private exponent.
// The bit length is (8 x modulus bytes + 8) rounded down to a multiple of
// 512, never less than the modulus needs. False when e does not fit 32 bits
// or an integer outgrows its field.
bool BuildRsaBlob(const RsaKey& key, std::string& blob);
// DSS version 3 private-key blob: type 7, version 3, reserved, algorithm
// 0x2200, "DSS4", bit lengths of p, q and J = (p-1)/q, a seed structure
// marked unused (counter 0xFFFFFFFF), then p, q, g, J, y, x.
bool BuildDssBlob(const DsaKey& key, std::string& blob);

// The reverse, for the layer that hands the blob to the TLS library.
bool ParseRsaBlob(std::string_view blob, RsaKey& key);
bool ParseDssBlob(std::string_view blob, DsaKey& key);

}  // namespace corvane::keys
