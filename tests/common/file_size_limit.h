// I/O fault injection: the file size limit of the process, so that writes past a given size fail as on
// a full disk (the signal such a write raises is ignored).
#ifndef QMV3_TESTS_COMMON_FILE_SIZE_LIMIT_H
#define QMV3_TESTS_COMMON_FILE_SIZE_LIMIT_H

#include <signal.h>
#include <sys/resource.h>

namespace qmv3test {

// Files of the process may grow to `bytes` only, for the life of the object; writes past it fail.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_;
};

}  // namespace qmv3test

#endif
