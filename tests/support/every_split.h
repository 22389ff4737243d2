#pragma once

// The ways an incremental parser is fed the same input in the tests: whole,
// cut in two at every byte, and in pieces of 1 to 5 bytes. A parser that
// keeps its state between calls gives the same result for all of them.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

using Pieces = std::vector<std::string_view>;

// Calls run(pieces, label) for each way of cutting input, label naming the
// way ("whole", "cut at 7", "pieces of 3") for failure messages. The pieces
// point into input.
inline void ForEachSplit(std::string_view input, const std::function<void(const Pieces&, const std::string&)>& run,
                         size_t largestPiece = 5) {
  run(Pieces{input}, "whole");
  for (size_t cut = 0; cut <= input.size(); ++cut) {
    run(Pieces{input.substr(0, cut), input.substr(cut)}, "cut at " + std::to_string(cut));
  }
  for (size_t step = 1; step <= largestPiece; ++step) {
    Pieces pieces;
    for (size_t i = 0; i < input.size(); i += step) pieces.push_back(input.substr(i, std::min(step, input.size() - i)));
    run(pieces, "pieces of " + std::to_string(step));
  }
}

}  // namespace corvane::testing
