// The library expects its exported functions to be called from one application thread at a time, and
// Python programs may call from several: every library call of the extension holds this one lock. A
// thread that must wait for it lets go of the GIL meanwhile, so that the holder can finish.
#ifndef QMV3_PYTHON_LIBRARY_LOCK_H
#define QMV3_PYTHON_LIBRARY_LOCK_H

#include <mutex>

namespace qmv3py {

std::mutex& LibraryMutex();

// Taken on a thread that holds the GIL.
class LibraryLock {
  public:
    LibraryLock();
    ~LibraryLock() { LibraryMutex().unlock(); }
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;
};

}  // namespace qmv3py

#endif
