// Shared pieces of the file messages: the "File \"<path>\"" prefix and the copy of a message into a
// caller's buffer.
#include <algorithm>
#include <cstring>
#include <string>

#include "files/sequence_files.h"

std::string _internal_filePrefix(const char* path) { return std::string("File \"") + (path ? path : "") + "\""; }

void _internal_copyErrorText(char* buffer, size_t size, const std::string& text) {
    if (buffer == nullptr || size < 2) return;
    const size_t count = std::min(text.size(), size - 2);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    buffer[size - 1] = '\0';
}
