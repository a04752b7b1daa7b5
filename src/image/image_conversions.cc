// Pixel operations that change the pixel format (grey to one byte per pixel, colour to grey) or only
// read the pixels (intensity sums). They run on images that pass the restricted rules, write their
// results compactly from the start of the frame buffer and bring the header in line afterwards.
#include <cmath>

#include "image/cdimage.h"
#include "image/pixel_access.h"

namespace {

size_t pixelCount(const CDIMAGE& image) {
    return static_cast<size_t>(image.getAppendedWidth()) * static_cast<size_t>(image.getAppendedHeight());
}

bool isRgb24(const DIMAGE& img) {
    return img.frameHeader.imageFormat == CDIMAGE::FORMAT_RGB && img.frameHeader.bytesPerPixel == 3;
}

// One grey value of n significant bits from the luminance of an RGB pixel.
int64_t greyOfBits(double lum, int bits) {
    if (bits == 8) return static_cast<int64_t>(lum);
    const double levels = std::pow(2.0, bits) - 1.0;
    if (bits < 8) {
        const double divisor = bits == 1 ? 255.0 : 255.0 / levels;
        return static_cast<int64_t>(std::floor(lum / divisor + 0.5));
    }
    return static_cast<int64_t>(std::floor(lum * levels / 255.0 + 0.5));
}

}  // namespace

// Two bytes per pixel with unset effective bits count as 16 significant bits.
bool CDIMAGE::performGrayscaleDownscaleTo1BytePerPixel() {
    if (!checkRestrictedValidity() || m_Img.frameHeader.imageFormat != FORMAT_GRAY) return false;
    DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    if (fh.bytesPerPixel == 1) return true;
    int bits = fh.effectiveBitsPerPixel == -1 ? 16 : fh.effectiveBitsPerPixel;
    int shift = 0;
    if (bits > 7) {
        shift = bits - 8;
        bits = 8;
    }
    const size_t count = pixelCount(*this);
    unsigned char* frame = m_Img.frameBuffer;
    for (size_t p = 0; p < count; ++p) {
        frame[p] = static_cast<unsigned char>(pixel::readValue(frame + 2 * p, 2) >> shift);
    }
    fh.bytesPerPixel = 1;
    fh.effectiveBitsPerPixel = bits;
    fh.imageFlags &= ~FLAG_IMAGE_LOSSLESS;
    setFrameSizeAfterOperation(count);
    return true;
}

bool CDIMAGE::performRGB24DownscaleToGray8() { return performRGB24DownscaleToGrayN(8); }

bool CDIMAGE::performRGB24DownscaleToGrayN(int bits) {
    if (!checkRestrictedValidity() || !isRgb24(m_Img) || bits < 1 || bits > 16) return false;
    const int outBytes = bits <= 8 ? 1 : 2;
    const size_t count = pixelCount(*this);
    unsigned char* frame = m_Img.frameBuffer;
    // Each pixel is read before its output is written, and outputs never pass the inputs still to come.
    for (size_t p = 0; p < count; ++p) {
        const int64_t grey = greyOfBits(pixel::luminance(frame + 3 * p), bits);
        pixel::writeValue(frame + outBytes * p, outBytes, grey);
    }
    DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    fh.bytesPerPixel = outBytes;
    fh.effectiveBitsPerPixel = bits;
    fh.imageFormat = FORMAT_GRAY;
    fh.imageFlags &= ~FLAG_IMAGE_LOSSLESS;
    setFrameSizeAfterOperation(count * outBytes);
    return true;
}

bool CDIMAGE::performIntensityCalculation(unsigned long long& sum) {
    if (!checkRestrictedValidity()) return false;
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    const size_t count = fh.appendedFrameSize > 0 ? pixelCount(*this) : 0;
    const unsigned char* frame = m_Img.frameBuffer;
    unsigned long long total = 0;
    if (isRgb24(m_Img)) {
        for (size_t p = 0; p < count; ++p) total += static_cast<unsigned long long>(pixel::luminance(frame + 3 * p));
    } else if (fh.imageFormat == FORMAT_GRAY && (fh.bytesPerPixel == 1 || fh.bytesPerPixel == 2)) {
        const int bpp = fh.bytesPerPixel;
        for (size_t p = 0; p < count; ++p) total += static_cast<unsigned>(pixel::readValue(frame + bpp * p, bpp));
    } else {
        return false;
    }
    sum = total;
    return true;
}

bool CDIMAGE::performIntensityCalculation(double& sum) {
    unsigned long long total = 0;
    if (!performIntensityCalculation(total)) return false;
    sum = static_cast<double>(total);
    return true;
}

// Reorientation is not supported: the call only checks the image.
bool CDIMAGE::adjustOrientation(unsigned int) {
    checkRestrictedValidity();
    return false;
}
