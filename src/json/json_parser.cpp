#include "json/json_parser.h"
#include "json/json_string.h"

#include <cstdlib>
#include <cstring>

#include "core/cpu_features.h"
#include "json/json_char_class.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define CORVANE_JSON_WIDE_RUNS 1
#endif

namespace corvane {

namespace {

using json::ClassOf;

// First byte at or after p that is '"', backslash or NUL. The text is padded
// with zero bytes, so reading 16 bytes at a time never leaves the block.
// kCalls: the scan calls out for events between strings.
template <bool kCalls>
inline const unsigned char* FindStringStop(const unsigned char* p) noexcept {
#if defined(__SSE2__)
  __m128i quote = _mm_set1_epi8('"');
  __m128i backslash = _mm_set1_epi8('\\');
  // Made here, per string, when events are fired: hoisted out of the scan
  // loop, the two constants would be kept in registers and reloaded after
  // every event call.
  if constexpr (kCalls) __asm__("" : "+x"(quote), "+x"(backslash));
  const __m128i zero = _mm_setzero_si128();
  for (;;) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)),
                               _mm_cmpeq_epi8(v, zero));
    int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#else
  while (!(ClassOf(*p) & json::kStringStop)) ++p;
  return p;
#endif
}

#if defined(__SSE2__)
// First byte at or after p for which inRun (sixteen bytes in, a byte mask
// out) is false; the text's padding and NUL end every run.
template <typename InRun>
inline const unsigned char* SkipRun16(const unsigned char* p, InRun inRun) noexcept {
  for (;;) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned outside = static_cast<unsigned>(_mm_movemask_epi8(inRun(v))) ^ 0xFFFFu;
    if (outside != 0) return p + __builtin_ctz(outside);
    p += 16;
  }
}
#endif

// First byte at or after p that is not whitespace, sixteen bytes at a time;
// the padding after the terminator makes the wide reads safe, and the NUL
// stops them.
inline const unsigned char* SkipWhitespaceRun(const unsigned char* p) noexcept {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i ff = _mm_set1_epi8('\f');
  const __m128i cr = _mm_set1_epi8('\r');
  return SkipRun16(p, [&](__m128i v) {
    return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, lf)),
                        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, cr)),
                                     _mm_cmpeq_epi8(v, ff)));
  });
#else
  while (ClassOf(*p) & json::kWs) ++p;
  return p;
#endif
}

// First byte at or after p outside the number class (digits, + - . E e).
// Numbers run to twenty bytes and more, so they are classified sixteen bytes
// at a time; the padding after the terminator makes the wide reads safe, and
// the NUL stops them.
inline const unsigned char* SkipNumberRun(const unsigned char* p) noexcept {
#if defined(__SSE2__)
  const __m128i belowZero = _mm_set1_epi8('0' - 1);
  const __m128i aboveNine = _mm_set1_epi8('9' + 1);
  const __m128i plus = _mm_set1_epi8('+');
  const __m128i minus = _mm_set1_epi8('-');
  const __m128i dot = _mm_set1_epi8('.');
  const __m128i lowerCase = _mm_set1_epi8(0x20);
  const __m128i e = _mm_set1_epi8('e');
  return SkipRun16(p, [&](__m128i v) {
    // Signed compares: bytes of 128 and more are negative, so never digits.
    __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, belowZero), _mm_cmplt_epi8(v, aboveNine));
    __m128i sign = _mm_or_si128(_mm_cmpeq_epi8(v, plus), _mm_cmpeq_epi8(v, minus));
    __m128i other = _mm_or_si128(_mm_cmpeq_epi8(v, dot), _mm_cmpeq_epi8(_mm_or_si128(v, lowerCase), e));
    return _mm_or_si128(digit, _mm_or_si128(sign, other));
  });
#else
  while (ClassOf(*p) & json::kNumber) ++p;
  return p;
#endif
}

// The run finders above, sixteen bytes at a time.
struct NarrowRuns {
  template <bool kCalls>
  [[gnu::always_inline]] static const unsigned char* StringStop(const unsigned char* p) noexcept {
    return FindStringStop<kCalls>(p);
  }
  [[gnu::always_inline]] static const unsigned char* WhitespaceRun(
      const unsigned char* p) noexcept {
    return SkipWhitespaceRun(p);
  }
  [[gnu::always_inline]] static const unsigned char* NumberRun(const unsigned char* p) noexcept {
    return SkipNumberRun(p);
  }
};

