// The guard of the C boundary: every exported function that can allocate runs its body through
// Guarded, so that no exception reaches a C caller. std::bad_alloc becomes the function's documented
// out-of-memory result and any other exception its failure result; GuardedWith hands both cases to
// the function's own handlers (for a message), which must not throw themselves.
//
// Thread rules: none; the guard keeps no state.
#ifndef QMV3_UTIL_C_BOUNDARY_H
#define QMV3_UTIL_C_BOUNDARY_H

#include <new>

namespace qmv3 {

template <typename Body, typename OnOutOfMemory, typename OnFailure>
auto GuardedWith(Body&& body, OnOutOfMemory&& onOutOfMemory, OnFailure&& onFailure) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return onOutOfMemory();
    } catch (...) {
        return onFailure();
    }
}

template <typename Result, typename Body>
Result Guarded(Result outOfMemory, Result failure, Body&& body) noexcept {
    return GuardedWith(
        body, [&] { return outOfMemory; }, [&] { return failure; });
}

// For functions without a result: an exception ends the body and is dropped.
template <typename Body>
void Guarded(Body&& body) noexcept {
    GuardedWith(
        body, [] {}, [] {});
}

}  // namespace qmv3

#endif
