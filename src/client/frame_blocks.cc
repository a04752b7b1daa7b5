// The registry of one-block sequences (see frame_blocks.h). Lookups are rare (a release of a frame or
// of a sequence) and the registry is small, so one mutex over two ordered maps is enough; a counter
// lets the common case, no block at all, skip the lock.
#include "client/frame_blocks.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace frame_blocks {

namespace {

struct Block {
    uintptr_t start;
    size_t bytes;
};

std::mutex kRegistryMutex;
// Guarded by kRegistryMutex: the block of each record array, and every block by its start.
std::map<const DIMAGE*, Block>& BlocksByArray() {
    static auto* blocks = new std::map<const DIMAGE*, Block>();
    return *blocks;
}
std::map<uintptr_t, size_t>& BlocksByStart() {
    static auto* blocks = new std::map<uintptr_t, size_t>();
    return *blocks;
}
std::atomic<size_t> gRegistered{0};

bool ContainsLocked(uintptr_t address) {
    auto& starts = BlocksByStart();
    auto after = starts.upper_bound(address);
    if (after == starts.begin()) return false;
    --after;
    return address - after->first < after->second;
}

}  // namespace

bool Register(const DIMAGE* images, void* block, size_t bytes) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(block);
    std::lock_guard<std::mutex> lock(kRegistryMutex);
    try {
        BlocksByArray()[images] = Block{start, bytes};
        try {
            BlocksByStart()[start] = bytes;
        } catch (const std::bad_alloc&) {
            BlocksByArray().erase(images);
            return false;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    gRegistered.fetch_add(1);
    return true;
}

void* Unregister(const DIMAGE* images, size_t& bytes) {
    if (gRegistered.load() == 0) return nullptr;
    std::lock_guard<std::mutex> lock(kRegistryMutex);
    auto found = BlocksByArray().find(images);
    if (found == BlocksByArray().end()) return nullptr;
    const Block block = found->second;
    BlocksByArray().erase(found);
    BlocksByStart().erase(block.start);
    gRegistered.fetch_sub(1);
    bytes = block.bytes;
    return reinterpret_cast<void*>(block.start);
}

bool Contains(const void* pointer) {
    if (pointer == nullptr || gRegistered.load() == 0) return false;
    std::lock_guard<std::mutex> lock(kRegistryMutex);
    return ContainsLocked(reinterpret_cast<uintptr_t>(pointer));
}

void ReleaseFrameBuffer(void* buffer) {
    if (!Contains(buffer)) std::free(buffer);
}

}  // namespace frame_blocks
