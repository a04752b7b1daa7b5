// Millisecond time values, their arithmetic, the sleep and the local-time texts.
//
// Thread rules: everything here is safe to call from any thread; the time zone is initialised once,
// before the first conversion of platformTimeToStringEx.
#include <errno.h>
#include <time.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/platform.h"

namespace {

// The time zone names (tzname) are read once, before the first conversion of platformTimeToStringEx.
std::once_flag g_timeZoneInitialised;

// Printed with at most size - 2 characters and a zero byte, as all time texts are.
__attribute__((format(printf, 3, 4))) char* printTruncated(char* buf, unsigned size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(buf, size - 1, format, args);
    va_end(args);
    buf[size - 1] = '\0';
    return buf;
}

bool toLocalTime(uint64_t seconds, struct tm& broken) {
    time_t value = static_cast<time_t>(seconds);
    return localtime_r(&value, &broken) != nullptr;
}

}  // namespace

bool platformTimeGet(PLF_TIME& now) {
    struct timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    now.seconds = static_cast<uint64_t>(wall.tv_sec);
    now.milliseconds = static_cast<uint16_t>(wall.tv_nsec / 1000000);
    return true;
}

int platformTimeCompare(const PLF_TIME& a, const PLF_TIME& b) {
    if (a.seconds == b.seconds && a.milliseconds == b.milliseconds) return 0;
    // Exact in 128 bits, so huge second counts do not collapse as they would in double precision.
    unsigned __int128 left = static_cast<unsigned __int128>(a.seconds) * 1000 + a.milliseconds;
    unsigned __int128 right = static_cast<unsigned __int128>(b.seconds) * 1000 + b.milliseconds;
    if (left < right) return -1;
    return 1;
}

void platformTimeAddOffset(PLF_TIME& time, uint32_t milliseconds) {
    time.seconds += milliseconds / 1000;
    unsigned sum = time.milliseconds + milliseconds % 1000;
    if (sum >= 1000) {
        sum -= 1000;
        time.seconds += 1;
    }
    time.milliseconds = static_cast<uint16_t>(sum);
}

double platformTimeDelta(const PLF_TIME& from, const PLF_TIME& to) {
    // The wrapped unsigned difference read as signed is negative when `to` is earlier.
    double seconds = static_cast<double>(static_cast<int64_t>(to.seconds - from.seconds));
    return (seconds * 1000.0 - from.milliseconds + to.milliseconds) / 1000.0;
}

void platformSleepMilliseconds(uint32_t milliseconds) {
    struct timespec remaining;
    remaining.tv_sec = milliseconds / 1000;
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

char* platformTimeToString(const PLF_TIME& time, char* buf, unsigned size) {
    if (buf == nullptr || size < 2) return nullptr;
    struct tm broken;
    if (!toLocalTime(time.seconds, broken)) return printTruncated(buf, size, "%s", "[time_conversion_error]");
    return printTruncated(buf, size, "[%02d.%02d.%02d %02d:%02d:%02d.%03u LTM]", broken.tm_mday, broken.tm_mon + 1,
                          broken.tm_year % 100, broken.tm_hour, broken.tm_min, broken.tm_sec,
                          static_cast<unsigned>(time.milliseconds));
}

char* platformTimeToStringEx(const PLF_TIME& time, char* buf, unsigned size) {
    if (buf == nullptr || size < 2) return nullptr;
    std::call_once(g_timeZoneInitialised, tzset);
    struct tm broken;
    if (!toLocalTime(time.seconds, broken)) return printTruncated(buf, size, "%s", "[time_conversion_error]");
    const char* zone = broken.tm_isdst > 0 ? tzname[1] : tzname[0];
    return printTruncated(buf, size, "[%04d-%02d-%02d %02d:%02d:%02d.%03u %s]", broken.tm_year + 1900,
                          broken.tm_mon + 1, broken.tm_mday, broken.tm_hour, broken.tm_min, broken.tm_sec,
                          static_cast<unsigned>(time.milliseconds), zone);
}

char* platformTimeGetLocalText(char* buffer, int size) {
    if (buffer == nullptr || size < 26) return nullptr;
    PLF_TIME now;
    platformTimeGet(now);
    struct tm broken;
    const unsigned capacity = static_cast<unsigned>(size);
    if (!toLocalTime(now.seconds, broken)) return printTruncated(buffer, capacity, "%s", "time_conversion_error");
    return printTruncated(buffer, capacity, "%02d.%02d.%02d %02d:%02d:%02d.%03u LTM", broken.tm_mday, broken.tm_mon + 1,
                          broken.tm_year % 100, broken.tm_hour, broken.tm_min, broken.tm_sec,
                          static_cast<unsigned>(now.milliseconds));
}
