// A check for programming errors that stays active in release builds: it reports the failed
// condition in the C library's assertion format and stops the process.
#ifndef QMV3_PLATFORM_PLATFORM_ASSERT_H
#define QMV3_PLATFORM_PLATFORM_ASSERT_H

#include <cstdio>
#include <cstdlib>

namespace platform_detail {

[[noreturn]] inline void assertionFailed(const char* text, const char* file, int line, const char* function) {
    std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, function, text);
    std::fflush(stderr);
    std::abort();
}

}  // namespace platform_detail

// `text` is the condition as it is reported.
#define PLATFORM_ASSERT(condition, text) \
    ((condition) ? static_cast<void>(0)  \
                 : platform_detail::assertionFailed(text, __FILE__, __LINE__, __PRETTY_FUNCTION__))

#endif
