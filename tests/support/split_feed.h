#pragma once

// The split check every incremental parser gets: the same input fed whole,
// cut at every byte, and in 1- to 5-byte pieces must give the same
// transcript. run(pieces) feeds the pieces in order and returns the
// transcript.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane::test {

template <class Run>
void ExpectSameAtEverySplit(const std::string& input, const std::string& expected, Run run) {
  EXPECT_EQ(run(std::vector<std::string>{input}), expected) << "whole";
  for (size_t cut = 1; cut < input.size(); ++cut) {
    ASSERT_EQ(run(std::vector<std::string>{input.substr(0, cut), input.substr(cut)}), expected)
        << "cut at " << cut;
  }
  for (size_t step = 1; step <= 5; ++step) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < input.size(); i += step) pieces.push_back(input.substr(i, step));
    ASSERT_EQ(run(pieces), expected) << "pieces of " << step;
  }
}

}  // namespace corvane::test
