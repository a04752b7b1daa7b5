// What the faces tell a user before a save or an export: whether an output name chooses a kind (one the
// export writes), and what the chosen kind loses of a sequence's metadata. These are texts the tool
// prints and Python raises or warns with, so they live here once. No exception leaves these functions.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "interchange/file_kinds.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"
#include "util/text_copy.h"

namespace interchange {

namespace {

using qmv3::CopyText;

bool IsOlderKind(int code) { return code == QMV3_FILE_IMM || code == QMV3_FILE_BKG || code == QMV3_FILE_IMC_BKC; }

// ".imc2, .bkc2, .imm, ...": every extension that chooses a kind, in the order the messages have always
// named them.
std::string WritableExtensions() {
    const int kinds[] = {QMV3_FILE_IMC2_BKC2, QMV3_FILE_IMM, QMV3_FILE_IMC_BKC, QMV3_FILE_BKG,
                         QMV3_FILE_TIFF,      QMV3_FILE_PNG, QMV3_FILE_HDF5};
    std::string text;
    for (int code : kinds) {
        const FileKind* kind = FileKindByCode(code);
        for (size_t i = 0; kind != nullptr && i < 2 && kind->extensions[i] != nullptr; ++i)
            text += (text.empty() ? "" : ", ") + std::string(kind->extensions[i]);
    }
    return text;
}

// ".tif, .tiff, .png, .h5 and .hdf5": the extensions of the kinds the export writes, in the table's order.
std::string ExportExtensions() {
    std::vector<const char*> extensions;
    size_t count = 0;
    const FileKind* kinds = FileKinds(count);
    for (size_t k = 0; k < count; ++k)
        for (size_t i = 0; kinds[k].interchange && i < 2 && kinds[k].extensions[i] != nullptr; ++i)
            extensions.push_back(kinds[k].extensions[i]);
    std::string text;
    for (size_t i = 0; i < extensions.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == extensions.size() ? " and " : ", ") + extensions[i];
    return text;
}

// The check of an output name: the kind it chooses, or the refusal; exportOnly accepts the export's kinds.
int CheckName(const char* path, bool exportOnly, int* kind, char* errorText, size_t errorTextSize) {
    if (path == nullptr) {
        CopyText(errorText, errorTextSize, "Parameter path must not be NULL.");
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    const FileKind* found = FileKindOfName(path);
    if (found == nullptr || (exportOnly && !found->interchange)) {
        const std::string name = "'" + std::string(path) + "': ";
        CopyText(errorText, errorTextSize,
                 exportOnly ? name + "export writes " + ExportExtensions() + " files"
                            : name + "the name of OUT must end in one of " + WritableExtensions());
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    if (kind != nullptr) *kind = found->code;
    return QMV3_SAVE_OK;
}

// The refusal when the check itself failed: out of memory, or an unexpected error.
int RefuseName(int code, char* errorText, size_t errorTextSize) {
    CopyText(errorText, errorTextSize,
             code == QMV3_SAVE_OUT_OF_MEMORY ? "Memory allocation error." : "Unexpected error.");
    return code;
}

std::string SaveLoss(const QMBUNCHOFIMAGES& images, const char* path, const char* timeName) {
    const uint32_t count = images.imageArray != nullptr ? images.numFrames : 0;
    // The older files keep pixels and geometry only; loading one makes up the rest.
    bool numbers = false, times = false, port = false, scale = false;
    for (uint32_t i = 0; i < count; ++i) {
        const DIMAGE& image = images.imageArray[i];
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
        {numbers, "frame numbers", "1.." + std::to_string(count), "they become"},
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
    return std::string(path) + " keeps no " + what + ": " + (lost.size() == 1 ? lost[0]->pronoun : "they become") +
           " " + becomes;
}

}  // namespace

}  // namespace interchange

QMV3_EXPORT int qmCheckOutputName(const char* path, int* kind, char* errorText, size_t errorTextSize) {
    using namespace interchange;
    if (kind != nullptr) *kind = QMV3_FILE_UNKNOWN;
    CopyText(errorText, errorTextSize, "");
    return qmv3::GuardedWith([&] { return CheckName(path, false, kind, errorText, errorTextSize); },
                             [&] { return RefuseName(QMV3_SAVE_OUT_OF_MEMORY, errorText, errorTextSize); },
                             [&] { return RefuseName(QMV3_SAVE_PARAMETER_ERROR, errorText, errorTextSize); });
}

QMV3_EXPORT int qmCheckExportName(const char* path, int* kind, char* errorText, size_t errorTextSize) {
    using namespace interchange;
    if (kind != nullptr) *kind = QMV3_FILE_UNKNOWN;
    CopyText(errorText, errorTextSize, "");
    return qmv3::GuardedWith([&] { return CheckName(path, true, kind, errorText, errorTextSize); },
                             [&] { return RefuseName(QMV3_SAVE_OUT_OF_MEMORY, errorText, errorTextSize); },
                             [&] { return RefuseName(QMV3_SAVE_PARAMETER_ERROR, errorText, errorTextSize); });
}

QMV3_EXPORT int qmDescribeSaveLoss(const QMBUNCHOFIMAGES* images, const char* sourcePath, const char* path,
                                   const char* timeName, char* text, size_t textSize) {
    using namespace interchange;
    CopyText(text, textSize, "");
    if (images == nullptr || path == nullptr || text == nullptr || textSize == 0) return -1;
    return qmv3::Guarded<int>(-1, -1, [&] {
        const FileKind* output = FileKindOfName(path);
        if (output == nullptr || !IsOlderKind(output->code)) return 0;
        // A sequence loaded from an older file holds no metadata of its own: loading made the values up.
        const FileKind* source = sourcePath != nullptr ? DetectFileKind(sourcePath) : nullptr;
        if (source != nullptr && IsOlderKind(source->code)) return 0;
        const std::string sentence = SaveLoss(*images, path, timeName != nullptr ? timeName : "the time of saving");
        if (sentence.size() < textSize) CopyText(text, textSize, sentence);
        return static_cast<int>(std::min<size_t>(sentence.size(), INT32_MAX));
    });
}
