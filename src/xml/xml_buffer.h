#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/mapped_block.h"
#include "core/sanitizers.h"

#if CORVANE_SANITIZE_ADDRESS
#include <sanitizer/asan_interface.h>
#endif

namespace corvane {

// The parser's two big byte streams: the kept input text and the document
// records. Always NUL-terminated (the scanner's sentinel). Mutators return 0
// or 200. The bytes live in a MappedBlock: large ones are huge-page
// reservations whose pages fault in only as bytes are written, so a reserve
// sized from the input's length costs address space, not memory; and Recycle
// keeps a block across documents so a second parse writes into pages that are
// already there.
class XmlBuffer {
 public:
  // Recycle's limit for the parser's buffers: large answers reuse their
  // blocks too (their pages are freeable while idle), only blocks past this
  // are released.
  static constexpr uint64_t kKeepBytes = uint64_t{256} << 20;

  XmlBuffer() = default;
  ~XmlBuffer() { Release(); }
  XmlBuffer(const XmlBuffer&) = delete;
  XmlBuffer& operator=(const XmlBuffer&) = delete;

  const char* data() const noexcept { return data_; }
  char* data() noexcept { return data_; }
  int size() const noexcept { return static_cast<int>(len_); }
  bool empty() const noexcept { return len_ == 0; }
  std::string_view view() const noexcept { return {data(), len_}; }
  std::string str() const { return std::string(view()); }

  // Room for n content bytes (and the NUL), keeping the content.
  int Reserve(uint64_t n) noexcept;
  int Append(const void* p, size_t n) noexcept;
  // Sets the length; new bytes are zero.
  int Resize(uint64_t n) noexcept;
  // Lengthens by n bytes left as they are, for a caller that writes them all.
  // Inline while the block has room: the record writers call it per tag.
  int Extend(uint64_t n) noexcept {
    if (n > uint64_t{cap_} - len_) return ExtendSlow(n);
    Guard(uint64_t{len_} + 1, uint64_t{len_} + n + 1, uint64_t{len_} + n + 1);
    len_ += static_cast<uint32_t>(n);
    data_[len_] = '\0';
    return 0;
  }
  // Drops the first n bytes.
  void Consume(uint32_t n) noexcept;
  // Empties, keeping the block.
  void Clear() noexcept {
    Guard(1, uint64_t{len_} + 1, 1);
    len_ = 0;
    data_[0] = '\0';
  }
  // Empties and frees the block (wiped first when ZeroMemory is on).
  void Release() noexcept;
  // Empties for the next document: keeps a block of at most keepBytes (its
  // pages freeable while idle), releases a larger one, and always releases
  // while ZeroMemory is on (a kept block would hold the old document's bytes).
  void Recycle(uint64_t keepBytes) noexcept;
  // Bytes of the block (0 when none).
  uint64_t capacity() const noexcept { return HasBlock() ? uint64_t{cap_} + 1 : 0; }

 private:
  int ExtendSlow(uint64_t n) noexcept;
  bool HasBlock() const noexcept { return data_ != empty_; }

  // Takes the block's address and size after it changed.
  void Adopt() noexcept;

  // In ASan builds, bytes [from, to) of the block become readable below
  // limit and poisoned from it on. The block is mapped well past the NUL, so
  // without this a scan overrunning the sentinel would go unseen; every
  // change of length or block goes through here (the whole block made
  // readable before it moves or is freed). Nothing in other builds.
  void Guard(uint64_t from, uint64_t to, uint64_t limit) noexcept {
#if CORVANE_SANITIZE_ADDRESS
    if (!HasBlock() || from >= to) return;
    if (limit < from) limit = from;
    if (limit > to) limit = to;
    ASAN_UNPOISON_MEMORY_REGION(data_ + from, limit - from);
    ASAN_POISON_MEMORY_REGION(data_ + limit, to - limit);
#else
    (void)from, (void)to, (void)limit;
#endif
  }
  // The whole block readable: before it moves, is recycled or freed.
  void Unguard() noexcept {
    Guard(0, block_.size(), block_.size());
  }

  MappedBlock block_;
  // The block's bytes, held here for the inline Extend. Never null: without
  // a block it points at empty_, so the accessors the scanner and record
  // writers call per tag need no test. The buffer is neither copied nor
  // moved, so the pointer to its own member stays valid.
  char* data_ = empty_;
  uint32_t len_ = 0;
  uint32_t cap_ = 0;  // content capacity; the block holds at least cap_ + 1 bytes
  char empty_[1] = {'\0'};
};

}  // namespace corvane
