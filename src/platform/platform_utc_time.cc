// UTC texts of time values: the writer in its four forms and the reader of the twelve-hour form with
// microseconds that the image sequence files store.
//
// Thread rules: both directions use re-entrant conversions and may run on any thread.
#include <time.h>

#include <cctype>
#include <cstdio>

#include "platform/platform.h"

char* platformTimeToUTCString(int64_t seconds, uint32_t fraction, bool microseconds, bool brackets, bool twelveHour,
                              char* buf, unsigned size) {
    if (buf == nullptr || size < 2) return nullptr;
    if (fraction > (microseconds ? 999999u : 999u)) return nullptr;
    time_t value = static_cast<time_t>(seconds);
    struct tm broken;
    if (gmtime_r(&value, &broken) == nullptr) return nullptr;
    if (broken.tm_isdst != 0) {
        fprintf(stderr, "platformTimeToUTCString: Warning: tm_isdst(%d) is not zero, but must be zero for UTC!\n",
                broken.tm_isdst);
        return nullptr;
    }
    int hour = broken.tm_hour;
    const char* marker = "";
    if (twelveHour) {
        marker = hour >= 12 ? "PM" : "AM";
        if (hour >= 12) hour -= 12;
        if (hour == 0) hour = 12;
    }
    // The hour is blank-padded in the twelve-hour form; the fraction has six or three digits.
    snprintf(buf, size - 1,
             twelveHour ? (microseconds ? "%s%04d-%02d-%02d %2d:%02d:%02d.%06u %s%sUTC%s"
                                        : "%s%04d-%02d-%02d %2d:%02d:%02d.%03u %s%sUTC%s")
                        : (microseconds ? "%s%04d-%02d-%02d %02d:%02d:%02d.%06u %s%sUTC%s"
                                        : "%s%04d-%02d-%02d %02d:%02d:%02d.%03u %s%sUTC%s"),
             brackets ? "[" : "", broken.tm_year + 1900, broken.tm_mon + 1, broken.tm_mday, hour, broken.tm_min,
             broken.tm_sec, fraction, marker, twelveHour ? " " : "", brackets ? "]" : "");
    buf[size - 1] = '\0';
    return buf;
}

namespace {

bool sameLetters(const char* read, const char* expected) {
    for (; *expected != '\0'; ++read, ++expected) {
        if (std::toupper(static_cast<unsigned char>(*read)) != *expected) return false;
    }
    return true;
}

}  // namespace

bool platformUTCStringToTimeT(const char* text, int64_t& seconds, uint32_t& microseconds) {
    if (text == nullptr) return false;
    int year, month, day, hour, minute, second;
    unsigned fraction;
    char marker[2], zone[3];
    int fields = sscanf(text, "%4d-%2d-%2d %2d:%2d:%2d.%6u %c%c %c%c%c", &year, &month, &day, &hour, &minute, &second,
                        &fraction, &marker[0], &marker[1], &zone[0], &zone[1], &zone[2]);
    if (fields != 12 || !sameLetters(zone, "UTC")) return false;
    bool afternoon = sameLetters(marker, "PM");
    if (!afternoon && !sameLetters(marker, "AM")) return false;
    if (!afternoon && hour == 12) hour = 0;
    if (afternoon && hour != 12) hour += 12;
    // Compared as unsigned, so negative fields fail; the year is compared signed, as a negative year
    // would pass an unsigned test. A day of 0 means the last day of the previous month.
    if (year < 1970 || static_cast<unsigned>(month) - 1 >= 12 || static_cast<unsigned>(day) > 31 ||
        static_cast<unsigned>(hour) >= 24 || static_cast<unsigned>(minute) >= 60 ||
        static_cast<unsigned>(second) >= 60 || fraction >= 1000000) {
        return false;
    }
    struct tm broken = {};
    broken.tm_year = year - 1900;
    broken.tm_mon = month - 1;
    broken.tm_mday = day;
    broken.tm_hour = hour;
    broken.tm_min = minute;
    broken.tm_sec = second;
    broken.tm_isdst = 0;
    seconds = static_cast<int64_t>(timegm(&broken));
    microseconds = fraction;
    return true;
}
