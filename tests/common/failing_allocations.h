// Replaces the global allocation functions of a test program so that a test can make every C++
// allocation fail for the duration of one call. Include it in exactly one file of a test program:
// it defines the replacements, which then serve the whole program (and the library it calls).
#ifndef QMV3_TESTS_COMMON_FAILING_ALLOCATIONS_H
#define QMV3_TESTS_COMMON_FAILING_ALLOCATIONS_H

#include <cstdlib>
#include <new>

namespace qmv3test {
// While true, every operator new fails (throwing, or null for the nothrow forms).
bool g_failAllocations = false;
}  // namespace qmv3test

namespace qmv3test_detail {
inline void* Allocate(std::size_t size) {
    return qmv3test::g_failAllocations ? nullptr : std::malloc(size == 0 ? 1 : size);
}
inline void* AllocateOrThrow(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
}  // namespace qmv3test_detail

void* operator new(std::size_t size) { return qmv3test_detail::AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return qmv3test_detail::AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return qmv3test_detail::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return qmv3test_detail::Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

#endif
