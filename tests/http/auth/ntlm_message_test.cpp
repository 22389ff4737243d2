#include "http/auth/ntlm_message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>
#include <string>

#include "core/base64.h"

namespace corvane::auth {
namespace {

std::string Hex(std::string_view bytes) { return HexEncode(bytes); }
std::string Hex(const uint8_t* p, size_t n) { return HexEncode(std::string_view(reinterpret_cast<const char*>(p), n)); }
std::string Unhex(std::string_view hex) {
  std::string out;
  EXPECT_TRUE(HexDecode(hex, out)) << hex;
  return out;
}

void PutU16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutU32(std::string& s, uint32_t v) {
  PutU16(s, v & 0xFFFF);
  PutU16(s, v >> 16);
}
uint32_t U32At(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}
uint16_t U16At(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}
std::string Utf16(std::string_view ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

// A challenge message laid out as servers send it: header, target name,
// target information. Fields can be overridden to make hostile messages.
struct Challenge {
  std::string signature{"NTLMSSP", 8};
  uint32_t type = 2;
  uint32_t flags = 0x00088205;  // UNICODE | REQUEST_TARGET | NTLM | EXTENDED_SESSIONSECURITY
  std::string challenge = Unhex("0123456789abcdef");
  std::string targetName = Utf16("DOMAIN");
  std::string targetInfo;
  // Overrides of the security buffers: {length, offset}.
  int64_t nameLength = -1, nameOffset = -1, infoLength = -1, infoOffset = -1;

  std::string Bytes() const {
    std::string m = signature;
    PutU32(m, type);
    const uint32_t nameAt = 56;
    const uint32_t infoAt = nameAt + static_cast<uint32_t>(targetName.size());
    uint32_t nl = nameLength >= 0 ? static_cast<uint32_t>(nameLength) : static_cast<uint32_t>(targetName.size());
    PutU16(m, nl);
    PutU16(m, nl);
    PutU32(m, nameOffset >= 0 ? static_cast<uint32_t>(nameOffset) : nameAt);
    PutU32(m, flags);
    m += challenge;
    m += std::string(8, '\0');
    uint32_t il = infoLength >= 0 ? static_cast<uint32_t>(infoLength) : static_cast<uint32_t>(targetInfo.size());
    PutU16(m, il);
    PutU16(m, il);
    PutU32(m, infoOffset >= 0 ? static_cast<uint32_t>(infoOffset) : infoAt);
    m += Unhex("0601b11d0000000f");
    return m + targetName + targetInfo;
  }
};

std::string AvPair(uint16_t id, std::string_view value) {
  std::string s;
  PutU16(s, id);
  PutU16(s, static_cast<uint32_t>(value.size()));
  return s + std::string(value);
}

void FixedClientChallenge(NtlmState& state, std::string_view hex) {
  std::string bytes = Unhex(hex);
  state.clientChallenge = [bytes](uint8_t c[8]) { std::memcpy(c, bytes.data(), 8); };
}

TEST(NtlmStart, SplitsTheUserName) {
  struct Case {
    const char* name;
    const char* user;
    const char* domain;
  } cases[] = {
      {"CORP\\alice", "alice", "CORP"}, {"alice@CORP", "alice", "CORP"},
      {"alice", "alice", ""},           {"", "", ""},
      {"CORP\\a@b", "a@b", "CORP"},     {"a@b\\c", "a", "b\\c"},
      {"\\alice", "alice", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmState state;
    state.user.Assign("old");
    state.domain.Assign("old");
    StartNtlm(state, "NTLM", c.name, "pw");
    EXPECT_EQ(state.user.view(), c.user);
    EXPECT_EQ(state.domain.view(), c.domain);
    EXPECT_EQ(state.password.view(), "pw");
  }
}

TEST(NtlmNegotiate, CarriesFlagsVersionAndOemDomain) {
  NtlmState state;
  StartNtlm(state, "NTLM", "CORP\\alice", "pw");
  ByteBuffer out;
  ASSERT_EQ(NtlmToken(state, "host", {}, out), 0);
  EXPECT_EQ(Hex(out.view()),
            "4e544c4d5353500001000000"  // signature, type 1
            "079208a2"                  // 0xA2089207: base flags + OEM_DOMAIN_SUPPLIED
            "0400040028000000"          // domain: 4 bytes at 40
            "0000000000000000"          // no workstation
            "000000000000000f"          // version
            "434f5250");                // "CORP" in single-byte characters
  // The stored flags never carry the supplied-domain bit.
  EXPECT_EQ(state.flags, kNtlmClientFlags);

  StartNtlm(state, "NTLM", "alice", "pw");
  out.Clear();
  ASSERT_EQ(NtlmToken(state, "host", {}, out), 0);
  EXPECT_EQ(Hex(out.view()),
            "4e544c4d5353500001000000"
            "078208a2"
            "0000000000000000"
            "0000000000000000"
            "000000000000000f");
}

// Known answers of the published NTLM documentation.
TEST(NtlmResponses, MatchPublishedVectors) {
  struct HashCase {
    const char* password;
    const char* hash;
  } hashes[] = {
      {"Password", "a4f49c406510bdcab6824ee7c30fd852"},  // NTLMv1 examples, NTOWFv1
      {"SecREt01", "cd06ca7c7e10c99b1d33b7485a2ed808"},  // NTLM2 session response example
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},          // MD4 of the empty string (RFC 1320 A.5)
  };
  for (const auto& h : hashes) {
    uint8_t hash[16];
    NtlmPasswordHash(h.password, hash);
    EXPECT_EQ(Hex(hash, 16), h.hash) << h.password;
  }

  struct SessionCase {
    const char* source;
    const char* password;
    const char* clientChallenge;
    const char* ntResponse;
  } sessions[] = {
      {"NTLMv1 with client challenge example", "Password", "aaaaaaaaaaaaaaaa",
       "7537f803ae367128ca458204bde7caf81e97ed2683267232"},
      {"NTLM2 session response example", "SecREt01", "ffffff0011223344",
       "10d550832d12b2ccb79d5ad1f4eed3df82aca4c3681dd455"},
  };
  for (const auto& s : sessions) {
    SCOPED_TRACE(s.source);
    uint8_t hash[16], lm[24], nt[24];
    NtlmPasswordHash(s.password, hash);
    std::string server = Unhex("0123456789abcdef");
    std::string client = Unhex(s.clientChallenge);
    Ntlm2SessionResponse(hash, reinterpret_cast<const uint8_t*>(server.data()),
                         reinterpret_cast<const uint8_t*>(client.data()), lm, nt);
    EXPECT_EQ(Hex(nt, 24), s.ntResponse);
    EXPECT_EQ(Hex(lm, 24), std::string(s.clientChallenge) + std::string(32, '0'));
  }
}

TEST(NtlmAuthenticate, LaysOutTheWholeMessage) {
  NtlmState state;
  StartNtlm(state, "NTLM", "Domain\\User", "Password");
  FixedClientChallenge(state, "ffffff0011223344");
  ByteBuffer type1;
  ASSERT_EQ(NtlmToken(state, "server", {}, type1), 0);

  Challenge c;
  ByteBuffer out;
  ASSERT_EQ(NtlmToken(state, "server", c.Bytes(), out), 0);

  uint8_t hash[16], lm[24], nt[24];
  NtlmPasswordHash("Password", hash);
  std::string server = Unhex("0123456789abcdef");
  std::string client = Unhex("ffffff0011223344");
  Ntlm2SessionResponse(hash, reinterpret_cast<const uint8_t*>(server.data()),
                       reinterpret_cast<const uint8_t*>(client.data()), lm, nt);

  EXPECT_EQ(Hex(out.view()),
            "4e544c4d5353500003000000"
            "180018005c000000"   // LM response: 24 bytes at 92
            "1800180074000000"   // NT response: 24 bytes at 116
            "0c000c0048000000"   // domain: 12 bytes at 72
            "0800080054000000"   // user: 8 bytes at 84
            "0000000000000000"   // no workstation
            "0000000000000000"   // no session key
            "058288a2"           // client flags less OEM, plus TARGET_INFO
            "000000000000000f"   // version
            "44006f006d00610069006e00"  // "Domain"
            "5500730065007200"          // "User"
            "ffffff0011223344" + std::string(32, '0') + Hex(nt, 24));
}

TEST(NtlmChallengeParser, AdjustsTheClientFlags) {
  struct Case {
    const char* name;
    uint32_t serverFlags;
    uint32_t typeThreeFlags;
  } cases[] = {
      {"unicode drops OEM, request target adds target info", 0x00088205, 0xA2888205},
      {"OEM only keeps both charsets", 0x00000206, 0xA2888207},
      {"NTLM only without extended session security", 0x00000201, 0xA2088205},
      {"extended session security without NTLM", 0x00080001, 0xA2088205},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmState state;
    StartNtlm(state, "NTLM", "u", "p");
    ByteBuffer out;
    ASSERT_EQ(NtlmToken(state, "h", {}, out), 0);
    Challenge challenge;
    challenge.flags = c.serverFlags;
    out.Clear();
    ASSERT_EQ(NtlmToken(state, "h", challenge.Bytes(), out), 0) << state.errorText.view();
    EXPECT_EQ(U32At(out.view(), 60), c.typeThreeFlags);
    EXPECT_EQ(out.size(), 72 + 2 + 48);  // user "u", two responses
  }
}

TEST(NtlmChallengeParser, ReadsTargetNameAndTargetInfo) {
  NtlmState state;
  StartNtlm(state, "NTLM", "u", "p");
  Challenge c;
  c.flags |= kNtlmNegotiateTargetInfo;
  c.targetInfo = AvPair(2, Utf16("DOMAIN")) + AvPair(1, Utf16("SERVER")) + AvPair(0, "") + AvPair(5, "after end");
  ASSERT_EQ(ParseNtlmChallenge(state, c.Bytes()), 0);
  EXPECT_EQ(state.targetName.view(), Utf16("DOMAIN"));
  ASSERT_EQ(state.targetInfo.size(), 2u);
  EXPECT_EQ(state.targetInfo[0].id, 2);
  EXPECT_EQ(state.targetInfo[0].value, Utf16("DOMAIN"));
  EXPECT_EQ(state.targetInfo[1].id, 1);
  EXPECT_EQ(Hex(state.serverChallenge, 8), "0123456789abcdef");
}

TEST(NtlmChallengeParser, RefusesOrTrimsHostileMessages) {
  const std::string kSignature = "Could not process server's NTLM authentication token: invalid signature.";
  const std::string kType = "Could not process server's NTLM authentication token: invalid message type.";
  const std::string kCharset = "Could not process server's NTLM authentication token: no charset negotiated.";
  const std::string kVersion = "Could not process server's NTLM authentication token: no NTLM version negotiated.";
  const std::string kShort = "Could not process server's NTLM authentication token: message too short.";

  struct Case {
    const char* name;
    std::string message;
    int code;
    std::string text;
    std::string targetName;  // when accepted
  };
  auto with = [](auto change) {
    Challenge c;
    change(c);
    return c.Bytes();
  };
  std::vector<Case> cases = {
      {"valid", with([](Challenge&) {}), 0, "", Utf16("DOMAIN")},
      {"signature differs in the last letter", with([](Challenge& c) { c.signature[6] = 'Q'; }), -1, kSignature, ""},
      {"signature without its zero byte", with([](Challenge& c) { c.signature[7] = ' '; }), -1, kSignature, ""},
      {"empty message", "", -1, kSignature, ""},
      {"signature only", std::string("NTLMSSP", 8), -1, kType, ""},
      {"message of type 3", with([](Challenge& c) { c.type = 3; }), -1, kType, ""},
      {"no charset", with([](Challenge& c) { c.flags = 0x00080200; }), -1, kCharset, ""},
      {"no NTLM version", with([](Challenge& c) { c.flags = 0x00000005; }), -1, kVersion, ""},
      {"ends inside the challenge", with([](Challenge&) {}).substr(0, 30), -1, kShort, ""},
      {"ends after the challenge", with([](Challenge& c) { c.flags = 0x00088201; }).substr(0, 32), 0, "", ""},
      {"target name offset past the end", with([](Challenge& c) { c.nameOffset = 0xFFFFFFF0; }), 0, "", ""},
      {"target name longer than the message", with([](Challenge& c) { c.nameLength = 0xFFFF; }), 0, "",
       Utf16("DOMAIN")},
      {"target name straddling the end", with([](Challenge& c) { c.nameOffset = 60; }), 0, "",
       Utf16("DOMAIN").substr(4)},
      {"target info of huge length", with([](Challenge& c) {
         c.flags |= kNtlmNegotiateTargetInfo;
         c.infoLength = 0xFFFF;
         c.infoOffset = 0;
       }), 0, "", Utf16("DOMAIN")},
      {"target info pair longer than the message", with([](Challenge& c) {
         c.flags |= kNtlmNegotiateTargetInfo;
         c.targetInfo = AvPair(2, "ab").substr(0, 2) + std::string("\xff\xff", 2) + "ab";
       }), 0, "", Utf16("DOMAIN")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmState state;
    StartNtlm(state, "NTLM", "u", "p");
    // An exact-size copy so that a sanitizer build sees any overread.
    std::unique_ptr<char[]> exact(new char[c.message.size() + 1]);
    std::memcpy(exact.get(), c.message.data(), c.message.size());
    ByteBuffer out;
    // Straight to the parser: an empty challenge through NtlmToken means "start".
    int rc = ParseNtlmChallenge(state, std::string_view(exact.get(), c.message.size()));
    if (rc == 0) rc = BuildNtlmAuthenticate(state, out);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(state.errorText.view(), c.text);
    if (rc == 0) {
      EXPECT_EQ(state.targetName.view(), c.targetName);
      EXPECT_EQ(out.size(), 72 + 2 + 48);
    }
  }
}

TEST(NtlmAuthenticate, ClientChallengeBytesAreNeverZero) {
  NtlmState state;
  StartNtlm(state, "NTLM", "u", "p");
  for (int round = 0; round < 50; ++round) {
    ByteBuffer out;
    ASSERT_EQ(NtlmToken(state, "h", Challenge().Bytes(), out), 0);
    // The LM response (client challenge) sits after the 2-byte user name.
    for (int i = 0; i < 8; ++i) ASSERT_NE(out.view()[74 + i], '\0');
    EXPECT_EQ(U16At(out.view(), 12), 24);
  }
}

TEST(NtlmAuthenticate, PasswordsAreHashedFromUtf8) {
  // "pässword" in UTF-8 and in one byte per character give the same hash.
  uint8_t a[16], b[16];
  NtlmPasswordHash("p\xc3\xa4ssword", a);
  NtlmPasswordHash("p\xe4ssword", b);
  EXPECT_EQ(Hex(a, 16), Hex(b, 16));
}

}  // namespace
}  // namespace corvane::auth
