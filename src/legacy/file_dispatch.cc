// load_file and save_file: choose the older format by the requested type, by the path's extension
// (loading) or by the record's own type (saving, which then appends the extension).
#include <strings.h>

#include <cstdio>
#include <cstring>

#include "legacy/legacy.h"
#include "legacy/legacy_io.h"

using namespace qmv3::legacy;

namespace {

constexpr size_t kMaxSavePathLength = 1019;

bool EndsWithNoCase(const char* path, const char* ending) {
    size_t pathLength = std::strlen(path);
    size_t endingLength = std::strlen(ending);
    return pathLength >= endingLength && strcasecmp(path + pathLength - endingLength, ending) == 0;
}

int TypeFromExtension(const char* path) {
    static const struct {
        const char* extension;
        int type;
    } kExtensions[] = {{".imm", VIDINFHDR_TYPE_IMM},
                       {".imc", VIDINFHDR_TYPE_IMC},
                       {".bkg", VIDINFHDR_TYPE_BKG},
                       {".bkc", VIDINFHDR_TYPE_BKC},
                       {".bmp", VIDINFHDR_TYPE_BMP}};
    if (path == nullptr) return 0;
    for (const auto& entry : kExtensions) {
        if (EndsWithNoCase(path, entry.extension)) return entry.type;
    }
    return 0;
}

int SaveBackground(const char* path, VIDINFHDR* rec) {
    if (rec->numframes > 1) return QMV3_LEGACY_SAVE_FRAME_COUNT;
    return save_bkg_file(path, rec);
}

int SaveByRecordType(const char* path, VIDINFHDR* rec) {
    static const char* const kExtensions[] = {nullptr, ".imm", ".imc", ".bkg", ".bkc"};
    if (rec->type < VIDINFHDR_TYPE_IMM || rec->type > VIDINFHDR_TYPE_BKC) return QMV3_LEGACY_SAVE_BAD_TYPE;
    // The path length was checked, so the name with its extension always fits.
    char name[kMaxSavePathLength + 5];
    std::snprintf(name, sizeof name, "%s%s", path, kExtensions[rec->type]);
    switch (rec->type) {
        case VIDINFHDR_TYPE_IMM:
            return save_imm_file(name, rec);
        case VIDINFHDR_TYPE_IMC:
            return save_imc_file(name, rec);
        case VIDINFHDR_TYPE_BKG:
            return SaveBackground(name, rec);
        default:
            return save_bkc_file(name, rec);
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int load_file(int type, const char* path, VIDINFHDR* rec) {
    if (type == 0) {
        type = TypeFromExtension(path);
        if (type == 0) return QMV3_LEGACY_LOAD_NO_EXTENSION;
    }
    switch (type) {
        case VIDINFHDR_TYPE_IMM:
            return load_imm_file(path, rec);
        case VIDINFHDR_TYPE_IMC:
            return load_imc_file(path, rec);
        case VIDINFHDR_TYPE_BKG:
            return load_bkg_file(path, rec);
        case VIDINFHDR_TYPE_BKC:
            return load_bkc_file(path, rec);
        case VIDINFHDR_TYPE_BMP:
            return load_bmp_file(path, rec, 0);
        default:
            return QMV3_LEGACY_LOAD_UNKNOWN_TYPE;
    }
}

QMV3_EXPORT int save_file(int type, const char* path, VIDINFHDR* rec) {
    if (path == nullptr) return QMV3_LEGACY_SAVE_CREATE_FAILED;
    if (std::strlen(path) > kMaxSavePathLength) return QMV3_LEGACY_SAVE_PATH_TOO_LONG;
    if (rec == nullptr || rec->numframes == 0) return QMV3_LEGACY_SAVE_NO_FRAMES;
    switch (type) {
        case 0:
            return SaveByRecordType(path, rec);
        case VIDINFHDR_TYPE_IMM:
            return save_imm_file(path, rec);
        case VIDINFHDR_TYPE_IMC:
            return save_imc_file(path, rec);
        case VIDINFHDR_TYPE_BKG:
            return SaveBackground(path, rec);
        case VIDINFHDR_TYPE_BKC:
            return save_bkc_file(path, rec);
        default:
            return QMV3_LEGACY_SAVE_BAD_TYPE;
    }
}

}  // extern "C"