#if CORVANE_JSON_WIDE_RUNS
// The same finders 32 bytes at a time, for CPUs with AVX2: long strings and
// indentation cost half the loads. Only code built for AVX2 calls them (the
// scan picks that build once per parse); the padding after the terminator
// covers a 32-byte read from any byte up to it.
#define CORVANE_AVX2 __attribute__((target("avx2")))
static_assert(JsonDocument::kTextPadding >= 31, "a 32-byte read from the NUL stays in the block");

template <typename InRun>
CORVANE_AVX2 inline const unsigned char* SkipRun32(const unsigned char* p, InRun inRun) noexcept {
  for (;;) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    unsigned outside = ~static_cast<unsigned>(_mm256_movemask_epi8(inRun(v)));
    if (outside != 0) return p + __builtin_ctz(outside);
    p += 32;
  }
}

struct WideRuns {
  template <bool kCalls>
  CORVANE_AVX2 static const unsigned char* StringStop(const unsigned char* p) noexcept {
    __m256i quote = _mm256_set1_epi8('"');
    __m256i backslash = _mm256_set1_epi8('\\');
    // Per string when events are fired, as in the narrow finder.
    if constexpr (kCalls) __asm__("" : "+x"(quote), "+x"(backslash));
    const __m256i zero = _mm256_setzero_si256();
    for (;;) {
      __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      __m256i hit = _mm256_or_si256(
          _mm256_or_si256(_mm256_cmpeq_epi8(v, quote), _mm256_cmpeq_epi8(v, backslash)),
          _mm256_cmpeq_epi8(v, zero));
      unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
      if (mask != 0) return p + __builtin_ctz(mask);
      p += 32;
    }
  }
  CORVANE_AVX2 static const unsigned char* WhitespaceRun(const unsigned char* p) noexcept {
    // Space, tab, LF, FF and CR, in one compare: looking each byte's low half
    // up in this table gives back the byte itself only for these five (a byte
    // with its high bit set looks up zero).
    const __m256i table =
        _mm256_setr_epi8(' ', 0, 0, 0, 0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0, ' ', 0, 0, 0,
                         0, 0, 0, 0, 0, '\t', '\n', 0, '\f', '\r', 0, 0);
    return SkipRun32(p, [&](__m256i v) CORVANE_AVX2 {
      return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, v), v);
    });
  }
  CORVANE_AVX2 static const unsigned char* NumberRun(const unsigned char* p) noexcept {
    const __m256i belowZero = _mm256_set1_epi8('0' - 1);
    const __m256i aboveNine = _mm256_set1_epi8('9' + 1);
    const __m256i plus = _mm256_set1_epi8('+');
    const __m256i minus = _mm256_set1_epi8('-');
    const __m256i dot = _mm256_set1_epi8('.');
    const __m256i lowerCase = _mm256_set1_epi8(0x20);
    const __m256i e = _mm256_set1_epi8('e');
    return SkipRun32(p, [&](__m256i v) CORVANE_AVX2 {
      // Signed compares: bytes of 128 and more are negative, so never digits.
      __m256i digit =
          _mm256_and_si256(_mm256_cmpgt_epi8(v, belowZero), _mm256_cmpgt_epi8(aboveNine, v));
      __m256i sign = _mm256_or_si256(_mm256_cmpeq_epi8(v, plus), _mm256_cmpeq_epi8(v, minus));
      __m256i other = _mm256_or_si256(_mm256_cmpeq_epi8(v, dot),
                                      _mm256_cmpeq_epi8(_mm256_or_si256(v, lowerCase), e));
      return _mm256_or_si256(digit, _mm256_or_si256(sign, other));
    });
  }
};
#endif

// First byte at or after p that is not whitespace. Indented answers carry
// runs of dozens of spaces, so after two bytes the run is taken a vector at a
// time.
template <typename Runs>
[[gnu::always_inline]] inline const unsigned char* SkipWhitespace(const unsigned char* p) noexcept {
  if (!(ClassOf(p[0]) & json::kWs)) return p;
  if (!(ClassOf(p[1]) & json::kWs)) return p + 1;
  return Runs::WhitespaceRun(p + 2);
}

