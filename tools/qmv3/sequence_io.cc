// What several commands share: loading and saving with progress and Ctrl-C, decompression, texts.
#include "sequence_io.h"

#include <sys/stat.h>

#include <chrono>

#include "interchange.h"
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
    if (ImportKindOfFile(path) != ImportKind::kNone) {
        if (ImportImageFile(path, sequence, ImportLimits(), message)) return true;
        message = path + ": " + message;
        return false;
    }
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

bool SaveSequence(Sequence& sequence, const std::string& path, std::string& message) {
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    int code = 0;
    {
        ProgressBar bar("saving " + path, &progress);
        code = qmSaveImagesToFileEx(sequence.get(), path.c_str(), errorText, sizeof errorText, interrupt.Flag(),
                                    &progress);
    }
    if (code == 0) return true;
    message = MessageOrCode(errorText, "saving", code);
    return false;
}

bool ExportSequence(const Sequence& sequence, uint32_t first, uint32_t last, const std::string& path, bool compress,
                    std::string& summary, std::string& message) {
    ExportFrames frames;
    for (uint32_t position = first; position <= last && position <= sequence.size(); ++position)
        frames.push_back({&sequence[position - 1], position});
    InterruptScope interrupt;
    double progress = 0.0;
    ExportControl control;
    control.compress = compress;
    control.interrupt = interrupt.Flag();
    control.progress = &progress;
    std::vector<std::string> written;
    bool ok = false;
    {
        ProgressBar bar("exporting " + path, &progress);
        ok = ExportFrameList(path, OutputKindOf(path), frames, sequence.size(), control, written, message);
    }
    if (!ok) return false;
    long long bytes = 0;
    for (const std::string& name : written) bytes += FileSize(name);
    summary = written.size() == 1 ? written[0] + " (" + std::to_string(bytes) + " bytes)"
                                  : std::to_string(written.size()) + " files " + written.front() + " .. " +
                                        written.back() + " (" + std::to_string(bytes) + " bytes)";
    return true;
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

const char* ImportedKindName(const std::string& path, int detection) {
    if (FileKindName(detection) != nullptr) return FileKindName(detection);
    switch (ImportKindOfFile(path)) {
        case ImportKind::kTiff:
            return "TIFF";
        case ImportKind::kPng:
            return "PNG";
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
