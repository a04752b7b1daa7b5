// Valid raw images and log capture for the client tests.
#ifndef QMV3_TESTS_CLIENT_IMAGE_FIXTURES_H
#define QMV3_TESTS_CLIENT_IMAGE_FIXTURES_H

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

// Until the library frame with the verbosity calls is linked in, the log goes to standard error anyway.
extern "C" int qmSetVerbose(int level) __attribute__((weak));

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

// Collects what the library logs while it lives: at verbosity 1 from standard error, and otherwise from
// this process's automatically named log file in ORSEL_CLIENTLIB_LOGGING_PATH.
class LogCapture {
  public:
    LogCapture() {
        if (qmSetVerbose != nullptr) qmSetVerbose(1);
        fileTextBefore_ = ProcessLogFileText();
        capture_ = new StreamCapture(2);
    }
    ~LogCapture() { delete capture_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    std::string End() {
        std::string text = capture_->End();
        const std::string fileText = ProcessLogFileText();
        if (fileText.size() > fileTextBefore_.size()) text += fileText.substr(fileTextBefore_.size());
        return text;
    }

  private:
    static std::string ProcessLogFileText() {
        const char* folder = std::getenv("ORSEL_CLIENTLIB_LOGGING_PATH");
        if (folder == nullptr) return std::string();
        const std::string marker = "--p-" + std::to_string(getpid()) + "--";
        std::string text;
        if (DIR* directory = opendir(folder)) {
            while (const dirent* entry = readdir(directory)) {
                if (std::strstr(entry->d_name, marker.c_str()) != nullptr) {
                    text += ReadFileText(std::string(folder) + "/" + entry->d_name);
                }
            }
            closedir(directory);
        }
        return text;
    }

    StreamCapture* capture_;
    std::string fileTextBefore_;
};

}  // namespace qmv3test

#endif
