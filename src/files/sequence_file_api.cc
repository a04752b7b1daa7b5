// The exported sequence file calls: saving and loading with the choice between the IMC2/BKC2 format and
// the older IMM, BKG, IMC and BKC files, and the file type check. No exception leaves these functions.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"
#include "util/load_limit.h"

namespace {

// Reports a failure thrown out of a call. Formats straight into the caller's buffer: building a
// message on the heap could fail again when memory is short.
void CopyFailure(char* buffer, unsigned int size, const char* path, const char* what) {
    if (buffer == nullptr || size < 2) return;
    std::snprintf(buffer, size - 1, "File \"%s\"%s", path != nullptr ? path : "", what);
    buffer[size - 1] = '\0';
}

bool EndsWithNoCase(const char* path, const char* ending) {
    const size_t length = std::strlen(path);
    const size_t endingLength = std::strlen(ending);
    return length >= endingLength && strcasecmp(path + length - endingLength, ending) == 0;
}

std::string OlderSaveText(int result) {
    switch (result) {
        case QMV3_LEGACY_SAVE_FRAME_COUNT:
            return "Multiple video images can not be saved as bkg file.";
        case QMV3_LEGACY_SAVE_BAD_TYPE:
            return "Internal Error: Wrong vinf->type.";
        case QMV3_LEGACY_SAVE_NO_FRAMES:
            return "Internal Error: vinf NULL or vinf->numframes zero.";
        case QMV3_LEGACY_SAVE_CREATE_FAILED:
            return "Could not open file for writing.";
        case QMV3_LEGACY_SAVE_WRITE_FAILED:
            return "Error writing to file.";
        case QMV3_LEGACY_SAVE_OUT_OF_MEMORY:
            return "Memory allocation error.";
        case QMV3_LEGACY_SAVE_COMPRESSION_FAILED:
            return "Zlib compression failed.";
        case QMV3_LEGACY_SAVE_INTERRUPTED:
            return "User break.";
        default:
            return "Unknown Error Code: " + std::to_string(result);
    }
}

// Saves through the older record; the extension (".imc", ".bkc", ".imm" or ".bkg") picks the saver.
int SaveOlderFormat(QMBUNCHOFIMAGES* apImages, const char* path, std::string& errorText, int* interrupt,
                    double* percent) {
    const std::string p = _internal_filePrefix(path);
    VIDINFHDR record;
    std::memset(&record, 0, sizeof(record));
    initialize_vidinfhdr(&record);
    char conversionText[200] = {};
    const int converted = qmBunchToVIDINFHDREx2(apImages, &record, conversionText, sizeof(conversionText), 0, nullptr);
    if (converted != QMV3_BUNCH_CONVERT_OK) {
        free_vidinfhdr(&record);
        errorText = p + " save error: Transcoding Error: Error Code: " + std::to_string(converted) + " (" +
                    conversionText + ")";
        return QMV3_SAVE_TRANSCODING_FAILED;
    }
    int result = 0;
    const char* name = nullptr;
    if (EndsWithNoCase(path, ".imc")) {
        result = save_imc_fileEx(path, &record, interrupt, percent);
        name = "imc";
    } else if (EndsWithNoCase(path, ".bkc")) {
        result = save_bkc_fileEx(path, &record, interrupt, percent);
        name = "bkc";
    } else if (EndsWithNoCase(path, ".imm")) {
        result = save_imm_fileEx(path, &record, interrupt, percent);
        name = "imm";
    } else {
        result = save_bkg_file(path, &record);
        name = "bkg";
    }
    free_vidinfhdr(&record);
    if (result == QMV3_LEGACY_SAVE_OK) return QMV3_SAVE_OK;
    errorText = p + " save error: Error saving to " + name + " format: " + OlderSaveText(result);
    return result;
}

int SaveImages(QMBUNCHOFIMAGES* apImages, const char* path, std::string& errorText, int* interrupt, double* percent) {
    if (path == nullptr) {
        errorText = "Parameter asFilePath must not be NULL.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    if (path[0] == '\0') {
        errorText = "Parameter asFilePath must not be empty string.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    if (apImages == nullptr) {
        errorText = _internal_filePrefix(path) + " save error: Parameter apImages must not be NULL.";
        return QMV3_SAVE_PARAMETER_ERROR;
    }
    for (const char* ending : {".imc", ".bkc", ".imm", ".bkg"}) {
        if (EndsWithNoCase(path, ending)) return SaveOlderFormat(apImages, path, errorText, interrupt, percent);
    }
    int code = 0;
    return _internal_save_image_file_imc2(apImages, path, code, errorText, interrupt, percent) ? 0 : code;
}

// Loads an older file of a detected kind through its loader and the conversion into a sequence.
int LoadOlderFormat(int kind, const char* path, QMBUNCHOFIMAGES* apImages, std::string& errorText, int* interrupt,
                    double* percent) {
    VIDINFHDR record;
    std::memset(&record, 0, sizeof(record));
    initialize_vidinfhdr(&record);
    int result = 0;
    int failureCode = 0;
    if (kind == VIDINFHDR_TYPE_IMM) {
        result = _internal_load_imm_file(path, &record, interrupt, percent, 0.5);
        failureCode = QMV3_LOAD_IMM_FAILED;
    } else if (kind == VIDINFHDR_TYPE_BKG) {
        result = _internal_load_bkg_file(path, &record, percent, 0.5);
        failureCode = QMV3_LOAD_BKG_FAILED;
    } else {
        result = _internal_load_imc_file(path, &record, interrupt, percent, 0.5);
        failureCode = QMV3_LOAD_IMC_BKC_FAILED;
    }
    int code = QMV3_LOAD_OK;
    if (result != QMV3_LEGACY_LOAD_OK) {
        std::string text;
        internal_load_imm_bkg_imc_file_return_code_to_string(result, text);
        errorText = _internal_filePrefix(path) + " load error: " + text;
        code =
            result == QMV3_LEGACY_LOAD_INTERRUPTED && kind != VIDINFHDR_TYPE_BKG ? QMV3_LOAD_INTERRUPTED : failureCode;
        if (result == QMV3_LEGACY_LOAD_LIMIT_EXCEEDED) {
            errorText = load_limit::Budget().Refusal(_internal_filePrefix(path), qmv3::legacy::LastRefusedBytes());
            code = QMV3_LOAD_LIMIT_EXCEEDED;
        }
    } else {
        std::string text;
        // The record is freed below, so its frames can become the images' frames without a copy.
        if (!internal_transcode_vidinfhdr_to_qmbunchofimages(path, &record, apImages, interrupt, percent, 0.5, text,
                                                             FrameHandover::kTake)) {
            errorText = _internal_filePrefix(path) + " load error: " + text;
            code = QMV3_LOAD_TRANSCODING_FAILED;
        }
    }
    free_vidinfhdr(&record);
    return code;
}

int LoadImages(const char* path, QMBUNCHOFIMAGES* apImages, std::string& errorText, int* interrupt, double* percent) {
    int code = 0;
    if (!imc2load::CheckLoadParameters(path, apImages, code, errorText)) return code;
    if (_internal_is_file_imm(path, nullptr, 0)) {
        return LoadOlderFormat(VIDINFHDR_TYPE_IMM, path, apImages, errorText, interrupt, percent);
    }
    if (_internal_is_file_bkg(path, nullptr, 0)) {
        return LoadOlderFormat(VIDINFHDR_TYPE_BKG, path, apImages, errorText, interrupt, percent);
    }
    if (_internal_is_file_imc_bkc(path, nullptr, 0)) {
        return LoadOlderFormat(VIDINFHDR_TYPE_IMC, path, apImages, errorText, interrupt, percent);
    }
    return _internal_load_imc2_file(path, apImages, code, errorText, interrupt, percent) ? 0 : code;
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmSaveImagesToFileEx(QMBUNCHOFIMAGES* apImages, const char* asFilePath, char* errorText,
                                     unsigned int errorTextSize, int* interrupt, double* percent) {
    return qmv3::GuardedWith(
        [&] {
            std::string text;
            const int code = SaveImages(apImages, asFilePath, text, interrupt, percent);
            if (code != 0) _internal_copyErrorText(errorText, errorTextSize, text);
            return code;
        },
        [&] {
            CopyFailure(errorText, errorTextSize, asFilePath, " save error: Memory allocation error.");
            return static_cast<int>(QMV3_SAVE_OUT_OF_MEMORY);
        },
        [&] {
            CopyFailure(errorText, errorTextSize, asFilePath, " save error: Unexpected error.");
            return static_cast<int>(QMV3_SAVE_OUT_OF_MEMORY);
        });
}

QMV3_EXPORT int qmSaveImagesToFile(QMBUNCHOFIMAGES* apImages, const char* asFilePath) {
    return qmSaveImagesToFileEx(apImages, asFilePath, nullptr, 0, nullptr, nullptr);
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
        [&] {
            CopyFailure(errorText, errorTextSize, asFilePath, " load error: Memory allocation error.");
            return static_cast<int>(QMV3_LOAD_OUT_OF_MEMORY);
        },
        [&] {
            CopyFailure(errorText, errorTextSize, asFilePath, " load error: Unexpected error.");
            return static_cast<int>(QMV3_LOAD_OUT_OF_MEMORY);
        });
}

QMV3_EXPORT int qmLoadImagesFromFile(const char* asFilePath, QMBUNCHOFIMAGES* apImages) {
    return qmLoadImagesFromFileEx(asFilePath, apImages, nullptr, nullptr, nullptr, 0);
}

QMV3_EXPORT int qmCheckFileFormat(const char* path, char* errorText, size_t errorTextSize) {
    // A detector that runs out of memory counts as "none of them".
    const int kind = qmv3::Guarded<int>(QMV3_FILE_UNKNOWN, QMV3_FILE_UNKNOWN, [&]() -> int {
        if (_internal_is_file_imc2_bkc2(path, nullptr, 0)) return QMV3_FILE_IMC2_BKC2;
        if (_internal_is_file_imc_bkc(path, nullptr, 0)) return QMV3_FILE_IMC_BKC;
        if (_internal_is_file_imm(path, nullptr, 0)) return QMV3_FILE_IMM;
        if (_internal_is_file_bkg(path, nullptr, 0)) return QMV3_FILE_BKG;
        return QMV3_FILE_UNKNOWN;
    });
    if (kind != QMV3_FILE_UNKNOWN) return kind;
    _internal_dumpErrorString(errorText, errorTextSize,
                              "File (%s) is either no IMC2 or BKC2 or IMC or BKC or IMM or BKG or could not be found "
                              "or opened.",
                              path != nullptr ? path : "NULL");
    return QMV3_FILE_UNKNOWN;
}

QMV3_EXPORT unsigned long long qmGetLoadMemoryLimit(void) { return load_limit::Get(); }

QMV3_EXPORT int qmSetLoadMemoryLimit(unsigned long long bytes) {
    load_limit::Set(bytes);
    return 0;
}

}  // extern "C"
