#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "http2/header_list.h"
#include "http2/hpack_decoder.h"
#include "http2/http2_errors.h"
#include "http2/http2_frame_types.h"
#include "support/hex.h"

namespace corvane::test {

using testing::Bytes;
inline constexpr auto* FromHex = &testing::Unhex;
inline constexpr std::string (*ToHex)(std::string_view) = &testing::Hex;

inline std::string U32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// One frame on the wire: 9-byte header, then the payload.
inline std::string Frame(uint8_t type, uint8_t flags, uint32_t stream, std::string_view payload) {
  const uint32_t n = static_cast<uint32_t>(payload.size());
  std::string f = {static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n),
                   static_cast<char>(type), static_cast<char>(flags)};
  return f + U32(stream) + std::string(payload);
}

// Bytes written by the client, read back by the frame parser (header blocks
// decoded with one decoder, as the peer would).
inline std::vector<std::unique_ptr<Http2Frame>> ReadFrames(std::string_view bytes) {
  std::vector<std::unique_ptr<Http2Frame>> out;
  HpackDecoder decoder;  // only Parse uses it
  Http2FrameHeader h;
  while (PeekHttp2FrameHeader(Bytes(bytes), bytes.size(), h)) {
    out.push_back(CreateHttp2Frame(h.type, &decoder));
    EXPECT_EQ(0, out.back()->Parse(Bytes(bytes), bytes.size()))
        << out.back()->LastErrorText().view();
    bytes.remove_prefix(std::min(bytes.size(), 9 + size_t{h.length}));
  }
  EXPECT_TRUE(bytes.empty()) << "bytes after the last whole frame";
  return out;
}

// The failure is the given message of the layer's table: its code, the
// template's text around its placeholders, and (if given) the argument that
// tells it apart. from is the failed object, read once rc has been computed.
template <typename T>
::testing::AssertionResult Failed(int rc, const T& from, Http2Message m,
                                  std::string_view arg = {}) {
  std::string text;
  if constexpr (requires { from.ErrorText(); }) {
    text = from.ErrorText();
  } else {
    text = from.LastErrorText().view();
  }
  const std::string_view t = Http2MessageTemplate(m);
  const std::string_view head = t.substr(0, t.find('{')), tail = t.substr(t.rfind('}') + 1);
  if (rc == Http2MessageCode(m) && text.starts_with(head) && text.ends_with(tail) &&
      text.find(arg) != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << rc << " \"" << text << "\" is not " << Http2MessageCode(m) << " \""
         << Http2MessageTemplate(m) << "\" with \"" << arg << '"';
}

}  // namespace corvane::test
