// The exported text wrappers of the image codes, for applications that show formats and flags. A null
// size pointer counts as a capacity of zero; nothing C++ can throw crosses the boundary.
#include "image/cdimage.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

extern "C" {

QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFormatAsString(int format, char* dst, size_t* size) {
    return qmv3::Guarded<char*>(nullptr, nullptr, [&] {
        size_t capacity = size != nullptr ? *size : 0;
        char* result = CDIMAGE::getFormatAsString(format, dst, capacity);
        if (size != nullptr) *size = capacity;
        return result;
    });
}

QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFlagsAsString(int flags, char* dst, size_t* size) {
    return qmv3::Guarded<char*>(nullptr, nullptr, [&] {
        size_t capacity = size != nullptr ? *size : 0;
        char* result = CDIMAGE::getFlagsAsString(flags, dst, capacity);
        if (size != nullptr) *size = capacity;
        return result;
    });
}

}  // extern "C"
