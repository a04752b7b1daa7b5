// Small file operations: copy, remove, existence, 64-bit seek and tell, modification time.
//
// Thread rules: all functions are re-entrant (the copy uses a buffer of its own per call).
#include <sys/stat.h>

#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr size_t kCopyBlockSize = 16384;

// The size of an open stream by seeking to its end; -1 on failure.
int64_t sizeBySeekingToEnd(FILE* file) {
    if (!platformFileSeek64(file, 0, SEEK_END)) return -1;
    return platformFileTell64(file);
}

// True when both paths name the same existing file, which a copy would truncate before reading it.
bool isSameFile(const char* first, const char* second) {
    struct stat a, b;
    return stat(first, &a) == 0 && stat(second, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool platformFileCopy(const char* src, const char* dst, bool failIfExists) {
    if (src == nullptr || dst == nullptr) return false;
    if (failIfExists) {
        FILE* existing = fopen(dst, "rb");
        if (existing != nullptr) {
            fclose(existing);
            return false;
        }
    }
    if (isSameFile(src, dst)) return false;
    FILE* in = fopen(src, "rb");
    if (in == nullptr) return false;
    int64_t sourceSize = sizeBySeekingToEnd(in);
    if (!platformFileSeek64(in, 0, SEEK_SET)) sourceSize = -1;
    FILE* out = fopen(dst, "wb");
    if (out == nullptr) {
        fclose(in);
        return false;
    }
    char block[kCopyBlockSize];
    for (;;) {
        size_t got = fread(block, 1, sizeof block, in);
        if (got > 0 && fwrite(block, 1, got, out) != got) break;
        if (got < sizeof block) break;
    }
    int64_t destinationSize = sizeBySeekingToEnd(out);
    fclose(in);
    bool closed = fclose(out) == 0;
    return closed && sourceSize >= 0 && sourceSize == destinationSize;
}

bool platformFileRemove(const char* path) { return path != nullptr && remove(path) == 0; }

bool platformFileExists(const char* path) {
    struct stat info;
    return path != nullptr && stat(path, &info) == 0;
}

bool platformFileSeek64(FILE* file, int64_t offset, int origin) {
    return file != nullptr && fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

int64_t platformFileTell64(FILE* file) {
    if (file == nullptr) return -1;
    return static_cast<int64_t>(ftello(file));
}

bool platformFileGetLastModifiedTime64(const char* path, PLF_TIME& modified) {
    struct stat info;
    if (path == nullptr || stat(path, &info) != 0) return false;
    modified.seconds = static_cast<uint64_t>(info.st_mtim.tv_sec);
    modified.milliseconds = static_cast<uint16_t>(info.st_mtim.tv_nsec / 1000000);
    return true;
}
