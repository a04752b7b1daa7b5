// The files of a recording: their names (the path given, then STEM-0002.EXT, STEM-0003.EXT, ...) and one
// file being written through its descriptor. A file that replaces an existing one is written under a
// hidden name beside it and renamed over it only when complete. Failures come back with the system's
// reason as text.
//
// Large frames go to the disk past the page cache (direct I/O): copying them into the cache costs the
// writer as much CPU as a compression worker spends on a quarter of the frame, on a machine whose cores
// the workers need. Direct writes take whole blocks, so the file's last, partial block is kept in memory
// and written again, padded with zeros, with every append: once Append returns, the file holds every
// byte appended (and, until it is completed, up to a block of zeros after them). Where the file system
// refuses direct I/O, or a write past a size limit needs a partial block, the file goes on with ordinary
// writes.
//
// Thread rules: a RecordFile is written by one thread; Sync and WriteAt may run on another thread at
// the same time (WriteAt and Append share the last block under a lock).
#ifndef QMV3_STREAM_RECORDER_FILE_H
#define QMV3_STREAM_RECORDER_FILE_H

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace recorder {

// The name of file `index` of a recording on path (1: path itself).
std::string SplitName(const std::string& path, unsigned int index);

// A file of the recording's name pattern other than path that exists in path's folder (the first
// found), or empty.
std::string ExistingSplitFile(const std::string& path);

// The system's text for an error number.
std::string SystemReason(int error);

// For a file written by name (HDF5): syncs writtenPath and, when it is not path, gives it mode (unless
// -1) and renames it over path.
bool CompleteByName(const std::string& writtenPath, const std::string& path, int mode, std::string& reason);

class RecordFile {
  public:
    enum class Created { kOk, kExists, kFailed };

    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Creates path exclusively, or (replace) under a hidden name beside an existing path. On failure
    // reason holds the system's text.
    static Created Create(const std::string& path, bool replace, std::unique_ptr<RecordFile>& file,
                          std::string& reason);

    // Writes past the page cache from now on where the file system allows it (see above).
    void WriteDirectly();
    // Appends every part, or fails with the system's reason and cuts the file back to its size before.
    bool Append(const iovec* parts, int count, std::string& reason);
    // Overwrites bytes already in the file.
    bool WriteAt(uint64_t offset, const void* data, size_t size, std::string& reason);
    // Pushes what was written to the disk.
    bool Sync(std::string& reason);
    // Syncs, closes and, when it replaces a file, renames it into place with the old file's permissions.
    bool Complete(std::string& reason);
    // Closes and removes the file.
    void Discard();
    // Closes the descriptor and keeps the file, for a writer that opens it by name (HDF5).
    void Release();

    const std::string& path() const { return path_; }
    const std::string& writtenPath() const { return writtenPath_; }
    int replacedMode() const { return replacedMode_; }
    uint64_t size() const { return size_; }

  private:
    RecordFile(std::string path, std::string writtenPath, int descriptor, int replacedMode);
    bool AppendDirect(const iovec* parts, int count, std::string& reason);
    bool AppendBuffered(const iovec* parts, int count, std::string& reason);
    bool WriteAtDirect(uint64_t offset, const void* data, size_t size, std::string& reason);
    // Writes whole blocks at a block's offset; 0, or the error (EINVAL: direct I/O cannot take them).
    int WriteBlocks(const unsigned char* data, size_t bytes, uint64_t offset);
    bool WriteAtBuffered(uint64_t offset, const void* data, size_t size, std::string& reason);
    void LeaveDirect();
    // Cuts the file's padding after its last byte; false with the reason.
    bool CutPadding(std::string& reason);

    std::string path_;         // the name it gets
    std::string writtenPath_;  // the name it is written under
    int descriptor_;
    int replacedMode_;  // permissions of the file it replaces, or -1
    uint64_t size_ = 0;

    std::mutex mutex_;  // Append and WriteAt against each other
    bool direct_ = false;
    unsigned char* staging_ = nullptr;  // direct I/O: the last partial block, then the bytes being appended
    size_t stagingCapacity_ = 0;
    size_t tail_ = 0;         // bytes of the last partial block (at size_ - tail_)
    uint64_t diskSize_ = 0;   // the file's size, with the padding of its last block
};

}  // namespace recorder

#endif
