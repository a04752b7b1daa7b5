// The lock around library calls (see library_lock.h).
#include "library_lock.h"

#include <pybind11/pybind11.h>

namespace qmv3py {

std::mutex& LibraryMutex() {
    static std::mutex mutex;
    return mutex;
}

LibraryLock::LibraryLock() {
    if (LibraryMutex().try_lock()) return;
    pybind11::gil_scoped_release release;
    LibraryMutex().lock();
}

}  // namespace qmv3py
