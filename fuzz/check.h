// The fuzz targets' assertion: names the broken invariant, then aborts so
// that libFuzzer keeps the input that broke it.
#ifndef STAMPCAST_FUZZ_CHECK_H_
#define STAMPCAST_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                          \
  do {                                                                 \
    if (!(condition)) {                                                \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, \
                   __LINE__, #condition);                              \
      std::abort();                                                    \
    }                                                                  \
  } while (0)

#endif  // STAMPCAST_FUZZ_CHECK_H_
