#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "core/message_format.h"

namespace corvane {

// One row of a layer's error list: the code the failure returns and its
// message, with {0}, {1}... where the raising code fills in details.
struct ErrorRow {
  int code;
  std::string_view text;
};

// A layer's error list, generated from its .def file. Rows are addressed by
// the layer's enumerator (several rows may share a code with different
// texts) or, for layers whose enumerators are the codes, found by code.
//
//   constexpr ErrorRow kRows[] = {
//   #define CORVANE_X_ERROR(name, code, text) {code, text},
//   #include "x/x_errors.def"
//   };
//   constexpr ErrorTable<XError> kTable(kRows);
template <typename E>
class ErrorTable {
 public:
  template <size_t N>
  constexpr explicit ErrorTable(const ErrorRow (&rows)[N]) noexcept : rows_(rows, N) {}

  constexpr int Code(E e) const noexcept { return rows_[static_cast<size_t>(e)].code; }
  constexpr std::string_view Template(E e) const noexcept {
    return rows_[static_cast<size_t>(e)].text;
  }
  std::string Text(E e, std::initializer_list<MessageArg> args = {}) const {
    return FormatMessage(Template(e), args);
  }

  // The first row with this code, or nullptr.
  constexpr const ErrorRow* Find(int code) const noexcept {
    for (const ErrorRow& row : rows_) {
      if (row.code == code) return &row;
    }
    return nullptr;
  }

  constexpr std::span<const ErrorRow> Rows() const noexcept { return rows_; }

 private:
  std::span<const ErrorRow> rows_;
};

}  // namespace corvane
