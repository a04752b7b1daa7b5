// Reading and writing single pixel values of a frame buffer: one byte, a 16-bit value in host byte
// order, or a 24-bit value least significant byte first; and the luminance of an RGB pixel. Every
// access goes through memcpy, so unaligned frame buffers are fine.
#ifndef QMV3_IMAGE_PIXEL_ACCESS_H
#define QMV3_IMAGE_PIXEL_ACCESS_H

#include <cstdint>
#include <cstring>

namespace pixel {

inline int readValue(const unsigned char* at, int bytes) {
    if (bytes == 1) return at[0];
    if (bytes == 2) {
        uint16_t value;
        std::memcpy(&value, at, sizeof(value));
        return value;
    }
    return at[0] | (at[1] << 8) | (at[2] << 16);
}

// Stores the low 8, 16 or 24 bits of value.
inline void writeValue(unsigned char* at, int bytes, int64_t value) {
    const uint32_t bits = static_cast<uint32_t>(static_cast<uint64_t>(value));
    if (bytes == 1) {
        at[0] = static_cast<unsigned char>(bits);
    } else if (bytes == 2) {
        const uint16_t low = static_cast<uint16_t>(bits);
        std::memcpy(at, &low, sizeof(low));
    } else {
        at[0] = static_cast<unsigned char>(bits);
        at[1] = static_cast<unsigned char>(bits >> 8);
        at[2] = static_cast<unsigned char>(bits >> 16);
    }
}

inline double luminance(const unsigned char* rgb) { return 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]; }

// 2^bits - 1 for 0 <= bits <= 31; larger exponents give the largest int.
inline int topValue(int bits) {
    if (bits < 0) return 0;
    if (bits > 30) return INT32_MAX;
    return static_cast<int>((int64_t{1} << bits) - 1);
}

}  // namespace pixel

#endif
