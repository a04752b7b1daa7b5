// Valid raw images and log capture for the client tests.
#ifndef QMV3_TESTS_CLIENT_IMAGE_FIXTURES_H
#define QMV3_TESTS_CLIENT_IMAGE_FIXTURES_H

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

namespace qmv3test {

// A valid uncompressed image with a pattern in a malloc frame buffer of exactly the frame's size.
inline DIMAGE MakeRawImage(int width, int height, int bytesPerPixel, int format = QMV3_FORMAT_GRAY) {
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.cameraPortId = 3;
    image.sourceHeader.versionTag = 1;
    std::strcpy(image.sourceHeader.cameraPortName, "CAM0");
    image.sourceHeader.timestampSeconds = 1690451200;
    image.sourceHeader.timestampMicroseconds = 250000;
    image.frameHeader.sourceWidth = width;
    image.frameHeader.sourceHeight = height;
    image.frameHeader.aoiWidth = -1;
    image.frameHeader.aoiHeight = -1;
    image.frameHeader.bytesPerPixel = bytesPerPixel;
    image.frameHeader.effectiveBitsPerPixel = -1;
    image.frameHeader.horizontalBinning = 1;
    image.frameHeader.verticalBinning = 1;
    image.frameHeader.sourceFormat = format;
    image.frameHeader.imageFormat = format;
    image.frameHeader.frameNumber = 1;
    image.frameHeader.xScale = 0.25f;
    image.frameHeader.yScale = 0.5f;
    image.frameHeader.imageRotation = 0.0f;
    const int size = width * height * bytesPerPixel;
    image.frameHeader.appendedFrameSize = size;
    image.sourceHeader.totalLength = static_cast<uint32_t>(size) + QMV3_IMAGE_HEADER_SIZE;
    image.frameBufferSize = static_cast<uint32_t>(size);
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(size));
    for (int i = 0; i < size; ++i) image.frameBuffer[i] = static_cast<unsigned char>(i * 7 + i / 640);
    return image;
}

// Collects what the library logs while it lives, at verbosity 1 (standard error).
class LogCapture {
  public:
    LogCapture() : verbositySet_(qmSetVerbose(1)), capture_(2) {}
    std::string End() { return capture_.End(); }

  private:
    [[maybe_unused]] int verbositySet_;  // set before the capture starts, so the change message is not captured
    StreamCapture capture_;
};

}  // namespace qmv3test

#endif