// Scans the rest of a name or string whose content starts at p: a backslash
// takes the next byte with it, "\u" the next four as well. Returns the closing
// quote, or nullptr when the text ends first: at the first NUL after p.
template <bool kCalls, typename Runs>
[[gnu::always_inline]] inline const unsigned char* ScanString(const unsigned char* p) noexcept {
  for (;;) {
    p = Runs::template StringStop<kCalls>(p);
    if (*p == '"') return p;
    if (*p == '\0') return nullptr;
    if (p[1] == 'u') {
      if (p[2] == 0 || p[3] == 0 || p[4] == 0 || p[5] == 0) return nullptr;
      p += 6;
    } else {
      if (p[1] == 0) return nullptr;
      p += 2;
    }
  }
}

// The end of true, false or null, in any case, starting at p: the byte after
// the word, which must end the token. nullptr when p starts none of them.
// Every byte of the three words is a letter, and a byte ORed with 0x20
// equals a lower-case letter only when it is that letter in either case, so
// folding four bytes at once is exact. The text is padded, so the wide read
// is safe however close the terminator is. kEnd: the classes that end a word.
template <uint8_t kEnd>
inline const unsigned char* WordEnd(const unsigned char* p) noexcept {
  constexpr auto kWord = [](const char (&w)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(w[0])) |
           static_cast<uint32_t>(static_cast<unsigned char>(w[1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(w[2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(w[3])) << 24;
  };
  uint32_t head;
  std::memcpy(&head, p, 4);
  head |= 0x20202020u;
  const unsigned char* end = nullptr;
  if (head == kWord("true") || head == kWord("null")) {
    end = p + 4;
  } else if (head == kWord("fals") && (p[4] | 0x20) == 'e') {
    end = p + 5;
  } else {
    return nullptr;
  }
  return ClassOf(*end) & kEnd ? end : nullptr;
}

}  // namespace

JsonParser::~JsonParser() { std::free(stack_); }

void JsonParser::Reset() noexcept {
  if (scanning_) return;
  doc_.Clear();
  std::free(stack_);
  stack_ = nullptr;
  depth_ = 0;
  stackCapacity_ = 0;
  openNames_.clear();
  wrapped_ = false;
  errorOffset_ = 0;
  cursor_ = 0;
  pathText_.clear();
  pathForm_ = JsonPathForm::jpSlash;
}

int JsonParser::Fail(JsonError error) noexcept {
  int code = JsonErrorCode(error);
  SetLastErrorCode(code);
  return SetError(code, JsonErrorText(error));
}

int JsonParser::FailAt(JsonError error, size_t offset) noexcept {
  errorOffset_ = offset;
  return Fail(error);
}

bool JsonParser::SlideWindow(size_t from) noexcept {
  if (!window_.Slide(from)) return false;
  scanBase_ = window_.Data();
  scanOffset_ = window_.Offset();
  return true;
}

int JsonParser::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("BuildDOM")) return ConfigBool(item, result, buildDom_);
  if (item.Is("CacheContent")) return ConfigBool(item, result, cacheContent_);
  return ComponentCore::HandleConfig(item, result);
}

int JsonParser::Parse(std::string_view text) {
  if (scanning_) return Fail(JsonError::jeBusy);
  Reset();
  if (text.size() > JsonDocument::kMaxTextLength) return Fail(JsonError::jeDocumentTooLarge);
  // The tree reads its names and values out of its own copy of the text;
  // without a tree the scan reads the caller's text through a small window.
  bool ready = buildDom_ ? doc_.SetText(text) == 0 : window_.Start(text);
  if (!ready) return Fail(JsonError::jeOutOfMemory);
  scanning_ = true;
  scanSink_ = EventSink();
  handled_ = HandledEvents::Of(scanSink_);
  int rc = Scan();
  scanSink_ = nullptr;
  handled_ = HandledEvents::None();
  scanning_ = false;
  window_.Trim();
  std::free(stack_);
  stack_ = nullptr;
  stackCapacity_ = 0;
  openNames_.clear();
  if (rc != 0 || !buildDom_) {
    // Nothing navigable remains; a partial tree would only mislead.
    doc_.Clear();
    return rc;
  }
  doc_.ForgetChildLists();
  cursor_ = 0;
  pathText_.clear();
  return 0;
}

