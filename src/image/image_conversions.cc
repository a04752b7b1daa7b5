// Pixel operations that change the pixel format (grey to one byte per pixel, colour to grey) or only
// read the pixels (intensity sums). They run on images that pass the restricted rules, write their
// results compactly from the start of the frame buffer and bring the header in line afterwards.
#include <cmath>
#include <cstring>

#include "image/cdimage.h"
#include "image/pixel_access.h"

namespace {

size_t pixelCount(const CDIMAGE& image) {
    return static_cast<size_t>(image.getAppendedWidth()) * static_cast<size_t>(image.getAppendedHeight());
}

bool isRgb24(const DIMAGE& img) {
    return img.frameHeader.imageFormat == CDIMAGE::FORMAT_RGB && img.frameHeader.bytesPerPixel == 3;
}

constexpr size_t kBlock = 64;

// Converts count pixels in place, each `values` values of type In to one value of type Out (never
// wider), front to back. Blocks go through local arrays, so that convert's loop over a whole block
// vectorises; a block is read completely before its output is written, and outputs never pass the
// inputs still to come.
template <typename In, size_t values, typename Out, typename Convert>
void convertInPlace(unsigned char* frame, size_t count, Convert convert) {
    In input[kBlock * values] = {};
    Out output[kBlock];
    size_t p = 0;
    // Whole blocks copy a constant size, which the compiler turns into plain moves.
    for (; p + kBlock <= count; p += kBlock) {
        std::memcpy(input, frame + p * values * sizeof(In), sizeof input);
        convert(input, output);
        std::memcpy(frame + p * sizeof(Out), output, sizeof output);
    }
    if (p < count) {
        const size_t n = count - p;
        std::memcpy(input, frame + p * values * sizeof(In), n * values * sizeof(In));
        convert(input, output);
        std::memcpy(frame + p * sizeof(Out), output, n * sizeof(Out));
    }
}

double luminanceOf(const unsigned char* rgb) { return 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]; }

// Colour to grey of n significant bits; the rounding of each range as the operation defines it. Every
// value converted is non-negative and far inside int32_t, so truncating through int32_t (which
// vectorises) gives the truncation, and adding 0.5 before it the floor of the sum.
void colourToGrey(unsigned char* frame, size_t count, int bits) {
    const double levels = std::pow(2.0, bits) - 1.0;
    if (bits == 8) {
        convertInPlace<uint8_t, 3, uint8_t>(frame, count, [](const uint8_t* in, uint8_t* out) {
            for (size_t k = 0; k < kBlock; ++k)
                out[k] = static_cast<uint8_t>(static_cast<int32_t>(luminanceOf(in + 3 * k)));
        });
    } else if (bits < 8) {
        const double divisor = bits == 1 ? 255.0 : 255.0 / levels;
        convertInPlace<uint8_t, 3, uint8_t>(frame, count, [divisor](const uint8_t* in, uint8_t* out) {
            for (size_t k = 0; k < kBlock; ++k)
                out[k] = static_cast<uint8_t>(static_cast<int32_t>(luminanceOf(in + 3 * k) / divisor + 0.5));
        });
    } else {
        convertInPlace<uint8_t, 3, uint16_t>(frame, count, [levels](const uint8_t* in, uint16_t* out) {
            for (size_t k = 0; k < kBlock; ++k)
                out[k] = static_cast<uint16_t>(static_cast<int32_t>(luminanceOf(in + 3 * k) * levels / 255.0 + 0.5));
        });
    }
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
    convertInPlace<uint16_t, 1, uint8_t>(m_Img.frameBuffer, count, [shift](const uint16_t* in, uint8_t* out) {
        for (size_t k = 0; k < kBlock; ++k) out[k] = static_cast<uint8_t>(in[k] >> shift);
    });
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
    colourToGrey(m_Img.frameBuffer, count, bits);
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
