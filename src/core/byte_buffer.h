#pragma once

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/address_reservation.h"
#include "core/error_codes.h"
#include "core/zero_memory.h"

namespace corvane {

// A binary-safe byte string with N bytes of inline storage (N-1 content bytes
// plus the terminating NUL). Content that outgrows the inline part moves to a
// heap block of 1.5 times the needed length; from 4 MB on, the block is an
// address reservation that grows in place. Every mutator returns 0 or
// kErrOutOfMemory (200) and leaves the buffer unchanged on failure, so callers
// can report an allocation failure as a code instead of unwinding.
template <int N>
class BasicByteBuffer {
  static_assert(N >= 2, "inline capacity must hold at least one byte and the NUL");

 public:
  static constexpr int kInlineCapacity = N - 1;

  BasicByteBuffer() noexcept { inline_[0] = '\0'; }
  BasicByteBuffer(std::string_view text) noexcept {  // NOLINT: implicit by design
    inline_[0] = '\0';
    Assign(text);
  }
  BasicByteBuffer(const BasicByteBuffer& other) noexcept {
    inline_[0] = '\0';
    Assign(other.view());
  }
  BasicByteBuffer(BasicByteBuffer&& other) noexcept { MoveFrom(other); }
  BasicByteBuffer& operator=(const BasicByteBuffer& other) noexcept {
    if (this != &other) Assign(other.view());
    return *this;
  }
  BasicByteBuffer& operator=(BasicByteBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      MoveFrom(other);
    }
    return *this;
  }
  BasicByteBuffer& operator=(std::string_view text) noexcept {
    Assign(text);
    return *this;
  }
  ~BasicByteBuffer() { Release(); }

