#include "rest/event_bridge.h"

#include <algorithm>
#include <limits>

#include "core/code_page.h"

namespace corvane {

namespace {

// Code pages whose first 128 characters are ASCII: the locale's charset and
// UTF-8. ASCII text in them converts unit by unit, without opening a
// converter for each string (events carry many short ones).
bool AsciiCompatible(unsigned codePage) {
  return codePage == 0 || codePage == 65001;
}

template <typename Char>
bool IsAscii(std::basic_string_view<Char> text) {
  return std::all_of(text.begin(), text.end(),
                     [](Char c) { return static_cast<uint32_t>(c) < 0x80; });
}

}  // namespace

int NarrowText(std::u16string_view text, unsigned codePage, std::string& out) {
  if (AsciiCompatible(codePage) && IsAscii(text)) {
    out.assign(text.begin(), text.end());
    return 0;
  }
  return FromUtf16(text, codePage, out);
}

std::u16string WidenText(std::string_view text, unsigned codePage) {
  std::u16string out;
  if (AsciiCompatible(codePage) && IsAscii(text)) return std::u16string(text.begin(), text.end());
  if (ToUtf16(text, codePage, out) == 0) return out;
  out.assign(text.size(), u'\0');
  std::transform(text.begin(), text.end(), out.begin(),
                 [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
  return out;
}

uint32_t EventBridge::Add(EventSink* sink) {
  uint32_t cookie = nextCookie_++;
  sinks_.emplace_back(cookie, sink);
  return cookie;
}

bool EventBridge::Remove(uint32_t cookie) {
  auto it = std::find_if(sinks_.begin(), sinks_.end(),
                         [cookie](const auto& s) { return s.first == cookie; });
  if (it == sinks_.end()) return false;
  sinks_.erase(it);
  return true;
}

Variant EventBridge::In(const std::string& v) const {
  return Variant(WidenText(v, codePage_()));
}

void EventBridge::Out(const Variant& v, std::string& arg) const {
  std::u16string text;
  if (v.ToString(text) != 0) return;
  std::string narrow;
  if (NarrowText(text, codePage_(), narrow) == 0) arg = std::move(narrow);
}

void EventBridge::Out(const Variant& v, int& arg) {
  int64_t n = 0;
  if (v.ToInteger(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), n) == 0) {
    arg = static_cast<int>(n);
  }
}

void EventBridge::Out(const Variant& v, int64_t& arg) {
  int64_t n = 0;
  if (v.ToInteger(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), n) == 0)
    arg = n;
}

void EventBridge::Out(const Variant& v, bool& arg) {
  bool b = false;
  if (v.ToBool(b) == 0) arg = b;
}

}  // namespace corvane
