#pragma once

#include <string>
#include <vector>

namespace corvane {

// One header pair of an HTTP/2 header list, in the order sent or received.
struct HeaderField {
  std::string name;
  std::string value;

  bool operator==(const HeaderField&) const = default;
};

using HeaderList = std::vector<HeaderField>;

}  // namespace corvane