  const char* data() const noexcept { return heap_ ? heap_ : inline_; }
  char* data() noexcept { return heap_ ? heap_ : inline_; }
  const char* c_str() const noexcept { return data(); }
  int size() const noexcept { return length_; }
  int capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return length_ == 0; }
  bool onHeap() const noexcept { return heap_ != nullptr; }
  std::string_view view() const noexcept { return {data(), static_cast<size_t>(length_)}; }
  std::string str() const { return std::string(view()); }
  operator std::string_view() const noexcept { return view(); }  // NOLINT

  // Replaces the content. The source may point into this buffer.
  int Assign(const void* src, int len) noexcept {
    if (len < 0) return kErrOutOfMemory;
    if (len <= kInlineCapacity) {
      if (len > 0) std::memmove(inline_, src, static_cast<size_t>(len));
      FreeHeap();
      length_ = len;
      inline_[len] = '\0';
      return 0;
    }
    if (heap_ && len <= capacity_) {
      std::memmove(heap_, src, static_cast<size_t>(len));
      length_ = len;
      heap_[len] = '\0';
      return 0;
    }
    int cap = 0;
    if (!GrownCapacity(len, cap)) return kErrOutOfMemory;
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(cap) + 1));
    if (block == nullptr) return kErrOutOfMemory;
    std::memcpy(block, src, static_cast<size_t>(len));
    block[len] = '\0';
    FreeHeap();
    heap_ = block;
    capacity_ = cap;
    length_ = len;
    return 0;
  }
  int Assign(std::string_view text) noexcept {
    return Assign(text.data(), static_cast<int>(text.size() > INT_MAX ? -1 : static_cast<int>(text.size())));
  }

  int Append(const void* src, int len) noexcept {
    if (len < 0 || len > INT_MAX - length_) return kErrOutOfMemory;
    if (len == 0) return 0;
    const char* s = static_cast<const char*>(src);
    // The source may live inside this buffer; remember it as an offset.
    const char* old = data();
    bool inside = s >= old && s < old + length_;
    ptrdiff_t offset = inside ? s - old : 0;
    int oldLen = length_;
    if (int rc = Reserve(oldLen + len); rc != 0) return rc;
    if (inside) s = data() + offset;
    std::memmove(data() + oldLen, s, static_cast<size_t>(len));
    length_ = oldLen + len;
    data()[length_] = '\0';
    return 0;
  }
  int Append(std::string_view text) noexcept {
    if (text.size() > INT_MAX) return kErrOutOfMemory;
    return Append(text.data(), static_cast<int>(text.size()));
  }
  int Append(char c) noexcept { return Append(&c, 1); }

  // Makes room for len content bytes, keeping the current content. Growth
  // leaves half as much again as slack, so appending block by block stays
  // geometric.
  int Reserve(int len) noexcept {
    if (len < 0) return kErrOutOfMemory;
    if (len <= capacity_) return 0;
    int cap = 0;
    if (!GrownCapacity(len, cap)) return kErrOutOfMemory;
    return Reallocate(cap);
  }

  // As Reserve, without the slack: for a final size known in advance (an
  // announced body length), where the slack would be mapped and never used.
  int ReserveExact(int len) noexcept {
    if (len < 0 || len == INT_MAX) return kErrOutOfMemory;
    if (len <= capacity_) return 0;
    return Reallocate(len);
  }

  // Extends the content by n bytes that the caller has already written into
  // the reserved space after it (see Reserve), as a receive straight into the
  // buffer does. 0, or 200 when n does not fit the capacity.
  int CommitAppended(int n) noexcept {
    if (n < 0 || n > capacity_ - length_) return kErrOutOfMemory;
    length_ += n;
    data()[length_] = '\0';
    return 0;
  }

  // Sets the length to len, keeping the first min(len, size()) bytes; new
  // bytes are left for the caller to fill (they are zeroed).
  int Resize(int len) noexcept {
    if (len < 0) return kErrOutOfMemory;
    if (len <= kInlineCapacity && heap_ != nullptr) {
      int keep = len < length_ ? len : length_;
      std::memcpy(inline_, heap_, static_cast<size_t>(keep));
      FreeHeap();
      length_ = keep;
    }
    if (int rc = Reserve(len); rc != 0) return rc;
    if (len > length_) std::memset(data() + length_, 0, static_cast<size_t>(len - length_));
    length_ = len;
    data()[len] = '\0';
    return 0;
  }

  // Empties the buffer and frees any heap block.
  void Clear() noexcept {
    FreeHeap();
    length_ = 0;
    inline_[0] = '\0';
  }

  // Drops the first n bytes (used by receive buffers that consume from the front).
  void Consume(int n) noexcept {
    if (n <= 0) return;
    if (n >= length_) {
      length_ = 0;
      data()[0] = '\0';
      return;
    }
    std::memmove(data(), data() + n, static_cast<size_t>(length_ - n));
    length_ -= n;
    data()[length_] = '\0';
  }

  char operator[](int i) const noexcept { return data()[i]; }
  bool operator==(std::string_view other) const noexcept { return view() == other; }

 private:
  // Moves the content to a heap block of cap content bytes (cap > capacity_).
  // A large block is an address reservation that grows where it is.
  int Reallocate(int cap) noexcept {
    const size_t need = static_cast<size_t>(cap) + 1;
    if (reserved_) {
      if (!reservation::Extend(heap_, static_cast<size_t>(capacity_) + 1, need))
        return kErrOutOfMemory;
    } else if (char* block =
                   need >= reservation::kThreshold ? reservation::Reserve(need) : nullptr) {
      std::memcpy(block, data(), static_cast<size_t>(length_) + 1);
      FreeHeap();
      heap_ = block;
      reserved_ = true;
    } else if (heap_ == nullptr) {
      char* block = static_cast<char*>(std::malloc(need));
      if (block == nullptr) return kErrOutOfMemory;
      std::memcpy(block, inline_, static_cast<size_t>(length_) + 1);
      heap_ = block;
    } else if (ZeroMemoryEnabled()) {
      // realloc could leave the old block unwiped; copy by hand instead.
      char* block = static_cast<char*>(std::malloc(need));
      if (block == nullptr) return kErrOutOfMemory;
      std::memcpy(block, heap_, static_cast<size_t>(length_) + 1);
      FreeHeap();
      heap_ = block;
    } else {
      char* block = static_cast<char*>(std::realloc(heap_, need));
      if (block == nullptr) return kErrOutOfMemory;
      heap_ = block;
    }
    capacity_ = cap;
    return 0;
  }
  static bool GrownCapacity(int len, int& cap) noexcept {
    long long c = static_cast<long long>(len) + len / 2;
    if (c >= INT_MAX) c = INT_MAX - 1;
    if (c < len) return false;
    cap = static_cast<int>(c);
    return true;
  }
  void FreeHeap() noexcept {
    if (heap_ == nullptr) return;
    if (reserved_) {
      if (ZeroMemoryEnabled()) reservation::WipeResident(heap_, static_cast<size_t>(capacity_) + 1);
      reservation::Release(heap_);
    } else {
      if (ZeroMemoryEnabled()) SecureWipe(heap_, static_cast<size_t>(capacity_) + 1);
      std::free(heap_);
    }
    heap_ = nullptr;
    reserved_ = false;
    capacity_ = kInlineCapacity;
  }
  void Release() noexcept {
    FreeHeap();
    if (ZeroMemoryEnabled()) SecureWipe(inline_, sizeof inline_);
    length_ = 0;
    inline_[0] = '\0';
  }
  void MoveFrom(BasicByteBuffer& other) noexcept {
    if (other.heap_) {
      heap_ = other.heap_;
      reserved_ = other.reserved_;
      capacity_ = other.capacity_;
      length_ = other.length_;
      inline_[0] = '\0';
      other.heap_ = nullptr;
      other.reserved_ = false;
      other.capacity_ = kInlineCapacity;
    } else {
      heap_ = nullptr;
      capacity_ = kInlineCapacity;
      std::memcpy(inline_, other.inline_, static_cast<size_t>(other.length_) + 1);
      length_ = other.length_;
    }
    other.length_ = 0;
    other.inline_[0] = '\0';
  }

  char inline_[N];
  char* heap_ = nullptr;
  int length_ = 0;
  bool reserved_ = false;  // heap_ is an address reservation, not a malloc block
  int capacity_ = kInlineCapacity;
};

// The inline classes in use: general text, short settings, and three sizes
// sized for fixed-form fields.
using ByteBuffer = BasicByteBuffer<100>;
using ByteBuffer21 = BasicByteBuffer<21>;
using ByteBuffer31 = BasicByteBuffer<31>;
using ByteBuffer51 = BasicByteBuffer<51>;
using ByteBuffer67 = BasicByteBuffer<67>;

}  // namespace corvane