bool JsonParser::GrowStack() noexcept {
  // Grown geometrically (99 entries at least) so deep nesting stays linear.
  size_t wanted = stackCapacity_ < 99 ? 99 : stackCapacity_ * 2;
  void* block = std::realloc(stack_, wanted);
  if (block == nullptr) return false;
  stack_ = static_cast<uint8_t*>(block);
  stackCapacity_ = wanted;
  return true;
}

namespace {

// Event strings are refilled in place, never reassigned: a generic assign
// (an out-of-line replace plus a memcpy call) cost more per event than the
// listener's own work. The strings keep their capacity across events and
// parses, so no event allocates. A copy of up to kShortCopy bytes, nearly all
// of them, moves a fixed 32 bytes: the text is padded well past its end, the
// string keeps room for 32, and the length set afterwards cuts the surplus.
constexpr size_t kShortCopy = 32;
// The root's name, padded so the fixed-size copy can read it.
alignas(16) constexpr unsigned char kRootElement[kShortCopy] = {'j', 's', 'o', 'n'};
static_assert(JsonDocument::kTextPadding >= kShortCopy, "a short copy reads into the padding");

[[gnu::always_inline]] inline void RefillEventString(std::string& s, const unsigned char* from,
                                                     size_t n) {
#if defined(__cpp_lib_string_resize_and_overwrite) && defined(__SSE2__)
  if (s.capacity() < kShortCopy) s.reserve(kShortCopy);
  // The room handed in is not the count asked for when the string grows
  // (some library versions pass the grown capacity), so n is what counts.
  s.resize_and_overwrite(n, [from, n](char* to, size_t) {
    if (n <= kShortCopy) {
      __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
      __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16), high);
    } else {
      std::memcpy(to, from, n);
    }
    return n;
  });
#else
  s.assign(reinterpret_cast<const char*>(from), n);
#endif
}

// The always-empty arguments (and unnamed items) are empty again unless a
// handler filled them: a test is cheaper than the two stores of a clear.
[[gnu::always_inline]] inline void ClearEventString(std::string& s) {
  if (!s.empty()) s.clear();
}

}  // namespace

// The element argument of the next event. Array items, about half the
// elements of a typical answer, have no name to copy.
// The firing helpers are forced inline: each element fires two or three of
// them, and a call frame per event cost more than the copy it makes.
[[gnu::always_inline]] inline void JsonParser::SetEventElement(const unsigned char* name,
                                                               uint32_t length) {
  if (length == 0) {
    ClearEventString(eventElement_);
  } else {
    RefillEventString(eventElement_, name, length);
  }
}

// The window has moved past the name: an exact copy out of the caller's text,
// which has no padding for the short copy to read.
void JsonParser::SetEventElementFromText(uint32_t nameOffset, uint32_t nameLength) {
  eventElement_.assign(reinterpret_cast<const char*>(window_.Text()) + nameOffset, nameLength);
}

[[gnu::always_inline]] inline void JsonParser::FireStartElement(uint32_t nameOffset,
                                                                const unsigned char* name,
                                                                uint32_t nameLength) {
  if (handled_.endElement) openNames_.emplace_back(nameOffset, nameLength);
  if (!handled_.startElement) return;
  ClearEventString(eventNamespace_);
  SetEventElement(name, nameLength);
  ClearEventString(eventQName_);
  bool isEmpty = false;
  scanSink_->StartElement(eventNamespace_, eventElement_, eventQName_, isEmpty);
}

[[gnu::always_inline]] inline void JsonParser::FireEndElement() {
  if (!handled_.endElement) return;
  auto [nameOffset, nameLength] = openNames_.back();
  openNames_.pop_back();
  ClearEventString(eventNamespace_);
  if (nameOffset == kRootName) {
    SetEventElement(kRootElement, 4);
  } else if (nameLength == 0) {
    ClearEventString(eventElement_);
  } else if (nameOffset >= scanOffset_) {
    SetEventElement(scanBase_ + (nameOffset - scanOffset_), nameLength);
  } else {
    SetEventElementFromText(nameOffset, nameLength);
  }
  ClearEventString(eventQName_);
  bool isEmpty = false;
  scanSink_->EndElement(eventNamespace_, eventElement_, eventQName_, isEmpty);
}

[[gnu::always_inline]] inline void JsonParser::FireCharacters(const unsigned char* begin,
                                                              const unsigned char* end) {
  if (!handled_.characters) return;
  RefillEventString(eventText_, begin, static_cast<size_t>(end - begin));
  scanSink_->Characters(eventText_);
}

