#include "http/auth/ntlm_message.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/hex.h"

namespace corvane::auth {
namespace {

using testing::Hex;
using testing::Unhex;

// value in `width` bytes, least significant first.
std::string Le(uint32_t value, int width = 4) {
  std::string s;
  for (int i = 0; i < width; ++i) s.push_back(static_cast<char>(value >> (8 * i)));
  return s;
}
std::string Utf16(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// A challenge message laid out as servers send it: header, target name
// "DOMAIN" at 56, target information after it.
std::string Challenge(uint32_t flags = 0x00088205, std::string_view info = {}) {
  const auto size = static_cast<uint32_t>(info.size());
  return Unhex("4e544c4d53535000020000000c000c0038000000") + Le(flags) + Unhex("0123456789abcdef") +
         std::string(8, '\0') + Le(size, 2) + Le(size, 2) + Le(68) + Unhex("0601b11d0000000f") +
         Utf16("DOMAIN") + std::string(info);
}
// The message with `width` bytes at `at` overwritten, to make hostile ones.
std::string Patched(std::string m, size_t at, uint32_t value, int width = 4) {
  return m.replace(at, width, Le(value, width));
}

TEST(NtlmStart, SplitsTheUserName) {
  struct Case {
    const char *name, *user, *domain;
  } cases[] = {
      {"CORP\\alice", "alice", "CORP"}, {"alice@CORP", "alice", "CORP"}, {"alice", "alice", ""},
      {"CORP\\a@b", "a@b", "CORP"},     {"a@b\\c", "a", "b\\c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmState state;
    state.domain.Assign("old");
    StartNtlm(state, "NTLM", c.name, "pw");
    EXPECT_EQ(state.user.view(), c.user);
    EXPECT_EQ(state.domain.view(), c.domain);
  }
}

// Published examples (the NTLMv1 one is the authenticate message below): the
// NTLM2 session response, and MD4 of the empty string (RFC 1320 A.5).
TEST(NtlmResponses, MatchPublishedVectors) {
  uint8_t hash[16], lm[24], nt[24];
  NtlmPasswordHash("", hash);
  EXPECT_EQ(Hex(hash, 16), "31d6cfe0d16ae931b73c59d7e0c089c0");
  NtlmPasswordHash("SecREt01", hash);
  EXPECT_EQ(Hex(hash, 16), "cd06ca7c7e10c99b1d33b7485a2ed808");
  Ntlm2SessionResponse(hash, testing::Bytes(Unhex("0123456789abcdef")), testing::Bytes(Unhex("ffffff0011223344")),
                       lm, nt);
  EXPECT_EQ(Hex(nt, 24), "10d550832d12b2ccb79d5ad1f4eed3df82aca4c3681dd455");
  // A UTF-8 password is hashed as its characters: "pässword" both ways.
  uint8_t latin1[16];
  NtlmPasswordHash("p\xc3\xa4ssword", hash);
  NtlmPasswordHash("p\xe4ssword", latin1);
  EXPECT_EQ(Hex(hash, 16), Hex(latin1, 16));
}

TEST(NtlmMessages, LayOutTheNegotiateAndAuthenticateMessages) {
  NtlmState state;
  StartNtlm(state, "NTLM", "Domain\\User", "Password");
  state.clientChallenge = [](uint8_t c[8]) { std::memset(c, 0xaa, 8); };
  ByteBuffer type1, out;
  ASSERT_EQ(NtlmToken(state, "server", {}, type1), 0);
  EXPECT_EQ(Hex(type1.view()),
            "4e544c4d5353500001000000"  // signature, type 1
            "079208a2"                  // 0xA2089207: base flags + OEM_DOMAIN_SUPPLIED
            "0600060028000000"          // domain: 6 bytes at 40
            "0000000000000000"          // no workstation
            "000000000000000f"          // version
            "446f6d61696e");            // "Domain" in single-byte characters
  ASSERT_EQ(NtlmToken(state, "server", Challenge(), out), 0);
  EXPECT_EQ(Hex(out.view()),
            "4e544c4d5353500003000000"
            "180018005c000000"          // LM response: 24 bytes at 92
            "1800180074000000"          // NT response: 24 bytes at 116
            "0c000c0048000000"          // domain: 12 bytes at 72
            "0800080054000000"          // user: 8 bytes at 84
            "0000000000000000"          // no workstation
            "0000000000000000"          // no session key
            "058288a2"                  // client flags less OEM, plus TARGET_INFO
            "000000000000000f"          // version
            "44006f006d00610069006e00"  // "Domain"
            "5500730065007200"          // "User"
            "aaaaaaaaaaaaaaaa00000000000000000000000000000000"
            "7537f803ae367128ca458204bde7caf81e97ed2683267232");  // the published example's response
}

TEST(NtlmChallengeParser, ReadsTargetInfoUpToItsEnd) {
  NtlmState state;
  const std::string info = Unhex("02000c00") + Utf16("DOMAIN") + Unhex("01000c00") + Utf16("SERVER") +
                           Unhex("0000 0000 0500 0500") + "after";
  ASSERT_EQ(ParseNtlmChallenge(state, Challenge(0x00088205 | kNtlmNegotiateTargetInfo, info)), 0);
  ASSERT_EQ(state.targetInfo.size(), 2u);
  EXPECT_EQ(state.targetInfo[0].id, 2);
  EXPECT_EQ(state.targetInfo[0].value, Utf16("DOMAIN"));
  EXPECT_EQ(state.targetInfo[1].id, 1);
}

// Rows are the base challenge with flags, a cut or one field patched; an
// accepted one must still give a whole authenticate message.
TEST(NtlmChallengeParser, AdjustsFlagsAndRefusesOrTrimsHostileMessages) {
  const uint32_t withInfo = 0x00088205 | kNtlmNegotiateTargetInfo;
  struct Case {
    const char* name;
    std::string message;
    const char* error;
    std::string targetName = {};  // when accepted
    uint32_t typeThreeFlags = 0;  // when accepted and not 0
  } cases[] = {
      {"signature differs in the last letter", Patched(Challenge(), 6, 'Q', 1), "invalid signature."},
      {"empty message", "", "invalid signature."},
      {"signature only", std::string("NTLMSSP", 8), "invalid message type."},
      {"message of type 3", Patched(Challenge(), 8, 3), "invalid message type."},
      {"no charset", Challenge(0x00080200), "no charset negotiated."},
      {"no NTLM version", Challenge(0x00000005), "no NTLM version negotiated."},
      {"ends inside the challenge", Challenge().substr(0, 30), "message too short."},
      {"OEM only keeps both charsets, request target adds target info", Challenge(0x00000206), "", Utf16("DOMAIN"),
       0xA2888207},
      {"NTLM only, ends after the challenge", Challenge(0x00000201).substr(0, 32), "", "", 0xA2088205},
      {"extended session security without NTLM", Challenge(0x00080001), "", "", 0xA2088205},
      {"target name offset past the end", Patched(Challenge(), 16, 0xFFFFFFF0), ""},
      {"target name longer than the message", Patched(Challenge(), 12, 0xFFFFFFFF), "", Utf16("DOMAIN")},
      {"target name straddling the end", Patched(Challenge(), 16, 60), "", Utf16("DOMAIN").substr(4)},
      {"target info of huge length", Patched(Patched(Challenge(withInfo), 40, 0xFFFFFFFF), 44, 0), "", Utf16("DOMAIN")},
      {"target info pair longer than the message", Challenge(withInfo, Unhex("0200ffff") + "ab"), "", Utf16("DOMAIN")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    NtlmState state;
    StartNtlm(state, "NTLM", "u", "p");
    // An exact-size copy so that a sanitizer build sees any overread.
    const std::vector<char> exact(c.message.begin(), c.message.end());
    ByteBuffer out;
    // Straight to the parser: an empty challenge through NtlmToken means "start".
    int rc = ParseNtlmChallenge(state, std::string_view(exact.data(), exact.size()));
    if (rc == 0) rc = BuildNtlmAuthenticate(state, out);
    EXPECT_EQ(rc, *c.error ? -1 : 0);
    EXPECT_EQ(state.errorText.view(),
              *c.error ? "Could not process server's NTLM authentication token: " + std::string(c.error) : "");
    if (rc == 0) {
      EXPECT_EQ(state.targetName.view(), c.targetName);
      EXPECT_EQ(out.size(), 72 + 2 + 48);  // user "u", two responses
      if (c.typeThreeFlags != 0) {
        EXPECT_EQ(out.view().substr(60, 4), Le(c.typeThreeFlags));
      }
    }
  }
}

TEST(NtlmAuthenticate, ClientChallengeBytesAreNeverZero) {
  NtlmState state;
  ByteBuffer out;
  for (int round = 0; round < 50; ++round) ASSERT_EQ(NtlmToken(state, "h", Challenge(), out), 0);
  // Without user or domain each message is 120 bytes, the LM response (the
  // client challenge first) at 72.
  for (size_t at = 72; at < out.view().size(); at += 120) {
    EXPECT_EQ(out.view().substr(at, 8).find('\0'), std::string::npos);
  }
}

}  // namespace
}  // namespace corvane::auth
