// A Unix time with milliseconds as local-time text, in the stamp format of the library's log lines.
#include <cstdio>
#include <ctime>

#include "util/numeric.h"

char* timestampToString(long seconds, int milliseconds, char* buffer, size_t size) {
    if (buffer == nullptr || size <= 1) return buffer;
    // The fallback stays when the milliseconds are out of range or the time has no local form.
    std::snprintf(buffer, size - 1, "%lu:%3d conversion error", static_cast<unsigned long>(seconds), milliseconds);
    const time_t time = static_cast<time_t>(seconds);
    struct tm local;
    if (milliseconds >= 0 && milliseconds <= 999 && localtime_r(&time, &local) != nullptr) {
        const int twoDigitYear = ((local.tm_year + 1900) % 100 + 100) % 100;
        std::snprintf(buffer, size - 1, "%02d.%02d.%02d %02d:%02d:%02d:%03d LTM", local.tm_mday, local.tm_mon + 1,
                      twoDigitYear, local.tm_hour, local.tm_min, local.tm_sec, milliseconds);
    }
    buffer[size - 1] = '\0';
    return buffer;
}
