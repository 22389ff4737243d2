#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The parser's two big byte streams: the kept input text and the document
// records. Always NUL-terminated (the scanner's sentinel). Mutators return 0
// or 200. Blocks of 1 MB and more are mapped directly (asking for huge pages)
// and grown with mremap, which moves page tables instead of copying. Pages
// fault in only as bytes are written, so the growth reserve costs address
// space, not memory; and Recycle keeps a block across documents so a second
// parse writes into pages that are already there.
class XmlBuffer {
 public:
  // Recycle's limit for the parser's buffers: a stream of ordinary answers
  // reuses its blocks, larger ones are released. Measured on a 50 MB
  // document, writing over kept pages (long out of cache, so every new line
  // is read from memory first) was slower than fresh huge pages that the
  // kernel zeroes just before the parser writes them.
  static constexpr uint64_t kKeepBytes = uint64_t{4} << 20;

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
    len_ += static_cast<uint32_t>(n);
    data_[len_] = '\0';
    return 0;
  }
  // Drops the first n bytes.
  void Consume(uint32_t n) noexcept;
  // Empties, keeping the block.
  void Clear() noexcept {
    len_ = 0;
    data_[0] = '\0';
  }
  // Empties and frees the block (wiped first when ZeroMemory is on).
  void Release() noexcept;
  // Empties for the next document: keeps the block while at most keepBytes
  // of it were ever written (only those pages are in memory; the reserve
  // beyond was never touched), releases it otherwise, and always releases
  // while ZeroMemory is on (a kept block would hold the old document's bytes).
  void Recycle(uint64_t keepBytes) noexcept;
  // Bytes of the block (0 when none).
  uint64_t capacity() const noexcept { return HasBlock() ? uint64_t{cap_} + 1 : 0; }

 private:
  int ExtendSlow(uint64_t n) noexcept;
  bool HasBlock() const noexcept { return data_ != empty_; }

  // Never null: without a block it points at empty_, so the accessors the
  // scanner and record writers call per tag need no test. The buffer is
  // neither copied nor moved, so the pointer to its own member stays valid.
  char* data_ = empty_;
  uint32_t len_ = 0;
  uint32_t cap_ = 0;  // content capacity; the block holds cap_ + 1 bytes
  uint32_t written_ = 0;  // the most content the block held before a Recycle
  bool mapped_ = false;  // the block comes from mmap, not malloc
  char empty_[1] = {'\0'};
};

}  // namespace corvane
