#include "http/content_decoder.h"

#include <new>

#include "core/error_codes.h"

namespace corvane::http {

namespace {

constexpr size_t kInflateBlock = 64 * 1024;

// Bounds-checked cursor over the gzip header bytes.
class HeaderCursor {
 public:
  HeaderCursor(const uint8_t* data, size_t length) : data_(data), length_(length) {}
  bool Skip(size_t n) {
    if (length_ - pos_ < n) return false;
    pos_ += n;
    return true;
  }
  bool ReadU8(uint8_t& v) {
    if (pos_ >= length_) return false;
    v = data_[pos_++];
    return true;
  }
  bool ReadU16LE(uint16_t& v) {
    if (length_ - pos_ < 2) return false;
    v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool SkipPastNul() {
    for (; pos_ < length_; ++pos_) {
      if (data_[pos_] == 0) {
        ++pos_;
        return true;
      }
    }
    return false;
  }
  size_t pos() const { return pos_; }

 private:
  const uint8_t* data_;
  size_t length_;
  size_t pos_ = 0;
};

}  // namespace

GzipHeaderStatus ParseGzipHeader(const uint8_t* data, size_t length, size_t& headerLength) {
  HeaderCursor c(data, length);
  uint8_t id1 = 0, id2 = 0, method = 0, flags = 0;
  if (!c.ReadU8(id1)) return GzipHeaderStatus::incomplete;
  if (id1 != 0x1F) return GzipHeaderStatus::invalid;
  if (!c.ReadU8(id2)) return GzipHeaderStatus::incomplete;
  if (id2 != 0x8B) return GzipHeaderStatus::invalid;
  if (!c.ReadU8(method)) return GzipHeaderStatus::incomplete;
  if (method != 8) return GzipHeaderStatus::invalid;
  if (!c.ReadU8(flags) || !c.Skip(6)) return GzipHeaderStatus::incomplete;  // MTIME, XFL, OS
  if (flags & 4) {
    uint16_t xlen = 0;
    if (!c.ReadU16LE(xlen) || !c.Skip(xlen)) return GzipHeaderStatus::incomplete;
  }
  if ((flags & 8) && !c.SkipPastNul()) return GzipHeaderStatus::incomplete;
  if ((flags & 16) && !c.SkipPastNul()) return GzipHeaderStatus::incomplete;
  if ((flags & 2) && !c.Skip(2)) return GzipHeaderStatus::incomplete;
  headerLength = c.pos();
  return GzipHeaderStatus::complete;
}

// "deflate" comes both raw and with the zlib wrapper (RFC 1950); a valid zlib
// header is skipped so both decode. Two bytes decide, so a first read of one
// byte waits for the next.
static GzipHeaderStatus ParseZlibWrapper(const uint8_t* data, size_t length, size_t& headerLength) {
  if (length < 2) return GzipHeaderStatus::incomplete;
  const bool wrapped = (data[0] & 0x0F) == 8 && (data[0] >> 4) <= 7 &&
                       ((data[0] << 8) | data[1]) % 31 == 0 && !(data[1] & 0x20);
  headerLength = wrapped ? 2 : 0;
  return GzipHeaderStatus::complete;
}

ContentDecoder::~ContentDecoder() { Reset(); }

void ContentDecoder::Reset() {
  if (streamOpen_) inflateEnd(&zs_);
  streamOpen_ = false;
  streamEnded_ = false;
  headerDone_ = false;
  coding_ = codingNone;
  compressedInput_.clear();
  compressedInput_.shrink_to_fit();
  used_ = 0;
}

int ContentDecoder::Start(int coding) {
  Reset();
  if (coding != codingGzip && coding != codingDeflate) return 0;
  zs_ = z_stream{};
  if (inflateInit2(&zs_, -15) != Z_OK) {
    failure_ = HttpError::DecompressorInit;
    return HttpErrorCode(failure_);
  }
  streamOpen_ = true;
  coding_ = coding;
  return 0;
}

int ContentDecoder::Decode(const char* data, size_t length, BodyOutput& out) {
  const uint8_t* in = reinterpret_cast<const uint8_t*>(data);
  if (!headerDone_) {
    compressedInput_.append(data, length);
    size_t headerLength = 0;
    const uint8_t* gathered = reinterpret_cast<const uint8_t*>(compressedInput_.data());
    const auto status = coding_ == codingGzip
                            ? ParseGzipHeader(gathered, compressedInput_.size(), headerLength)
                            : ParseZlibWrapper(gathered, compressedInput_.size(), headerLength);
    switch (status) {
      case GzipHeaderStatus::incomplete:
        // A header is small unless it carries names or comments; bound it anyway.
        if (compressedInput_.size() > (1u << 20)) {
          failure_ = HttpError::GzipHeader;
          return HttpErrorCode(failure_);
        }
        return 0;
      case GzipHeaderStatus::invalid:
        failure_ = HttpError::GzipHeader;
        return HttpErrorCode(failure_);
      case GzipHeaderStatus::complete:
        break;
    }
    headerDone_ = true;
    int rc = Inflate(gathered + headerLength, compressedInput_.size() - headerLength, out);
    compressedInput_.clear();
    return rc;
  }
  return Inflate(in, length, out);
}

int ContentDecoder::Inflate(const uint8_t* data, size_t length, BodyOutput& out) {
  if (streamEnded_ || length == 0) return Flush(out);
  if (!output_) {
    output_.reset(new (std::nothrow) char[kFlushSize + kInflateBlock]);
    if (!output_) return kErrOutOfMemory;
  }
  zs_.next_in = const_cast<Bytef*>(data);
  zs_.avail_in = static_cast<uInt>(length);
  for (;;) {
    // Inflate straight into the output block; no zero-filling, no extra copy.
    zs_.next_out = reinterpret_cast<Bytef*>(output_.get() + used_);
    zs_.avail_out = static_cast<uInt>(kInflateBlock);
    int z = inflate(&zs_, Z_NO_FLUSH);
    used_ += kInflateBlock - zs_.avail_out;
    if (z == Z_STREAM_END) {
      streamEnded_ = true;
      break;
    }
    if (z != Z_OK && z != Z_BUF_ERROR) {
      failure_ = HttpError::Decompress;
      used_ = 0;
      return HttpErrorCode(failure_);
    }
    if (used_ >= kFlushSize) {
      if (int rc = Flush(out); rc != 0) return rc;
    }
    if (zs_.avail_in == 0 && zs_.avail_out != 0) break;
    if (z == Z_BUF_ERROR && zs_.avail_out != 0) break;
  }
  return Flush(out);
}

int ContentDecoder::Flush(BodyOutput& out) {
  if (used_ == 0) return 0;
  size_t n = used_;
  used_ = 0;
  return out.Write(output_.get(), n);
}

}  // namespace corvane::http
