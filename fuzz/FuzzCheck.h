#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant aborts, which libFuzzer records as a crash and saves the
// input; the message says which one.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #cond);                          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)
