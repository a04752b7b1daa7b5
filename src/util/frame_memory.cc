// Fresh frame memory costs a minor page fault per page when it is first written; on virtual machines
// that is about as much as inflating the frame. Populating the pages in one madvise call does the same
// work without the traps, and huge pages cut the number of pages 512-fold where the kernel offers them
// on request. Both are hints: when the kernel refuses them the pages fault in as before.
#include "util/frame_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace frame_memory {

namespace {

// Below this the block usually comes from memory the allocator has touched already.
constexpr size_t kPopulateFrom = size_t{128} << 10;
constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void* AllocateFrame(size_t bytes) {
    void* block = std::malloc(bytes);
    if (block == nullptr || bytes < kPopulateFrom) return block;
    static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    // Only whole pages inside the block: its neighbours' pages are none of our business.
    const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (end <= start) return block;
#ifdef MADV_HUGEPAGE
    if (end - start >= 2 * kHugePage) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#endif
    return block;
}

}  // namespace frame_memory
