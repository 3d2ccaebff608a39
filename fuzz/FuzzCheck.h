// A property check for the fuzz targets: a broken property aborts, which
// libFuzzer reports as a crash and the corpus replay as a failed test.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                           \
    do {                                                                           \
        if (!(cond)) {                                                             \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #cond); \
            abort();                                                               \
        }                                                                          \
    } while (0)
