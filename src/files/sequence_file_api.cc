// Saving and loading the older IMM, BKG, IMC and BKC files through the older record, for the sequence
// file calls (src/interchange), which choose the kind.
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

}  // namespace

int _internal_save_older_file(QMBUNCHOFIMAGES* apImages, const char* path, std::string& errorText, int* interrupt,
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

int _internal_load_older_file(int kind, const char* path, QMBUNCHOFIMAGES* apImages, std::string& errorText, int* interrupt,
                    double* percent, bool headersOnly) {
    VIDINFHDR record;
    std::memset(&record, 0, sizeof(record));
    initialize_vidinfhdr(&record);
    int result = 0;
    int failureCode = 0;
    if (kind == VIDINFHDR_TYPE_IMM) {
        result = _internal_load_imm_file(path, &record, interrupt, percent, 0.5, headersOnly);
        failureCode = QMV3_LOAD_IMM_FAILED;
    } else if (kind == VIDINFHDR_TYPE_BKG) {
        result = _internal_load_bkg_file(path, &record, percent, 0.5, headersOnly);
        failureCode = QMV3_LOAD_BKG_FAILED;
    } else {
        result = _internal_load_imc_file(path, &record, interrupt, percent, 0.5, headersOnly);
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
                                                             headersOnly ? FrameHandover::kHeadersOnly
                                                                         : FrameHandover::kTake)) {
            errorText = _internal_filePrefix(path) + " load error: " + text;
            code = QMV3_LOAD_TRANSCODING_FAILED;
        }
    }
    free_vidinfhdr(&record);
    return code;
}

extern "C" {

QMV3_EXPORT unsigned long long qmGetLoadMemoryLimit(void) { return load_limit::Get(); }

QMV3_EXPORT int qmSetLoadMemoryLimit(unsigned long long bytes) {
    load_limit::Set(bytes);
    return 0;
}

}  // extern "C"
