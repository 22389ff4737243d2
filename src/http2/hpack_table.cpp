#include "http2/hpack_table.h"

namespace corvane {

namespace {

struct StaticEntry {
  std::string_view name;
  std::string_view value;
};

// RFC 7541 Appendix A.
constexpr StaticEntry kStaticTable[HpackTable::kStaticCount] = {
    {":authority", ""},
    {":method", "GET"},
    {":method", "POST"},
    {":path", "/"},
    {":path", "/index.html"},
    {":scheme", "http"},
    {":scheme", "https"},
    {":status", "200"},
    {":status", "204"},
    {":status", "206"},
    {":status", "304"},
    {":status", "400"},
    {":status", "404"},
    {":status", "500"},
    {"accept-charset", ""},
    {"accept-encoding", "gzip, deflate"},
    {"accept-language", ""},
    {"accept-ranges", ""},
    {"accept", ""},
    {"access-control-allow-origin", ""},
    {"age", ""},
    {"allow", ""},
    {"authorization", ""},
    {"cache-control", ""},
    {"content-disposition", ""},
    {"content-encoding", ""},
    {"content-language", ""},
    {"content-length", ""},
    {"content-location", ""},
    {"content-range", ""},
    {"content-type", ""},
    {"cookie", ""},
    {"date", ""},
    {"etag", ""},
    {"expect", ""},
    {"expires", ""},
    {"from", ""},
    {"host", ""},
    {"if-match", ""},
    {"if-modified-since", ""},
    {"if-none-match", ""},
    {"if-range", ""},
    {"if-unmodified-since", ""},
    {"last-modified", ""},
    {"link", ""},
    {"location", ""},
    {"max-forwards", ""},
    {"proxy-authenticate", ""},
    {"proxy-authorization", ""},
    {"range", ""},
    {"referer", ""},
    {"refresh", ""},
    {"retry-after", ""},
    {"server", ""},
    {"set-cookie", ""},
    {"strict-transport-security", ""},
    {"transfer-encoding", ""},
    {"user-agent", ""},
    {"vary", ""},
    {"via", ""},
    {"www-authenticate", ""},
};

uint32_t EntrySize(size_t name, size_t value) noexcept {
  uint64_t s = uint64_t{name} + value + HpackTable::kEntryOverhead;
  return s > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(s);
}

}  // namespace

bool HpackTable::Get(uint32_t index, std::string_view& name,
                     std::string_view& value) const noexcept {
  if (index == 0) return false;
  if (index <= kStaticCount) {
    name = kStaticTable[index - 1].name;
    value = kStaticTable[index - 1].value;
    return true;
  }
  uint32_t d = index - kStaticCount - 1;
  if (d >= entries_.size()) return false;
  name = entries_[d].name.view();
  value = entries_[d].value.view();
  return true;
}

int HpackTable::Add(std::string_view name, std::string_view value) noexcept {
  uint32_t size = EntrySize(name.size(), value.size());
  if (size > maxSize_) {
    Clear();
    return 0;
  }
  // Copy first: name or value may live in an entry the eviction frees.
  Entry e;
  if (int rc = e.name.Assign(name); rc != 0) return rc;
  if (int rc = e.value.Assign(value); rc != 0) return rc;
  EvictTo(maxSize_ - size);
  entries_.push_front(std::move(e));
  size_ += size;
  return 0;
}

void HpackTable::SetMaxSize(uint32_t maxSize) noexcept {
  maxSize_ = maxSize;
  EvictTo(maxSize);
}

void HpackTable::Clear() noexcept {
  entries_.clear();
  size_ = 0;
}

void HpackTable::EvictTo(uint32_t limit) noexcept {
  while (size_ > limit && !entries_.empty()) {
    const Entry& e = entries_.back();
    size_ -= EntrySize(static_cast<size_t>(e.name.size()), static_cast<size_t>(e.value.size()));
    entries_.pop_back();
  }
}

std::string_view HpackTable::StaticName(uint32_t index) noexcept {
  return index >= 1 && index <= kStaticCount ? kStaticTable[index - 1].name : std::string_view();
}

std::string_view HpackTable::StaticValue(uint32_t index) noexcept {
  return index >= 1 && index <= kStaticCount ? kStaticTable[index - 1].value : std::string_view();
}

uint32_t HpackTable::FindStatic(std::string_view name, std::string_view value,
                                uint32_t& nameIndex) noexcept {
  nameIndex = 0;
  for (uint32_t i = 0; i < kStaticCount; ++i) {
    const StaticEntry& e = kStaticTable[i];
    if (e.name.size() != name.size() || e.name != name) continue;
    if (nameIndex == 0) nameIndex = i + 1;
    if (e.value == value) return i + 1;
  }
  return 0;
}

}  // namespace corvane
