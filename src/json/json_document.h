#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/mapped_block.h"
#include "json/json_node.h"

namespace corvane {

// The kept input text of one JSON document and its node tree. Names and
// values are never copied: they are read out of the text on demand, escapes
// untouched, exactly as written.
class JsonDocument {
 public:
  static constexpr uint32_t kNoNode = 0xFFFFFFFFu;
  // Offsets carry a flag in their top bit.
  static constexpr size_t kMaxTextLength = JsonNode::kOffsetMask - 64;
  // The text is followed by its NUL and this many further zero bytes, so the
  // scanner may read 16 bytes at a time up to the terminator.
  static constexpr size_t kTextPadding = 64;
  // Clear keeps the text block up to this size: refilling kept pages costs
  // the copy alone, a fresh mapping adds the kernel's zeroing of every page.
  static constexpr size_t kKeepTextBytes = size_t{256} << 20;
  // The node block is reserved at four times the text (see GrowNodes), so it
  // is kept up to four times the text's limit.
  static constexpr size_t kKeepBytes = kKeepTextBytes * 4;

  JsonDocument() = default;
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;

  // Drops the text and the tree (keeping their blocks up to kKeepTextBytes
  // and kKeepBytes, their pages marked freeable while unused).
  void Clear() noexcept;

  // Copies text in (NUL-terminated and padded). 0, or 200 when the copy
  // cannot be made or the text is longer than kMaxTextLength.
  int SetText(std::string_view text) noexcept;
  void DropText() noexcept;
  const unsigned char* Bytes() const noexcept {
    return static_cast<const unsigned char*>(text_.data());
  }
  size_t TextLength() const noexcept { return textLength_; }
  bool HasText() const noexcept { return hasText_; }

  // Building. ReserveNodes sizes the node array for the text before a scan
  // (false when memory runs out); AddNode returns kNoNode when the array
  // cannot grow.
  bool ReserveNodes() noexcept;
  uint32_t AddNode(uint32_t start, uint32_t parent) noexcept {
    if (nodeCount_ == nodeCapacity_ && !GrowNodes()) return kNoNode;
    nodes_[nodeCount_] = JsonNode{start, 0, parent, 0};
    return nodeCount_++;
  }
  void PopNode() noexcept {
    --nodeCount_;
    ++pops_;
  }
  JsonNode& MutableNode(uint32_t i) noexcept { return nodes_[i]; }
  // Forgets the nodes (the text stays).
  void ClearNodes() noexcept;
  // Child lists cached while the tree was still growing are stale once it is done.
  void ForgetChildLists() noexcept;

  // Reading. Node 0 is the root whenever the tree is not empty.
  bool HasTree() const noexcept { return nodeCount_ > 0; }
  uint32_t NodeCount() const noexcept { return nodeCount_; }
  const JsonNode& Node(uint32_t i) const noexcept { return nodes_[i]; }
  size_t NodeBytes() const noexcept { return nodeBlock_.size(); }

  uint32_t Parent(uint32_t i) const noexcept { return i == 0 ? kNoNode : nodes_[i].parent; }
  bool IsItem(uint32_t i) const noexcept { return i != 0 && !nodes_[i].IsMember(); }
  // "json" for the root, the member name, or empty for an array item.
  std::string_view Name(uint32_t i) const noexcept;
  // A scalar's text as written (strings keep their quotes); empty for a container.
  std::string_view Value(uint32_t i) const noexcept;
  // The text from the node's start to its end (a member includes its name).
  std::string_view SubTree(uint32_t i) const noexcept;

  uint32_t ChildCount(uint32_t i) const;
  // The child at index (0 based), or kNoNode.
  uint32_t Child(uint32_t i, uint32_t index) const;
  // Position among the parent's children, counting from 1 (0 for the root).
  uint32_t Ordinal(uint32_t i) const;
  // The nth (from 1) child of i named name, or kNoNode.
  uint32_t FindChild(uint32_t i, std::string_view name, uint32_t nth) const;

 private:
  bool GrowNodes() noexcept;
  // Room for wanted nodes, of which the first keep are kept.
  bool ResizeNodes(size_t wanted, size_t keep) noexcept;
  uint32_t ValueStart(uint32_t i) const noexcept;
  // Index of the closing quote of the string whose content starts at offset.
  size_t StringEnd(size_t offset) const noexcept;
  const std::vector<uint32_t>& Children(uint32_t i) const;

  MappedBlock text_{true};
  size_t textLength_ = 0;
  bool hasText_ = false;
  MappedBlock nodeBlock_;
  JsonNode* nodes_ = nullptr;  // nodeBlock_'s data
  uint32_t nodeCount_ = 0;
  uint32_t nodeCapacity_ = 0;
  uint64_t pops_ = 0;

  // Child lists of the last few parents navigated, so that loops over the
  // items of a large array cost one walk, not one per item.
  // A list is valid for the tree it was built on: the same node count and no
  // node popped since (the tree can grow while events read it).
  struct ChildList {
    uint32_t parent = kNoNode;
    uint32_t nodeCount = 0;
    uint64_t pops = 0;
    std::vector<uint32_t> children;
  };
  static constexpr int kChildLists = 4;
  mutable ChildList childLists_[kChildLists];
  mutable int nextChildList_ = 0;
};

}  // namespace corvane
