// Copies the pixels of an image, decompressed first when it is JPEG, into a caller buffer, with the
// geometry and a header copy on request. Results are completion-code numbers of the control system.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "client/image_management.h"

namespace {

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
    if (header.imageFormat == QMV3_FORMAT_RGB) return QMV3_COLOUR_TYPE_RGB24;
    return header.bytesPerPixel == 2 ? QMV3_COLOUR_TYPE_GRAY16 : QMV3_COLOUR_TYPE_GRAY8;
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
    if (!isCopyableFormat(header)) return QMV3_FRAME_COPY_INVALID_IMAGE;
    const int32_t width = header.aoiWidth >= 1 ? header.aoiWidth : header.sourceWidth;
    const int32_t height = header.aoiHeight >= 1 ? header.aoiHeight : header.sourceHeight;
    const uint64_t size =
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * static_cast<uint64_t>(header.bytesPerPixel);
    if (*destinationSize < 0 || size > static_cast<uint64_t>(*destinationSize)) return QMV3_FRAME_COPY_TOO_SMALL;
    // The validity rules make a raw frame hold at least this many bytes, and a decoded one is allocated
    // with exactly its appendedFrameSize; anything less is not read past.
    if (image.frameBuffer == nullptr || header.appendedFrameSize < 0 ||
        size > static_cast<uint64_t>(header.appendedFrameSize)) {
        return QMV3_FRAME_COPY_INVALID_IMAGE;
    }
    std::memcpy(destination, image.frameBuffer, size);
    *destinationSize = static_cast<int>(size);
    fillOutputs(image, static_cast<unsigned>(width), static_cast<unsigned>(height), outputs);
    return QMV3_FRAME_COPY_OK;
}

int getFrame(void* destination, int* destinationSize, const DIMAGE* image, const FrameOutputs& outputs) {
    if (destination == nullptr || destinationSize == nullptr || image == nullptr) return QMV3_FRAME_COPY_NULL_ARGUMENT;
    if (!_internal_qmCheckImageValidity(*image)) return QMV3_FRAME_COPY_INVALID_IMAGE;
    DIMAGE decoded;
    const int decompression = qmDecompressImage(&decoded, image);
    if (decompression < 0) return QMV3_FRAME_COPY_DECOMPRESSION_FAILED;
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
    try {
        return getFrame(destination, destinationSize, image,
                        {width, height, colourType, bytesPerPixel, effectiveBitsPerPixel, headerCopy});
    } catch (...) {
        return QMV3_FRAME_COPY_INVALID_IMAGE;
    }
}

QMV3_EXPORT int getFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                   unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                   DIMAGE* headerCopy) {
    return qmGetFrameFromDIMAGE(destination, destinationSize, image, width, height, colourType, bytesPerPixel,
                                effectiveBitsPerPixel, headerCopy);
}

}  // extern "C"
