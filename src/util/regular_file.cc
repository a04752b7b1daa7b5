// Opening regular files only, without blocking: see regular_file.h.
#include "util/regular_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace regular_file {

int Open(const char* path) {
    if (path == nullptr) {
        errno = EINVAL;
        return -1;
    }
    // O_NONBLOCK keeps open() of a FIFO without writer from waiting; the kind is checked on the
    // descriptor itself, so a file swapped between a stat and the open cannot slip through.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat status;
    int refusal = 0;
    if (fstat(fd, &status) != 0) {
        refusal = errno;
    } else if (S_ISDIR(status.st_mode)) {
        refusal = EISDIR;
    } else if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        refusal = ESPIPE;
    } else if (!S_ISREG(status.st_mode)) {
        refusal = ENODEV;
    } else {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) refusal = errno;
    }
    if (refusal != 0) {
        ::close(fd);
        errno = refusal;
        return -1;
    }
    return fd;
}

FILE* OpenStream(const char* path) {
    const int fd = Open(path);
    if (fd < 0) return nullptr;
    FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) {
        const int reason = errno;
        ::close(fd);
        errno = reason;
    }
    return stream;
}

}  // namespace regular_file
