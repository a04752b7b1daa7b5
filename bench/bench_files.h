// Helpers of the file benchmarks: a private folder for the files they write, and the frames of a
// sequence compressed the way a file stores them.
#ifndef QMV3_BENCH_BENCH_FILES_H
#define QMV3_BENCH_BENCH_FILES_H

#include <cstddef>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3bench {

// A file name in a folder made for this process (under TMPDIR or /tmp), removed at exit.
std::string ScratchFile(const std::string& name);

// Sets or clears ORSEL_CLIENTLIB_FAST_COMPRESSION for the lifetime of the object.
class FastCompression {
  public:
    explicit FastCompression(bool on);
    ~FastCompression();
    FastCompression(const FastCompression&) = delete;
    FastCompression& operator=(const FastCompression&) = delete;
};

// zlib's compress of every frame, at the default level, as the files hold them.
std::vector<std::vector<unsigned char>> CompressFrames(const QMBUNCHOFIMAGES& sequence);

// Frees every buffer of the vector and empties it.
void FreeAll(std::vector<unsigned char*>& buffers);

// Hands the memory the allocator keeps free back to the system. Loads and their baselines call it after
// freeing what they made, so that each starts with fresh memory, as a load in a new process does:
// otherwise whether freed frames come back already resident depends on where the allocator happened to
// put other blocks (a vector above them keeps the heap from shrinking), and on virtual machines fresh
// pages cost about as much as inflating into them.
void ReleaseFreedMemory();

}  // namespace qmv3bench

#endif
