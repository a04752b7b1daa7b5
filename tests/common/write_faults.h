// I/O fault injection beyond what a file size limit plays: once armed, pwrite and writev on a file whose
// path contains a marker fail with a chosen error, as on a disk that fails or fills under the writer.
// The program defines the two functions itself, so they stand in front of the C library's for every
// caller, shared libraries included (the test program must export them: ENABLE_EXPORTS). Include this
// header in one source file of a program only.
#ifndef QMV3_TESTS_COMMON_WRITE_FAULTS_H
#define QMV3_TESTS_COMMON_WRITE_FAULTS_H

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace qmv3test {

enum class FaultedWrites {
    kAll,
    kOfSize,     // writes of exactly `bytes` bytes (a frame's pixel block)
    kOfOtherSize  // every other write (the metadata around the pixels)
};

namespace write_faults {

struct Armed {
    std::atomic<bool> on{false};
    char marker[256] = "";
    int error = 0;
    FaultedWrites which = FaultedWrites::kAll;
    size_t bytes = 0;
};

inline Armed& State() {
    static Armed armed;
    return armed;
}

inline bool Fails(int descriptor, size_t bytes) {
    Armed& armed = State();
    if (!armed.on) return false;
    if (armed.which == FaultedWrites::kOfSize && bytes != armed.bytes) return false;
    if (armed.which == FaultedWrites::kOfOtherSize && bytes == armed.bytes) return false;
    char link[64], name[4096];
    std::snprintf(link, sizeof(link), "/proc/self/fd/%d", descriptor);
    const ssize_t length = readlink(link, name, sizeof(name) - 1);
    if (length <= 0) return false;
    name[length] = '\0';
    if (std::strstr(name, armed.marker) == nullptr) return false;
    errno = armed.error;
    return true;
}

}  // namespace write_faults

// From now on the chosen writes to files whose path contains marker fail with error.
inline void ArmWriteFaults(const std::string& marker, int error, FaultedWrites which, size_t bytes = 0) {
    write_faults::Armed& armed = write_faults::State();
    std::snprintf(armed.marker, sizeof(armed.marker), "%s", marker.c_str());
    armed.error = error;
    armed.which = which;
    armed.bytes = bytes;
    armed.on = true;
}

inline void DisarmWriteFaults() { write_faults::State().on = false; }

}  // namespace qmv3test

namespace qmv3test::write_faults {

template <const char* kName>
ssize_t Pwrite(int descriptor, const void* data, size_t bytes, off_t offset) {
    using Real = ssize_t (*)(int, const void*, size_t, off_t);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, kName));
    if (Fails(descriptor, bytes)) return -1;
    return real(descriptor, data, bytes, offset);
}
inline constexpr char kPwrite[] = "pwrite";
inline constexpr char kPwrite64[] = "pwrite64";

}  // namespace qmv3test::write_faults

// Both names: a build with 64-bit file offsets calls the second, the HDF5 library the first.
extern "C" ssize_t FaultyPwrite(int descriptor, const void* data, size_t bytes, off_t offset) __asm__("pwrite");
extern "C" ssize_t FaultyPwrite(int descriptor, const void* data, size_t bytes, off_t offset) {
    return qmv3test::write_faults::Pwrite<qmv3test::write_faults::kPwrite>(descriptor, data, bytes, offset);
}
extern "C" ssize_t FaultyPwrite64(int descriptor, const void* data, size_t bytes, off_t offset) __asm__("pwrite64");
extern "C" ssize_t FaultyPwrite64(int descriptor, const void* data, size_t bytes, off_t offset) {
    return qmv3test::write_faults::Pwrite<qmv3test::write_faults::kPwrite64>(descriptor, data, bytes, offset);
}

extern "C" ssize_t writev(int descriptor, const struct iovec* parts, int count) {
    using Real = ssize_t (*)(int, const struct iovec*, int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "writev"));
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) bytes += parts[i].iov_len;
    if (qmv3test::write_faults::Fails(descriptor, bytes)) return -1;
    return real(descriptor, parts, count);
}

#endif
