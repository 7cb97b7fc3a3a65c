#pragma once

// For tests of the exit the runtime takes when memory runs out. Include it in one source
// file of a test executable: it defines the sanitizers' option hooks, so that malloc
// answers an impossible request with null, as it does without them, instead of the
// sanitizer reporting it.

extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
extern "C" const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}

// The process exit status -1 as the platform reports it.
#ifdef _WIN32
constexpr int kExitMinusOne = -1;
#else
constexpr int kExitMinusOne = 255;
#endif
