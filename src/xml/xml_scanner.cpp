// The byte scanner: Feed transcodes a piece into the input buffer and Scan
// walks it from the saved position in the saved state. Runs of ordinary bytes
// (text, names, values, comment bodies) are swallowed by table-driven inner
// loops that stop on the NUL sentinel which always follows the buffer, so the
// per-byte path has no bounds check.
#include "xml/same_name.h"
#include "xml/xml_parser.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

using xml::kAttrNameStop;
using xml::kDashStop;
using xml::kDbcsLead;
using xml::kDeclStop;
using xml::kDqStop;
using xml::kDqValueStop;
using xml::kGtStop;
using xml::kLBracketStop;
using xml::kName;
using xml::kNamePart;
using xml::kNameStart;
using xml::kRBracketStop;
using xml::kSqStop;
using xml::kSqValueStop;
using xml::kTextStop;
using xml::kUnquotedStop;
using xml::kWs;

// Advances p to the first byte in the stop set mask (or to end). Every mask
// holds NUL, so the inner loop runs unchecked; a NUL inside the input is
// stepped over as an ordinary byte.
inline const uint8_t* RunUntil(const uint8_t* p, const uint8_t* end, const uint32_t* cls,
                               uint32_t mask) noexcept {
  for (;;) {
    while (!(cls[p[0]] & mask)) {
      if (cls[p[1]] & mask) {
        ++p;
        break;
      }
      if (cls[p[2]] & mask) {
        p += 2;
        break;
      }
      if (cls[p[3]] & mask) {
        p += 3;
        break;
      }
      p += 4;
    }
    if (*p != 0 || p >= end) return p;
    ++p;
  }
}

// Advances p past the bytes in class mask. The sentinel NUL is in no such
// class, so the unrolled reads never pass it.
inline const uint8_t* RunWhile(const uint8_t* p, const uint32_t* cls, uint32_t mask) noexcept {
  for (;; p += 4) {
    if (!(cls[p[0]] & mask)) return p;
    if (!(cls[p[1]] & mask)) return p + 1;
    if (!(cls[p[2]] & mask)) return p + 2;
    if (!(cls[p[3]] & mask)) return p + 3;
  }
}

#ifdef __SSE2__
// Sixteen bytes at a time to the first of a, b or c; a NUL stops the compare
// too but is content, so it is stepped over. Returns the stop byte, or
// nullptr with p moved to where fewer than sixteen bytes remain.
inline const uint8_t* SkipSixteens(const uint8_t*& p, const uint8_t* end, uint8_t a, uint8_t b,
                                   uint8_t c) noexcept {
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  const __m128i nul = _mm_setzero_si128();
  while (end - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                               _mm_or_si128(_mm_cmpeq_epi8(v, vc), _mm_cmpeq_epi8(v, nul)));
    int bits = _mm_movemask_epi8(hit);
    if (bits == 0) {
      p += 16;
      continue;
    }
    p += __builtin_ctz(static_cast<unsigned>(bits));
    if (*p != 0) return p;
    ++p;
  }
  return nullptr;
}
#endif

// Text runs are the longest runs in most documents: sixteen bytes at a time
// where SSE2 is there (always on x86-64), the table loop for the tail.
inline const uint8_t* TextRun(const uint8_t* p, const uint8_t* end, const uint32_t* cls,
                              uint32_t mask, bool doubleByte) noexcept {
#ifdef __SSE2__
  if (!doubleByte) {
    if (const uint8_t* stop = SkipSixteens(p, end, '<', '&', '\n')) return stop;
  }
#else
  (void)doubleByte;
#endif
  return RunUntil(p, end, cls, mask);
}

// Quoted attribute values: the same skip, stopping on the closing quote or '&'.
inline const uint8_t* ValueRun(const uint8_t* p, const uint8_t* end, const uint32_t* cls,
                               uint32_t mask, uint8_t quote) noexcept {
#ifdef __SSE2__
  if (const uint8_t* stop = SkipSixteens(p, end, quote, '&', quote)) return stop;
#else
  (void)quote;
#endif
  return RunUntil(p, end, cls, mask);
}

}  // namespace

