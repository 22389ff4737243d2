#pragma once

#include <cstddef>

namespace corvane {

// One growable block of raw memory for the large parts of a parsed document
// (kept texts, node arrays, record streams). Small blocks come from malloc;
// large ones are address reservations (core/address_reservation.h) that ask
// for transparent huge pages, so filling a 100 MB answer costs a few hundred
// page faults instead of tens of thousands. A reserved block grows where it
// is: its pages are never copied or remapped, which matters for a block kept
// for the next document, since pages at a remapped address, like small pages
// marked freeable, cost a trap each on the next pass over them.
class MappedBlock {
 public:
  // With smallPageTail, the part of a reserved block past its last whole
  // huge page stays in small pages, so a block written to its very end (a
  // text and its padding) holds no more resident memory than it uses.
  explicit MappedBlock(bool smallPageTail = false) noexcept : smallPageTail_(smallPageTail) {}
  ~MappedBlock() { Release(); }
  MappedBlock(const MappedBlock&) = delete;
  MappedBlock& operator=(const MappedBlock&) = delete;

  // Makes the block at least bytes long, keeping the content. False when
  // memory runs out (the block is unchanged then).
  bool Resize(size_t bytes) noexcept { return Renew(bytes, size_); }
  // As Resize, keeping only the first keep bytes: a block that has to move
  // copies no more, for a block whose content is a small part of it.
  bool Renew(size_t bytes, size_t keep) noexcept;
  // Frees the block, wiping it first while ZeroMemory is on.
  void Release() noexcept;
  // Done with the content: keeps a block of at most keepBytes for the next
  // document (its pages stay faulted in), releases a larger one, and always
  // releases while ZeroMemory is on. A kept reservation's pages are marked
  // lazily freeable: the kernel takes them back under memory pressure
  // instead of swapping them, and otherwise the next document reuses them
  // without a fault.
  void Recycle(size_t keepBytes) noexcept;

  void* data() const noexcept { return data_; }
  size_t size() const noexcept { return size_; }

 private:
  // The first block for bytes: reserved when large, else (or when nothing
  // can be reserved) from the heap. Only on an empty block.
  bool Allocate(size_t bytes) noexcept;
  // Asks for huge pages on the leading whole huge pages the block uses, and
  // small ones for the rest.
  void AdvisePages() noexcept;

  char* data_ = nullptr;
  size_t size_ = 0;
  // The reserved address range; 0 for a heap block.
  size_t span_ = 0;
  // The leading whole huge pages of a reserved block (the rest is small pages).
  size_t hugeBytes_ = 0;
  bool smallPageTail_ = false;
};

}  // namespace corvane
