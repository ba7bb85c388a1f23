// LeakSanitizer from inside a test program: checks for leaks at a chosen moment, the heap in
// use, and the checker looking away. Everything here does nothing in a
// program built without it (only ./run check and ./run endurance build with it).
#pragma once

#include <cstddef>

// The sanitizer's interface, present only in programs built with it.
extern "C" int __lsan_do_recoverable_leak_check() __attribute__((weak));
extern "C" void __lsan_disable() __attribute__((weak));
extern "C" void __lsan_enable() __attribute__((weak));
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace vt_test {

inline bool leak_checker_present() { return __lsan_do_recoverable_leak_check != nullptr; }

// Checks for leaked memory now, reporting any on standard error; true when some was found.
inline bool leaks_found() {
    return leak_checker_present() && __lsan_do_recoverable_leak_check() != 0;
}

// Bytes of heap memory in use, as the sanitizer's allocator counts them; -1 without it.
inline long long heap_in_use() {
    return __sanitizer_get_current_allocated_bytes
               ? (long long)__sanitizer_get_current_allocated_bytes()
               : -1;
}

// Runs body with the checker looking away from what it allocates.
template <typename Body>
void unchecked(Body body) {
    if (!__lsan_disable || !__lsan_enable) return body();
    __lsan_disable();
    body();
    __lsan_enable();
}

}  // namespace vt_test
