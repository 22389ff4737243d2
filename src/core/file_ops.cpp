#include "core/file_ops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "core/code_page.h"
#include "core/error_codes.h"

namespace corvane {

void FileHandle::Reset(int fd) noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool FileHandle::WriteAll(const void* data, size_t length) noexcept {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::write(fd_, p, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

ssize_t FileHandle::Read(void* data, size_t length) noexcept {
  for (;;) {
    ssize_t n = ::read(fd_, data, length);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int OpenForRead(const std::string& path, FileHandle& out, int64_t offset) {
  FileHandle f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!f) return kErrFileOpen;
  if (offset > 0 && ::lseek(f.fd(), offset, SEEK_SET) < 0) return kErrFileOpen;
  out = std::move(f);
  return 0;
}

int CreateForWrite(const std::string& path, FileHandle& out, unsigned mode) {
  FileHandle f(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                      mode ? mode : 0644));
  if (!f) return kErrFileOpen;
  out = std::move(f);
  return 0;
}

int OpenForAppend(const std::string& path, FileHandle& out, unsigned mode) {
  // Try to create the file first; an existing one is opened as it is.
  FileHandle f(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode ? mode : 0644));
  if (!f) {
    if (errno != EEXIST) return kErrFileOpen;
    f.Reset(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!f) return kErrFileOpen;
  }
  if (::lseek(f.fd(), 0, SEEK_END) < 0) return kErrFileSeek;
  out = std::move(f);
  return 0;
}

int PathFromUtf16(std::u16string_view path, unsigned codePage, std::string& out) {
  return FromUtf16(path, codePage, out);
}

}  // namespace corvane
