// Life cycle of the older multi-frame record and the texts of the load codes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"

namespace {

const char* LoadCodeText(int code) {
    switch (code) {
        case 0:
            return "Success.";
        case -1:
            return "File could not be checked for type (file extension not imc or bkc or bkg or imm -> unknown).";
        case -2:
            return "File type unknown.";
        case -3:
            return "File could not be opened.";
        case -4:
            return "Error in file (unexpected content). File may be corrupted.";
        case -5:
            return "Error reading file.";
        case -6:
            return "Already initialized, please free VIDINFHDR (and memory) first.";
        case -7:
            return "Out of memory.";
        case -8:
            return "Error during decompression.";
        default:
            return nullptr;
    }
}

const char* InternalLoadCodeText(int code) {
    switch (code) {
        case 0:
            return "Successful.";
        case -3:
            return "Could not open file.";
        case -4:
            return "Error in file.";
        case -5:
            return "Error reading file.";
        case -6:
            return "Parameter error (VIDINFHDR passed is not empty).";
        case -7:
            return "Out of memory.";
        case -8:
            return "Decompression error.";
        case -9:
            return "User break.";
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
