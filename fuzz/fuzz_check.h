#pragma once
// The fuzz targets' own assertions: a broken property is a fault like a
// sanitizer report, so it stops the run at once with the reason.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                      \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)
