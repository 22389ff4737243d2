#include "net/line_buffer.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/error_codes.h"

namespace corvane {

namespace {

// CR (13) + LF (10) = 23: the partner of one line-end byte is 23 minus it.
constexpr char kPartnerSum = 23;

inline bool IsLineEnd(char c) noexcept { return c == '\r' || c == '\n'; }

}  // namespace

int LineBuffer::Create(int capacity) {
  if (capacity < 1) capacity = 1;
  capacity_ = capacity;
  Reset();
  int needed = std::max(capacity_, kReceiveBlock);
  if (storageSize_ < needed) {
    storage_.reset();
    storageSize_ = 0;
    char* block = new (std::nothrow) char[static_cast<size_t>(needed) + 1];
    if (block == nullptr) return kErrOutOfMemory;
    storage_.reset(block);
    storageSize_ = needed;
  }
  return 0;
}

void LineBuffer::Reset() noexcept {
  start_ = 0;
  length_ = 0;
  pendingPartner_ = 0;
}

int LineBuffer::SetTerminator(std::string_view terminator) noexcept {
  if (terminator.size() > sizeof terminator_) return kErrOutOfMemory;
  std::memcpy(terminator_, terminator.data(), terminator.size());
  terminatorLength_ = static_cast<int>(terminator.size());
  return 0;
}

bool LineBuffer::EnsureStorage() noexcept {
  if (storage_) return true;
  int needed = std::max(capacity_, kReceiveBlock);
  char* block = new (std::nothrow) char[static_cast<size_t>(needed) + 1];
  if (block == nullptr) return false;
  storage_.reset(block);
  storageSize_ = needed;
  return true;
}

char* LineBuffer::FreeSpace(int& room) noexcept {
  if (!EnsureStorage()) {
    room = -1;
    return nullptr;
  }
  if (length_ == 0) start_ = 0;
  // Keep receives large: move the unread tail (a partial line) to the front
  // once the free end gets short.
  if (start_ > 0 && storageSize_ - (start_ + length_) < storageSize_ / 4) {
    std::memmove(storage_.get(), storage_.get() + start_, static_cast<size_t>(length_));
    start_ = 0;
  }
  room = storageSize_ - (start_ + length_);
  return storage_.get() + start_ + length_;
}

bool LineBuffer::Next(LineChunk& out) noexcept {
  if (length_ == 0) return false;
  char* p = storage_.get() + start_;

  auto take = [&](int dataLength, int consumed, bool isLine) {
    out = {p, dataLength, isLine};
    start_ += consumed;
    length_ -= consumed;
    return true;
  };

  if (split_ && terminatorLength_ > 0) {
    if (pendingPartner_ != 0) {
      char partner = pendingPartner_;
      pendingPartner_ = 0;
      if (p[0] == partner) {
        ++start_;
        --length_;
        ++p;
        if (length_ == 0) return false;
      }
    }
    int limit = std::min(length_, capacity_);
    for (int i = 0; i < limit; ++i) {
      if (!IsLineEnd(p[i])) continue;
      int consumed = i + 1;
      if (i + 1 < length_) {
        if (p[i + 1] == kPartnerSum - p[i]) ++consumed;
      } else {
        pendingPartner_ = static_cast<char>(kPartnerSum - p[i]);
      }
      return take(i, consumed, true);
    }
    if (length_ >= capacity_) return take(capacity_, capacity_, false);
    return false;
  }

  if (terminatorLength_ == 0) return take(length_, length_, false);

  int limit = std::min(length_, capacity_);
  if (limit >= terminatorLength_) {
    const void* hit = ::memmem(p, static_cast<size_t>(limit), terminator_,
                               static_cast<size_t>(terminatorLength_));
    if (hit != nullptr) {
      int pos = static_cast<int>(static_cast<const char*>(hit) - p);
      return take(pos, pos + terminatorLength_, true);
    }
  }
  if (length_ >= capacity_) return take(capacity_, capacity_, false);
  return false;
}

bool LineBuffer::TakeRest(LineChunk& out) noexcept {
  if (length_ == 0) return false;
  out = {storage_.get() + start_, length_, false};
  start_ += length_;
  length_ = 0;
  return true;
}

int LineBuffer::Append(const char* data, int length) noexcept {
  if (length <= 0) return 0;
  int room = 0;
  char* dst = FreeSpace(room);
  if (dst == nullptr || room < length) {
    if (dst == nullptr) return kErrOutOfMemory;
    // Make all the space there is.
    std::memmove(storage_.get(), storage_.get() + start_, static_cast<size_t>(length_));
    start_ = 0;
    room = storageSize_ - length_;
    dst = storage_.get() + length_;
    if (room < length) return kErrOutOfMemory;
  }
  std::memcpy(dst, data, static_cast<size_t>(length));
  length_ += length;
  return 0;
}

}  // namespace corvane