void JsonParser::FireIgnorableWhitespace(const unsigned char* begin, const unsigned char* end) {
  RefillEventString(eventText_, begin, static_cast<size_t>(end - begin));
  scanSink_->IgnorableWhitespace(eventText_);
}

int JsonParser::Scan() {
  if (buildDom_ && !doc_.ReserveNodes()) {
    errorOffset_ = 0;
    return Fail(JsonError::jeOutOfMemory);
  }
  bool events = handled_.startElement || handled_.endElement || handled_.characters;
#if CORVANE_JSON_WIDE_RUNS
  if (detail::Cpu().avx2) {
    if (buildDom_) return events ? ScanWide<true, true>() : ScanWide<true, false>();
    return events ? ScanWide<false, true>() : ScanWide<false, false>();
  }
#endif
  if (buildDom_) return events ? ScanNarrow<true, true>() : ScanNarrow<true, false>();
  return events ? ScanNarrow<false, true>() : ScanNarrow<false, false>();
}

template <bool kTree, bool kEvents>
int JsonParser::ScanNarrow() {
  return ScanFor<kTree, kEvents, NarrowRuns>();
}

#if CORVANE_JSON_WIDE_RUNS
// The same scan built for AVX2, so that the wide run finders inline into it.
template <bool kTree, bool kEvents>
CORVANE_AVX2 int JsonParser::ScanWide() {
  return ScanFor<kTree, kEvents, WideRuns>();
}
#endif

