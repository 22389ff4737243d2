#include "http/body_writers.h"

#include <algorithm>

namespace corvane::http {

FileBodyWriter::Outcome FileBodyWriter::Write(const char* data, size_t length) {
  if (!file_) {
    int rc = append_ ? OpenForAppend(path_, file_, attributes_) : CreateForWrite(path_, file_, attributes_);
    if (rc != 0) return Outcome::openFailed;
  }
  if (file_.WriteAll(data, length)) return Outcome::written;
  file_.Reset();
  return Outcome::writeFailed;
}

int MemoryBodyWriter::Write(const char* data, size_t length) {
  size_t take = length;
  if (limit_ > 0) {
    int64_t room = limit_ - data_.size();
    take = room <= 0 ? 0 : std::min<size_t>(length, static_cast<size_t>(room));
  }
  if (take == 0) return 0;
  return data_.Append(data, static_cast<int>(take));
}

}  // namespace corvane::http
