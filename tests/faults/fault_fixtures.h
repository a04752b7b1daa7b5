// Small sequences and older records for the fault tests, built through the public records only.
#ifndef QMV3_TESTS_FAULTS_FAULT_FIXTURES_H
#define QMV3_TESTS_FAULTS_FAULT_FIXTURES_H

#include <cstdlib>
#include <cstring>

#include "qmv3/qmv3.h"

namespace qmv3faults {

// A valid uncompressed image with a malloc'ed frame buffer of exactly its pixels.
inline DIMAGE MakeImage(int width, int height, int bytesPerPixel, int format, uint32_t frameNumber) {
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.timestampSeconds = 1690470245 + frameNumber;
    std::strcpy(image.sourceHeader.cameraPortName, "fault camera");
    image.sourceHeader.cameraPortId = 7;
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    h.sourceWidth = width;
    h.sourceHeight = height;
    h.aoiWidth = h.aoiHeight = -1;
    h.bytesPerPixel = bytesPerPixel;
    h.effectiveBitsPerPixel = bytesPerPixel == 2 ? 12 : 8 * bytesPerPixel;
    h.horizontalBinning = h.verticalBinning = 1;
    h.sourceFormat = h.imageFormat = format;
    h.frameNumber = frameNumber;
    h.xScale = h.yScale = 0.0125f;
    h.scale_x_offset = h.scale_y_offset = h.fspare3 = -1.0f;
    h.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER;
    h.ispare1 = h.ispare2 = h.ispare3 = -1;
    const int size = width * height * bytesPerPixel;
    h.appendedFrameSize = size;
    image.sourceHeader.totalLength = static_cast<uint32_t>(size + QMV3_IMAGE_HEADER_SIZE);
    image.frameBufferSize = static_cast<uint32_t>(size);
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(size));
    for (int i = 0; i < size; ++i) image.frameBuffer[i] = static_cast<unsigned char>(i * 13 + frameNumber);
    return image;
}

// count images of one shape; release with qmFreeBunch.
inline QMBUNCHOFIMAGES MakeSequence(unsigned count, int width, int height, int bytesPerPixel, int format) {
    QMBUNCHOFIMAGES images;
    images.numFrames = count;
    images.imageArray = static_cast<DIMAGE*>(std::malloc(sizeof(DIMAGE) * count));
    for (unsigned i = 0; i < count; ++i) images.imageArray[i] = MakeImage(width, height, bytesPerPixel, format, 10 + i);
    return images;
}

// An older record of `frames` frames; release with free_vidinfhdr.
inline VIDINFHDR MakeRecord(int frames, unsigned width, unsigned height, unsigned bpp, int type) {
    VIDINFHDR rec;
    initialize_vidinfhdr(&rec);
    rec.width = width;
    rec.height = height;
    rec.bpp = bpp;
    rec.ebitpp = bpp;
    rec.numframes = frames;
    rec.type = type;
    rec.framebits = static_cast<unsigned char**>(std::calloc(frames, sizeof(unsigned char*)));
    rec.framescales = static_cast<double*>(std::calloc(frames, sizeof(double)));
    const size_t bytes = size_t(width) * height * bpp / 8;
    for (int i = 0; i < frames; ++i) {
        rec.framebits[i] = static_cast<unsigned char*>(std::malloc(bytes));
        for (size_t b = 0; b < bytes; ++b) rec.framebits[i][b] = static_cast<unsigned char>(b * 5 + i * 17);
        rec.framescales[i] = 0.25;
    }
    rec.scale = 0.25;
    return rec;
}

}  // namespace qmv3faults

#endif
