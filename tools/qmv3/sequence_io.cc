// What several commands share: loading and saving with progress and Ctrl-C, decompression, texts.
#include "sequence_io.h"

#include <sys/stat.h>

#include <chrono>

#include "interrupt.h"
#include "progress_bar.h"

namespace qmv3tool {

namespace {

std::string MessageOrCode(const char* text, const char* operation, int code) {
    if (text[0] != '\0') return text;
    return std::string(operation) + " failed with code " + std::to_string(code);
}

}  // namespace

bool LoadSequence(const std::string& path, Sequence& sequence, std::string& message) {
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    int code = 0;
    {
        ProgressBar bar("loading " + path, &progress);
        code = qmLoadImagesFromFileEx(path.c_str(), sequence.get(), interrupt.Flag(), &progress, errorText,
                                      sizeof errorText);
    }
    if (code == 0) return true;
    message = MessageOrCode(errorText, "loading", code);
    return false;
}

bool SaveSequence(Sequence& sequence, const std::string& path, std::string& message, const std::string& shownName) {
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    int code = 0;
    {
        ProgressBar bar("saving " + (shownName.empty() ? path : shownName), &progress);
        code = qmSaveImagesToFileEx(sequence.get(), path.c_str(), errorText, sizeof errorText, interrupt.Flag(),
                                    &progress);
    }
    if (code == 0) return true;
    message = MessageOrCode(errorText, "saving", code);
    return false;
}

bool HasCompressedImages(const Sequence& sequence) {
    for (uint32_t i = 0; i < sequence.size(); ++i)
        if (sequence[i].frameHeader.imageFormat == QMV3_FORMAT_JPEG) return true;
    return false;
}

bool DecompressSequence(Sequence& sequence, std::string& message) {
    const int result = qmDecompressSequence(sequence.get(), 1);
    if (result >= 0) return true;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        if (sequence[i].frameHeader.imageFormat == QMV3_FORMAT_JPEG) {
            message = "decompression of image " + std::to_string(i + 1) + " of " + std::to_string(sequence.size()) +
                      " failed (code " + std::to_string(result) + ")";
            return false;
        }
    }
    message = "decompression failed (code " + std::to_string(result) + ")";
    return false;
}

const char* FileKindName(int detection) {
    switch (detection) {
        case 0:
            return "IMM";
        case 1:
            return "BKG";
        case 2:
            return "IMC/BKC";
        case 3:
            return "IMC2/BKC2";
        default:
            return nullptr;
    }
}

int ImageWidth(const DIMAGE& image) {
    return image.frameHeader.aoiWidth >= 1 ? image.frameHeader.aoiWidth : image.frameHeader.sourceWidth;
}

int ImageHeight(const DIMAGE& image) {
    return image.frameHeader.aoiHeight >= 1 ? image.frameHeader.aoiHeight : image.frameHeader.sourceHeight;
}

std::string FormatName(int format) {
    char text[64];
    size_t size = sizeof text;
    if (QMV3_INTERNAL_CDIMAGE_getFormatAsString(format, text, &size) == nullptr) return std::to_string(format);
    return text;
}

std::string ZantCodeText(int code) {
    char text[256];
    size_t size = sizeof text;
    if (qmZantCodeToString(code, text, &size) != 1) return "";
    return text;
}

double MonotonicSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

long long FileSize(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return -1;
    return static_cast<long long>(status.st_size);
}

}  // namespace qmv3tool
