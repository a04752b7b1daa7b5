// What several commands share: loading and saving with progress and Ctrl-C, decompression, texts.
#include "sequence_io.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "interchange.h"
#include "interrupt.h"
#include "output_file.h"
#include "output_kind.h"
#include "progress_bar.h"

namespace qmv3tool {

namespace {

std::string MessageOrCode(const char* text, const char* operation, int code) {
    if (text[0] != '\0') return text;
    return std::string(operation) + " failed with code " + std::to_string(code);
}

}  // namespace

std::string FileProblem(const std::string& path) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return SystemReason(errno);
    if (S_ISDIR(status.st_mode)) return "it is a folder";
    if (!S_ISREG(status.st_mode)) return "it is not a regular file";
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return SystemReason(errno);
    close(fd);
    if (status.st_size == 0) return "the file is empty";
    // The fixed part at the start of each kind: magic numbers and count (IMC2/BKC2), width, height and
    // bits (IMM and BKG), and the same with the image count (IMC and BKC).
    const OutputKind kind = OutputKindOf(path);
    const bool imcOrBkc = kind == OutputKind::kOlder && !HoldsOneFrameOnly(path) &&
                          (path.size() < 4 || strcasecmp(path.c_str() + path.size() - 4, ".imm") != 0);
    const long long header = kind == OutputKind::kOlder ? (imcOrBkc ? 16 : 8) : 14;
    const std::string size = "file is " + std::to_string(static_cast<long long>(status.st_size)) + " bytes";
    return status.st_size < header ? size + ", shorter than one header" : size;
}

bool LoadSequence(const std::string& path, Sequence& sequence, std::string& message) {
    if (ImportKindOfFile(path) != ImportKind::kNone) {
        // The library's one bound on what a load may decode holds for the imports too.
        ImportLimits limits;
        limits.maxTotalBytes = qmGetLoadMemoryLimit();
        if (ImportImageFile(path, sequence, limits, message)) return true;
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
    if (code == QMV3_LOAD_OK) return true;
    message = MessageOrCode(errorText, "loading", code);
    // The library's text stays as it is; the system's view of the file says what to do about it.
    const std::string problem = code == QMV3_LOAD_INTERRUPTED ? "" : FileProblem(path);
    if (!problem.empty()) message += " (" + problem + ")";
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
    if (code == QMV3_SAVE_OK) return true;
    message = MessageOrCode(errorText, "saving", code);
    return false;
}

bool ExportSequence(const Sequence& sequence, uint32_t first, uint32_t last, const std::string& path, bool compress,
                    bool force, std::string& summary, std::string& message) {
    ExportFrames frames;
    for (uint32_t position = first; position <= last && position <= sequence.size(); ++position)
        frames.push_back({&sequence[position - 1], position});
    InterruptScope interrupt;
    double progress = 0.0;
    ExportControl control;
    control.compress = compress;
    control.force = force;
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

std::string MetadataLoss(const Sequence& sequence, const std::string& output, const char* timeName) {
    if (OutputKindOf(output) != OutputKind::kOlder) return "";
    // The older files keep pixels and geometry only; loading one makes up the rest.
    bool numbers = false, times = false, port = false, scale = false;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        const DIMAGE& image = sequence[i];
        numbers = numbers || image.frameHeader.frameNumber != i + 1;
        times = times || static_cast<int32_t>(image.sourceHeader.timestampSeconds) > 0;
        port = port || image.sourceHeader.cameraPortName[0] != '\0' || image.sourceHeader.cameraPortId != 0;
        scale = scale || (image.frameHeader.xScale > 0.0f && image.frameHeader.xScale != 1.0f) ||
                (image.frameHeader.yScale > 0.0f && image.frameHeader.yScale != 1.0f);
    }
    struct Loss {
        bool lost;
        const char* what;
        std::string becomes;
        const char* pronoun;
    };
    const Loss losses[] = {
        {numbers, "frame numbers", "1.." + std::to_string(sequence.size()), "they become"},
        {times, "time stamps", timeName, "they become"},
        {port, "camera port name", "the file name", "it becomes"},
        {scale, "scale", "1 mm per pixel", "it becomes"},
    };
    std::vector<const Loss*> lost;
    for (const Loss& loss : losses)
        if (loss.lost) lost.push_back(&loss);
    if (lost.empty()) return "";
    const auto join = [&lost](std::string (*part)(const Loss&), const char* last) {
        std::string text;
        for (size_t i = 0; i < lost.size(); ++i)
            text += (i == 0 ? "" : i + 1 == lost.size() ? last : ", ") + part(*lost[i]);
        return text;
    };
    const std::string what = join([](const Loss& loss) { return std::string(loss.what); }, " or ");
    const std::string becomes = join([](const Loss& loss) { return loss.becomes; }, " and ");
    return output + " keeps no " + what + ": " + (lost.size() == 1 ? lost[0]->pronoun : "they become") + " " + becomes;
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
        case QMV3_FILE_IMM:
            return "IMM";
        case QMV3_FILE_BKG:
            return "BKG";
        case QMV3_FILE_IMC_BKC:
            return "IMC/BKC";
        case QMV3_FILE_IMC2_BKC2:
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
    if (qmZantCodeToString(code, text, &size) != QMV3_MODE_OK) return "";
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

const char* SequenceVerdict(const Sequence& sequence) {
    if (qmIsCompleteSequence(sequence.get()) == QMV3_SEQUENCE_YES) return "complete sequence";
    if (qmIsSequence(sequence.get()) == QMV3_SEQUENCE_YES) return "sequence with gaps or repeats";
    return "not one sequence";
}

std::string UtcText(const DIMAGE& image) {
    char text[64];
    if (QMV3_INTERNAL_platformTimeToUTCString(image.sourceHeader.timestampSeconds,
                                              image.sourceHeader.timestampMicroseconds, 1, 0, 0, text,
                                              sizeof text) == nullptr)
        return "(no valid time)";
    return text;
}

}  // namespace qmv3tool
