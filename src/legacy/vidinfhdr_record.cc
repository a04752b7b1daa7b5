// Life cycle of the older multi-frame record and the texts of the load codes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"

namespace {

const char* LoadCodeText(int code) {
    switch (code) {
        case QMV3_LEGACY_LOAD_OK:
            return "Success.";
        case QMV3_LEGACY_LOAD_NO_EXTENSION:
            return "File could not be checked for type (file extension not imc or bkc or bkg or imm -> unknown).";
        case QMV3_LEGACY_LOAD_UNKNOWN_TYPE:
            return "File type unknown.";
        case QMV3_LEGACY_LOAD_OPEN_FAILED:
            return "File could not be opened.";
        case QMV3_LEGACY_LOAD_BAD_CONTENT:
            return "Error in file (unexpected content). File may be corrupted.";
        case QMV3_LEGACY_LOAD_SHORT_READ:
            return "Error reading file.";
        case QMV3_LEGACY_LOAD_NOT_EMPTY:
            return "Already initialized, please free VIDINFHDR (and memory) first.";
        case QMV3_LEGACY_LOAD_OUT_OF_MEMORY:
            return "Out of memory.";
        case QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED:
            return "Error during decompression.";
        case QMV3_LEGACY_LOAD_LIMIT_EXCEEDED:
            return "The frames need more memory than the load memory limit (QMV3_LOAD_MEMORY_LIMIT).";
        default:
            return nullptr;
    }
}

const char* InternalLoadCodeText(int code) {
    switch (code) {
        case QMV3_LEGACY_LOAD_OK:
            return "Successful.";
        case QMV3_LEGACY_LOAD_OPEN_FAILED:
            return "Could not open file.";
        case QMV3_LEGACY_LOAD_BAD_CONTENT:
            return "Error in file.";
        case QMV3_LEGACY_LOAD_SHORT_READ:
            return "Error reading file.";
        case QMV3_LEGACY_LOAD_NOT_EMPTY:
            return "Parameter error (VIDINFHDR passed is not empty).";
        case QMV3_LEGACY_LOAD_OUT_OF_MEMORY:
            return "Out of memory.";
        case QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED:
            return "Decompression error.";
        case QMV3_LEGACY_LOAD_INTERRUPTED:
            return "User break.";
        case QMV3_LEGACY_LOAD_LIMIT_EXCEEDED:
            return "The frames need more memory than the load memory limit (QMV3_LOAD_MEMORY_LIMIT).";
        default:
            return nullptr;
    }
}

}  // namespace

std::string internal_load_imm_bkg_imc_file_return_code_to_string(int code, std::string& text) {
    const char* known = InternalLoadCodeText(code);
    text = known != nullptr ? std::string(known) : "Unknown return code (" + std::to_string(code) + ").";
    return text;
}

extern "C" {

QMV3_EXPORT int initialize_vidinfhdr(VIDINFHDR* rec) {
    if (rec == nullptr) return -1;
    rec->type = VIDINFHDR_TYPE_EMPTY;
    rec->framebits = nullptr;
    rec->framescales = nullptr;
    return 0;
}

QMV3_EXPORT int free_vidinfhdr(VIDINFHDR* rec) {
    if (rec == nullptr || rec->type < VIDINFHDR_TYPE_IMM || rec->type > VIDINFHDR_TYPE_BMP) return 0;
    qmv3::legacy::ReleaseFrames(rec);
    return 0;
}

QMV3_EXPORT const char* load_file__return_code_to_string(int code, char* buffer, size_t size) {
    if (buffer == nullptr || size < 2) return "Error translating return code.";
    const char* known = LoadCodeText(code);
    if (known != nullptr) {
        std::snprintf(buffer, size, "%s", known);
    } else {
        std::snprintf(buffer, size, "Return code %d is unknown.", code);
    }
    buffer[size - 1] = '\0';
    return buffer;
}

}  // extern "C"
