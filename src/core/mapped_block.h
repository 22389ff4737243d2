#pragma once

#include <cstddef>

#include "core/zero_memory.h"

namespace corvane {

// One growable block of raw memory for the large parts of a parsed document
// (kept texts, node arrays, record streams). Small blocks come from malloc;
// large ones are anonymous mappings that ask for transparent huge pages, so
// filling a 100 MB answer costs a few hundred page faults instead of tens of
// thousands, and growing them remaps pages instead of copying bytes. A block
// kept for the next document is best sized once from the input's length:
// pages at a remapped address, like small pages marked freeable, cost a trap
// each on the next pass over them.
class MappedBlock {
 public:
  // With smallPageTail, the part of a mapped block past its last whole huge
  // page stays in small pages, so a block written to its very end (a text
  // and its padding) holds no more resident memory than it uses. Without, a
  // block grows by remapping alone (a block mixing both kinds of page is
  // copied instead).
  explicit MappedBlock(bool smallPageTail = false) noexcept : smallPageTail_(smallPageTail) {}
  ~MappedBlock() { Release(); }
  MappedBlock(const MappedBlock&) = delete;
  MappedBlock& operator=(const MappedBlock&) = delete;

  // Makes the block at least bytes long, keeping the content. False when
  // memory runs out (the block is unchanged then).
  bool Resize(size_t bytes) noexcept;
  // Replaces the block with a new one of at least bytes holding its first
  // keep bytes: never remapped, for a block whose content is a small part of
  // it. False when memory runs out (the block is unchanged then).
  bool Renew(size_t bytes, size_t keep) noexcept;
  // Frees the block, wiping it first while ZeroMemory is on.
  void Release() noexcept;
  // Done with the content: keeps a block of at most keepBytes for the next
  // document (its pages stay faulted in), releases a larger one, and always
  // releases while ZeroMemory is on. A kept mapping's pages are marked lazily
  // freeable: the kernel takes them back under memory pressure instead of
  // swapping them, and otherwise the next document reuses them without a fault.
  void Recycle(size_t keepBytes) noexcept;

  void* data() const noexcept { return data_; }
  size_t size() const noexcept { return size_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
  // The leading whole huge pages of a mapped block (the rest is small pages).
  size_t hugeBytes_ = 0;
  bool mapped_ = false;
  bool smallPageTail_ = false;
};

}  // namespace corvane
