// Runs the built qmv3 tool as a child process and collects its exit status and output, and builds
// the sequence files the tool tests work on through the library itself.
#ifndef QMV3_TESTS_TOOL_TOOL_RUNNER_H
#define QMV3_TESTS_TOOL_TOOL_RUNNER_H

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

namespace tooltest {

struct ToolResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

inline const char* ToolPath() { return QMV3_TOOL_PATH; }

// Starts the tool with stdout and stderr redirected into files of the folder; returns its pid. A
// fileSizeLimit of 0 or more makes every write beyond that many bytes of a file fail.
inline pid_t StartTool(const std::vector<std::string>& arguments, const qmv3test::TempDir& dir, int stderrFd = -1,
                       long fileSizeLimit = -1) {
    const std::string outPath = dir.file(".tool-out"), errPath = dir.file(".tool-err");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ToolPath()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = stderrFd >= 0 ? stderrFd : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        if (fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            const struct rlimit limit = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

inline ToolResult WaitTool(pid_t pid, const qmv3test::TempDir& dir) {
    ToolResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = qmv3test::ReadFileText(dir.file(".tool-out"));
    result.err = qmv3test::ReadFileText(dir.file(".tool-err"));
    return result;
}

inline ToolResult RunTool(const std::vector<std::string>& arguments, const qmv3test::TempDir& dir) {
    return WaitTool(StartTool(arguments, dir), dir);
}

// A valid image: GRAY with 1 or 2 bytes per pixel, frame bytes computed from the frame number.
inline void FillImage(DIMAGE& image, int width, int height, int bytesPerPixel, uint32_t frameNumber) {
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.timestampSeconds = 1690470245 + frameNumber;  // 2023-07-27 15:04:05 UTC + n
    image.sourceHeader.timestampMicroseconds = 250000;
    std::strcpy(image.sourceHeader.cameraPortName, "TestCam");
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    h.sourceWidth = width;
    h.sourceHeight = height;
    h.aoiWidth = h.aoiHeight = -1;
    h.bytesPerPixel = bytesPerPixel;
    h.effectiveBitsPerPixel = bytesPerPixel == 2 ? 12 : 8;
    h.horizontalBinning = h.verticalBinning = 1;
    h.sourceFormat = h.imageFormat = QMV3_FORMAT_GRAY;
    h.frameNumber = frameNumber;
    h.xScale = h.yScale = 0.125f;
    h.scale_x_offset = h.scale_y_offset = h.fspare3 = -1.0f;
    h.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
    h.ispare1 = h.ispare2 = h.ispare3 = -1;
    h.appendedFrameSize = width * height * bytesPerPixel;
    image.sourceHeader.totalLength = static_cast<uint32_t>(h.appendedFrameSize + QMV3_IMAGE_HEADER_SIZE);
    for (int i = 0; i < width * height; ++i) {
        const unsigned value = (static_cast<unsigned>(i) * 7 + frameNumber * 13) % (bytesPerPixel == 2 ? 4096 : 256);
        if (bytesPerPixel == 2) {
            const uint16_t wide = static_cast<uint16_t>(value);
            std::memcpy(image.frameBuffer + 2 * i, &wide, 2);
        } else {
            image.frameBuffer[i] = static_cast<unsigned char>(value);
        }
    }
}

// Writes an IMC2 file of count frames numbered first, first + 1, ... through the library.
inline bool WriteSequenceFile(const std::string& path, unsigned count, int width, int height, int bytesPerPixel,
                              uint32_t first) {
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    if (qmCreateBunchStructure(&images, count, static_cast<unsigned>(width * height * bytesPerPixel)) != 1)
        return false;
    for (unsigned i = 0; i < count; ++i) FillImage(images.imageArray[i], width, height, bytesPerPixel, first + i);
    const int saved = qmSaveImagesToFile(&images, path.c_str());
    qmFreeBunch(&images);
    return saved == 0;
}

// Loads any file the library reads; numFrames 0 when the load failed. Free with qmFreeBunch.
inline QMBUNCHOFIMAGES LoadSequence(const std::string& path) {
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    if (qmLoadImagesFromFile(path.c_str(), &images) != 0) qmFreeBunch(&images);
    return images;
}

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace tooltest

#endif