// One pass over the NUL-terminated text. The tree is built in document order:
// `cur` is the node whose value is being read (or, between values, the node
// that holds the innermost open container), `prev` the node finished last,
// which the next sibling is chained to.
//
// Without a tree the text is read through window_. `more` is the window's
// NUL while text follows it (else nullptr): a token that reaches it is read
// again once the window has slid to the token's start, and nothing is fired
// for a token before it is known to be complete. Every scanner stops at a
// NUL, so the tests for `more` sit only where a NUL is met, never on every
// token.
template <bool kTree, bool kEvents, typename Runs>
[[gnu::always_inline]] inline int JsonParser::ScanFor() {
  constexpr bool tree = kTree;
  constexpr bool events = kEvents;
  constexpr bool windowed = !kTree;
  // The bytes that end a number or word at once (a NUL may be the window's:
  // the token is looked at again).
  constexpr uint8_t kValueEnd = windowed ? json::kWs | json::kDelimiter : json::kTokenEnd;
  const unsigned char* base = windowed ? window_.Data() : doc_.Bytes();
  const unsigned char* more = nullptr;
  if (windowed && !window_.Final()) more = window_.End();
  scanBase_ = base;
  scanOffset_ = 0;
  const unsigned char* p = base;
  const bool wsEvents = handled_.ignorableWhitespace;
  ScanState state = ScanState::ssStart;
  bool closedWrapper = false;
  uint32_t cur = 0;
  uint32_t prev = 0;

  size_t baseOffset = 0;
  auto offset = [&](const unsigned char* at) {
    size_t inBlock = static_cast<size_t>(at - base);
    if constexpr (windowed) inBlock += baseOffset;
    return static_cast<uint32_t>(inBlock);
  };
  // The failures and the slides call out of line: they are rare, and the
  // loop must stay small enough for the compiler to inline the event copies.
  // The lambdas themselves are inlined, so that no call takes the address of
  // the loop's variables and forces them out of registers.
  auto fail = [&](JsonError error, const unsigned char* at) __attribute__((always_inline)) {
    int code = FailAt(error, offset(at));
    if (code == 0) __builtin_unreachable();  // every failure has a code
    return code;
  };
  // Slides the window to the token at `at` and moves `at` with it: 0, or
  // the failure when the window cannot grow to hold the token.
  auto slide = [&](const unsigned char*& at) __attribute__((always_inline)) {
    if (!SlideWindow(static_cast<size_t>(at - base))) {
      return fail(JsonError::jeOutOfMemory, at);
    }
    at = base = window_.Data();
    baseOffset = window_.Offset();
    more = window_.Final() ? nullptr : window_.End();
    return 0;
  };
  // A name or string at `at` that found no closing quote: 0 when it ran into
  // the window's NUL (no NUL of the text comes first), after the window slid
  // and moved `at` with it; else the failure.
  auto unclosed = [&](const unsigned char*& at) __attribute__((always_inline)) {
    const unsigned char* from = at + 1;
    if (windowed && more != nullptr &&
        std::memchr(from, 0, static_cast<size_t>(more - from)) == nullptr) {
      return slide(at);
    }
    return fail(JsonError::jeInvalidMarkup, at);
  };
  // A byte at `at` that no token starts with: 0 when it is the window's NUL,
  // after the window slid and moved `at` with it; else the failure.
  auto stray = [&](const unsigned char*& at) __attribute__((always_inline)) {
    if (windowed && at == more) return slide(at);
    return fail(JsonError::jeInvalidMarkup, at);
  };
  // A new member (start = its name's quote) or item under cur.
  auto newNode = [&](uint32_t start, bool chain) -> bool {
    uint32_t n = doc_.AddNode(start, cur);
    if (n == JsonDocument::kNoNode) return false;
    if (chain) doc_.MutableNode(prev).next = n;
    cur = n;
    return true;
  };
  // A scalar [begin, end) completes the node cur. Forced inline: with the
  // events firing from it, it is the hottest path of the events scan.
  auto endScalar = [&](const unsigned char* begin, const unsigned char* end)
                       __attribute__((always_inline)) {
    if constexpr (events) {
      FireCharacters(begin, end);
      FireEndElement();
    }
    if constexpr (tree) {
      JsonNode& n = doc_.MutableNode(cur);
      n.end = offset(end);
      prev = cur;
      cur = n.parent;
    }
  };
  // The "," after a value: a member name follows in an object, a new item in
  // an array. False when the tree cannot grow.
  auto comma = [&]() __attribute__((always_inline)) -> bool {
    if (stack_[depth_ - 1] == kObject) {
      state = ScanState::ssObjectNext;
      return true;
    }
    if (tree && !newNode(0, true)) return false;
    if constexpr (events) FireStartElement(0, nullptr, 0);
    state = ScanState::ssValue;
    return true;
  };

  for (;;) {
    unsigned char c = *p;
    if (ClassOf(c) & json::kWs) {
      const unsigned char* q = SkipWhitespace<Runs>(p + 1);
      if (wsEvents) {
        // A run that meets the window's end may go on past it: it is
        // reported whole. Unreported, it may as well be taken in two.
        if (windowed && q == more) {
          if (int rc = slide(p); rc != 0) return rc;
          continue;
        }
        FireIgnorableWhitespace(p, q);
      }
      p = q;
      c = *p;
    }
    switch (state) {
      case ScanState::ssStart:
        if (c == 0xFF) {
          ++p;
          continue;
        }
        if (c == '(' && offset(p) == 0) {
          wrapped_ = true;
          ++p;
          continue;
        }
        if (c != '{' && c != '[') {
          if (int rc = stray(p); rc != 0) return rc;
          continue;
        }
        if (tree && doc_.AddNode(offset(p), 0) == JsonDocument::kNoNode) {
          return fail(JsonError::jeOutOfMemory, p);
        }
        if constexpr (events) FireStartElement(kRootName, kRootElement, 4);
        if (!PushContainer(c == '{' ? kObject : kArray)) {
          return fail(JsonError::jeStackCannotGrow, p);
        }
        if (c == '{') {
          state = ScanState::ssObjectOpen;
        } else {
          if (tree && !newNode(0, false)) return fail(JsonError::jeOutOfMemory, p);
          if constexpr (events) FireStartElement(0, nullptr, 0);
          state = ScanState::ssArrayOpen;
        }
        ++p;
        continue;

      case ScanState::ssObjectOpen:
      case ScanState::ssObjectNext: {
        if (c == '}' && state == ScanState::ssObjectOpen) break;  // an empty object
        if (c != '"') {
          if (int rc = stray(p); rc != 0) return rc;
          continue;
        }
        const unsigned char* close = ScanString<events, Runs>(p + 1);
        if (close == nullptr) {
          if (int rc = unclosed(p); rc != 0) return rc;
          continue;
        }
        if (tree && !newNode(offset(p) | JsonNode::kMemberFlag, state == ScanState::ssObjectNext)) {
          return fail(JsonError::jeOutOfMemory, p);
        }
        if constexpr (events)
          FireStartElement(offset(p + 1), p + 1, static_cast<uint32_t>(close - p - 1));
        p = close + 1;
        // Most names are followed by their colon at once: taken here, it
        // saves a pass through the loop per member.
        if (*p == ':') {
          ++p;
          state = ScanState::ssValue;
        } else {
          state = ScanState::ssColon;
        }
        continue;
      }

      case ScanState::ssColon:
        if (c != ':') {
          if (int rc = stray(p); rc != 0) return rc;
          continue;
        }
        ++p;
        state = ScanState::ssValue;
        continue;

      case ScanState::ssArrayOpen:
        if (c == ']') {
          // The item opened with the array never got a value: drop it, and
          // close its element so the events stay balanced.
          if constexpr (tree) {
            cur = doc_.Node(cur).parent;
            doc_.PopNode();
          }
          if constexpr (events) FireEndElement();
          break;
        }
        [[fallthrough]];
      case ScanState::ssValue: {
        if (tree && !doc_.Node(cur).IsMember()) doc_.MutableNode(cur).start = offset(p);
        if (c == '"') {
          const unsigned char* close = ScanString<events, Runs>(p + 1);
          if (close == nullptr) {
            if (int rc = unclosed(p); rc != 0) return rc;
            continue;
          }
          endScalar(p, close + 1);
          p = close + 1;
          // Likewise a value is most often followed by its comma at once.
          if (*p == ',') {
            if (!comma()) return fail(JsonError::jeOutOfMemory, p);
            ++p;
          } else {
            state = ScanState::ssAfterValue;
          }
          continue;
        }
        if (c == '{' || c == '[') {
          if (!PushContainer(c == '{' ? kObject : kArray)) {
            return fail(JsonError::jeStackCannotGrow, p);
          }
          if (c == '{') {
            state = ScanState::ssObjectOpen;
          } else {
            if (tree && !newNode(0, false)) return fail(JsonError::jeOutOfMemory, p);
            if constexpr (events) FireStartElement(0, nullptr, 0);
            state = ScanState::ssArrayOpen;
          }
          ++p;
          continue;
        }
        const unsigned char* q = p;
        if (ClassOf(c) & json::kNumber) {
          q = Runs::NumberRun(p + 1);
          // A number ends at whitespace or a delimiter; the end of the text is
          // caught as an unclosed container on the next pass.
          if (!(ClassOf(*q) & kValueEnd)) {
            if (windowed && q == more) {
              if (int rc = slide(p); rc != 0) return rc;
              continue;
            }
            if (!windowed || *q != 0) return fail(JsonError::jeInvalidMarkup, q);
          }
        } else {
          q = WordEnd<kValueEnd>(p);
          if (q == nullptr) {
            // A word and the byte after it take six bytes at most.
            if (windowed && more != nullptr && more - p < 6) {
              if (int rc = slide(p); rc != 0) return rc;
              continue;
            }
            // A NUL of the text ends the word, as it ends the text.
            if (!windowed || (q = WordEnd<json::kTokenEnd>(p)) == nullptr) {
              return fail(JsonError::jeInvalidMarkup, p);
            }
          }
        }
        endScalar(p, q);
        p = q;
        if (*p == ',') {
          if (!comma()) return fail(JsonError::jeOutOfMemory, p);
          ++p;
        } else {
          state = ScanState::ssAfterValue;
        }
        continue;
      }

      case ScanState::ssAfterValue:
        if (c == ',') {
          if (!comma()) return fail(JsonError::jeOutOfMemory, p);
          ++p;
          continue;
        }
        if (c == ']' || c == '}') break;
        if (int rc = stray(p); rc != 0) return rc;
        continue;

      case ScanState::ssDone:
        if (c == '\0' && p != more) return 0;
        if (c == ')' && wrapped_ && !closedWrapper) {
          closedWrapper = true;
          ++p;
          continue;
        }
        if (int rc = stray(p); rc != 0) return rc;
        continue;
    }

    // Only closers arrive here: c is ']' or '}' and closes the innermost
    // container, which must be of the same kind.
    if (depth_ == 0 || stack_[depth_ - 1] != (c == '}' ? kObject : kArray)) {
      return fail(JsonError::jeInvalidMarkup, p);
    }
    --depth_;
    if constexpr (events) FireEndElement();
    if constexpr (tree) {
      JsonNode& holder = doc_.MutableNode(cur);
      holder.end = offset(p + 1);
      prev = cur;
      cur = holder.parent;
    }
    ++p;
    state = depth_ == 0 ? ScanState::ssDone : ScanState::ssAfterValue;
  }
}

