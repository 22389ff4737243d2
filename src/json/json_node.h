#pragma once

#include <cstdint>

namespace corvane {

// One node of a JSON document tree, kept to 16 bytes so that a large answer
// costs little more than its own text. Nodes live in one array in document
// order (a node's children follow it), refer to each other by index and to
// their name and value by offsets into the kept input text:
//
// - the root "json" stands for the top-level container;
// - a member starts at the opening quote of its name (kMemberFlag set); its
//   value follows the name, the colon and any whitespace;
// - an array item starts at the first byte of its value.
//
// A member or item holding an object or array has that container's members
// or items as children; a scalar holds the value text [value start, end).
struct JsonNode {
  static constexpr uint32_t kMemberFlag = 0x80000000u;
  static constexpr uint32_t kOffsetMask = 0x7FFFFFFFu;

  uint32_t start;   // offset of the node's first byte, kMemberFlag for members
  uint32_t end;     // offset just past the value (0 while the node is open)
  uint32_t parent;  // index of the parent node (the root is its own parent)
  uint32_t next;    // index of the next sibling, 0 for the last child

  bool IsMember() const noexcept { return (start & kMemberFlag) != 0; }
  uint32_t Start() const noexcept { return start & kOffsetMask; }
};

static_assert(sizeof(JsonNode) == 16, "the tree's memory budget assumes 16-byte nodes");

}  // namespace corvane
