#include "json/json_document.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/error_codes.h"
#include "json/json_char_class.h"

namespace corvane {

void JsonDocument::Clear() noexcept {
  DropText();
  nodeBlock_.Recycle(kKeepBytes);
  nodes_ = static_cast<JsonNode*>(nodeBlock_.data());
  nodeCount_ = 0;
  nodeCapacity_ = static_cast<uint32_t>(nodeBlock_.size() / sizeof(JsonNode));
  for (ChildList& list : childLists_) {
    list.parent = kNoNode;
    std::vector<uint32_t>().swap(list.children);
  }
}

void JsonDocument::ClearNodes() noexcept {
  nodeCount_ = 0;
  ForgetChildLists();
}

void JsonDocument::ForgetChildLists() noexcept {
  for (ChildList& list : childLists_) list.parent = kNoNode;
}

int JsonDocument::SetText(std::string_view text) noexcept {
  DropText();
  if (text.size() > kMaxTextLength) return kErrOutOfMemory;
  // A kept block holds nothing worth moving: it grows, or is replaced, empty.
  if (!text_.Renew(text.size() + 1 + kTextPadding, 0)) return kErrOutOfMemory;
  auto* block = static_cast<unsigned char*>(text_.data());
  if (!text.empty()) std::memcpy(block, text.data(), text.size());
  std::memset(block + text.size(), 0, 1 + kTextPadding);
  textLength_ = text.size();
  hasText_ = true;
  return 0;
}

void JsonDocument::DropText() noexcept {
  text_.Recycle(kKeepTextBytes);
  textLength_ = 0;
  hasText_ = false;
}

bool JsonDocument::ReserveNodes() noexcept {
  // One node per 4 bytes of text, several times what typical answers need:
  // only the pages written become resident. A kept block too small for this
  // text holds nothing to keep.
  size_t wanted = textLength_ / 4 + 64;
  if (nodeCapacity_ >= wanted) return true;
  // Where the address space is tight, start near a typical answer's need
  // (one node per 16 bytes) and grow from there.
  return ResizeNodes(wanted, 0) || ResizeNodes(textLength_ / 16 + 64, 0);
}

bool JsonDocument::GrowNodes() noexcept {
  // Denser documents than ReserveNodes allowed for: a large block grows
  // where it is, without copying.
  size_t cap = nodeCapacity_;
  return ResizeNodes(std::max<size_t>(64, cap + (cap >= (1u << 18) ? cap / 4 : cap)), nodeCount_);
}

bool JsonDocument::ResizeNodes(size_t wanted, size_t keep) noexcept {
  if (wanted > 0xFFFFFFF0u) wanted = 0xFFFFFFF0u;
  if (wanted <= nodeCapacity_) return false;
  if (!nodeBlock_.Renew(wanted * sizeof(JsonNode), keep * sizeof(JsonNode))) return false;
  nodes_ = static_cast<JsonNode*>(nodeBlock_.data());
  nodeCapacity_ = static_cast<uint32_t>(nodeBlock_.size() / sizeof(JsonNode));
  return true;
}

size_t JsonDocument::StringEnd(size_t offset) const noexcept {
  // The same rule as the scanner: a backslash takes the next byte, "\u" the
  // next four as well. The tree only exists for text that scanned cleanly.
  size_t i = offset;
  for (;;) {
    unsigned char c = Bytes()[i];
    if (c == '"' || c == '\0') return i;
    if (c == '\\') {
      i += Bytes()[i + 1] == 'u' ? 6 : 2;
    } else {
      ++i;
    }
  }
}

uint32_t JsonDocument::ValueStart(uint32_t i) const noexcept {
  const JsonNode& n = nodes_[i];
  if (!n.IsMember()) return n.Start();
  size_t p = StringEnd(n.Start() + 1) + 1;
  while (json::ClassOf(Bytes()[p]) & json::kWs) ++p;
  ++p;  // the colon
  while (json::ClassOf(Bytes()[p]) & json::kWs) ++p;
  return static_cast<uint32_t>(p);
}

std::string_view JsonDocument::Name(uint32_t i) const noexcept {
  if (i >= nodeCount_) return {};
  if (i == 0) return "json";
  const JsonNode& n = nodes_[i];
  if (!n.IsMember()) return {};
  size_t begin = n.Start() + 1;
  return {reinterpret_cast<const char*>(Bytes()) + begin, StringEnd(begin) - begin};
}

std::string_view JsonDocument::Value(uint32_t i) const noexcept {
  if (i >= nodeCount_ || i == 0) return {};
  uint32_t begin = ValueStart(i);
  unsigned char c = Bytes()[begin];
  // A node still open (navigated from an event during the parse) has no end yet.
  if (c == '{' || c == '[' || nodes_[i].end < begin) return {};
  return {reinterpret_cast<const char*>(Bytes()) + begin, nodes_[i].end - begin};
}

std::string_view JsonDocument::SubTree(uint32_t i) const noexcept {
  if (i >= nodeCount_ || !HasText()) return {};
  const JsonNode& n = nodes_[i];
  if (n.end < n.Start()) return {};
  return {reinterpret_cast<const char*>(Bytes()) + n.Start(), n.end - n.Start()};
}

const std::vector<uint32_t>& JsonDocument::Children(uint32_t i) const {
  ChildList* reuse = nullptr;
  for (ChildList& list : childLists_) {
    if (list.parent != i) continue;
    if (list.nodeCount == nodeCount_ && list.pops == pops_) return list.children;
    reuse = &list;
  }
  if (reuse == nullptr) {
    reuse = &childLists_[nextChildList_];
    nextChildList_ = (nextChildList_ + 1) % kChildLists;
  }
  ChildList& list = *reuse;
  list.parent = i;
  list.nodeCount = nodeCount_;
  list.pops = pops_;
  list.children.clear();
  // Children follow their parent directly; siblings are chained by next.
  uint32_t c = i + 1;
  if (c < nodeCount_ && nodes_[c].parent == i) {
    for (;;) {
      list.children.push_back(c);
      c = nodes_[c].next;
      if (c == 0) break;
    }
  }
  return list.children;
}

uint32_t JsonDocument::ChildCount(uint32_t i) const {
  if (i >= nodeCount_) return 0;
  return static_cast<uint32_t>(Children(i).size());
}

uint32_t JsonDocument::Child(uint32_t i, uint32_t index) const {
  if (i >= nodeCount_) return kNoNode;
  const std::vector<uint32_t>& kids = Children(i);
  return index < kids.size() ? kids[index] : kNoNode;
}

uint32_t JsonDocument::Ordinal(uint32_t i) const {
  if (i == 0 || i >= nodeCount_) return 0;
  const std::vector<uint32_t>& kids = Children(nodes_[i].parent);
  // Children are in document order, so their indices are ascending.
  auto it = std::lower_bound(kids.begin(), kids.end(), i);
  return static_cast<uint32_t>(it - kids.begin()) + 1;
}

uint32_t JsonDocument::FindChild(uint32_t i, std::string_view name, uint32_t nth) const {
  if (i >= nodeCount_ || nth == 0) return kNoNode;
  uint32_t c = i + 1;
  if (c >= nodeCount_ || nodes_[c].parent != i) return kNoNode;
  for (;;) {
    if (nodes_[c].IsMember() && Name(c) == name && --nth == 0) return c;
    c = nodes_[c].next;
    if (c == 0) return kNoNode;
  }
}

}  // namespace corvane
