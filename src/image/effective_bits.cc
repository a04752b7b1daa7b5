// Pixel values above the largest value an image's effective bits allow. The validity rules read the
// header only, so a valid image may hold such values; the tool and the Python package ask this export
// to warn of them instead of counting themselves.
#include <cstdint>
#include <string>

#include "image/cdimage.h"
#include "image/pixel_access.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

extern "C" {

QMV3_EXPORT int qmCountValuesAboveEffectiveBits(const DIMAGE* image, unsigned int* firstValue) {
    return qmv3::Guarded<int>(QMV3_VALUE_COUNT_REFUSED, QMV3_VALUE_COUNT_REFUSED, [&]() -> int {
        std::string message;
        // The validity rules make sure that the frame buffer holds every pixel of a GRAY or RGB frame.
        if (image == nullptr || !CDIMAGE::checkValidity(*image, message)) return QMV3_VALUE_COUNT_REFUSED;
        const DIMAGE_FRAMEHEADER& header = image->frameHeader;
        const int bytes = header.bytesPerPixel;
        const int bits = header.effectiveBitsPerPixel;
        if (header.imageFormat == CDIMAGE::FORMAT_RGB && bytes == 3) return 0;
        if (header.imageFormat != CDIMAGE::FORMAT_GRAY || (bytes != 1 && bytes != 2)) return QMV3_VALUE_COUNT_REFUSED;
        if (bits < 1 || bits >= 8 * bytes) return 0;
        const int top = pixel::topValue(bits);
        const uint64_t pixels = static_cast<uint64_t>(CDIMAGE::getAppendedWidth(*image)) *
                                static_cast<uint64_t>(CDIMAGE::getAppendedHeight(*image));
        const unsigned char* at = image->frameBuffer;
        int count = 0;
        for (uint64_t i = 0; i < pixels; ++i, at += bytes) {
            const int value = pixel::readValue(at, bytes);
            if (value <= top) continue;
            if (count++ == 0 && firstValue != nullptr) *firstValue = static_cast<unsigned int>(value);
        }
        return count;
    });
}

}  // extern "C"
