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

// Mean of count values starting at first, stride bytes apart, truncated.
int64_t meanOf(const unsigned char* first, size_t stride, unsigned count, int bytes) {
    double sum = 0.0;
    for (unsigned k = 0; k < count; ++k) sum += pixel::readValue(first + k * stride, bytes);
    return static_cast<int64_t>(sum / count);
}

// Divides a start for binning; a one-based start stays one-based.
int32_t binnedStart(int32_t start, unsigned factor, bool oneBased) {
    if (oneBased && start >= 1) return static_cast<int32_t>((start - 1) / static_cast<int64_t>(factor) + 1);
    return static_cast<int32_t>(start / static_cast<int64_t>(factor));
}

int32_t binnedLength(int32_t length, unsigned factor) {
    return static_cast<int32_t>(length / static_cast<int64_t>(factor));
}

// Pixel `to` becomes the mean of `count` pixels from pixel `from` on, `stride` pixels apart, per component.
void storeMean(unsigned char* frame, const Layout& layout, size_t from, size_t stride, unsigned count, size_t to) {
    const size_t pixelBytes = static_cast<size_t>(layout.step());
    for (int c = 0; c < layout.components; ++c) {
        const size_t offset = static_cast<size_t>(c) * layout.bytesPerComponent;
        const int64_t mean =
            meanOf(frame + from * pixelBytes + offset, stride * pixelBytes, count, layout.bytesPerComponent);
        pixel::writeValue(frame + to * pixelBytes + offset, layout.bytesPerComponent, mean);
    }
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
    // Each output lies at or before its first input, and later inputs lie further on: in place is safe.
    for (size_t r = 0; r < h; ++r) {
        for (size_t j = 0; j < newWidth; ++j)
            storeMean(frame, layout, r * w + j * horizontal, 1, horizontal, r * newWidth + j);
    }
    for (size_t j = 0; j < newWidth; ++j) {
        for (size_t i = 0; i < newHeight; ++i) {
            storeMean(frame, layout, i * vertical * newWidth + j, newWidth, vertical, i * newWidth + j);
        }
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
    unsigned char* at = m_Img.frameBuffer;
    for (unsigned p = 0; p < count; ++p) {
        for (int c = 0; c < layout.components; ++c, at += layout.bytesPerComponent) {
            const int value = pixel::readValue(at, layout.bytesPerComponent);
            pixel::writeValue(at, layout.bytesPerComponent, static_cast<int64_t>((value - offset) * scale));
        }
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
    for (unsigned p = 0; p < count; ++p) {
        if (!isRgb) {
            const int value = std::min(std::max(pixel::readValue(at, bpp), lowerLimit), upperLimit);
            pixel::writeValue(at, bpp, static_cast<int64_t>((value - minimum) * scale));
            at += bpp;
            continue;
        }
        const double lum = pixel::luminance(at);
        const double factor = lum > 0.0 ? scale - minimum / lum : scale;
        for (int c = 0; c < 3; ++c, ++at) {
            const int64_t value = static_cast<int64_t>(*at * factor);
            *at = static_cast<unsigned char>(std::min<int64_t>(std::max<int64_t>(value, 0), 255));
        }
    }
    return true;
}
