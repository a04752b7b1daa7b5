// Pixel access of older records by their bits per pixel: 8, 16 or 32-bit unsigned values in
// little-endian order, row-major. The analysis algorithms accept no other widths.
#ifndef QMV3_LEGACY_PIXEL_ACCESS_H
#define QMV3_LEGACY_PIXEL_ACCESS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qmv3/qmv3.h"

namespace qmv3::legacy {

inline bool IsPixelWidth(uint32_t bpp) { return bpp == 8 || bpp == 16 || bpp == 32; }

inline uint32_t LargestPixelValue(uint32_t bpp) { return bpp >= 32 ? UINT32_MAX : (1u << bpp) - 1; }

inline uint32_t LoadPixel(const unsigned char* frame, size_t index, uint32_t bpp) {
    if (bpp == 8) return frame[index];
    const unsigned char* p = frame + index * (bpp / 8);
    if (bpp == 16) return static_cast<uint32_t>(p[0] | p[1] << 8);
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline void StorePixel(unsigned char* frame, size_t index, uint32_t bpp, uint32_t value) {
    unsigned char* p = frame + index * (bpp / 8);
    for (uint32_t byte = 0; byte < bpp / 8; ++byte) p[byte] = static_cast<unsigned char>(value >> (8 * byte));
}

// Typed access for loops that know the width: one little-endian value of type T (uint8_t, uint16_t or
// uint32_t) at a pixel index.
template <typename T>
inline T Load(const unsigned char* frame, size_t index) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    T value;
    std::memcpy(&value, frame + index * sizeof(T), sizeof(T));
    return value;
#else
    return static_cast<T>(LoadPixel(frame, index, 8 * sizeof(T)));
#endif
}

template <typename T>
inline void Store(unsigned char* frame, size_t index, T value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(frame + index * sizeof(T), &value, sizeof(T));
#else
    StorePixel(frame, index, 8 * sizeof(T), value);
#endif
}

// Calls work with a value of the pixel type of a width (8, 16, otherwise 32), so that a generic lambda
// can take it as its type: [&](auto zero) { using T = decltype(zero); ... }.
template <typename Work>
inline auto ByPixelWidth(uint32_t bpp, Work&& work) {
    if (bpp == 8) return work(uint8_t{0});
    if (bpp == 16) return work(uint16_t{0});
    return work(uint32_t{0});
}

// Pixels per block of the loops that walk several frames at once: the block's accumulators stay in the
// first-level cache while every frame passes through it.
constexpr size_t kPixelBlock = 512;

// True when the record has frames that the algorithms may touch: arrays set and no null frame.
inline bool HasFrames(const VIDINFHDR* rec) {
    if (rec->numframes < 1 || rec->framebits == nullptr) return false;
    for (int32_t i = 0; i < rec->numframes; ++i) {
        if (rec->framebits[i] == nullptr) return false;
    }
    return true;
}

}  // namespace qmv3::legacy

#endif
