// The exported text wrappers of the image codes, for applications that show formats and flags, the
// header text of the library's dumps and the escaping of texts from files. A null size pointer counts
// as a capacity of zero; nothing C++ can throw crosses the boundary.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/cdimage.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"
#include "util/text_copy.h"
#include "util/text_escape.h"


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

QMV3_EXPORT int qmEscapeText(const char* text, size_t size, char* escaped, size_t escapedSize) {
    return qmv3::Guarded<int>(-1, -1, [&] {
        if (text == nullptr) return -1;
        const size_t length = strnlen(text, size);
        if (length > 500000000u) return -1;  // the escaped length must fit the result
        return static_cast<int>(qmv3::CopyText(escaped, escapedSize, qmv3::EscapeText(text, length)));
    });
}

QMV3_EXPORT int qmGetImageHeaderText(const DIMAGE* image, unsigned int flags, char* text, size_t size) {
    return qmv3::Guarded<int>(-1, -1, [&] {
        if (image == nullptr || (flags & ~(QMV3_HEADER_TEXT_HEX | QMV3_HEADER_TEXT_ESCAPED)) != 0) return -1;
        char* buffer = nullptr;
        size_t length = 0;
        FILE* stream = open_memstream(&buffer, &length);
        if (stream == nullptr) return -1;
        const bool written = (flags & QMV3_HEADER_TEXT_HEX) != 0
                                 ? CDIMAGE::putHeaderHexDump(stream, *image)
                                 : CDIMAGE::putHeaderText(stream, *image, (flags & QMV3_HEADER_TEXT_ESCAPED) != 0);
        const bool closed = std::fclose(stream) == 0;
        int result = -1;
        if (written && closed) {
            try {
                result = static_cast<int>(qmv3::CopyText(text, size, std::string(buffer, length)));
            } catch (...) {
                std::free(buffer);
                throw;
            }
        }
        std::free(buffer);
        return result;
    });
}

}  // extern "C"
