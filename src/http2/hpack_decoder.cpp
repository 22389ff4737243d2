#include "http2/hpack_decoder.h"

#include "core/byte_reader.h"
#include "http2/huffman.h"

namespace corvane {


HpackDecoder::Step HpackDecoder::Fail(Http2Message message, std::initializer_list<MessageArg> args,
                                      int& code) {
  errorText_ = Http2MessageText(message, args);
  code = Http2MessageCode(message);
  return Step::stError;
}

void HpackDecoder::Reset() noexcept {
  table_.Clear();
  table_.SetMaxSize(HpackTable::kDefaultMaxSize);
  pending_.clear();
  pendingNeed_ = 0;
  listSize_ = 0;
  fieldSeen_ = false;
}

// RFC 7541 section 5.1. Values above kMaxInteger, or a run of continuation
// bytes that could only encode such a value, are refused.
HpackDecoder::Step HpackDecoder::ReadInteger(ByteReader& r, int prefixBits, uint32_t& value,
                                             int& code) {
  uint8_t b = 0;
  if (!r.U8(b)) return Step::stNeedMore;
  const uint32_t max = (1u << prefixBits) - 1;
  uint32_t v = b & max;
  if (v < max) {
    value = v;
    return Step::stField;
  }
  uint64_t acc = v;
  for (int shift = 0;; shift += 7) {
    if (!r.U8(b)) return Step::stNeedMore;
    if (shift > 28) return Fail(Http2Message::kHpackIntegerOverflow, {kMaxInteger}, code);
    acc += uint64_t{b & 0x7Fu} << shift;
    if (acc > kMaxInteger) return Fail(Http2Message::kHpackIntegerOverflow, {kMaxInteger}, code);
    if ((b & 0x80) == 0) break;
  }
  value = static_cast<uint32_t>(acc);
  return Step::stField;
}

// RFC 7541 section 5.2: H bit, 7-bit prefix length, octets.
HpackDecoder::Step HpackDecoder::ReadString(ByteReader& r, std::string& out, int& code) {
  out.clear();
  uint8_t first = 0;
  if (!r.Peek(first)) return Step::stNeedMore;
  const bool huffman = (first & 0x80) != 0;
  uint32_t len = 0;
  if (Step s = ReadInteger(r, 7, len, code); s != Step::stField) return s;
  // A Huffman string decodes to at least len * 8 / 30 bytes, a plain one to len.
  const size_t budget = Budget();
  const uint64_t minDecoded = huffman ? uint64_t{len} * 8 / 30 : len;
  if (minDecoded > budget) {
    return Fail(Http2Message::kHeaderListTooLarge, {static_cast<unsigned long long>(maxHeaderListSize_)},
                code);
  }
  const uint8_t* bytes = nullptr;
  if (!r.Bytes(len, bytes)) {
    // Remember how much must arrive before another attempt can succeed, so a
    // long string trickling in through tiny fragments is not re-read each time.
    pendingNeed_ = r.Position() - reprStart_ + len;
    return Step::stNeedMore;
  }
  if (!huffman) {
    out.assign(reinterpret_cast<const char*>(bytes), len);
    return Step::stField;
  }
  switch (http2::HuffmanDecode(bytes, len, out)) {
    case http2::HuffmanResult::hrOk:
      return Step::stField;
    case http2::HuffmanResult::hrEos:
      return Fail(Http2Message::kHuffmanEos, {}, code);
    case http2::HuffmanResult::hrBadPadding:
      return Fail(Http2Message::kHuffmanPadding, {}, code);
  }
  return Fail(Http2Message::kHuffmanPadding, {}, code);
}

// Decodes one representation (RFC 7541 section 6). Nothing changes (table,
// output) unless the whole representation is present.
HpackDecoder::Step HpackDecoder::DecodeOne(ByteReader& r, HeaderList& out, int& code) {
  uint8_t first = 0;
  if (!r.Peek(first)) return Step::stNeedMore;

  if (first & 0x80) {  // 1xxxxxxx indexed header field
    uint32_t index = 0;
    if (Step s = ReadInteger(r, 7, index, code); s != Step::stField) return s;
    if (index == 0) return Fail(Http2Message::kHpackIndexZero, {}, code);
    std::string_view name, value;
    if (!table_.Get(index, name, value)) {
      return Fail(Http2Message::kHpackIndexRange, {index, table_.Count()}, code);
    }
    size_t size = name.size() + value.size() + HpackTable::kEntryOverhead;
    if (size > Budget()) {
      return Fail(Http2Message::kHeaderListTooLarge,
                  {static_cast<unsigned long long>(maxHeaderListSize_)}, code);
    }
    out.push_back(HeaderField{std::string(name), std::string(value)});
    listSize_ += size;
    fieldSeen_ = true;
    return Step::stField;
  }

  if ((first & 0xE0) == 0x20) {  // 001xxxxx dynamic table size update
    uint32_t size = 0;
    if (Step s = ReadInteger(r, 5, size, code); s != Step::stField) return s;
    // RFC 7541 section 4.2: only at the start of a block, and never above the
    // SETTINGS_HEADER_TABLE_SIZE this side announced.
    if (fieldSeen_) return Fail(Http2Message::kHpackTableSizeLate, {}, code);
    if (size > HpackTable::kDefaultMaxSize) {
      return Fail(Http2Message::kHpackTableSizeLimit, {size, HpackTable::kDefaultMaxSize}, code);
    }
    table_.SetMaxSize(size);
    return Step::stField;
  }

  // Literals: 01xxxxxx incremental indexing (6-bit prefix), 0001xxxx never
  // indexed and 0000xxxx without indexing (4-bit prefix).
  const bool indexing = (first & 0xC0) == 0x40;
  uint32_t index = 0;
  if (Step s = ReadInteger(r, indexing ? 6 : 4, index, code); s != Step::stField) return s;
  if (index != 0) {
    std::string_view name, value;
    if (!table_.Get(index, name, value)) {
      return Fail(Http2Message::kHpackIndexRange, {index, table_.Count()}, code);
    }
    name_.assign(name);
  } else if (Step s = ReadString(r, name_, code); s != Step::stField) {
    return s;
  }
  if (Step s = ReadString(r, value_, code); s != Step::stField) return s;
  size_t size = name_.size() + value_.size() + HpackTable::kEntryOverhead;
  if (size > Budget()) {
    return Fail(Http2Message::kHeaderListTooLarge,
                {static_cast<unsigned long long>(maxHeaderListSize_)}, code);
  }
  if (indexing) {
    if (table_.Add(name_, value_) != 0) return Fail(Http2Message::kOutOfMemory, {}, code);
  }
  out.push_back(HeaderField{name_, value_});
  listSize_ += size;
  fieldSeen_ = true;
  return Step::stField;
}

int HpackDecoder::DecodeRange(const uint8_t* data, size_t length, HeaderList& out,
                              bool endOfBlock, size_t& consumed) {
  ByteReader r(data, length);
  consumed = 0;
  while (!r.AtEnd()) {
    int code = 0;
    reprStart_ = r.Position();
    pendingNeed_ = 0;
    Step s = DecodeOne(r, out, code);
    if (s == Step::stError) return code;
    if (s == Step::stNeedMore) {
      if (endOfBlock) {
        errorText_ = Http2MessageText(Http2Message::kHpackTruncated);
        return Http2MessageCode(Http2Message::kHpackTruncated);
      }
      break;
    }
    consumed = r.Position();
  }
  return 0;
}

int HpackDecoder::Decode(const uint8_t* data, size_t length, HeaderList& out, bool endOfBlock) {
  errorText_.clear();
  size_t consumed = 0;
  int rc = 0;
  if (pending_.empty()) {
    pendingNeed_ = 0;
    rc = DecodeRange(data, length, out, endOfBlock, consumed);
    if (rc == 0 && consumed < length) {
      pending_.assign(reinterpret_cast<const char*>(data) + consumed, length - consumed);
    }
  } else {
    pending_.append(reinterpret_cast<const char*>(data), length);
    if (pending_.size() < pendingNeed_ && !endOfBlock) return 0;
    rc = DecodeRange(reinterpret_cast<const uint8_t*>(pending_.data()), pending_.size(), out,
                     endOfBlock, consumed);
    if (rc == 0) pending_.erase(0, consumed);
  }
  if (rc != 0) {
    pending_.clear();
    return rc;
  }
  if (endOfBlock) {
    listSize_ = 0;
    fieldSeen_ = false;
  }
  return 0;
}

}  // namespace corvane
