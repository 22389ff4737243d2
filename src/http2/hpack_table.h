#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane {

// The HPACK decoding table (RFC 7541 section 2.3): the 61 static entries of
// Appendix A at indexes 1 to 61, then the dynamic entries from index 62,
// newest first. The dynamic part is bounded by its maximum size in the
// RFC's accounting (name length + value length + 32 per entry); inserting
// evicts the oldest entries until the new one fits.
class HpackTable {
 public:
  static constexpr uint32_t kStaticCount = 61;
  static constexpr uint32_t kEntryOverhead = 32;
  // The SETTINGS_HEADER_TABLE_SIZE this side announces (the protocol default).
  static constexpr uint32_t kDefaultMaxSize = 4096;

  // The name and value at index (1-based); false when no entry has it.
  bool Get(uint32_t index, std::string_view& name, std::string_view& value) const noexcept;

  // Inserts a pair as the newest dynamic entry, evicting as needed. An entry
  // larger than the maximum size empties the table and is not kept (RFC 7541
  // section 4.4). The texts may point into this table. Returns 0 or 200.
  int Add(std::string_view name, std::string_view value) noexcept;

  // Changes the maximum size of the dynamic part, evicting what no longer fits.
  void SetMaxSize(uint32_t maxSize) noexcept;
  uint32_t MaxSize() const noexcept { return maxSize_; }
  // Current size of the dynamic part in the RFC's accounting.
  uint32_t Size() const noexcept { return size_; }
  uint32_t DynamicCount() const noexcept { return static_cast<uint32_t>(entries_.size()); }
  uint32_t Count() const noexcept { return kStaticCount + DynamicCount(); }
  void Clear() noexcept;

  // The static table alone (index 1 to 61).
  static std::string_view StaticName(uint32_t index) noexcept;
  static std::string_view StaticValue(uint32_t index) noexcept;
  // The index of the static entry with this name and value; 0 when none. When
  // none matches exactly, nameIndex is the lowest index with the name, or 0.
  static uint32_t FindStatic(std::string_view name, std::string_view value,
                             uint32_t& nameIndex) noexcept;

 private:
  struct Entry {
    ByteBuffer name;
    ByteBuffer value;
  };
  void EvictTo(uint32_t limit) noexcept;

  std::deque<Entry> entries_;  // front is the newest (index 62)
  uint32_t size_ = 0;
  uint32_t maxSize_ = kDefaultMaxSize;
};

}  // namespace corvane
