// Sequences whose frames share one block: a load may put every frame of a file into a single malloc
// block, the records' frame buffers pointing into it. Such a block is registered here under the
// sequence's record array, so that qmFreeBunch releases it once and nothing releases a frame inside it
// on its own. Frame buffers outside every block are separate malloc blocks, as everywhere else.
//
// The registry is process-wide and guarded by one mutex (kRegistryMutex in frame_blocks.cc); any thread.
#ifndef QMV3_CLIENT_FRAME_BLOCKS_H
#define QMV3_CLIENT_FRAME_BLOCKS_H

#include <cstddef>

#include "qmv3/qmv3.h"

namespace frame_blocks {

// Records that block (bytes long, from malloc) belongs to the sequence whose record array is images.
// False when memory is short; then nothing is registered and the caller still owns the block.
bool Register(const DIMAGE* images, void* block, size_t bytes);

// Removes the block of the array from the registry and gives it back with its length; null when the
// array has none.
void* Unregister(const DIMAGE* images, size_t& bytes);

// Whether the pointer lies inside a registered block.
bool Contains(const void* pointer);

// Frees a frame buffer unless it lies inside a registered block (then its block frees it).
void ReleaseFrameBuffer(void* buffer);

}  // namespace frame_blocks

#endif
