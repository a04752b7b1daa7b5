// A test-only allocator hook: once armed, the n-th allocation made by the library (malloc, calloc,
// realloc through the linker's --wrap, and every form of operator new, which this program replaces)
// fails as if memory had run out. Used to drive every error path of an operation in turn. Allocations
// made inside the XML reader and the control-system stand-in are exempt (see failing_allocator.cc).
//
// Thread rules: the counter is atomic, so allocations on the grab's delivery thread count too.
#ifndef QMV3_TESTS_FAULTS_FAILING_ALLOCATOR_H
#define QMV3_TESTS_FAULTS_FAILING_ALLOCATOR_H

#include <cstddef>

namespace qmv3faults {

// From now on the n-th allocation (1: the next one) fails; later ones succeed again.
void ArmAllocationFailure(unsigned long n);
// Stops counting; returns true when the armed failure was handed out.
bool DisarmAllocationFailure();
// True when the address sanitizer's leak checker finds memory lost since the last check (always false
// in builds without it).
bool LeaksFound();

}  // namespace qmv3faults

#endif
