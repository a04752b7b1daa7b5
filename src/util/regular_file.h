// Opening a file only when it is a regular file, without ever blocking: a FIFO or a device named where a
// file is expected would otherwise block open() or feed endless bytes. Every reader of files takes its
// descriptors from here. Self-contained (system headers only), so the stand-in compiles it too.
//
// Thread rules: none (no state).
#ifndef QMV3_UTIL_REGULAR_FILE_H
#define QMV3_UTIL_REGULAR_FILE_H

#include <cstdio>

namespace regular_file {

// A read-only descriptor of the regular file at `path` (close-on-exec, blocking reads), or -1 with errno
// set: the system's reason when it cannot be opened, EISDIR for a folder, ESPIPE for a FIFO or socket and
// ENODEV for a device. `path` may be null (EINVAL).
int Open(const char* path);

// The same as a stream for binary reading (the caller fcloses it), or null with errno set as above.
FILE* OpenStream(const char* path);

}  // namespace regular_file

#endif
