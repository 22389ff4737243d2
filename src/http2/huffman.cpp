#include "http2/huffman.h"

#include <array>

#include "http2/huffman_code_table.h"

namespace corvane::http2 {

namespace {

// Decoding state machine. The code tree of the 257 symbols has 256 inner
// nodes; each is a state, and each state has one transition per 4-bit
// nibble. The shortest code has 5 bits, so one nibble completes at most one
// symbol.
enum : uint8_t {
  kEmit = 0x1,    // the transition completes the symbol in `symbol`
  kFail = 0x2,    // the transition decodes EOS
  kAccept = 0x4,  // the target state may end the string (padding so far is valid)
};

struct Transition {
  uint8_t next;
  uint8_t flags;
  uint8_t symbol;
};

struct DecodeTable {
  std::array<std::array<Transition, 16>, 256> states{};
  bool valid = false;
};

constexpr DecodeTable BuildDecodeTable() {
  constexpr int kUnset = -1000;
  // children[n][b]: >= 0 an inner node, < 0 the leaf of symbol -(value + 1).
  std::array<std::array<int, 2>, 256> children{};
  std::array<int, 256> depth{};
  std::array<bool, 256> allOnes{};
  for (auto& c : children) c = {kUnset, kUnset};
  allOnes[0] = true;
  int nodes = 1;
  DecodeTable table;
  for (int sym = 0; sym <= kHuffmanEos; ++sym) {
    const HuffmanCode hc = kHuffmanCodes[sym];
    int cur = 0;
    for (int i = hc.bits - 1; i >= 0; --i) {
      int b = static_cast<int>((hc.code >> i) & 1);
      if (i == 0) {
        if (children[cur][b] != kUnset) return table;  // not a prefix code
        children[cur][b] = -(sym + 1);
        break;
      }
      if (children[cur][b] == kUnset) {
        if (nodes >= 256) return table;
        depth[nodes] = depth[cur] + 1;
        allOnes[nodes] = allOnes[cur] && b == 1;
        children[cur][b] = nodes++;
      } else if (children[cur][b] < 0) {
        return table;  // a code is the prefix of another
      }
      cur = children[cur][b];
    }
  }
  if (nodes != 256) return table;
  for (int n = 0; n < 256; ++n) {
    for (int nibble = 0; nibble < 16; ++nibble) {
      Transition t{};
      int cur = n;
      for (int i = 3; i >= 0; --i) {
        int child = children[cur][(nibble >> i) & 1];
        if (child == kUnset) return table;  // incomplete code
        if (child < 0) {
          int sym = -child - 1;
          if (sym == kHuffmanEos) {
            t.flags = kFail;
            break;
          }
          if (t.flags & kEmit) return table;  // two symbols in one nibble
          t.flags |= kEmit;
          t.symbol = static_cast<uint8_t>(sym);
          cur = 0;
        } else {
          cur = child;
        }
      }
      if (!(t.flags & kFail)) {
        t.next = static_cast<uint8_t>(cur);
        // Padding is valid when it is at most 7 bits and a prefix of EOS (all ones).
        if (depth[cur] <= 7 && allOnes[cur]) t.flags |= kAccept;
      }
      table.states[n][nibble] = t;
    }
  }
  table.valid = true;
  return table;
}

constexpr DecodeTable kDecodeTable = BuildDecodeTable();
static_assert(kDecodeTable.valid, "the Huffman code table is not a complete prefix code");

}  // namespace

size_t HuffmanEncodedLength(std::string_view text) noexcept {
  uint64_t bits = 0;
  for (unsigned char c : text) bits += kHuffmanCodes[c].bits;
  return static_cast<size_t>((bits + 7) / 8);
}

int HuffmanEncode(std::string_view text, ByteBuffer& out) noexcept {
  size_t n = HuffmanEncodedLength(text);
  int old = out.size();
  if (n > static_cast<size_t>(INT32_MAX - old)) return kErrOutOfMemory;
  if (int rc = out.Resize(old + static_cast<int>(n)); rc != 0) return rc;
  auto* o = reinterpret_cast<uint8_t*>(out.data()) + old;
  uint64_t acc = 0;
  int nbits = 0;
  for (unsigned char c : text) {
    const HuffmanCode hc = kHuffmanCodes[c];
    acc = (acc << hc.bits) | hc.code;
    nbits += hc.bits;
    while (nbits >= 8) {
      nbits -= 8;
      *o++ = static_cast<uint8_t>(acc >> nbits);
    }
  }
  if (nbits > 0) {
    // Pad with the most significant bits of EOS, which are all ones.
    *o++ = static_cast<uint8_t>((acc << (8 - nbits)) | (0xFFu >> nbits));
  }
  return 0;
}

HuffmanResult HuffmanDecode(const uint8_t* data, size_t length, std::string& out) {
  const size_t old = out.size();
  // One spare byte: every transition stores its symbol and advances only
  // when it completed one, which keeps the loop free of unpredictable branches.
  out.resize(old + HuffmanMaxDecodedLength(length) + 1);
  char* o = out.data() + old;
  const auto& states = kDecodeTable.states;
  uint8_t state = 0;
  uint8_t flags = kAccept;
  uint8_t failed = 0;
  for (size_t i = 0; i < length; ++i) {
    const uint8_t byte = data[i];
    Transition t = states[state][byte >> 4];
    *o = static_cast<char>(t.symbol);
    o += t.flags & kEmit;
    failed |= t.flags;
    t = states[t.next][byte & 0xF];
    *o = static_cast<char>(t.symbol);
    o += t.flags & kEmit;
    failed |= t.flags;
    state = t.next;
    flags = t.flags;
    // EOS ends decoding at once (a failing transition leads to state 0, so
    // the lookup after it in the same byte is harmless).
    if (failed & kFail) {
      out.resize(old);
      return HuffmanResult::hrEos;
    }
  }
  if (!(flags & kAccept)) {
    out.resize(old);
    return HuffmanResult::hrBadPadding;
  }
  out.resize(static_cast<size_t>(o - out.data()));
  return HuffmanResult::hrOk;
}

}  // namespace corvane::http2
