// The exported file calls: saving by the name's extension under the save policy, exporting to the
// interchange formats, loading and checking by content through the one table of kinds. No exception
// leaves these functions.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "files/file_detect.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "interchange/file_kinds.h"
#include "interchange/interchange.h"
#include "interchange/save_policy.h"
#include "legacy/legacy.h"
#include "util/c_boundary.h"
#include "util/load_limit.h"
#include "util/regular_file.h"
#include "util/text_copy.h"
#include "util/text_escape.h"

namespace interchange {

namespace {

const unsigned int kSaveFlags = QMV3_SAVE_FLAG_REPLACE | QMV3_SAVE_FLAG_CHECK_ONLY | QMV3_SAVE_FLAG_COMPRESS_FAST |
                                QMV3_SAVE_FLAG_COMPRESS_NONE;

// Reports a failure thrown out of a call. Formats straight into the caller's buffer: building a
// message on the heap could fail again when memory is short.
void CopyFailure(char* buffer, unsigned int size, const char* path, const char* what) {
    if (buffer == nullptr || size < 2) return;
    std::snprintf(buffer, size - 1, "File \"%s\"%s", path != nullptr ? path : "", what);
    buffer[size - 1] = '\0';
}

bool IsOlderKind(const FileKind* kind) {
    return kind != nullptr && (kind->code == QMV3_FILE_IMM || kind->code == QMV3_FILE_BKG ||
                               kind->code == QMV3_FILE_IMC_BKC);
}

// Null or empty paths, in the words the sequence files always used.
bool CheckPath(const char* path, std::string& errorText) {
    if (path == nullptr) {
        errorText = "Parameter asFilePath must not be NULL.";
        return false;
    }
    if (path[0] == '\0') {
        errorText = "Parameter asFilePath must not be empty string.";
        return false;
    }
    return true;
}

struct SaveRequest {
    QMBUNCHOFIMAGES* images;
    const char* path;
    unsigned int flags;
    uint32_t first, last;  // 1-based, inclusive
    bool detailed;         // open failures name the folder and the reason
    int* interrupt;
    double* percent;
};

bool Interrupted(const int* interrupt) { return interrupt != nullptr && *interrupt != 0; }

// Writes the interchange kind under the policy.
int Export(const SaveRequest& request, const FileKind& kind, std::string& errorText) {
    const std::string prefix = _internal_filePrefix(request.path);
    QMBUNCHOFIMAGES* images = request.images;
    ExportFrames frames;
    for (uint32_t position = request.first; position <= request.last; ++position)
        frames.push_back({&images->imageArray[position - 1], position});
    std::string message;
    PixelLayout first, layout;
    for (const ExportFrame& frame : frames) {
        if (!PixelLayoutOf(*frame.image, frame.position, layout, message)) {
            errorText = prefix + " save error: " + message;
            return QMV3_SAVE_NOT_A_SEQUENCE;
        }
        if (frame.position == request.first) first = layout;
        if (kind.code == QMV3_FILE_HDF5 && !layout.SameShape(first)) {
            errorText = prefix + " save error: image " + std::to_string(frame.position) +
                        " differs in size or pixel format from image " + std::to_string(request.first) +
                        "; an HDF5 dataset holds frames of one shape";
            return QMV3_SAVE_NOT_A_SEQUENCE;
        }
    }
    SavePolicy policy((request.flags & QMV3_SAVE_FLAG_REPLACE) != 0);
    const std::vector<std::string> names = kind.code == QMV3_FILE_PNG
                                               ? PngNames(request.path, frames, images->numFrames)
                                               : std::vector<std::string>{request.path};
    for (const std::string& name : names) policy.Add(name);
    int code = policy.Check(errorText, request.detailed);
    if (code == 0) code = policy.Prepare(errorText);
    if (code != 0) return code;
    ExportControl control;
    control.compress = (request.flags & QMV3_EXPORT_FLAG_COMPRESS) != 0;
    control.interrupt = request.interrupt;
    control.progress = request.percent;
    bool written = false;
    if (kind.code == QMV3_FILE_TIFF) {
        written = WriteTiffFile(policy.WritePath(0), frames, control, message);
    } else if (kind.code == QMV3_FILE_HDF5) {
        written = WriteHdf5File(policy.WritePath(0), frames, control, message);
    } else {
        std::vector<std::string> paths;
        for (size_t i = 0; i < policy.Count(); ++i) paths.push_back(policy.WritePath(i));
        written = WritePngFiles(paths, frames, control, message);
    }
    if (!written) {
        const bool stopped = Interrupted(request.interrupt);
        errorText = prefix + " save error: " + (stopped ? std::string("Interrupted by user.") : policy.UserText(message));
        return stopped ? QMV3_SAVE_INTERRUPTED : QMV3_SAVE_WRITE_FAILED;
    }
    return policy.Commit(errorText);
}

// IMC2/BKC2 and the older kinds under the policy.
int SaveSequenceFile(const SaveRequest& request, const FileKind* kind, std::string& errorText) {
    // The older call wrote the older kinds through whatever the name is; a link or a device keeps that.
    struct stat status;
    if (!request.detailed && IsOlderKind(kind) && lstat(request.path, &status) == 0 && !S_ISREG(status.st_mode) &&
        !S_ISDIR(status.st_mode))
        return _internal_save_older_file(request.images, request.path, errorText, request.interrupt, request.percent);
    SavePolicy policy((request.flags & QMV3_SAVE_FLAG_REPLACE) != 0);
    policy.Add(request.path);
    int code = policy.Check(errorText, request.detailed);
    if (code == 0) code = policy.Prepare(errorText);
    if (code != 0) return code;
    const char* temporary = policy.WritePath(0).c_str();
    std::string text;
    if (IsOlderKind(kind)) {
        code = _internal_save_older_file(request.images, temporary, text, request.interrupt, request.percent);
    } else {
        const Imc2Compression compression = (request.flags & QMV3_SAVE_FLAG_COMPRESS_NONE) != 0 ? Imc2Compression::kNone
                                            : (request.flags & QMV3_SAVE_FLAG_COMPRESS_FAST) != 0
                                                ? Imc2Compression::kFast
                                                : Imc2Compression::kDefault;
        if (!_internal_save_image_file_imc2(request.images, temporary, code, text, request.interrupt, request.percent,
                                            compression) &&
            code == 0)
            code = QMV3_SAVE_WRITE_FAILED;
    }
    if (code != 0) {
        errorText = policy.UserText(text);
        return code;
    }
    return policy.Commit(errorText);
}

int SaveImages(QMBUNCHOFIMAGES* images, const char* path, unsigned int flags, bool olderCall, std::string& errorText,
               int* interrupt, double* percent) {
    if (!CheckPath(path, errorText)) return QMV3_SAVE_PARAMETER_ERROR;
    const std::string prefix = _internal_filePrefix(path);
    if ((flags & ~kSaveFlags) != 0 ||
        (flags & (QMV3_SAVE_FLAG_COMPRESS_FAST | QMV3_SAVE_FLAG_COMPRESS_NONE)) ==
            (QMV3_SAVE_FLAG_COMPRESS_FAST | QMV3_SAVE_FLAG_COMPRESS_NONE)) {
        errorText = prefix + " save error: Parameter flags holds unknown or contradicting bits.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    const FileKind* kind = FileKindOfName(path);
    // The older savers always replaced an existing file; the older call keeps that.
    if (olderCall && IsOlderKind(kind)) flags |= QMV3_SAVE_FLAG_REPLACE;
    if ((flags & QMV3_SAVE_FLAG_CHECK_ONLY) != 0) {
        SavePolicy policy((flags & QMV3_SAVE_FLAG_REPLACE) != 0);
        policy.Add(path);
        return policy.Check(errorText, true);
    }
    if (images == nullptr) {
        errorText = prefix + " save error: Parameter apImages must not be NULL.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    SaveRequest request = {images, path, flags, 1, images->numFrames, !olderCall, interrupt, percent};
    if (kind != nullptr && IsInterchangeKind(kind->code)) {
        if (images->imageArray == nullptr || images->numFrames == 0) {
            errorText = prefix + " save error: Parameter apImages holds no images.";
            return QMV3_SAVE_PARAMETER_ERROR;
        }
        return Export(request, *kind, errorText);
    }
    return SaveSequenceFile(request, kind, errorText);
}

int ExportImages(QMBUNCHOFIMAGES* images, const char* path, const QMV3_EXPORT_OPTIONS* options,
                 std::string& errorText, int* interrupt, double* percent) {
    if (!CheckPath(path, errorText)) return QMV3_SAVE_PARAMETER_ERROR;
    const std::string prefix = _internal_filePrefix(path);
    const FileKind* kind = FileKindOfName(path);
    if (kind == nullptr || !IsInterchangeKind(kind->code)) {
        errorText = prefix + " save error: the name must end in .tif, .tiff, .png, .h5 or .hdf5.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    QMV3_EXPORT_OPTIONS chosen = {sizeof chosen, 0, 0, 0};
    if (options != nullptr) {
        if (options->size < sizeof chosen) {
            errorText = prefix + " save error: Parameter options has an unknown size.";
            return QMV3_SAVE_PARAMETER_ERROR;
        }
        chosen = *options;
    }
    const unsigned int flags = chosen.flags;
    if ((flags & ~(QMV3_SAVE_FLAG_REPLACE | QMV3_EXPORT_FLAG_COMPRESS)) != 0) {
        errorText = prefix + " save error: Parameter options holds unknown flags.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    if (images == nullptr || images->imageArray == nullptr || images->numFrames == 0) {
        errorText = prefix + " save error: Parameter images holds no images.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    const uint32_t first = chosen.firstImage == 0 ? 1 : chosen.firstImage;
    const uint32_t last = chosen.lastImage == 0 ? images->numFrames : chosen.lastImage;
    if (first > last || last > images->numFrames) {
        errorText = prefix + " save error: images " + std::to_string(first) + " to " + std::to_string(last) +
                    " are not within the " + std::to_string(images->numFrames) + " images.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    const SaveRequest request = {images, path, flags, first, last, true, interrupt, percent};
    return Export(request, *kind, errorText);
}

bool HasImc2Magic(const char* path) {
    unsigned char head[8] = {};
    FILE* file = regular_file::OpenStream(path);
    if (file == nullptr) return false;
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    static const unsigned char kMagic[8] = {0, 0, 0, 0, 1, 0, 0, 0};
    return got == sizeof head && std::memcmp(head, kMagic, sizeof head) == 0;
}

// Imports a TIFF, PNG or HDF5 file, only the images first..last (last 0: to the end) and only their
// headers when asked: the others are passed over undecoded.
int ImportFile(const char* path, QMBUNCHOFIMAGES* images, std::string& errorText, uint32_t first = 1,
               uint32_t last = 0, bool headersOnly = false) {
    std::string message;
    // The one bound on what a load may decode holds for the imports too.
    ImportLimits limits;
    limits.maxTotalBytes = load_limit::Get();
    limits.first = first;
    limits.last = last;
    limits.headersOnly = headersOnly;
    uint32_t positions = 0;
    if (ImportImageFile(path, images, limits, message, &positions)) return QMV3_LOAD_OK;
    if (positions != 0 && positions < first) {
        // Read whole, but the range begins after its last image.
        const uint32_t shown = last == 0 || last > positions ? positions : last;
        errorText = _internal_filePrefix(path) + " load error: images " + std::to_string(first) + ".." +
                    std::to_string(shown) + " requested, the file holds " + std::to_string(positions) + ".";
        return QMV3_LOAD_PARAMETER_ERROR;
    }
    errorText = _internal_filePrefix(path) + " load error: " + message;
    return QMV3_LOAD_INVALID_FILE;
}

// Which reader a load hands the file to.
enum class Reader { kImc2, kImc, kImm, kBkg, kImport };

// The kinds in the table's order; IMC2/BKC2 by its magic numbers (its reader checks the rest), the older
// kinds by their detectors, the interchange kinds by their signatures. A file of no kind goes to the
// IMC2/BKC2 reader, whose message says why it is none.
Reader ReaderOf(const char* path) {
    size_t count = 0;
    const FileKind* kinds = FileKinds(count);
    for (size_t i = 0; i < count; ++i) {
        switch (kinds[i].code) {
            case QMV3_FILE_IMC2_BKC2:
                if (HasImc2Magic(path)) return Reader::kImc2;
                continue;
            case QMV3_FILE_IMC_BKC:
                if (_internal_is_file_imc_bkc(path, nullptr, 0)) return Reader::kImc;
                continue;
            case QMV3_FILE_IMM:
                if (_internal_is_file_imm(path, nullptr, 0)) return Reader::kImm;
                continue;
            case QMV3_FILE_BKG:
                if (_internal_is_file_bkg(path, nullptr, 0)) return Reader::kBkg;
                continue;
            default:
                if (ImportKindOfFile(path) != ImportKind::kNone) return Reader::kImport;
                continue;
        }
    }
    return Reader::kImc2;
}

int LoadImages(const char* path, QMBUNCHOFIMAGES* images, std::string& errorText, int* interrupt, double* percent) {
    int code = 0;
    if (!imc2load::CheckLoadParameters(path, images, code, errorText)) return code;
    switch (ReaderOf(path)) {
        case Reader::kImc:
            return _internal_load_older_file(VIDINFHDR_TYPE_IMC, path, images, errorText, interrupt, percent);
        case Reader::kImm:
            return _internal_load_older_file(VIDINFHDR_TYPE_IMM, path, images, errorText, interrupt, percent);
        case Reader::kBkg:
            return _internal_load_older_file(VIDINFHDR_TYPE_BKG, path, images, errorText, interrupt, percent);
        case Reader::kImport:
            return ImportFile(path, images, errorText);
        case Reader::kImc2:
            break;
    }
    return _internal_load_imc2_file(path, images, code, errorText, interrupt, percent) ? 0 : code;
}

int CheckFile(const char* path, int* kindOut, std::string& reason) {
    if (path == nullptr) {
        reason = "no file named";
        if (kindOut != nullptr) *kindOut = QMV3_FILE_UNKNOWN;
        return QMV3_FILE_UNKNOWN;
    }
    size_t count = 0;
    const FileKind* kinds = FileKinds(count);
    std::string ignored;
    for (size_t i = 0; i < count; ++i) {
        if (kinds[i].detect(path, ignored)) {
            if (kindOut != nullptr) *kindOut = kinds[i].code;
            reason.clear();
            return kinds[i].code;
        }
    }
    const int closest = DiagnoseFile(path, reason);
    if (kindOut != nullptr) *kindOut = closest;
    return QMV3_FILE_UNKNOWN;
}

// A file of no kind goes to the IMC2/BKC2 reader, whose complaint ("magic1 not zero") says nothing of a
// file that comes closer to an older kind: that kind's reason does.
void ExplainByClosestKind(const char* path, std::string& errorText) {
    int closest = QMV3_FILE_UNKNOWN;
    std::string reason;
    if (CheckFile(path, &closest, reason) != QMV3_FILE_UNKNOWN || reason.empty()) return;
    const FileKind* kind = FileKindByCode(closest);
    if (kind == nullptr || closest == QMV3_FILE_IMC2_BKC2 || kind->interchange) return;
    errorText = std::string("File \"") + path + "\" is no " + kind->name +
                " file: " + qmv3::EscapeText(reason.data(), reason.size());
}

// A load with options: the interchange kinds are read with the range and headers-only here, every other
// kind by the files' planned load.
int LoadPlanned(const char* path, QMBUNCHOFIMAGES* images, const QMV3_LOAD_OPTIONS& options, std::string& errorText,
                int* interrupt, double* percent) {
    int code = 0;
    if (!imc2load::CheckLoadParameters(path, images, code, errorText)) return code;
    if (!load_options::CheckOptions(path, options, errorText)) return QMV3_LOAD_PARAMETER_ERROR;
    if (ReaderOf(path) == Reader::kImport) {
        return ImportFile(path, images, errorText, options.firstImage == 0 ? 1 : options.firstImage, options.lastImage,
                          (options.flags & QMV3_LOAD_FLAG_HEADERS_ONLY) != 0);
    }
    code = load_options::LoadWithOptions(path, images, options, errorText, interrupt, percent);
    if (code != QMV3_LOAD_OK && code != QMV3_LOAD_INTERRUPTED && (options.flags & QMV3_LOAD_FLAG_CLOSEST_REASON) != 0)
        ExplainByClosestKind(path, errorText);
    return code;
}


using qmv3::CopyText;

int SaveOutOfMemory(char* errorText, unsigned int errorTextSize, const char* path) {
    CopyFailure(errorText, errorTextSize, path, " save error: Memory allocation error.");
    return QMV3_SAVE_OUT_OF_MEMORY;
}

int SaveUnexpected(char* errorText, unsigned int errorTextSize, const char* path) {
    CopyFailure(errorText, errorTextSize, path, " save error: Unexpected error.");
    return QMV3_SAVE_OUT_OF_MEMORY;
}

int LoadOutOfMemory(char* errorText, unsigned int errorTextSize, const char* path) {
    CopyFailure(errorText, errorTextSize, path, " load error: Memory allocation error.");
    return QMV3_LOAD_OUT_OF_MEMORY;
}

int LoadUnexpected(char* errorText, unsigned int errorTextSize, const char* path) {
    CopyFailure(errorText, errorTextSize, path, " load error: Unexpected error.");
    return QMV3_LOAD_OUT_OF_MEMORY;
}

int SaveBody(QMBUNCHOFIMAGES* images, const char* path, unsigned int flags, bool olderCall, char* errorText,
             unsigned int errorTextSize, int* interrupt, double* percent) {
    std::string text;
    const int code = SaveImages(images, path, flags, olderCall, text, interrupt, percent);
    if (code != 0) _internal_copyErrorText(errorText, errorTextSize, text);
    return code;
}

}  // namespace

}  // namespace interchange

using namespace interchange;

extern "C" {

QMV3_EXPORT int qmSaveImagesToFileEx(QMBUNCHOFIMAGES* apImages, const char* asFilePath, char* errorText,
                                     unsigned int errorTextSize, int* interrupt, double* percent) {
    return qmv3::GuardedWith(
        [&] { return SaveBody(apImages, asFilePath, 0, true, errorText, errorTextSize, interrupt, percent); },
        [&] { return SaveOutOfMemory(errorText, errorTextSize, asFilePath); },
        [&] { return SaveUnexpected(errorText, errorTextSize, asFilePath); });
}

QMV3_EXPORT int qmSaveImagesToFileEx2(QMBUNCHOFIMAGES* apImages, const char* path, unsigned int flags,
                                      char* errorText, unsigned int errorTextSize, int* interrupt, double* percent) {
    return qmv3::GuardedWith(
        [&] { return SaveBody(apImages, path, flags, false, errorText, errorTextSize, interrupt, percent); },
        [&] { return SaveOutOfMemory(errorText, errorTextSize, path); },
        [&] { return SaveUnexpected(errorText, errorTextSize, path); });
}

QMV3_EXPORT int qmSaveImagesToFile(QMBUNCHOFIMAGES* apImages, const char* asFilePath) {
    return qmSaveImagesToFileEx(apImages, asFilePath, nullptr, 0, nullptr, nullptr);
}

QMV3_EXPORT int qmExportImagesToFile(QMBUNCHOFIMAGES* images, const char* path, const QMV3_EXPORT_OPTIONS* options,
                                     char* errorText, unsigned int errorTextSize, int* interrupt, double* percent) {
    return qmv3::GuardedWith(
        [&] {
            std::string text;
            const int code = ExportImages(images, path, options, text, interrupt, percent);
            if (code != 0) _internal_copyErrorText(errorText, errorTextSize, text);
            return code;
        },
        [&] {
            CopyFailure(errorText, errorTextSize, path, " save error: Memory allocation error.");
            return static_cast<int>(QMV3_SAVE_OUT_OF_MEMORY);
        },
        [&] {
            CopyFailure(errorText, errorTextSize, path, " save error: Unexpected error.");
            return static_cast<int>(QMV3_SAVE_OUT_OF_MEMORY);
        });
}

QMV3_EXPORT int qmLoadImagesFromFileEx(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int* interrupt,
                                       double* percent, char* errorText, unsigned int errorTextSize) {
    return qmv3::GuardedWith(
        [&] {
            std::string text;
            const int code = LoadImages(asFilePath, apImages, text, interrupt, percent);
            if (code != 0) _internal_copyErrorText(errorText, errorTextSize, text);
            return code;
        },
        [&] { return LoadOutOfMemory(errorText, errorTextSize, asFilePath); },
        [&] { return LoadUnexpected(errorText, errorTextSize, asFilePath); });
}

QMV3_EXPORT int qmLoadImagesFromFileEx2(const char* asFilePath, QMBUNCHOFIMAGES* apImages,
                                        const QMV3_LOAD_OPTIONS* options, int* interrupt, double* percent,
                                        char* errorText, unsigned int errorTextSize) {
    if (options == nullptr)
        return qmLoadImagesFromFileEx(asFilePath, apImages, interrupt, percent, errorText, errorTextSize);
    return qmv3::GuardedWith(
        [&] {
            std::string text;
            const int code = LoadPlanned(asFilePath, apImages, *options, text, interrupt, percent);
            if (code != 0) _internal_copyErrorText(errorText, errorTextSize, text);
            return code;
        },
        [&] { return LoadOutOfMemory(errorText, errorTextSize, asFilePath); },
        [&] { return LoadUnexpected(errorText, errorTextSize, asFilePath); });
}

QMV3_EXPORT int qmLoadImagesFromFile(const char* asFilePath, QMBUNCHOFIMAGES* apImages) {
    return qmLoadImagesFromFileEx(asFilePath, apImages, nullptr, nullptr, nullptr, 0);
}

QMV3_EXPORT int qmCheckFileFormat(const char* path, char* errorText, size_t errorTextSize) {
    // A detector that runs out of memory counts as "none of them".
    const int kind = qmv3::Guarded<int>(QMV3_FILE_UNKNOWN, QMV3_FILE_UNKNOWN, [&]() -> int {
        const FileKind* found = path != nullptr ? DetectFileKind(path) : nullptr;
        return found != nullptr ? found->code : QMV3_FILE_UNKNOWN;
    });
    if (kind != QMV3_FILE_UNKNOWN) return kind;
    _internal_dumpErrorString(errorText, errorTextSize,
                              "File (%s) is either no IMC2 or BKC2 or IMC or BKC or IMM or BKG or could not be found "
                              "or opened.",
                              path != nullptr ? path : "NULL");
    return QMV3_FILE_UNKNOWN;
}

QMV3_EXPORT int qmCheckFileFormatEx(const char* path, int* kind, char* reason, size_t reasonSize) {
    if (kind != nullptr) *kind = QMV3_FILE_UNKNOWN;
    CopyText(reason, reasonSize, "");
    return qmv3::GuardedWith(
        [&] {
            std::string text;
            const int found = CheckFile(path, kind, text);
            CopyText(reason, reasonSize, text);
            return found;
        },
        [&] {
            CopyText(reason, reasonSize, "Memory allocation error.");
            return static_cast<int>(QMV3_FILE_UNKNOWN);
        },
        [&] {
            CopyText(reason, reasonSize, "Unexpected error.");
            return static_cast<int>(QMV3_FILE_UNKNOWN);
        });
}

QMV3_EXPORT int qmGetFileKindOfName(const char* path) {
    return qmv3::Guarded<int>(QMV3_FILE_UNKNOWN, QMV3_FILE_UNKNOWN, [&] {
        const FileKind* kind = FileKindOfName(path);
        return kind != nullptr ? kind->code : static_cast<int>(QMV3_FILE_UNKNOWN);
    });
}

QMV3_EXPORT const char* qmGetFileKindName(int kind, const char** extensions) {
    return qmv3::Guarded<const char*>(nullptr, nullptr, [&]() -> const char* {
        const FileKind* found = FileKindByCode(kind);
        if (extensions != nullptr) *extensions = found != nullptr ? found->extensionText : nullptr;
        return found != nullptr ? found->name : nullptr;
    });
}

QMV3_EXPORT int qmIsExportFileKind(int kind) { return IsInterchangeKind(kind) ? 1 : 0; }

QMV3_EXPORT const char* qmGetFileMessageDetail(const char* message, char* name, size_t nameSize) {
    if (name != nullptr && nameSize > 0) name[0] = '\0';
    return qmv3::Guarded<const char*>(nullptr, nullptr, [&]() -> const char* {
        std::string named;
        const char* detail = _internal_fileMessageDetail(message, named);
        CopyText(name, nameSize, named);
        return detail;
    });
}

QMV3_EXPORT int qmGetFileKindInOrder(unsigned int index) {
    size_t count = 0;
    const FileKind* kinds = FileKinds(count);
    return index < count ? kinds[index].code : static_cast<int>(QMV3_FILE_UNKNOWN);
}

QMV3_EXPORT unsigned int qmGetFileKindMaxImages(int kind) {
    const FileKind* found = FileKindByCode(kind);
    return found != nullptr ? found->maxImages : 0u;
}

QMV3_EXPORT int qmFileKindTakesCompression(int kind) {
    return qmv3::Guarded<int>(0, 0, [&] {
        // A name no kind claims is saved as IMC2/BKC2.
        const FileKind* found = FileKindByCode(kind == QMV3_FILE_UNKNOWN ? QMV3_FILE_IMC2_BKC2 : kind);
        return found != nullptr && found->compressible ? 1 : 0;
    });
}

QMV3_EXPORT int qmGetCompressionOfName(const char* name, unsigned int* saveFlags, int* recorderCompression) {
    static const struct {
        const char* name;
        unsigned int saveFlags;
        int recorderCompression;
    } kCompressions[] = {{"fast", QMV3_SAVE_FLAG_COMPRESS_FAST, QMV3_RECORDER_COMPRESS_FAST},
                         {"default", 0u, QMV3_RECORDER_COMPRESS_DEFAULT},
                         {"none", QMV3_SAVE_FLAG_COMPRESS_NONE, QMV3_RECORDER_COMPRESS_NONE}};
    for (const auto& compression : kCompressions) {
        if (name == nullptr || std::strcmp(name, compression.name) != 0) continue;
        if (saveFlags != nullptr) *saveFlags = compression.saveFlags;
        if (recorderCompression != nullptr) *recorderCompression = compression.recorderCompression;
        return 0;
    }
    return -1;
}

QMV3_EXPORT int qmDescribeFileProblem(const char* path, char* text, size_t size) {
    if (path == nullptr || text == nullptr || size == 0) return -1;
    return qmv3::GuardedWith(
        [&] {
            CopyText(text, size, DescribeFileProblem(path));
            return 0;
        },
        [&] {
            CopyText(text, size, "Memory allocation error.");
            return 0;
        },
        [&] {
            CopyText(text, size, "Unexpected error.");
            return 0;
        });
}

QMV3_EXPORT int qmGetExportFileName(const char* path, unsigned int position, unsigned int imageCount, char* name,
                                    size_t nameSize) {
    return qmv3::Guarded<int>(-1, -1, [&] {
        if (path == nullptr || name == nullptr || nameSize == 0) return -1;
        const FileKind* kind = FileKindOfName(path);
        const std::string text = kind != nullptr && kind->code == QMV3_FILE_PNG && imageCount > 1
                                     ? PngFrameName(path, position, imageCount)
                                     : std::string(path);
        if (text.size() >= nameSize) return -1;
        std::memcpy(name, text.c_str(), text.size() + 1);
        return 0;
    });
}

QMV3_EXPORT int qmEncodeImageAsPng(const DIMAGE* image, unsigned int flags, unsigned char** png, size_t* pngSize,
                                   char* errorText, unsigned int errorTextSize) {
    return qmv3::Guarded<int>(QMV3_SAVE_OUT_OF_MEMORY, QMV3_SAVE_OUT_OF_MEMORY, [&] {
        if (image == nullptr || png == nullptr || pngSize == nullptr) {
            _internal_copyErrorText(errorText, errorTextSize, "Parameters image, png and pngSize must not be NULL.");
            return static_cast<int>(QMV3_SAVE_PARAMETER_ERROR);
        }
        *png = nullptr;
        *pngSize = 0;
        PixelLayout layout;
        std::string message;
        if (!PixelLayoutOf(*image, 1, layout, message)) {
            _internal_copyErrorText(errorText, errorTextSize, message);
            return static_cast<int>(QMV3_SAVE_NOT_A_SEQUENCE);
        }
        std::vector<unsigned char> bytes;
        if (!EncodePng(*image, (flags & QMV3_EXPORT_FLAG_COMPRESS) != 0, bytes, message)) {
            _internal_copyErrorText(errorText, errorTextSize, message);
            return static_cast<int>(QMV3_SAVE_COMPRESSION_FAILED);
        }
        unsigned char* copy = static_cast<unsigned char*>(std::malloc(bytes.size()));
        if (copy == nullptr) throw std::bad_alloc();
        std::memcpy(copy, bytes.data(), bytes.size());
        *png = copy;
        *pngSize = bytes.size();
        return static_cast<int>(QMV3_SAVE_OK);
    });
}

}  // extern "C"