// ---- Cursor ----------------------------------------------------------------

int JsonParser::SetXPath(std::string_view path) {
  if (path.empty()) return Fail(JsonError::jeInvalidXPath);
  JsonPathForm form = DetectJsonPathForm(path);
  // "." (slash form) and "@" (either form) name the cursor itself: not a move.
  if (path == "." || path == "@") {
    return Fail(JsonError::jeInvalidXPath);
  }
  if (!doc_.HasTree()) return Fail(JsonError::jeNoTree);
  bool found = MoveJsonCursor(doc_, path, form, cursor_);
  pathForm_ = form;
  pathText_ = BuildJsonPath(doc_, cursor_, form);
  return found ? 0 : Fail(JsonError::jeInvalidXPath);
}

std::string JsonParser::GetXPath() const { return pathText_; }

bool JsonParser::HasXPath(std::string_view path) {
  if (path.empty()) return false;
  // Put back the cursor itself rather than re-setting the saved text, which
  // with repeated member names could land on a different node.
  uint32_t savedCursor = cursor_;
  std::string savedText = pathText_;
  JsonPathForm savedForm = pathForm_;
  std::string savedError = LastErrorText().str();
  int savedCode = LastErrorCode();
  int rc = SetXPath(path);
  cursor_ = savedCursor;
  pathText_ = std::move(savedText);
  pathForm_ = savedForm;
  SetError(savedCode, savedError);
  SetLastErrorCode(savedCode);
  return rc == 0;
}

