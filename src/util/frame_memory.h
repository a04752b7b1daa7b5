// Frame buffers of loads: separate malloc blocks, as callers free them one by one, whose fresh pages
// are faulted in with one call instead of one trap per 4 KiB page, and backed by transparent huge pages
// where a frame spans them.
#ifndef QMV3_UTIL_FRAME_MEMORY_H
#define QMV3_UTIL_FRAME_MEMORY_H

#include <cstddef>

namespace frame_memory {

// malloc(bytes), with the pages of a large block populated writable; null when memory runs out.
void* AllocateFrame(size_t bytes);

// malloc(bytes) for many frames that are filled one after the other: backed by huge pages where the
// kernel offers them, but not populated yet; Populate each part just before it is filled, so that the
// pages are cleared while the cache still holds them for the fill. Null when memory runs out.
void* AllocateBlock(size_t bytes);

// Populates writable the pages of [part, part + bytes) inside the block [block, block + blockBytes).
void Populate(void* block, size_t blockBytes, void* part, size_t bytes);

}  // namespace frame_memory

#endif
