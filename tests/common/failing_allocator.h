// The tests' one fault-injection mechanism for memory. A test program that uses it is linked with
// common/failing_allocator.cc and the linker's --wrap of malloc, calloc and realloc (see
// tests/CMakeLists.txt); the program's operator new and delete are replaced as well. Three ways in:
// - ArmAllocationFailure(n): the n-th allocation made by the library (C or C++) fails as if memory had
//   run out, to drive every error path of an operation in turn. Allocations made inside the XML reader
//   and the control-system stand-in are exempt.
// - ArmLargeAllocation(n, bytes, action): the n-th allocation of at least `bytes` (the frame buffers of a
//   grab, say) fails, or first runs `action` and then succeeds (to hold a thread at that point).
// - g_failAllocations: while set, every operator new of the program fails, the stand-in's included.
//
// Thread rules: the counters are atomic, so allocations on the grab's delivery thread count too.
#ifndef QMV3_TESTS_COMMON_FAILING_ALLOCATOR_H
#define QMV3_TESTS_COMMON_FAILING_ALLOCATOR_H

#include <atomic>
#include <cstddef>

namespace qmv3test {

// While true, every operator new fails (throwing, or null for the nothrow forms).
extern std::atomic<bool> g_failAllocations;

// From now on the n-th allocation (1: the next one) fails; later ones succeed again.
void ArmAllocationFailure(unsigned long n);
// Stops counting; returns true when the armed failure was handed out.
bool DisarmAllocationFailure();

// From now on the n-th C allocation of at least `bytes` fails, or, with an action, runs the action on
// the allocating thread and then succeeds. Counting goes on until DisarmLargeAllocation.
void ArmLargeAllocation(unsigned long n, size_t bytes, void (*action)() = nullptr);
void DisarmLargeAllocation();

// True when the address sanitizer's leak checker finds memory lost since the last check (always false
// in builds without it).
bool LeaksFound();

}  // namespace qmv3test

#endif
