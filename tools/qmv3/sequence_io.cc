// What several commands share: loading and saving with progress and Ctrl-C, decompression, texts.
#include "sequence_io.h"

#include <sys/stat.h>

#include <cstring>
#include <chrono>
#include <vector>

#include "interrupt.h"
#include "output_file.h"
#include "progress_bar.h"

namespace qmv3tool {

namespace {

// The library's detail after "File "PATH" load error: " (or save error) when the message names path,
// else empty.
std::string DetailFor(const std::string& path, const std::string& message) {
    std::vector<char> name(path.size() + 2);
    const char* detail = qmGetFileMessageDetail(message.c_str(), name.data(), name.size());
    return detail != nullptr && path == name.data() ? std::string(detail) : std::string();
}

std::string MessageOrCode(const char* text, const char* operation, int code) {
    if (text[0] != '\0') return text;
    return std::string(operation) + " failed with code " + std::to_string(code);
}

}  // namespace

std::string FileProblem(const std::string& path) {
    char text[1024] = "";
    qmDescribeFileProblem(path.c_str(), text, sizeof text);
    return text;
}

bool ParseCompression(const char* text, unsigned int& flags) {
    return qmGetCompressionOfName(text, &flags, nullptr) == 0;
}

bool LoadSequence(const std::string& path, Sequence& sequence, std::string& message,
                  const QMV3_LOAD_OPTIONS* options) {
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    QMV3_LOAD_OPTIONS explained = {sizeof explained, 0, 0, 0};
    if (options != nullptr) explained = *options;
    explained.flags |= QMV3_LOAD_FLAG_CLOSEST_REASON;
    int code = 0;
    {
        ProgressBar bar("loading " + path, &progress);
        code = qmLoadImagesFromFileEx2(path.c_str(), sequence.get(), &explained, interrupt.Flag(), &progress,
                                       errorText, sizeof errorText);
    }
    if (code == QMV3_LOAD_OK) return true;
    message = MessageOrCode(errorText, "loading", code);
    // An image file's reason reads better after its name alone.
    const std::string detail = DetailFor(path, message);
    if (code == QMV3_LOAD_INVALID_FILE && !detail.empty() &&
        qmIsExportFileKind(qmCheckFileFormat(path.c_str(), nullptr, 0))) {
        message = path + ": " + detail;
        return false;
    }
    // The library's text stays as it is; the system's view of the file says what to do about it.
    const std::string problem = code == QMV3_LOAD_INTERRUPTED ? "" : FileProblem(path);
    if (!problem.empty()) message += " (" + problem + ")";
    return false;
}

bool LoadHeaders(const std::string& path, Sequence& sequence, std::string& message) {
    QMV3_LOAD_OPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.size = sizeof options;
    options.flags = QMV3_LOAD_FLAG_HEADERS_ONLY;
    return LoadSequence(path, sequence, message, &options);
}

std::string SaveMessage(const std::string& path, int code, const char* errorText, const char* operation) {
    if (code == QMV3_SAVE_FILE_EXISTS) return ExistingOutputMessage(path);
    return MessageOrCode(errorText, operation, code);
}

bool CheckOutput(const std::string& path, bool force, std::string& message) {
    char errorText[1024] = "";
    const unsigned int flags = QMV3_SAVE_FLAG_CHECK_ONLY | (force ? QMV3_SAVE_FLAG_REPLACE : 0u);
    const int code = qmSaveImagesToFileEx2(nullptr, path.c_str(), flags, errorText, sizeof errorText, nullptr, nullptr);
    if (code == QMV3_SAVE_OK) return true;
    message = SaveMessage(path, code, errorText, "checking");
    const std::string detail = DetailFor(path, message);
    if (!detail.empty()) message = detail;
    return false;
}

bool SaveSequence(Sequence& sequence, const std::string& path, unsigned int flags, int& code, std::string& message) {
    InterruptScope interrupt;
    double progress = 0.0;
    char errorText[1024] = "";
    {
        ProgressBar bar("saving " + path, &progress);
        code = qmSaveImagesToFileEx2(sequence.get(), path.c_str(), flags, errorText, sizeof errorText,
                                     interrupt.Flag(), &progress);
    }
    if (code == QMV3_SAVE_OK) return true;
    message = SaveMessage(path, code, errorText, "saving");
    return false;
}

bool ExportSequence(const Sequence& sequence, uint32_t first, uint32_t last, const std::string& path, bool compress,
                    bool force, std::string& summary, std::string& message) {
    InterruptScope interrupt;
    double progress = 0.0;
    QMV3_EXPORT_OPTIONS options = {sizeof options, 0, first, last};
    options.flags = (compress ? QMV3_EXPORT_FLAG_COMPRESS : 0u) | (force ? QMV3_SAVE_FLAG_REPLACE : 0u);
    char errorText[1024] = "";
    int code = 0;
    {
        ProgressBar bar("exporting " + path, &progress);
        code = qmExportImagesToFile(const_cast<QMBUNCHOFIMAGES*>(sequence.get()), path.c_str(), &options, errorText,
                                    sizeof errorText, interrupt.Flag(), &progress);
    }
    if (code != QMV3_SAVE_OK) {
        // The library's reason, after the name it concerns.
        message = SaveMessage(path, code, errorText, "exporting");
        const std::string detail = DetailFor(path, message);
        if (code != QMV3_SAVE_FILE_EXISTS && !detail.empty()) message = detail;
        return false;
    }
    std::vector<std::string> written;
    const bool series = first != last && qmGetFileKindOfName(path.c_str()) == QMV3_FILE_PNG;
    if (!series) written.push_back(path);
    for (uint32_t position = first; series && position <= last; ++position) {
        char name[4096];
        if (qmGetExportFileName(path.c_str(), position, sequence.size(), name, sizeof name) == 0)
            written.push_back(name);
    }
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

std::string BitmapFileName(const std::string& prefix, long number, long digits) {
    std::vector<char> name(prefix.size() + 32);
    qmGetBitmapFileName(prefix.c_str(), static_cast<int>(number), static_cast<int>(digits), name.data(), name.size());
    return name.data();
}

const char* FileKindName(int detection) { return qmGetFileKindName(detection, nullptr); }

int ImageWidth(const DIMAGE& image) {
    int width = 0;
    qmGetAppendedSize(&image, &width, nullptr);
    return width;
}

int ImageHeight(const DIMAGE& image) {
    int height = 0;
    qmGetAppendedSize(&image, nullptr, &height);
    return height;
}

std::string FormatName(int format) {
    char text[64];
    size_t size = sizeof text;
    if (qmGetFormatName(format, text, size) == nullptr) return std::to_string(format);
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
    const int verdict = qmGetSequenceVerdict(sequence.get(), QMV3_CHECK_FLAG_HEADERS_ONLY);
    if (verdict == QMV3_VERDICT_COMPLETE) return "complete sequence";
    if (verdict == QMV3_VERDICT_GAPS) return "sequence with gaps or repeats";
    return "not one sequence";
}

std::string UtcText(const DIMAGE& image) {
    char text[64];
    if (qmFormatUTCTime(image.sourceHeader.timestampSeconds, image.sourceHeader.timestampMicroseconds, 0, text,
                        sizeof text) == nullptr)
        return "(no valid time)";
    return text;
}

}  // namespace qmv3tool
