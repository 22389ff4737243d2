#pragma once

#include <cstdio>

namespace corvane::cli {

// The reference tables of the library, one row per line with tab-separated
// columns under a header line, for people (column -t -s$'\t') and for the
// documentation generator alike. Defaults are read from a fresh object.
void ListProperties(std::FILE* out);
void ListConfig(std::FILE* out);
void ListEvents(std::FILE* out);
void ListErrors(std::FILE* out);

}  // namespace corvane::cli
