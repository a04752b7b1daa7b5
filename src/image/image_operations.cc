// Pixel operations that keep the pixel format: binning and the two contrast normalisations, with their
// searches for extremes. They work in place on the appended frame of an image that passes the
// restricted rules (GRAY with 1 or 2 bytes per pixel, RGB with 3), in double precision, truncating
// toward zero. The older normalisation keeps its historic arithmetic exactly: callers rely on it.
#include <algorithm>
#include <cstring>

#include "image/cdimage.h"
#include "image/pixel_access.h"

namespace {

// Values per pixel and bytes per value of a frame that passed the restricted rules.
struct Layout {
    int components;
    int bytesPerComponent;
    int step() const { return components * bytesPerComponent; }
};

Layout layoutOf(const DIMAGE& img) {
    if (img.frameHeader.imageFormat == CDIMAGE::FORMAT_RGB) return {3, 1};
    return {1, img.frameHeader.bytesPerPixel};
}

// Values are loaded and stored through memcpy: frame buffers need not be aligned.
template <typename T>
T load(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void store(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

// Divides by a factor known to the caller; powers of two shift. For non-negative sums far below 2^53
// the truncated quotient equals that of the double division the operations are defined with.
struct Divisor {
    explicit Divisor(unsigned d) : factor(d), shift(-1) {
        if ((d & (d - 1)) == 0) {
            shift = 0;
            while ((1u << shift) != d) ++shift;
        }
    }
    uint64_t operator()(uint64_t sum) const { return shift >= 0 ? sum >> shift : sum / factor; }
    unsigned factor;
    int shift;
};

// Both binning passes fused: output (i, j) is the truncated mean over `vertical` rows of the truncated
// horizontal means of those rows. It is written at or before its first input, and every later output
// reads only further on, so one forward sweep in place gives what the two passes gave.
template <typename T, int C>
void binFrame(unsigned char* frame, size_t w, size_t newWidth, size_t newHeight, unsigned horizontal,
              unsigned vertical) {
    const size_t rowBytes = w * C * sizeof(T);
    const Divisor byH(horizontal), byV(vertical);
    unsigned char* out = frame;
    for (size_t i = 0; i < newHeight; ++i) {
        const unsigned char* top = frame + i * vertical * rowBytes;
        for (size_t j = 0; j < newWidth; ++j) {
            const unsigned char* first = top + j * horizontal * C * sizeof(T);
            for (int c = 0; c < C; ++c) {
                uint64_t columnSum = 0;
                for (unsigned r = 0; r < vertical; ++r) {
                    const unsigned char* at = first + r * rowBytes + c * sizeof(T);
                    uint64_t rowSum = 0;
                    for (unsigned k = 0; k < horizontal; ++k) rowSum += load<T>(at + k * C * sizeof(T));
                    columnSum += byH(rowSum);
                }
                store<T>(out, static_cast<T>(byV(columnSum)));
                out += sizeof(T);
            }
        }
    }
}

// The common 2 x 2 case of binFrame, whose fixed shape lets the compiler keep everything in registers.
template <typename T, int C>
void binFrame2x2(unsigned char* frame, size_t w, size_t newWidth, size_t newHeight) {
    const size_t rowBytes = w * C * sizeof(T);
    unsigned char* out = frame;
    for (size_t i = 0; i < newHeight; ++i) {
        const unsigned char* upper = frame + 2 * i * rowBytes;
        const unsigned char* lower = upper + rowBytes;
        for (size_t j = 0; j < newWidth * C; j += C) {
            for (int c = 0; c < C; ++c) {
                const size_t a = (2 * j + c) * sizeof(T), b = a + C * sizeof(T);
                const unsigned top = (unsigned{load<T>(upper + a)} + load<T>(upper + b)) >> 1;
                const unsigned bottom = (unsigned{load<T>(lower + a)} + load<T>(lower + b)) >> 1;
                store<T>(out, static_cast<T>((top + bottom) >> 1));
                out += sizeof(T);
            }
        }
    }
}

template <typename T, int C>
void binAny(unsigned char* frame, size_t w, size_t newWidth, size_t newHeight, unsigned horizontal, unsigned vertical) {
    if (horizontal == 2 && vertical == 2) return binFrame2x2<T, C>(frame, w, newWidth, newHeight);
    binFrame<T, C>(frame, w, newWidth, newHeight, horizontal, vertical);
}

// Per-component extremes of values of type T, `components` to a pixel, clamped to [lower, upper].
template <typename T, int C>
void componentExtremes(const unsigned char* at, size_t count, int lower, int upper, int* maximum, int* minimum) {
    int high[C], low[C];
    for (int c = 0; c < C; ++c) high[c] = maximum[c], low[c] = minimum[c];
    for (size_t p = 0; p < count; ++p, at += C * sizeof(T)) {
        for (int c = 0; c < C; ++c) {
            const int value = std::min(std::max(static_cast<int>(load<T>(at + c * sizeof(T))), lower), upper);
            high[c] = std::max(high[c], value);
            low[c] = std::min(low[c], value);
        }
    }
    for (int c = 0; c < C; ++c) maximum[c] = high[c], minimum[c] = low[c];
}

// Every value v of type T becomes the low bits of trunc((v - offset) * scale).
template <typename T>
void stretch(unsigned char* at, size_t count, int offset, double scale) {
    for (size_t i = 0; i < count; ++i, at += sizeof(T)) {
        const int value = load<T>(at);
        store<T>(at, static_cast<T>(static_cast<int64_t>((value - offset) * scale)));
    }
}

// Every grey value v of type T becomes trunc((clamp(v, lower, upper) - minimum) * scale). minimum is the
// smallest clamped value and scale top / (maximum - minimum), so every product lies in 0 .. top: the
// truncation through int32_t, which vectorises, gives the same value as through int64_t.
template <typename T>
void stretchWithin(unsigned char* at, size_t count, int lower, int upper, int minimum, double scale) {
    for (size_t i = 0; i < count; ++i, at += sizeof(T)) {
        const int value = std::min(std::max(static_cast<int>(load<T>(at)), lower), upper);
        store<T>(at, static_cast<T>(static_cast<int32_t>((value - minimum) * scale)));
    }
}

// Divides a start for binning; a one-based start stays one-based.
int32_t binnedStart(int32_t start, unsigned factor, bool oneBased) {
    if (oneBased && start >= 1) return static_cast<int32_t>((start - 1) / static_cast<int64_t>(factor) + 1);
    return static_cast<int32_t>(start / static_cast<int64_t>(factor));
}

int32_t binnedLength(int32_t length, unsigned factor) {
    return static_cast<int32_t>(length / static_cast<int64_t>(factor));
}

// Geometry and scale of a binned image; the binning fields themselves stay as they were.
void binHeader(DIMAGE_FRAMEHEADER& fh, unsigned horizontal, unsigned vertical) {
    const bool oneBased = (fh.imageFlags & CDIMAGE::FLAG_XYSTART_ONE_BASED) != 0;
    fh.xScale *= static_cast<float>(horizontal);
    fh.yScale *= static_cast<float>(vertical);
    fh.sourceWidth = binnedLength(fh.sourceWidth, horizontal);
    fh.xStart = binnedStart(fh.xStart, horizontal, oneBased);
    fh.sourceHeight = binnedLength(fh.sourceHeight, vertical);
    fh.yStart = binnedStart(fh.yStart, vertical, oneBased);
    if (fh.aoiWidth != -1) fh.aoiWidth = binnedLength(fh.aoiWidth, horizontal);
    if (fh.aoiHeight != -1) fh.aoiHeight = binnedLength(fh.aoiHeight, vertical);
}

}  // namespace

bool CDIMAGE::performFastBinning(unsigned int horizontal, unsigned int vertical) {
    if (!checkRestrictedValidity()) return false;
    if (horizontal == 0) horizontal = 1;
    if (vertical == 0) vertical = 1;
    if (horizontal == 1 && vertical == 1) return true;
    const size_t w = static_cast<size_t>(getAppendedWidth()), h = static_cast<size_t>(getAppendedHeight());
    if (h < vertical || w < horizontal) return false;
    const size_t newWidth = w / horizontal, newHeight = h / vertical;
    const Layout layout = layoutOf(m_Img);
    unsigned char* frame = m_Img.frameBuffer;
    if (layout.components == 3) {
        binAny<uint8_t, 3>(frame, w, newWidth, newHeight, horizontal, vertical);
    } else if (layout.bytesPerComponent == 2) {
        binAny<uint16_t, 1>(frame, w, newWidth, newHeight, horizontal, vertical);
    } else {
        binAny<uint8_t, 1>(frame, w, newWidth, newHeight, horizontal, vertical);
    }
    binHeader(m_Img.frameHeader, horizontal, vertical);
    setFrameSizeAfterOperation(static_cast<uint64_t>(getAppendedWidth()) * getAppendedHeight() * layout.step());
    return true;
}

void CDIMAGE::getMinMaxOfPixelsBuggy(void* pixels, unsigned int count, int components, int bytesPerComponent,
                                     int skipBytes, int effectiveBits, int* maxima, int* minima, int upperLimit,
                                     int lowerLimit) {
    if (components < 1 || components > 3 || bytesPerComponent < 1 || bytesPerComponent > 3 || skipBytes < 0) return;
    if (pixels == nullptr && count > 0) return;
    int maximum[3] = {0, 0, 0};
    const int start = pixel::topValue(effectiveBits);
    int minimum[3] = {start, start, start};
    const size_t step = static_cast<size_t>(skipBytes) + components * bytesPerComponent;
    const unsigned char* at = static_cast<const unsigned char*>(pixels);
    // The layouts of the restricted rules have loops of their own; the same clamps and comparisons.
    const bool packed = skipBytes == 0;
    if (packed && components == 1 && bytesPerComponent == 1) {
        componentExtremes<uint8_t, 1>(at, count, lowerLimit, upperLimit, maximum, minimum);
        count = 0;
    } else if (packed && components == 1 && bytesPerComponent == 2) {
        componentExtremes<uint16_t, 1>(at, count, lowerLimit, upperLimit, maximum, minimum);
        count = 0;
    } else if (packed && components == 3 && bytesPerComponent == 1) {
        componentExtremes<uint8_t, 3>(at, count, lowerLimit, upperLimit, maximum, minimum);
        count = 0;
    }
    for (unsigned int p = 0; p < count; ++p, at += step) {
        for (int c = 0; c < components; ++c) {
            int value = pixel::readValue(at + c * bytesPerComponent, bytesPerComponent);
            value = std::min(std::max(value, lowerLimit), upperLimit);
            maximum[c] = std::max(maximum[c], value);
            minimum[c] = std::min(minimum[c], value);
        }
    }
    for (int c = 0; c < components; ++c) {
        if (maxima != nullptr) maxima[c] = maximum[c];
        if (minima != nullptr) minima[c] = minimum[c];
    }
}

void CDIMAGE::getImprovedMinMaxOfPixels(void* pixels, unsigned int count, bool isRGB, int bytesPerPixel, int skipBytes,
                                        int effectiveBits, int& maximum, int& minimum, int upperLimit, int lowerLimit) {
    if (bytesPerPixel < 1 || bytesPerPixel > 3 || skipBytes < 0) return;
    if (pixels == nullptr && count > 0) return;
    int high = 0;
    int low = pixel::topValue(effectiveBits);
    const size_t step = static_cast<size_t>(skipBytes) + (isRGB ? 3 : bytesPerPixel);
    const unsigned char* at = static_cast<const unsigned char*>(pixels);
    if (skipBytes == 0 && !isRGB && bytesPerPixel <= 2) {
        int highs[1] = {high}, lows[1] = {low};
        if (bytesPerPixel == 1) componentExtremes<uint8_t, 1>(at, count, lowerLimit, upperLimit, highs, lows);
        if (bytesPerPixel == 2) componentExtremes<uint16_t, 1>(at, count, lowerLimit, upperLimit, highs, lows);
        high = highs[0], low = lows[0];
        count = 0;
    }
    for (unsigned int p = 0; p < count; ++p, at += step) {
        int value = isRGB ? static_cast<int>(pixel::luminance(at)) : pixel::readValue(at, bytesPerPixel);
        value = std::min(std::max(value, lowerLimit), upperLimit);
        high = std::max(high, value);
        low = std::min(low, value);
    }
    maximum = high;
    minimum = low;
}

// A uniform image (every extreme pair equal) has no contrast to stretch: it is refused, unchanged.
bool CDIMAGE::performNormalisationBuggy(tNormalisationMode mode) {
    if (!checkRestrictedValidity()) return false;
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    const bool isRgb = fh.imageFormat == FORMAT_RGB;
    const Layout layout = layoutOf(m_Img);
    const int bits = isRgb ? 8 : getEffectiveBitsPerPixel();
    const unsigned count = static_cast<unsigned>(getAppendedWidth()) * static_cast<unsigned>(getAppendedHeight());
    // The stored effective bits select the upper limit as a shift count would: modulo 32.
    const int upperLimit = pixel::topValue(fh.effectiveBitsPerPixel & 31);
    int maxima[3], minima[3];
    getMinMaxOfPixelsBuggy(m_Img.frameBuffer, count, layout.components, layout.bytesPerComponent, 0, bits, maxima,
                           minima, upperLimit, 0);
    if (mode == NORMALISATION_FROM_ZERO) minima[0] = minima[1] = minima[2] = 0;
    int offset = minima[0], top = maxima[0];
    if (isRgb) {
        offset = std::max({minima[0], minima[1], minima[2]});
        top = std::min({maxima[0], maxima[1], maxima[2]});
    }
    if (top == offset) return false;
    const double scale = (isRgb ? 255.0 : static_cast<double>(pixel::topValue(bits))) / (top - offset);
    const size_t values = static_cast<size_t>(count) * layout.components;
    if (layout.bytesPerComponent == 2) {
        stretch<uint16_t>(m_Img.frameBuffer, values, offset, scale);
    } else {
        stretch<uint8_t>(m_Img.frameBuffer, values, offset, scale);
    }
    return true;
}

// A uniform image within the limits has no contrast to stretch: it is refused, unchanged.
bool CDIMAGE::performNormalisationLimitImproved(int lowerLimit, int upperLimit) {
    if (!checkRestrictedValidity()) return false;
    const bool isRgb = m_Img.frameHeader.imageFormat == FORMAT_RGB;
    const int bits = isRgb ? 8 : getEffectiveBitsPerPixel();
    const int top = pixel::topValue(bits);
    if (lowerLimit < 0 || upperLimit < lowerLimit || upperLimit > top) return false;
    const int bpp = m_Img.frameHeader.bytesPerPixel;
    const unsigned count = static_cast<unsigned>(getAppendedWidth()) * static_cast<unsigned>(getAppendedHeight());
    int maximum = 0, minimum = 0;
    getImprovedMinMaxOfPixels(m_Img.frameBuffer, count, isRgb, isRgb ? 1 : bpp, 0, bits, maximum, minimum, upperLimit,
                              lowerLimit);
    if (maximum == minimum) return false;
    const double scale = static_cast<double>(top) / (maximum - minimum);
    unsigned char* at = m_Img.frameBuffer;
    if (!isRgb) {
        if (bpp == 2) stretchWithin<uint16_t>(at, count, lowerLimit, upperLimit, minimum, scale);
        if (bpp == 1) stretchWithin<uint8_t>(at, count, lowerLimit, upperLimit, minimum, scale);
        return true;
    }
    for (unsigned p = 0; p < count; ++p) {
        const double lum = pixel::luminance(at);
        const double factor = lum > 0.0 ? scale - minimum / lum : scale;
        for (int c = 0; c < 3; ++c, ++at) {
            const int64_t value = static_cast<int64_t>(*at * factor);
            *at = static_cast<unsigned char>(std::min<int64_t>(std::max<int64_t>(value, 0), 255));
        }
    }
    return true;
}
