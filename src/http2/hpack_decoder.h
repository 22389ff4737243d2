#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "http2/header_list.h"
#include "http2/hpack_table.h"
#include "http2/http2_errors.h"

namespace corvane {

class ByteReader;

// HPACK decoder (RFC 7541 section 6) of one connection: all representations,
// the dynamic table the peer's encoder drives, Huffman strings. A header
// block may arrive in several fragments (HEADERS then CONTINUATION frames);
// a representation cut at the end of a fragment is held back and completed
// by the next one. The decoded header list of one block is bounded (RFC 7540
// section 6.5.2 accounting: name + value + 32 per pair) so a hostile peer
// cannot make it grow without limit.
class HpackDecoder {
 public:
  static constexpr size_t kDefaultMaxHeaderListSize = 256 * 1024;
  // Largest integer accepted in a representation (indexes, lengths, sizes).
  static constexpr uint32_t kMaxInteger = 0x7FFFFFFF;

  HpackTable& Table() noexcept { return table_; }
  const HpackTable& Table() const noexcept { return table_; }

  void SetMaxHeaderListSize(size_t size) noexcept { maxHeaderListSize_ = size; }
  size_t MaxHeaderListSize() const noexcept { return maxHeaderListSize_; }

  // Decodes one fragment of a header block and appends the pairs to out.
  // endOfBlock is true for the fragment that carries END_HEADERS. Returns 0,
  // 9 (compression error; the message is in ErrorText()) or 200. After an
  // error the decoder's state is undefined until Reset(): the connection is
  // lost (RFC 7541 section 2.3.3 / RFC 7540 section 4.3).
  int Decode(const uint8_t* data, size_t length, HeaderList& out, bool endOfBlock);

  // Empties the dynamic table and drops any partial block.
  void Reset() noexcept;

  const std::string& ErrorText() const noexcept { return errorText_; }

 private:
  enum class Step { stField, stNeedMore, stError };

  Step DecodeOne(ByteReader& r, HeaderList& out, int& code);
  Step ReadInteger(ByteReader& r, int prefixBits, uint32_t& value, int& code);
  Step ReadString(ByteReader& r, std::string& out, int& code);
  Step Fail(Http2Message message, std::initializer_list<MessageArg> args, int& code);
  size_t Budget() const noexcept {
    return listSize_ >= maxHeaderListSize_ ? 0 : maxHeaderListSize_ - listSize_;
  }
  int DecodeRange(const uint8_t* data, size_t length, HeaderList& out, bool endOfBlock,
                  size_t& consumed);

  HpackTable table_;
  size_t maxHeaderListSize_ = kDefaultMaxHeaderListSize;
  size_t listSize_ = 0;      // of the block being decoded
  bool fieldSeen_ = false;   // a header field was decoded in this block
  std::string pending_;      // incomplete representation carried to the next fragment
  size_t pendingNeed_ = 0;   // pending_ cannot complete before it holds this many bytes
  size_t reprStart_ = 0;     // offset of the representation being decoded
  std::string name_;         // scratch
  std::string value_;        // scratch
  std::string errorText_;
};

}  // namespace corvane
