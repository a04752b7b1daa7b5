// Copies the pixels of an image, decompressed first when it is JPEG, into a caller buffer, with the
// geometry and a header copy on request. Results are completion-code numbers of the control system.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "client/image_management.h"
#include "util/c_boundary.h"

namespace {

constexpr int kDone = 0;
constexpr int kNullPointer = 20;
constexpr int kDestinationTooSmall = 23;
constexpr int kInvalidImage = 103;
constexpr int kDecompressionFailed = 513;

struct FrameOutputs {
    unsigned* width;
    unsigned* height;
    int* colourType;
    int* bytesPerPixel;
    int* effectiveBitsPerPixel;
    DIMAGE* headerCopy;
};

bool isCopyableFormat(const DIMAGE_FRAMEHEADER& header) {
    if (header.imageFormat == QMV3_FORMAT_GRAY) return header.bytesPerPixel == 1 || header.bytesPerPixel == 2;
    return header.imageFormat == QMV3_FORMAT_RGB && header.bytesPerPixel == 3;
}

// 2 RGB, 1 GRAY with two bytes per pixel, 0 GRAY with one.
int colourTypeOf(const DIMAGE_FRAMEHEADER& header) {
    if (header.imageFormat == QMV3_FORMAT_RGB) return 2;
    return header.bytesPerPixel == 2 ? 1 : 0;
}

void fillOutputs(const DIMAGE& image, unsigned width, unsigned height, const FrameOutputs& outputs) {
    if (outputs.width != nullptr) *outputs.width = width;
    if (outputs.height != nullptr) *outputs.height = height;
    if (outputs.colourType != nullptr) *outputs.colourType = colourTypeOf(image.frameHeader);
    if (outputs.bytesPerPixel != nullptr) *outputs.bytesPerPixel = image.frameHeader.bytesPerPixel;
    if (outputs.effectiveBitsPerPixel != nullptr) {
        *outputs.effectiveBitsPerPixel = image.frameHeader.effectiveBitsPerPixel;
    }
    if (outputs.headerCopy != nullptr) {
        *outputs.headerCopy = image;
        outputs.headerCopy->frameHeader.appendedFrameSize = 0;
        outputs.headerCopy->frameBufferSize = 0;
        outputs.headerCopy->frameBuffer = nullptr;
    }
}

int copyFrame(void* destination, int* destinationSize, const DIMAGE& image, const FrameOutputs& outputs) {
    const DIMAGE_FRAMEHEADER& header = image.frameHeader;
    if (!isCopyableFormat(header)) return kInvalidImage;
    const int32_t width = header.aoiWidth >= 1 ? header.aoiWidth : header.sourceWidth;
    const int32_t height = header.aoiHeight >= 1 ? header.aoiHeight : header.sourceHeight;
    const uint64_t size =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(header.bytesPerPixel);
    if (*destinationSize < 0 || size > static_cast<uint64_t>(*destinationSize)) return kDestinationTooSmall;
    // The validity rules make a raw frame hold at least this many bytes, and a decoded one is allocated
    // with exactly its appendedFrameSize; anything less is not read past.
    if (image.frameBuffer == nullptr || header.appendedFrameSize < 0 ||
        size > static_cast<uint64_t>(header.appendedFrameSize)) {
        return kInvalidImage;
    }
    std::memcpy(destination, image.frameBuffer, size);
    *destinationSize = static_cast<int>(size);
    fillOutputs(image, static_cast<unsigned>(width), static_cast<unsigned>(height), outputs);
    return kDone;
}

int getFrame(void* destination, int* destinationSize, const DIMAGE* image, const FrameOutputs& outputs) {
    if (destination == nullptr || destinationSize == nullptr || image == nullptr) return kNullPointer;
    if (!_internal_qmCheckImageValidity(*image)) return kInvalidImage;
    DIMAGE decoded;
    const int decompression = qmDecompressImage(&decoded, image);
    if (decompression < 0) return kDecompressionFailed;
    if (decompression != 1) return copyFrame(destination, destinationSize, *image, outputs);
    const int result = copyFrame(destination, destinationSize, decoded, outputs);
    std::free(decoded.frameBuffer);
    return result;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmGetFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                     unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                     DIMAGE* headerCopy) {
    return qmv3::Guarded<int>(kInvalidImage, kInvalidImage, [&] {
        return getFrame(destination, destinationSize, image,
                        {width, height, colourType, bytesPerPixel, effectiveBitsPerPixel, headerCopy});
    });
}

QMV3_EXPORT int getFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                   unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                   DIMAGE* headerCopy) {
    return qmGetFrameFromDIMAGE(destination, destinationSize, image, width, height, colourType, bytesPerPixel,
                                effectiveBitsPerPixel, headerCopy);
}

}  // extern "C"
