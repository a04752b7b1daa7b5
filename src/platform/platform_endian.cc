// Byte-order conversion: little-endian is the host order on every machine the library runs on, so
// those conversions are the identity; big-endian conversions reverse the bytes.
#include <cstring>
#include <type_traits>

#include "platform/platform.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the byte-order layer assumes a little-endian host");

namespace {

template <typename T>
T reverseBytes(T value) {
    static_assert(std::is_trivially_copyable<T>::value, "plain values only");
    unsigned char bytes[sizeof(T)];
    memcpy(bytes, &value, sizeof(T));
    for (size_t low = 0, high = sizeof(T) - 1; low < high; ++low, --high) {
        unsigned char swap = bytes[low];
        bytes[low] = bytes[high];
        bytes[high] = swap;
    }
    memcpy(&value, bytes, sizeof(T));
    return value;
}

}  // namespace

#define PLATFORM_ENDIAN_FAMILY(T)                                      \
    T platformHostToLittleEndian(T value) { return value; }            \
    T platformLittleEndianToHost(T value) { return value; }            \
    T platformHostToBigEndian(T value) { return reverseBytes(value); } \
    T platformBigEndianToHost(T value) { return reverseBytes(value); }

PLATFORM_ENDIAN_FAMILY(short)
PLATFORM_ENDIAN_FAMILY(unsigned short)
PLATFORM_ENDIAN_FAMILY(int)
PLATFORM_ENDIAN_FAMILY(unsigned int)
PLATFORM_ENDIAN_FAMILY(long long)
PLATFORM_ENDIAN_FAMILY(unsigned long long)
PLATFORM_ENDIAN_FAMILY(float)
PLATFORM_ENDIAN_FAMILY(double)
