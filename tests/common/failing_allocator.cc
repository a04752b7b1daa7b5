// The failing allocator: wrapped C allocation functions and replaced operator new/delete. Replaced
// deletes release with free, so that memory from either side is released the same way.
#include "common/failing_allocator.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);
extern "C" void* __real_realloc(void* pointer, size_t size);

namespace qmv3test {

std::atomic<bool> g_failAllocations{false};

namespace {

std::atomic<bool> g_armed{false};
std::atomic<unsigned long> g_countdown{0};
std::atomic<bool> g_failed{false};
std::atomic<bool> g_largeArmed{false};
std::atomic<unsigned long> g_largeCountdown{0};
std::atomic<size_t> g_largeBytes{0};
std::atomic<void (*)()> g_largeAction{nullptr};

// Allocations made inside these libraries are never failed (nor counted): the XML reader is not
// exception-safe (it loses its partial tree and read buffer when operator new throws), and the
// control-system stand-in plays the closed client library, whose own memory is not ours to test.
bool requestedByExemptLibrary() {
    void* frames[12];
    const int depth = backtrace(frames, 12);
    for (int i = 1; i < depth; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
        if (std::strstr(info.dli_fname, "tinyxml") != nullptr || std::strstr(info.dli_fname, "libzantmt") != nullptr)
            return true;
    }
    return false;
}

// True for the one allocation that must fail.
bool takeFailure() {
    if (!g_armed.load(std::memory_order_relaxed)) return false;
    if (requestedByExemptLibrary()) return false;
    if (g_countdown.fetch_sub(1) != 1) return false;
    g_failed = true;
    // QMV3_FAULT_TRACE=1 shows where each failed allocation was asked for.
    static const bool trace = std::getenv("QMV3_FAULT_TRACE") != nullptr;
    if (trace) {
        void* frames[16];
        backtrace_symbols_fd(frames, backtrace(frames, 16), 2);
        write(2, "----\n", 5);
    }
    errno = ENOMEM;
    return true;
}

// True for the large allocation that must fail; runs the action of an armed large allocation instead.
bool takeLargeFailure(size_t size) {
    if (!g_largeArmed.load(std::memory_order_relaxed) || size < g_largeBytes.load()) return false;
    if (g_largeCountdown.fetch_sub(1) != 1) return false;
    void (*action)() = g_largeAction.load();
    if (action == nullptr) {
        errno = ENOMEM;
        return true;
    }
    action();
    return false;
}

}  // namespace

void ArmLargeAllocation(unsigned long n, size_t bytes, void (*action)()) {
    g_largeBytes = bytes;
    g_largeAction = action;
    g_largeCountdown = n;
    g_largeArmed = true;
}

void DisarmLargeAllocation() { g_largeArmed = false; }

void ArmAllocationFailure(unsigned long n) {
    // The first backtrace loads the unwinder, which allocates: do it before counting starts.
    static const bool unwinderReady = [] {
        void* frame;
        return backtrace(&frame, 1) >= 0;
    }();
    (void)unwinderReady;
    g_failed = false;
    g_countdown = n;
    g_armed = true;
}

bool DisarmAllocationFailure() {
    g_armed = false;
    return g_failed.load();
}

bool LeaksFound() {
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

}  // namespace qmv3test

extern "C" void* __wrap_malloc(size_t size) {
    return qmv3test::takeFailure() || qmv3test::takeLargeFailure(size) ? nullptr : __real_malloc(size);
}

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    const bool fail = qmv3test::takeFailure() || (size != 0 && qmv3test::takeLargeFailure(count * size));
    return fail ? nullptr : __real_calloc(count, size);
}

extern "C" void* __wrap_realloc(void* pointer, size_t size) {
    return qmv3test::takeFailure() || qmv3test::takeLargeFailure(size) ? nullptr : __real_realloc(pointer, size);
}

namespace {

void* allocateOrThrow(size_t size) {
    if (qmv3test::g_failAllocations.load(std::memory_order_relaxed) || qmv3test::takeFailure()) throw std::bad_alloc();
    void* block = __real_malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* allocateOrNull(size_t size) noexcept {
    if (qmv3test::g_failAllocations.load(std::memory_order_relaxed) || qmv3test::takeFailure()) return nullptr;
    return __real_malloc(size == 0 ? 1 : size);
}

}  // namespace

void* operator new(size_t size) { return allocateOrThrow(size); }
void* operator new[](size_t size) { return allocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocateOrNull(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
