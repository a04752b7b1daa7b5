// Strict text-to-floating-point conversion with a classified result. Values too small to represent
// (a range error towards zero) are accepted as zero or a subnormal value, and NaN is accepted; only
// values beyond the largest finite magnitude of the target type count as out of range.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "util/numeric.h"

namespace {

// Reads a double; the end pointer starts at the text so that an empty text never leaves it unset.
double ReadDouble(const char* text, const char*& end, bool& rangeError) {
    char* stop = const_cast<char*>(text);
    errno = 0;
    const double value = std::strtod(text, &stop);
    rangeError = errno == ERANGE;
    end = stop;
    return value;
}

bool IsWholeText(const char* text, const char* end) { return text[0] != '\0' && *end == '\0'; }

}  // namespace

int Str2Double(double& out, const char* text) {
    if (text == nullptr) return kNumNotConvertible;
    const char* end = text;
    bool rangeError = false;
    const double value = ReadDouble(text, end, rangeError);
    if (rangeError && std::isinf(value) && value > 0) return kNumAboveRange;
    if (rangeError && std::isinf(value) && value < 0) return kNumBelowRange;
    if (!IsWholeText(text, end)) return kNumNotConvertible;
    out = value;
    return kNumConverted;
}

int Str2Float(float& out, const char* text) {
    if (text == nullptr) return kNumNotConvertible;
    const char* end = text;
    bool rangeError = false;
    const double value = ReadDouble(text, end, rangeError);
    // Infinity, written as "inf" or as a number out of range, lies beyond the largest finite float.
    if (value > static_cast<double>(FLT_MAX)) return kNumAboveRange;
    if (value < -static_cast<double>(FLT_MAX)) return kNumBelowRange;
    if (!IsWholeText(text, end)) return kNumNotConvertible;
    out = static_cast<float>(value);
    return kNumConverted;
}

int CheckStr2Double(double* out, const char* text) {
    double value = 0.0;
    const int result = Str2Double(value, text);
    if (result == kNumConverted && out != nullptr) *out = value;
    return result;
}

int CheckStr2Float(float* out, const char* text) {
    float value = 0.0f;
    const int result = Str2Float(value, text);
    if (result == kNumConverted && out != nullptr) *out = value;
    return result;
}
