// The copy of a text into a caller's buffer, as the exports hand texts out.
#ifndef QMV3_UTIL_TEXT_COPY_H
#define QMV3_UTIL_TEXT_COPY_H

#include <cstddef>
#include <cstring>
#include <string>

namespace qmv3 {

// Copies at most size - 1 bytes of text and a terminating zero; nothing when buffer is null or size is
// 0. Returns the text's whole length, so that a caller can tell a text that was cut.
inline size_t CopyText(char* buffer, size_t size, const std::string& text) {
    if (buffer != nullptr && size > 0) {
        const size_t count = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), count);
        buffer[count] = '\0';
    }
    return text.size();
}

}  // namespace qmv3

#endif
