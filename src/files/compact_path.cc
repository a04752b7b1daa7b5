// Shortening of a path to a fixed-size field, keeping its beginning and its end (usually the file name).
#include <cstring>
#include <string>

#include "files/sequence_files.h"

void CompactPath(char* dst, size_t dstSize, const char* path) {
    if (dst == nullptr || dstSize == 0) return;
    std::memset(dst, 0, dstSize);
    if (path == nullptr) return;
    const size_t room = dstSize - 1;
    const size_t length = std::strlen(path);
    if (length <= room) {
        std::memcpy(dst, path, length);
        return;
    }
    static const char kEllipsis[] = "...";
    constexpr size_t kEllipsisLength = sizeof(kEllipsis) - 1;
    if (room <= kEllipsisLength) {
        std::memcpy(dst, path + length - room, room);
        return;
    }
    // The end carries the file name, so it gets the larger half.
    const size_t head = (room - kEllipsisLength) / 2;
    const size_t tail = room - kEllipsisLength - head;
    std::memcpy(dst, path, head);
    std::memcpy(dst + head, kEllipsis, kEllipsisLength);
    std::memcpy(dst + head + kEllipsisLength, path + length - tail, tail);
}