int XmlParser::Feed(std::string_view piece) {
  // A document that opens with an XML declaration may name another encoding
  // in it: the declaration's piece is scanned on its own first, so the rest
  // is transcoded once, in the encoding named, not twice.
  constexpr size_t kDeclarationPiece = 256;
  if (input_.empty() && dropped_ == 0 && failed_ == 0) {
    // The first piece is often the whole document: the buffers are sized
    // from it once (untouched room costs address space only), with room for
    // characters the transcoder writes as references and for the records.
    // Advisory: growth reports a real shortage.
    (void)input_.Reserve(uint64_t{piece.size()} + piece.size() / 4);
    if (buildDom_) (void)doc_.Reserve(uint64_t{piece.size()} * 2);
  }
  if (input_.empty() && dropped_ == 0 && piece.size() > kDeclarationPiece &&
      piece.substr(0, 5) == "<?xml") {
    if (int rc = FeedPiece(piece.substr(0, kDeclarationPiece)); rc != 0) return rc;
    piece.remove_prefix(kDeclarationPiece);
  }
  return FeedPiece(piece);
}

int XmlParser::FeedPiece(std::string_view piece) {
  if (failed_ != 0) return failed_;
  if (IsUtf16(encoding_)) return Fail(xeUtf16Unsupported);
  // The model refers into the input when the whole input is kept; the
  // choice holds from the first element record to the end of the document.
  if (root_ == 0) doc_.BindInput(keepOriginalText_ && buildDom_ ? &input_ : nullptr, dropped_);
  if (!keepOriginalText_ && !doc_.InputBound()) {
    if (int rc = CompactInput(); rc != 0) return rc;
  }
  const HandledEvents& handled = Handled();
  deliverText_ = buildDom_ || handled.characters || handled.ignorableWhitespace;
  textEvents_ = handled.characters;
  whitespaceEvents_ = handled.ignorableWhitespace;
  // A listener of references alone gets them without the text runs being cut.
  deliver_ = deliverText_ || handled.evalEntity;

  const uint8_t* raw = reinterpret_cast<const uint8_t*>(piece.data());
  size_t rawLeft = piece.size();
  uint32_t pieceStart = static_cast<uint32_t>(input_.size());
  XmlTranscoder atPieceStart = transcoder_;
  if (rawLeft > 0x7FFFFFF0u - pieceStart) return Fail(xeOutOfMemory);
  if (transcoder_.Transcode(encoding_, raw, rawLeft, input_) != 0) return Fail(xeOutOfMemory);

  for (;;) {
    encodingSwitched_ = false;
    if (int rc = Scan(); rc != 0) {
      failed_ = rc;
      return rc;
    }
    if (!encodingSwitched_) return 0;
    // A processing instruction named another encoding: the rest of this
    // piece is transcoded again from the byte after the instruction, so the
    // result does not depend on where the input was cut.
    size_t used = pos_ > pieceStart
                      ? atPieceStart.InputFor(encoding_, raw, rawLeft, pos_ - pieceStart)
                      : 0;
    raw += used;
    rawLeft -= used;
    encoding_ = pendingEncoding_;
    transcoder_.Reset();
    if (input_.Resize(pos_) != 0) return Fail(xeOutOfMemory);
    if (rawLeft > 0 && IsUtf16(encoding_)) return Fail(xeUtf16Unsupported);
    pieceStart = pos_;
    atPieceStart = transcoder_;
    if (transcoder_.Transcode(encoding_, raw, rawLeft, input_) != 0) return Fail(xeOutOfMemory);
  }
}

int XmlParser::CompactInput() {
  uint32_t keep = pos_;
  if (textStart_ < keep) keep = textStart_;
  if (tagStart_ < keep) keep = tagStart_;
  if (keep == 0) return 0;
  // Open elements' names may lie in the part dropped: copied out first.
  for (int d = 1; d <= depth_; ++d) {
    OpenElement& open = open_[d];
    if (open.isSaved) continue;
    if (open.saved.Assign(OpenName(open)) != 0) return Fail(xeOutOfMemory);
    open.isSaved = true;
  }
  auto shift = [keep](uint32_t& m) { m = m >= keep ? m - keep : 0; };
  for (uint32_t* m : {&pos_, &textStart_, &tagStart_, &tokenStart_, &tokenEnd_, &attrNameStart_,
                      &attrNameEnd_, &valueStart_, &refStart_, &tagNameStart_, &tagNameEnd_,
                      &wsKnownStart_, &wsKnownEnd_}) {
    shift(*m);
  }
  for (int i = 0; i < attrCount_; ++i) {
    shift(attrs_[i].nameStart);
    if (!attrs_[i].inArena) shift(attrs_[i].valueStart);
  }
  input_.Consume(keep);
  dropped_ += keep;
  return 0;
}

