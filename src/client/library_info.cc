// Version and build information of the library.
#include <cstdio>

#include "qmv3/qmv3.h"
#include "util/c_boundary.h"
#include "zant.h"

namespace {

const char sLibraryBuildInfoString[] =
    "**** QMv3 shared client library, Linux, v1.0.0, b883(Release) (Jul 27, 2023) ***";

// Size reported to every caller: room for the banner, the separator and a version text of the control
// system of the usual length. Callers that pass less get the text cut, never an overflow.
constexpr unsigned kLibraryInfoSize = 107;

}  // namespace

extern "C" {

QMV3_EXPORT char* qmLibraryInfoEx(unsigned* major, unsigned* minor, unsigned* third, char* text, unsigned* textSize) {
    return qmv3::Guarded<char*>(nullptr, nullptr, [&]() -> char* {
        if (major != nullptr) *major = 1;
        if (minor != nullptr) *minor = 0;
        if (third != nullptr) *third = 0;
        if (textSize == nullptr) return nullptr;
        if (text == nullptr) {
            *textSize = kLibraryInfoSize;
            return nullptr;
        }
        // A zero capacity leaves no room even for the terminating NUL: nothing is written.
        if (*textSize == 0) {
            *textSize = kLibraryInfoSize;
            return nullptr;
        }
        const char* version = GetSystemVersionString();
        // Printed within size - 1 bytes, the last byte then closes the text: at most size - 2 characters.
        std::snprintf(text, *textSize - 1, "%s Zant # %s ****", sLibraryBuildInfoString, version ? version : "");
        text[*textSize - 1] = '\0';
        *textSize = kLibraryInfoSize;
        return text;
    });
}

QMV3_EXPORT char* qmLibraryInfo(unsigned* major, unsigned* minor, char* text, unsigned* textSize) {
    return qmLibraryInfoEx(major, minor, nullptr, text, textSize);
}

}  // extern "C"
