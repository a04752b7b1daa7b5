// Decimal texts of signed 64-bit integers, in the one canonical form that reads back unchanged.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

bool platformConvertStringToInt64(const char* text, int64_t& value) {
    if (text == nullptr) return false;
    errno = 0;
    long long parsed = strtoll(text, nullptr, 10);
    // Printing back rejects signs, leading zeros and blanks, trailing characters and clamped overflow.
    char printed[32];
    snprintf(printed, sizeof printed, "%lld", parsed);
    if (errno != 0 || strcmp(printed, text) != 0) return false;
    value = static_cast<int64_t>(parsed);
    return true;
}

bool platformConvertInt64ToString(int64_t value, char* buf, unsigned size) {
    if (buf == nullptr || size < 3) return false;
    char printed[32];
    int length = snprintf(printed, sizeof printed, "%lld", static_cast<long long>(value));
    if (length < 0 || size <= static_cast<unsigned>(length)) return false;
    memcpy(buf, printed, static_cast<size_t>(length) + 1);
    return true;
}
