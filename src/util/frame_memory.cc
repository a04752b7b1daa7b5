// Fresh frame memory costs a minor page fault per page when it is first written; on virtual machines
// that is about as much as inflating the frame. Populating the pages in one madvise call does the same
// work without the traps, and huge pages cut the number of pages 512-fold where the kernel offers them
// on request. Both are hints: when the kernel refuses them the pages fault in as before.
#include "util/frame_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace frame_memory {

namespace {

// Below this the block usually comes from memory the allocator has touched already.
constexpr size_t kPopulateFrom = size_t{128} << 10;
constexpr size_t kHugePage = size_t{2} << 20;

uintptr_t PageSize() {
    static const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return page;
}

// The whole pages inside [begin, end): its neighbours' pages are none of our business.
bool WholePages(uintptr_t begin, size_t bytes, uintptr_t& start, uintptr_t& stop) {
    const uintptr_t page = PageSize();
    start = (begin + page - 1) & ~(page - 1);
    stop = (begin + bytes) & ~(page - 1);
    return stop > start;
}

void AdviseHugePages(uintptr_t start, uintptr_t stop) {
#ifdef MADV_HUGEPAGE
    if (stop - start >= 2 * kHugePage) madvise(reinterpret_cast<void*>(start), stop - start, MADV_HUGEPAGE);
#else
    (void)start;
    (void)stop;
#endif
}

void PopulatePages(uintptr_t start, uintptr_t stop) {
#ifdef MADV_POPULATE_WRITE
    madvise(reinterpret_cast<void*>(start), stop - start, MADV_POPULATE_WRITE);
#else
    (void)start;
    (void)stop;
#endif
}

}  // namespace

void* AllocateFrame(size_t bytes) {
    void* block = std::malloc(bytes);
    uintptr_t start, stop;
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    if (block == nullptr || bytes < kPopulateFrom || !WholePages(at, bytes, start, stop)) return block;
    AdviseHugePages(start, stop);
    PopulatePages(start, stop);
    return block;
}

void* AllocateBlock(size_t bytes) {
    void* block = std::malloc(bytes);
    uintptr_t start, stop;
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    if (block != nullptr && bytes >= kPopulateFrom && WholePages(at, bytes, start, stop))
        AdviseHugePages(start, stop);
    return block;
}

void Populate(void* block, size_t blockBytes, void* part, size_t bytes) {
    if (blockBytes < kPopulateFrom || bytes == 0) return;
    // The part's pages, widened to whole pages but kept inside the block.
    const uintptr_t page = PageSize();
    uintptr_t blockStart, blockStop;
    if (!WholePages(reinterpret_cast<uintptr_t>(block), blockBytes, blockStart, blockStop)) return;
    const uintptr_t start = std::max(reinterpret_cast<uintptr_t>(part) & ~(page - 1), blockStart);
    const uintptr_t stop = std::min((reinterpret_cast<uintptr_t>(part) + bytes + page - 1) & ~(page - 1), blockStop);
    if (stop > start) PopulatePages(start, stop);
}

}  // namespace frame_memory
