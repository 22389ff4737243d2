#pragma once

#include <optional>
#include <string>

#include "http2/header_list.h"
#include "http2/http2_errors.h"

namespace corvane {

// Why a received field makes the response malformed, with the field as it
// may be shown in the message (printable, at most 64 bytes).
struct FieldViolation {
  Http2Message message;
  std::string shown;
};

// The field rules a response's header blocks must keep (RFC 9113 sections
// 8.2 and 8.3.2): lower-case token names, no connection-specific fields, no
// whitespace around a value, exactly one :status before the regular fields
// of each response header block and no pseudo-header at all in trailers.
// One object per stream; blocks are fed in order, field by field.
class ResponseFieldRules {
 public:
  // A field of the current block; a violation makes the response malformed.
  std::optional<FieldViolation> Check(const HeaderField& field);
  // The block is complete (END_HEADERS): a response header block without
  // :status is malformed. A final status makes the next block trailers.
  std::optional<FieldViolation> EndBlock();
  // A new stream: the next block is its response header block again.
  void Reset() noexcept { *this = ResponseFieldRules(); }

 private:
  bool trailers_ = false;      // a final status has been received
  bool statusSeen_ = false;    // in the current block
  bool regularSeen_ = false;   // in the current block
  bool informational_ = false; // the current block's status is 1xx
};

}  // namespace corvane
