#pragma once

// Marks what the shared library exports. The library is built with hidden
// visibility, so everything without this mark (the engine's internal
// classes) stays out of the dynamic symbol table and may change between
// releases without breaking programs linked against the shared object.
#if defined(__GNUC__) || defined(__clang__)
#define CORVANE_API __attribute__((visibility("default")))
#else
#define CORVANE_API
#endif
