// Shared pieces of the file messages: the "File \"<path>\"" prefix and the copy of a message into a
// caller's buffer.
#include <algorithm>
#include <cstring>
#include <string>

#include "files/sequence_files.h"

std::string _internal_filePrefix(const char* path) { return std::string("File \"") + (path ? path : "") + "\""; }

const char* _internal_fileMessageDetail(const char* message, std::string& name) {
    static const char kStart[] = "File \"";
    name.clear();
    if (message == nullptr || std::strncmp(message, kStart, sizeof kStart - 1) != 0) return nullptr;
    const char* nameStart = message + sizeof kStart - 1;
    const char* end = nullptr;
    size_t markerLength = 0;
    // The first marker after the name's quote; a name holding one is not worth guessing at.
    for (const char* marker : {"\" load error: ", "\" save error: "}) {
        const char* at = std::strstr(nameStart, marker);
        if (at != nullptr && (end == nullptr || at < end)) {
            end = at;
            markerLength = std::strlen(marker);
        }
    }
    if (end == nullptr) return nullptr;
    name.assign(nameStart, static_cast<size_t>(end - nameStart));
    return end + markerLength;
}

void _internal_copyErrorText(char* buffer, size_t size, const std::string& text) {
    if (buffer == nullptr || size < 2) return;
    const size_t count = std::min(text.size(), size - 2);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    buffer[size - 1] = '\0';
}
