// The table of file kinds and their detectors.
#include "interchange/file_kinds.h"

#include <strings.h>

#include <cstring>

#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "interchange/interchange.h"
#include "qmv3/qmv3.h"

namespace interchange {

namespace {

using Detector = bool (*)(const char*, char*, size_t);

template <Detector detector>
bool Detect(const char* path, std::string& reason) {
    char text[1024] = "";
    if (detector(path, text, sizeof text)) return true;
    reason = text;
    return false;
}

bool DetectByContent(const char* path, ImportKind kind, const char* name, std::string& reason) {
    if (ImportKindOfFile(path) != kind) {
        reason = std::string("no ") + name + " signature";
        return false;
    }
    return true;
}

bool DetectTiff(const char* path, std::string& reason) { return DetectByContent(path, ImportKind::kTiff, "TIFF", reason); }
bool DetectPng(const char* path, std::string& reason) { return DetectByContent(path, ImportKind::kPng, "PNG", reason); }
bool DetectHdf5(const char* path, std::string& reason) {
    return DetectByContent(path, ImportKind::kHdf5, "HDF5", reason) && ProbeHdf5(path, reason);
}

const FileKind kKinds[] = {
    {QMV3_FILE_IMC2_BKC2, "IMC2/BKC2", {".imc2", ".bkc2"}, ".imc2 .bkc2", Detect<_internal_is_file_imc2_bkc2>, false,
     imc2::kMaxImagesWritten, true},
    {QMV3_FILE_IMC_BKC, "IMC/BKC", {".imc", ".bkc"}, ".imc .bkc", Detect<_internal_is_file_imc_bkc>, false, 0, false},
    {QMV3_FILE_IMM, "IMM", {".imm", nullptr}, ".imm", Detect<_internal_is_file_imm>, false, 0, false},
    {QMV3_FILE_BKG, "BKG", {".bkg", nullptr}, ".bkg", Detect<_internal_is_file_bkg>, false, 1, false},
    {QMV3_FILE_TIFF, "TIFF", {".tif", ".tiff"}, ".tif .tiff", DetectTiff, true, 0, false},
    {QMV3_FILE_PNG, "PNG", {".png", nullptr}, ".png", DetectPng, true, 0, false},
    {QMV3_FILE_HDF5, "HDF5", {".h5", ".hdf5"}, ".h5 .hdf5", DetectHdf5, true, 0, false},
};

bool EndsWithNoCase(const char* path, const char* ending) {
    const size_t length = std::strlen(path);
    const size_t endingLength = std::strlen(ending);
    return length >= endingLength && strcasecmp(path + length - endingLength, ending) == 0;
}

}  // namespace

const FileKind* FileKinds(size_t& count) {
    count = sizeof kKinds / sizeof kKinds[0];
    return kKinds;
}

const FileKind* FileKindByCode(int code) {
    for (const FileKind& kind : kKinds)
        if (kind.code == code) return &kind;
    return nullptr;
}

const FileKind* FileKindOfName(const char* path) {
    if (path == nullptr) return nullptr;
    for (const FileKind& kind : kKinds)
        for (const char* extension : kind.extensions)
            if (extension != nullptr && EndsWithNoCase(path, extension)) return &kind;
    return nullptr;
}

const FileKind* DetectFileKind(const char* path) {
    std::string reason;
    for (const FileKind& kind : kKinds)
        if (kind.detect(path, reason)) return &kind;
    return nullptr;
}

bool IsInterchangeKind(int code) {
    const FileKind* kind = FileKindByCode(code);
    return kind != nullptr && kind->interchange;
}

}  // namespace interchange
