// Fuzzes the text-to-number converters: the first byte picks the base, the rest is the text. Besides
// memory errors it checks the converters' contract: the result is one of the four codes, the checking
// forms agree with their plain forms, a failed conversion leaves the output alone, and a converted
// value lies in the target type's range.
#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "util/numeric.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool isCode(int result) { return result >= kNumConverted && result <= kNumNotConvertible; }

template <typename T, typename Convert>
void checkUnchangedOnFailure(Convert convert, T sentinel) {
    T value = sentinel;
    int result = convert(&value);
    require(isCode(result));
    if (result != kNumConverted) require(std::memcmp(&value, &sentinel, sizeof(T)) == 0);
}

void fuzzIntegers(const char* text, int base) {
    int plain = 12345;
    int plainResult = Str2Int(plain, text, base);
    require(isCode(plainResult));
    int checked = 12345;
    require(CheckStr2Int(&checked, text, base) == plainResult);
    require(CheckStr2Int(nullptr, text, base) == plainResult);
    if (plainResult == kNumConverted)
        require(checked == plain);
    else
        require(plain == 12345 && checked == 12345);

    checkUnchangedOnFailure<int>([&](int* out) { return CheckStr2Int32(out, text, base); }, -7);
    require(CheckStr2Int32(nullptr, text, base) == CheckStr2Int32(&plain, text, base));
    checkUnchangedOnFailure<unsigned int>([&](unsigned int* out) { return CheckStr2UInt32(out, text, base); }, 7u);
    unsigned int unsignedValue = 0;
    require(CheckStr2UInt32(nullptr, text, base) == CheckStr2UInt32(&unsignedValue, text, base));

    long wide = -99;
    int wideResult = Str2Int64(wide, text, base);
    require(isCode(wideResult));
    if (wideResult != kNumConverted) require(wide == -99);
}

void fuzzFloatingPoint(const char* text) {
    double plain = 0.5;
    int plainResult = Str2Double(plain, text);
    require(isCode(plainResult));
    double checked = 0.5;
    require(CheckStr2Double(&checked, text) == plainResult);
    require(CheckStr2Double(nullptr, text) == plainResult);
    if (plainResult == kNumConverted)
        require(std::memcmp(&plain, &checked, sizeof plain) == 0);
    else
        require(plain == 0.5 && checked == 0.5);

    float single = 0.25f;
    int singleResult = Str2Float(single, text);
    require(isCode(singleResult));
    if (singleResult == kNumConverted)
        require(!std::isinf(single) || std::isinf(plain));
    else
        require(single == 0.25f);
    checkUnchangedOnFailure<float>([&](float* out) { return CheckStr2Float(out, text); }, 0.75f);
}

void fuzzTimestamp(qmv3fuzz::ByteReader& reader) {
    long seconds = reader.take<long>();
    int milliseconds = reader.take<int>();
    size_t size = reader.take<uint8_t>();
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    timestampToString(seconds, milliseconds, buffer, size);
    if (size > 1) require(std::memchr(buffer, '\0', size) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qmv3fuzz::ByteReader reader(data, size);
    uint8_t selector = reader.take<uint8_t>();
    if (selector == 0xFF) {
        fuzzTimestamp(reader);
        return 0;
    }
    static const int kBases[] = {0, 10, 16, 8, 2, 36};
    int base = kBases[selector % (sizeof kBases / sizeof kBases[0])];
    std::string text = reader.restAsText();
    fuzzIntegers(text.c_str(), base);
    fuzzFloatingPoint(text.c_str());
    float a = 0, b = 0, tolerance = 0;
    if (text.size() >= 12) {
        std::memcpy(&a, text.data(), 4);
        std::memcpy(&b, text.data() + 4, 4);
        std::memcpy(&tolerance, text.data() + 8, 4);
        bool near = isApproximately(a, b, tolerance);
        if (std::isnan(a) || std::isnan(b) || std::isnan(tolerance)) require(!near);
    }
    return 0;
}
