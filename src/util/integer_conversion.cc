// Strict text-to-integer conversion with a classified result: every numeric value that the library
// reads from files and the environment goes through here, so a text is either a whole number in range
// or it is refused with the reason.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>

#include "util/numeric.h"

namespace {

// The C library leaves the end pointer unset for other bases, so they are refused before converting.
bool IsValidBase(int base) { return base == 0 || (base >= 2 && base <= 36); }

// Shared by the signed converters: classifies the strtoll result against [minimum, maximum].
int ConvertSigned(long long& value, const char* text, int base, long long minimum, long long maximum) {
    if (text == nullptr || !IsValidBase(base)) return kNumNotConvertible;
    char* end = const_cast<char*>(text);
    errno = 0;
    const long long result = std::strtoll(text, &end, base);
    const bool rangeError = errno == ERANGE;
    if ((rangeError && result == LLONG_MAX) || result > maximum) return kNumAboveRange;
    if ((rangeError && result == LLONG_MIN) || result < minimum) return kNumBelowRange;
    if (text[0] == '\0' || *end != '\0') return kNumNotConvertible;
    value = result;
    return kNumConverted;
}

}  // namespace

int Str2Int(int& out, const char* text, int base) {
    long long value = 0;
    const int result = ConvertSigned(value, text, base, INT32_MIN, INT32_MAX);
    if (result == kNumConverted) out = static_cast<int>(value);
    return result;
}

int Str2Int64(long& out, const char* text, int base) {
    long long value = 0;
    const int result = ConvertSigned(value, text, base, INT64_MIN, INT64_MAX);
    if (result == kNumConverted) out = static_cast<long>(value);
    return result;
}

int CheckStr2Int(int* out, const char* text, int base) {
    int value = 0;
    const int result = Str2Int(value, text, base);
    if (result == kNumConverted && out != nullptr) *out = value;
    return result;
}

int CheckStr2Int32(int* out, const char* text, int base) { return CheckStr2Int(out, text, base); }

int CheckStr2UInt32(unsigned int* out, const char* text, int base) {
    if (text == nullptr || !IsValidBase(base)) return kNumNotConvertible;
    char* end = const_cast<char*>(text);
    errno = 0;
    // A range error yields the largest value, which is above the 32-bit range as well.
    const unsigned long long result = std::strtoull(text, &end, base);
    if (result > UINT32_MAX) return kNumAboveRange;
    if (text[0] == '\0' || *end != '\0') return kNumNotConvertible;
    if (out != nullptr) *out = static_cast<unsigned int>(result);
    return kNumConverted;
}
