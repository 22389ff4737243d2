#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

namespace corvane {

// A piece of received data handed upward: a complete line without its
// terminator (isLine true), or a chunk (no terminator set, a line longer than
// the capacity, or the unterminated rest at close).
struct LineChunk {
  const char* data = nullptr;
  int length = 0;
  bool isLine = false;
};

// The receive buffer of a connection. Bytes are received straight into its
// free space and handed out in place, so the body path copies nothing. The
// storage is at least kReceiveBlock bytes so one recv can take a large block;
// the capacity (MaxLineLength) only limits how long a line may grow before it
// is delivered as a chunk. No I/O happens here.
class LineBuffer {
 public:
  static constexpr int kDefaultCapacity = 2048;
  static constexpr int kMaxPlainCapacity = 65536;
  static constexpr int kReceiveBlock = 65536;

  LineBuffer() = default;
  LineBuffer(const LineBuffer&) = delete;
  LineBuffer& operator=(const LineBuffer&) = delete;

  // Sets the capacity and (re)allocates the storage when it must grow;
  // buffered bytes are dropped. 0 or 200.
  int Create(int capacity);
  int Capacity() const noexcept { return capacity_; }

  // Drops buffered bytes and the pending partner byte.
  void Reset() noexcept;

  // Terminator bytes (at most 8); empty means no line splitting. 0 or 200.
  int SetTerminator(std::string_view terminator) noexcept;
  std::string_view Terminator() const noexcept { return {terminator_, static_cast<size_t>(terminatorLength_)}; }
  // CR, LF, CR LF and LF CR all end a line.
  void SetSplit(bool on) noexcept { split_ = on; }
  bool Split() const noexcept { return split_; }

  // Free space for a receive; compacts first when the tail is used up.
  // Storage is allocated on first use (200 through room = -1 when it fails).
  char* FreeSpace(int& room) noexcept;
  void Commit(int count) noexcept { length_ += count; }
  int Unread() const noexcept { return length_; }

  // The next deliverable piece under the current settings, consumed from the
  // buffer; false when more bytes are needed. The data stays valid until the
  // next FreeSpace, Append or Reset.
  bool Next(LineChunk& out) noexcept;
  // Everything still buffered as one chunk (used at close and for raw
  // hand-over); false when empty.
  bool TakeRest(LineChunk& out) noexcept;
  // The buffered bytes as they are, for a reader that takes whole units of
  // its own (TLS records) and consumes what it used.
  std::string_view Peek() const noexcept { return {storage_.get() + start_, static_cast<size_t>(length_)}; }
  void Consume(int count) noexcept {
    start_ += count;
    length_ -= count;
  }
  // Puts bytes back to be delivered first (data behind a firewall reply).
  int Append(const char* data, int length) noexcept;

 private:
  bool EnsureStorage() noexcept;

  std::unique_ptr<char[]> storage_;
  int storageSize_ = 0;
  int capacity_ = kDefaultCapacity;
  int start_ = 0;
  int length_ = 0;
  char terminator_[8] = {};
  int terminatorLength_ = 0;
  bool split_ = false;
  char pendingPartner_ = 0;  // CR or LF still expected after a line that ended the buffer
};

}  // namespace corvane
