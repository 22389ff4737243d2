#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ascii.h"
#include "core/byte_buffer.h"

namespace corvane {

// One configuration request parsed from a `Config` string: "name=value" sets,
// "name" queries; an index may follow the name in brackets or parentheses.
struct ConfigItem {
  ByteBuffer name;
  ByteBuffer value;
  int index = 0;
  ByteBuffer indexText;
  bool isQuery = false;
  bool hasIndex = false;

  static ConfigItem Parse(std::string_view text);

  // Case-insensitive match of the item's name against a key.
  bool Is(std::string_view key) const noexcept;
  std::string_view Text() const noexcept { return value.view(); }
  int64_t Int() const noexcept;
  bool Bool() const noexcept;
};

// Value conventions shared by every configuration handler.
// Integers: "0x"/"0X" then optional sign and hex digits, or decimal with an
// optional sign; reading stops at the first non-digit; empty reads as 0.
int64_t ParseConfigInt(std::string_view text) noexcept;
// Booleans: "TRUE", "yes" and "1" in any case are true; all else is false.
bool ParseConfigBool(std::string_view text) noexcept;

// Query answers.
int AnswerInt(ByteBuffer& result, int64_t value) noexcept;
int AnswerUnsigned(ByteBuffer& result, uint64_t value) noexcept;
int AnswerBool(ByteBuffer& result, bool value) noexcept;
int AnswerText(ByteBuffer& result, std::string_view value) noexcept;

// Set-or-query helpers: one line per key in a handler.
//   if (item.Is("SSLCipherStrength")) return ConfigInt(item, result, tls_.sslCipherStrength);
template <typename Int>
int ConfigInt(const ConfigItem& item, ByteBuffer& result, Int& field) noexcept {
  if (item.isQuery) {
    if constexpr (std::is_unsigned_v<Int>) return AnswerUnsigned(result, field);
    else return AnswerInt(result, static_cast<int64_t>(field));
  }
  field = static_cast<Int>(item.Int());
  return 0;
}
int ConfigBool(const ConfigItem& item, ByteBuffer& result, bool& field) noexcept;
int ConfigText(const ConfigItem& item, ByteBuffer& result, std::string& field);
template <int N>
int ConfigText(const ConfigItem& item, ByteBuffer& result, BasicByteBuffer<N>& field) noexcept {
  if (item.isQuery) return AnswerText(result, field.view());
  return field.Assign(item.Text());
}

}  // namespace corvane
