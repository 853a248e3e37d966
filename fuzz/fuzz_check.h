// A broken property stops the fuzzer with a message: libFuzzer then saves
// the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s (%s)\n", __FILE__, __LINE__, what,    \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
