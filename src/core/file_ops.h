#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Owns one file descriptor; closed on destruction.
class FileHandle {
 public:
  FileHandle() noexcept = default;
  explicit FileHandle(int fd) noexcept : fd_(fd) {}
  FileHandle(FileHandle&& other) noexcept : fd_(other.Release()) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { Reset(); }

  explicit operator bool() const noexcept { return fd_ >= 0; }
  int fd() const noexcept { return fd_; }
  int Release() noexcept {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1) noexcept;

  // Writes every byte, retrying short writes and EINTR.
  bool WriteAll(const void* data, size_t length) noexcept;
  // Reads up to length bytes; returns the count, 0 at end of file, -1 on error.
  ssize_t Read(void* data, size_t length) noexcept;

 private:
  int fd_ = -1;
};

// Opens an existing file for reading, optionally positioned at offset. 0 or 4.
int OpenForRead(const std::string& path, FileHandle& out, int64_t offset = 0);
// Creates a file anew for writing (truncating one that exists) with the given
// permission bits (0 means 0644). 0 or 4.
int CreateForWrite(const std::string& path, FileHandle& out, unsigned mode = 0);
// Opens a file for appending, creating it when missing. 0, 4, or 8 when the
// end cannot be reached.
int OpenForAppend(const std::string& path, FileHandle& out, unsigned mode = 0);

// A path held in the component's 8-bit form, convertible from the UTF-16 form
// used at the automation boundary.
int PathFromUtf16(std::u16string_view path, unsigned codePage, std::string& out);

}  // namespace corvane