std::string JsonParser::XElement() const { return std::string(doc_.Name(cursor_)); }

std::string JsonParser::XText() const { return std::string(doc_.Value(cursor_)); }

std::string JsonParser::XTextDecoded() const {
  std::string text = XText();
  std::string decoded;
  // Numbers, literals and containers read as they stand.
  return DecodeJsonString(text, decoded) ? decoded : text;
}

std::string JsonParser::XParent() const {
  if (cursor_ == 0 || !doc_.HasTree()) return {};
  return std::string(doc_.Name(doc_.Parent(cursor_)));
}

std::string JsonParser::XSubTree() const {
  if (!cacheContent_) return {};
  return std::string(doc_.SubTree(cursor_));
}

int JsonParser::XChildCount() const { return static_cast<int>(doc_.ChildCount(cursor_)); }

int JsonParser::ChildAt(int index, uint32_t& child) {
  child = JsonDocument::kNoNode;
  if (!doc_.HasTree()) return 0;  // no document: empty answers, no error
  uint32_t count = doc_.ChildCount(cursor_);
  if (count == 0) return Fail(JsonError::jeNoElements);
  if (index < 0 || static_cast<uint32_t>(index) >= count) {
    return Fail(JsonError::jeInvalidElementIndex);
  }
  child = doc_.Child(cursor_, static_cast<uint32_t>(index));
  return 0;
}

int JsonParser::XChildName(int index, std::string& out) {
  uint32_t child = 0;
  out.clear();
  int rc = ChildAt(index, child);
  if (rc == 0 && child != JsonDocument::kNoNode) out.assign(doc_.Name(child));
  return rc;
}

int JsonParser::XChildXText(int index, std::string& out) {
  uint32_t child = 0;
  out.clear();
  int rc = ChildAt(index, child);
  if (rc == 0 && child != JsonDocument::kNoNode) out.assign(doc_.Value(child));
  return rc;
}

int JsonParser::XChildNamespace(int index, std::string& out) {
  uint32_t child = 0;
  out.clear();
  return ChildAt(index, child);
}

int JsonParser::XChildPrefix(int index, std::string& out) {
  uint32_t child = 0;
  out.clear();
  return ChildAt(index, child);
}

int JsonParser::NoAttribute(std::string& out) {
  out.clear();
  if (!doc_.HasTree()) return 0;
  return Fail(JsonError::jeNoAttributes);
}

int JsonParser::NoNamespace(std::string& out) {
  out.clear();
  if (!doc_.HasTree()) return 0;
  return Fail(JsonError::jeNoNamespaces);
}

int JsonParser::Attr(std::string_view name, std::string& out) {
  // Members are elements, not attributes: every lookup finds nothing.
  out.clear();
  return 0;
}

}  // namespace corvane
