// Opening an input file without blocking: a FIFO named as an input would block open() forever and a
// device would never end, so every reading command opens its inputs here and takes regular files only.
#ifndef QMV3_TOOL_OPEN_REGULAR_H
#define QMV3_TOOL_OPEN_REGULAR_H

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace qmv3tool {

// The regular file at `path` for binary reading (the caller fcloses it), or null with errno set (the
// system's reason; EISDIR for a folder, ESPIPE for a FIFO or socket, ENODEV for a device).
inline FILE* OpenRegularFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat status;
    int refusal = 0;
    if (fstat(fd, &status) != 0)
        refusal = errno;
    else if (S_ISDIR(status.st_mode))
        refusal = EISDIR;
    else if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))
        refusal = ESPIPE;
    else if (!S_ISREG(status.st_mode))
        refusal = ENODEV;
    FILE* file = refusal == 0 ? fdopen(fd, "rb") : nullptr;
    if (file == nullptr) {
        if (refusal == 0) refusal = errno;
        close(fd);
        errno = refusal;
    }
    return file;
}

}  // namespace qmv3tool

#endif
