// The exported forms of the access-mode and completion-code helpers: C linkage, sizes in and out,
// and no exception across the boundary.
#include <cstdio>
#include <cstring>
#include <string>

#include "qmv3/qmv3.h"
#include "zant.h"
#include "zant/access_modes.h"

extern "C" {

QMV3_EXPORT int qmZantCodeToString(int code, char* buffer, size_t* size) {
    if (buffer == nullptr || size == nullptr || *size == 0) return QMV3_MODE_REFUSED;
    buffer[0] = '\0';
    const long long magnitude = code < 0 ? -static_cast<long long>(code) : code;
    if (magnitude < GetErrorListSize() && *size > 1) {
        const char* text = cc2str(static_cast<int>(magnitude));
        std::snprintf(buffer, *size - 1, "%s", text != nullptr ? text : "");
    }
    buffer[*size - 1] = '\0';
    *size = std::strlen(buffer) + 1;
    return QMV3_MODE_OK;
}

QMV3_EXPORT int QMV3_INTERNAL_zantDecodeModeStringCMnew(const char* text) { return zantDecodeModeStringCMnew(text); }

QMV3_EXPORT int QMV3_INTERNAL_zantCMtoCA(int mode, int* access) {
    int bits = 0;
    if (zantCMtoCA(mode, bits) == 0) return QMV3_MODE_REFUSED;
    if (access != nullptr) *access = bits;
    return QMV3_MODE_OK;
}

QMV3_EXPORT int QMV3_INTERNAL_zantModeToString(int mode, int shortNames, char* buffer, size_t* size) {
    try {
        std::string text;
        if (zantModeToString(mode, shortNames != 0, text) == 0) return QMV3_MODE_REFUSED;
        const size_t needed = text.size() + 1;
        if (buffer != nullptr && size != nullptr && *size >= needed) {
            std::memcpy(buffer, text.c_str(), needed);
            *size = needed;
            return QMV3_MODE_OK;
        }
        if (size != nullptr) *size = needed;
        return QMV3_MODE_TOO_SMALL;
    } catch (...) {
        return QMV3_MODE_REFUSED;
    }
}

}  // extern "C"
