// What a fuzz harness checks: a broken expectation ends the run as a crash that libFuzzer
// reports with the input that caused it.
#pragma once

#include <cstdlib>

inline void check(bool holds) {
    if (!holds) std::abort();
}
