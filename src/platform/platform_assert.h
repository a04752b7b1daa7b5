// A check for programming errors that stays active in release builds: it reports the failed
// condition in the C library's assertion format and stops the process.
#ifndef QMV3_PLATFORM_PLATFORM_ASSERT_H
#define QMV3_PLATFORM_PLATFORM_ASSERT_H

#include <assert.h>

// `text` is the condition as it is reported.
#define PLATFORM_ASSERT(condition, text) \
    ((condition) ? static_cast<void>(0) : __assert_fail(text, __FILE__, __LINE__, __PRETTY_FUNCTION__))

#endif