int XmlParser::Scan() {
  const uint8_t* const base = reinterpret_cast<const uint8_t*>(input_.data());
  const uint8_t* const end = base + input_.size();
  const uint32_t* const cls = classes_.cls;
  const uint8_t* p = base + pos_;
  auto at = [base](const uint8_t* q) { return static_cast<uint32_t>(q - base); };
  int rc = 0;
  // The state lives in a register while scanning and is stored on the way out.
  XmlState st = state_;

// The common paths through a tag go straight to the next state's code while
// input is left and nothing failed, instead of round the dispatch, whose
// indirect jump mispredicts on almost every byte of markup.
#define CORVANE_XML_NEXT(state, label) \
  st = XmlState::state;                \
  if (p < end && rc == 0) goto label;  \
  break

  while (p < end && rc == 0) {
    switch (st) {
      case XmlState::xsText:
      text: {
        // The mask is formed here rather than held for the whole pass: one
        // register less across the calls keeps the marks' base out of memory.
        p = TextRun(p, end, cls, kTextStop | (doubleByteLead_ ? uint32_t{kDbcsLead} : 0u), doubleByteLead_);
        if (p >= end) break;
        uint8_t c = *p;
        if (c == '<') {
          if (deliverText_) rc = FlushText(at(p), TextRule::trTag);
          tagStart_ = at(p);
          ++p;
          CORVANE_XML_NEXT(xsAfterLt, afterLt);
        } else if (c == '&') {
          if (deliverText_) rc = FlushText(at(p), TextRule::trPlain);
          refStart_ = at(p);
          ++p;
          tokenStart_ = at(p);
          st = XmlState::xsTextReference;
        } else if (c == '\n') {
          ++p;
          if (deliverText_) rc = LineBreak(at(p));
        } else {
          ++p;  // lead byte of a double-byte character
          st = XmlState::xsDoubleByteTrail;
        }
        break;
      }

      case XmlState::xsDoubleByteTrail:
        ++p;
        st = XmlState::xsText;
        break;

      case XmlState::xsAfterConstruct:
      afterConstruct: {
        p = RunWhile(p, cls, kWs);
        if (p >= end) break;
        if (*p == '<' || !preserveWhitespace_) {
          if (whitespaceEvents_ && at(p) > textStart_) rc = ReportWhitespace(textStart_, at(p));
          textStart_ = at(p);
        }
        if (*p == '<') {
          tagStart_ = at(p);
          ++p;
          CORVANE_XML_NEXT(xsAfterLt, afterLt);
        }
        CORVANE_XML_NEXT(xsText, text);
      }

      case XmlState::xsAfterLt:
      afterLt: {
        uint8_t c = *p;
        if (c == '/' && depth_ > 0 && validate_) {
          // Most end tags are "</name>" for the innermost element: compared
          // with its name in place, without reading the name first.
          const OpenElement& open = open_[depth_];
          std::string_view name = OpenName(open);
          const uint8_t* q = p + 1;
          if (static_cast<size_t>(end - q) > name.size() && q[name.size()] == '>' &&
              (cls[*q] & kNameStart) && open.known &&
              xml::SameName(name, {reinterpret_cast<const char*>(q), name.size()}) &&
              !EndEvents()) {
            p = q + name.size() + 1;
            rc = CloseMatched(tagStart_, at(p));
            textStart_ = at(p);
            CORVANE_XML_NEXT(xsAfterConstruct, afterConstruct);
          }
        }
        if ((cls[c] & kNameStart) || c == '/' || c == '?' || c == '!') {
          tokenStart_ = at(p);
          CORVANE_XML_NEXT(xsTagName, tagName);
        }
        textStart_ = tagStart_;  // the '<' was text
        st = XmlState::xsText;
        break;
      }

      case XmlState::xsTagName:
      tagName: {
        if (at(p) == tokenStart_) {
          uint8_t c = *p;
          if (c == '!' || c == '/' || c == '?') {
            ++p;
            tokenStart_ = at(p);
            if (c == '/') {
              CORVANE_XML_NEXT(xsEndTagName, endTagName);
            }
            st = c == '!' ? XmlState::xsAfterLtBang : XmlState::xsProcessingInstruction;
            break;
          }
          tagNameColon_ = kNoColon;
        }
        p = RunWhile(p, cls, kNamePart);
        if (*p == ':') {
          if (tagNameColon_ == kNoColon) tagNameColon_ = at(p) - tokenStart_;
          p = RunWhile(p + 1, cls, kName);
        }
        if (p >= end) break;
        if (scriptMode_) {
          textStart_ = tagStart_;  // markup inside a script is text
          st = XmlState::xsText;
          break;
        }
        tagNameStart_ = tokenStart_;
        tagNameEnd_ = at(p);
        attrCount_ = 0;
        arena_.Clear();
        if (*p == '>') {
          rc = StartTag(at(p), false);
          ++p;
          textStart_ = at(p);
          CORVANE_XML_NEXT(xsAfterConstruct, afterConstruct);
        }
        CORVANE_XML_NEXT(xsInTag, inTag);
      }

      case XmlState::xsInTag:
      inTag: {
        while ((cls[*p] & kWs) || *p == '/') ++p;
        if (p >= end) break;
        if (*p == '>') {
          rc = StartTag(at(p), p[-1] == '/');
          ++p;
          textStart_ = at(p);
          CORVANE_XML_NEXT(xsAfterConstruct, afterConstruct);
        }
        attrNameStart_ = at(p);
        ++p;
        CORVANE_XML_NEXT(xsAttrName, attrName);
      }

      case XmlState::xsAttrName:
      attrName: {
        p = RunUntil(p, end, cls, kAttrNameStop);
        if (p >= end) break;
        attrNameEnd_ = at(p);
        uint8_t c = *p;
        if (c == '=') {
          ++p;
          CORVANE_XML_NEXT(xsAfterEquals, afterEquals);
        } else if (c == '/') {
          rc = AddAttribute(0, 0, false);
          ++p;
          pendingAttr_ = false;
          st = XmlState::xsAfterAttrName;
        } else if (c == '>') {
          rc = AddAttribute(0, 0, false);
          if (rc == 0) rc = StartTag(at(p), false);
          ++p;
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else {
          ++p;
          pendingAttr_ = true;
          st = XmlState::xsAfterAttrName;
        }
        break;
      }

      case XmlState::xsAfterAttrName: {
        while (cls[*p] & kWs) ++p;
        if (p >= end) break;
        uint8_t c = *p;
        if (c == '=') {
          ++p;
          pendingAttr_ = false;
          st = XmlState::xsAfterEquals;
          break;
        }
        if (pendingAttr_) rc = AddAttribute(0, 0, false);
        pendingAttr_ = false;
        if (rc != 0) break;
        if (c == '>') {
          rc = StartTag(at(p), p[-1] == '/');
          ++p;
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else if (c == '/') {
          ++p;
          st = XmlState::xsInTag;
        } else {
          attrNameStart_ = at(p);
          ++p;
          st = XmlState::xsAttrName;
        }
        break;
      }

      case XmlState::xsAfterEquals:
      afterEquals: {
        while (cls[*p] & kWs) ++p;
        if (p >= end) break;
        uint8_t c = *p;
        valueInArena_ = false;
        if (c == '"' || c == '\'') {
          ++p;
          valueStart_ = at(p);
          if (c == '"') {
            CORVANE_XML_NEXT(xsDoubleQuotedValue, quotedValue);
          }
          CORVANE_XML_NEXT(xsSingleQuotedValue, quotedValue);
        } else if (c == '&') {
          valueStart_ = refStart_ = at(p);
          ++p;
          tokenStart_ = at(p);
          st = XmlState::xsUnquotedReference;
        } else if (c == '>') {
          if (validate_) {
            rc = Fail(xeInvalidMarkup);
            break;
          }
          rc = AddAttribute(0, 0, false);
          if (rc == 0) rc = StartTag(at(p), false);
          ++p;
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else {
          valueStart_ = at(p);
          ++p;
          st = XmlState::xsUnquotedValue;
        }
        break;
      }

      case XmlState::xsUnquotedValue: {
        p = RunUntil(p, end, cls, kUnquotedStop);
        if (p >= end) break;
        uint8_t c = *p;
        if (c == '&') {
          refStart_ = at(p);
          ++p;
          tokenStart_ = at(p);
          st = XmlState::xsUnquotedReference;
        } else if (c == '>') {
          // A value that ends in "/>" closes an empty element.
          uint32_t valueEnd = at(p);
          bool empty = p[-1] == '/' && valueEnd > valueStart_;
          if (empty) --valueEnd;
          rc = CompleteAttribute(valueEnd);
          if (rc == 0) rc = StartTag(at(p), empty);
          ++p;
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else {
          rc = CompleteAttribute(at(p));
          ++p;
          st = XmlState::xsInTag;
        }
        break;
      }

      case XmlState::xsSingleQuotedValue:
      case XmlState::xsDoubleQuotedValue:
      quotedValue: {
        bool dq = st == XmlState::xsDoubleQuotedValue;
        p = ValueRun(p, end, cls, dq ? kDqValueStop : kSqValueStop, dq ? '"' : '\'');
        if (p >= end) break;
        if (*p == '&') {
          refStart_ = at(p);
          ++p;
          tokenStart_ = at(p);
          st = dq ? XmlState::xsDoubleQuotedReference : XmlState::xsSingleQuotedReference;
          break;
        }
        rc = CompleteAttribute(at(p));
        ++p;
        CORVANE_XML_NEXT(xsInTag, inTag);
      }

      case XmlState::xsTextReference:
      case XmlState::xsUnquotedReference:
      case XmlState::xsSingleQuotedReference:
      case XmlState::xsDoubleQuotedReference: {
        while ((cls[*p] & kName) || *p == '#') ++p;
        if (p >= end) break;
        uint32_t nameEnd = at(p);
        bool semicolon = *p == ';';
        if (semicolon) ++p;
        if (st == XmlState::xsTextReference) {
          if (deliver_) {
            std::string_view value = ResolveReference(tokenStart_, nameEnd, semicolon);
            if (!value.empty()) rc = DeliverText(value.data(), value.size());
          }
          textStart_ = at(p);
          CORVANE_XML_NEXT(xsText, text);
        }
        std::string_view value = ResolveReference(tokenStart_, nameEnd, semicolon);
        if (!valueInArena_) {
          valueInArena_ = true;
          valueArenaStart_ = arena_.size();
        }
        if (arena_.Append(input_.data() + valueStart_, refStart_ - valueStart_) != 0 ||
            arena_.Append(value) != 0) {
          rc = Fail(xeOutOfMemory);
          break;
        }
        valueStart_ = at(p);
        st = st == XmlState::xsUnquotedReference     ? XmlState::xsUnquotedValue
                 : st == XmlState::xsSingleQuotedReference ? XmlState::xsSingleQuotedValue
                                                               : XmlState::xsDoubleQuotedValue;
        break;
      }

      case XmlState::xsEndTagName:
      endTagName: {
        if (at(p) == tokenStart_ && !(cls[*p] & kNameStart)) {
          textStart_ = tagStart_;  // "</" not followed by a name is text
          st = XmlState::xsText;
          break;
        }
        while (cls[*p] & kName) ++p;
        if (p >= end) break;
        tokenEnd_ = at(p);
        if (cls[*p] & kWs) {
          ++p;
          st = XmlState::xsAfterEndTagName;
          break;
        }
        [[fallthrough]];
      }
      case XmlState::xsAfterEndTagName: {
        while (cls[*p] & kWs) ++p;
        if (p >= end) break;
        bool gt = *p == '>';
        rc = EndTag(std::string_view(input_.data() + tokenStart_, tokenEnd_ - tokenStart_), false,
                    tagStart_, at(p) + (gt ? 1 : 0));
        if (gt) {
          ++p;
          textStart_ = at(p);
          CORVANE_XML_NEXT(xsAfterConstruct, afterConstruct);
        }
        st = XmlState::xsEndTagJunk;
        break;
      }

      case XmlState::xsEndTagJunk:
        if (validate_) {
          rc = Fail(xeInvalidMarkup);
          break;
        }
        p = RunUntil(p, end, cls, kGtStop);
        if (p >= end) break;
        ++p;
        textStart_ = at(p);
        st = XmlState::xsText;
        break;

      case XmlState::xsAfterLtBang: {
        uint8_t c = *p;
        if (c == '-') {
          ++p;
          st = XmlState::xsAfterLtBangDash;
        } else if (c == '>') {
          ++p;  // "<!>": an empty declaration
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else if (c == '[' && !htmlComments_) {
          ++p;
          tokenStart_ = at(p);
          st = XmlState::xsSectionId;
        } else {
          st = XmlState::xsDeclaration;
        }
        break;
      }

      case XmlState::xsAfterLtBangDash:
        if (*p == '-') {
          ++p;
          tokenStart_ = at(p);
          st = htmlComments_ ? XmlState::xsHtmlComment : XmlState::xsComment;
        } else {
          st = XmlState::xsDeclaration;
        }
        break;

      case XmlState::xsComment:
        p = RunUntil(p, end, cls, kDashStop);
        if (p >= end) break;
        ++p;
        st = XmlState::xsCommentDash;
        break;

      case XmlState::xsCommentDash:
        if (*p == '-') {
          if (EventSink() != nullptr) {
            evText_.assign(input_.data() + tokenStart_, at(p) - 1 - tokenStart_);
            EventSink()->Comment(evText_);
          }
          ++p;
          st = XmlState::xsCommentEnd;
        } else {
          st = XmlState::xsComment;
        }
        break;

      case XmlState::xsCommentEnd:
        if (*p != '>') {
          rc = Fail(xeInvalidMarkup);
          break;
        }
        ++p;
        textStart_ = at(p);
        st = XmlState::xsAfterConstruct;
        break;

      case XmlState::xsHtmlComment:
        p = RunUntil(p, end, cls, kGtStop);
        if (p >= end) break;
        if (at(p) >= tokenStart_ + 2 && p[-1] == '-' && p[-2] == '-') {
          if (EventSink() != nullptr) {
            evText_.assign(input_.data() + tokenStart_, at(p) - 2 - tokenStart_);
            EventSink()->Comment(evText_);
          }
          ++p;
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        } else {
          ++p;
        }
        break;

      case XmlState::xsProcessingInstruction: {
        p = RunUntil(p, end, cls, kGtStop);
        if (p >= end) break;
        if (validate_ && !(at(p) > tokenStart_ && p[-1] == '?')) {
          ++p;
          break;
        }
        // The byte before '>' ('?' when validating) is not part of the text.
        uint32_t textEnd = at(p) > tokenStart_ ? at(p) - 1 : tokenStart_;
        ++p;
        textStart_ = at(p);
        st = XmlState::xsAfterConstruct;
        rc = ProcessingInstruction(tokenStart_, textEnd);
        break;
      }

      case XmlState::xsDeclaration: {
        p = RunUntil(p, end, cls, kDeclStop);
        if (p >= end) break;
        uint8_t c = *p++;
        if (c == '"') {
          st = XmlState::xsDeclDoubleQuoted;
        } else if (c == '\'') {
          st = XmlState::xsDeclSingleQuoted;
        } else if (c == '[') {
          st = XmlState::xsInternalSubset;
        } else {
          if (EventSink() != nullptr) {
            evText_.assign(input_.data() + tokenStart_, at(p) - 1 - tokenStart_);
            EventSink()->Meta(evText_);
          }
          textStart_ = at(p);
          st = XmlState::xsAfterConstruct;
        }
        break;
      }

      case XmlState::xsDeclSingleQuoted:
      case XmlState::xsDeclDoubleQuoted:
      case XmlState::xsInternalSubset: {
        uint32_t mask = st == XmlState::xsDeclSingleQuoted   ? kSqStop
                        : st == XmlState::xsDeclDoubleQuoted ? kDqStop
                                                                 : kRBracketStop;
        p = RunUntil(p, end, cls, mask);
        if (p >= end) break;
        ++p;
        st = XmlState::xsDeclaration;
        break;
      }

      case XmlState::xsSectionId:
        p = RunUntil(p, end, cls, kLBracketStop);
        if (p >= end) break;
        tokenEnd_ = at(p);
        ++p;
        valueStart_ = at(p);
        st = XmlState::xsSection;
        break;

      case XmlState::xsSection:
        p = RunUntil(p, end, cls, kGtStop);
        if (p >= end) break;
        if (at(p) >= valueStart_ + 2 && p[-1] == ']' && p[-2] == ']') {
          rc = Section(at(p) - 2);
          ++p;
          textStart_ = at(p);
          st = XmlState::xsText;
        } else {
          ++p;
        }
        break;
    }
  }
#undef CORVANE_XML_NEXT
  pos_ = static_cast<uint32_t>(p - base);
  state_ = st;
  if (rc == kEncodingSwitch) {
    encodingSwitched_ = true;
    return 0;
  }
  return rc;
}

}  // namespace corvane
