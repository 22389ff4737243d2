#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The parser's two big byte streams: the kept input text and the document
// records. Always NUL-terminated (the scanner's sentinel). Mutators return 0
// or 200. Blocks of 1 MB and more are mapped directly and grown with mremap,
// which moves page tables instead of copying, and their new pages are
// populated in one call: a 50 MB document otherwise costs several copies on
// growth and one page fault per 4 KB, which dominated the scanner's time.
class XmlBuffer {
 public:
  XmlBuffer() = default;
  ~XmlBuffer() { Release(); }
  XmlBuffer(const XmlBuffer&) = delete;
  XmlBuffer& operator=(const XmlBuffer&) = delete;

  const char* data() const noexcept { return data_ ? data_ : ""; }
  char* data() noexcept { return data_ ? data_ : empty_; }
  int size() const noexcept { return static_cast<int>(len_); }
  bool empty() const noexcept { return len_ == 0; }
  std::string_view view() const noexcept { return {data(), len_}; }
  std::string str() const { return std::string(view()); }

  // Room for n content bytes (and the NUL), keeping the content.
  int Reserve(uint64_t n) noexcept;
  int Append(const void* p, size_t n) noexcept;
  // Sets the length; new bytes are zero.
  int Resize(uint64_t n) noexcept;
  // Drops the first n bytes.
  void Consume(uint32_t n) noexcept;
  // Empties, keeping the block.
  void Clear() noexcept {
    len_ = 0;
    if (data_) data_[0] = '\0';
  }
  // Empties and frees the block (wiped first when ZeroMemory is on).
  void Release() noexcept;

 private:
  char* data_ = nullptr;
  uint32_t len_ = 0;
  uint32_t cap_ = 0;  // content capacity; the block holds cap_ + 1 bytes
  bool mapped_ = false;  // the block comes from mmap, not malloc
  char empty_[1] = {'\0'};
};

}  // namespace corvane
