#include "core/config_item.h"

#include <cstdio>

#include "core/ascii.h"

namespace corvane {

ConfigItem ConfigItem::Parse(std::string_view text) {
  ConfigItem item;
  size_t eq = text.find('=');
  std::string_view namePart = eq == std::string_view::npos ? text : text.substr(0, eq);
  item.isQuery = eq == std::string_view::npos;

  // An index in [..] or (..) belongs to the item, not to the name.
  size_t open = namePart.find_first_of("[(");
  if (open != std::string_view::npos) {
    char close = namePart[open] == '[' ? ']' : ')';
    size_t end = namePart.find(close, open + 1);
    std::string_view inner = namePart.substr(open + 1, end == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : end - open - 1);
    item.indexText.Assign(inner);
    item.index = static_cast<int>(ParseConfigInt(TrimBlanks(inner)));
    item.hasIndex = true;
    std::string_view rest = end == std::string_view::npos ? std::string_view{}
                                                          : namePart.substr(end + 1);
    ByteBuffer joined(namePart.substr(0, open));
    joined.Append(rest);
    item.name.Assign(TrimBlanks(joined.view()));
  } else {
    item.name.Assign(TrimBlanks(namePart));
  }

  if (!item.isQuery) {
    std::string_view v = TrimBlanks(text.substr(eq + 1));
    if (!v.empty() && v.front() == '"') v.remove_prefix(1);
    if (!v.empty() && v.back() == '"') v.remove_suffix(1);
    item.value.Assign(v);
  }
  return item;
}

bool ConfigItem::Is(std::string_view key) const noexcept { return EqualsNoCase(name.view(), key); }

int64_t ConfigItem::Int() const noexcept { return ParseConfigInt(value.view()); }

bool ConfigItem::Bool() const noexcept { return ParseConfigBool(value.view()); }

int64_t ParseConfigInt(std::string_view s) noexcept {
  size_t i = 0;
  bool hex = s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  if (hex) i = 2;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int digit = HexValue(c);
    if (digit < 0 || (!hex && digit > 9)) break;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit);  // wraps like a C reader
  }
  int64_t r = static_cast<int64_t>(v);
  return negative ? -r : r;
}

bool ParseConfigBool(std::string_view s) noexcept {
  return EqualsNoCase(s, "true") || EqualsNoCase(s, "yes") || s == "1";
}

int AnswerInt(ByteBuffer& result, int64_t value) noexcept {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
  return result.Assign(buf, n);
}

int AnswerUnsigned(ByteBuffer& result, uint64_t value) noexcept {
  char buf[32];
  int n = std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(value));
  return result.Assign(buf, n);
}

int AnswerBool(ByteBuffer& result, bool value) noexcept {
  return result.Assign(value ? std::string_view("True") : std::string_view("False"));
}

int AnswerText(ByteBuffer& result, std::string_view value) noexcept { return result.Assign(value); }

int ConfigBool(const ConfigItem& item, ByteBuffer& result, bool& field) noexcept {
  if (item.isQuery) return AnswerBool(result, field);
  field = item.Bool();
  return 0;
}

int ConfigText(const ConfigItem& item, ByteBuffer& result, std::string& field) {
  if (item.isQuery) return AnswerText(result, field);
  field.assign(item.Text());
  return 0;
}

}  // namespace corvane
