// The recorder's HDF5 output: one file of any length in the export's NeXus layout (/entry/data/data of
// shape (N, H, W) or (N, H, W, 3), extendible along N, one frame per chunk, with frame_number,
// event_number and timestamp beside it), written in single-writer/multiple-reader mode: readers may
// open the file while it grows and see every frame up to the last flush, which comes at least twice a
// second. The chunks arrive deflated by the recorder's workers (a zlib stream is what the deflate filter
// reads), so the writer thread only appends them.
//
// Failures. Before every frame the output checks that the file system and the file size limit leave room
// for it and for the metadata still to come; without room it stops as a failed write would, and closes
// a file that is whole. A write that fails all the same (an I/O error, a disk filled by someone else)
// stops the recording too: the output takes the dataset back to the frames before and flushes that,
// so the file holds every frame before the failure; when even that cannot be written, the file keeps
// what the last flush wrote, and the frames after it count as lost. The HDF5 library cannot release a
// file whose writes fail: its close then fails, leaves a dangling identifier and crashes the process
// at exit or at the next open of the file. So a failed file is released with the library's
// descriptor pointed at an anonymous file in memory, where its last writes go; the file on disk stays
// as the last good flush left it, loadable in single-writer/multiple-reader mode as after a kill.
//
// Thread rules: Accepts runs on the caller's thread and guards the shape it fixes with shapeMutex_; the
// other HDF5 calls run on the recorder's writer thread (the library is built thread-safe all the same).
#include "stream/recorder_hdf5.h"

#include <hdf5.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "files/sequence_files.h"
#include "interchange/hdf5_objects.h"
#include "interchange/interchange.h"
#include "stream/recorder_file.h"

namespace recorder {

namespace {

using interchange::Hdf5Handle;

constexpr auto kFlushInterval = std::chrono::milliseconds(500);
constexpr hsize_t kListChunk = 1024;  // elements per chunk of the per-frame lists
// Room kept beyond a frame's chunk for the metadata a flush and the close write (object headers, the
// chunk index, the lists' chunks), generous against what they take.
constexpr uint64_t kMetadataRoom = 1u << 20;

// The HDF5 library prints its error stack by itself unless told not to, per thread in a thread-safe
// build; the messages here say enough.
void SilenceHdf5() {
    thread_local bool silenced = false;
    if (silenced) return;
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    silenced = true;
}

// Flushes the file. After a flush that failed, the library's cache refuses the next one even when that
// one writes everything (it stays prepared for a flush until every dirty entry is written), so a flush
// that fails is tried once more: a failure then is the file's.
bool Flush(hid_t file) {
    if (H5Fflush(file, H5F_SCOPE_LOCAL) >= 0) return true;
    const int error = errno;
    if (H5Fflush(file, H5F_SCOPE_LOCAL) >= 0) return true;
    errno = error;
    return false;
}

// An extendible 1-D list of one value per frame.
hid_t CreateList(hid_t group, const char* name, hid_t fileType, const char* units) {
    const hsize_t size = 0, unlimited = H5S_UNLIMITED;
    Hdf5Handle space(H5Screate_simple(1, &size, &unlimited), H5Sclose);
    Hdf5Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), 1, &kListChunk) < 0) return -1;
    const hid_t set = H5Dcreate2(group, name, fileType, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT);
    if (set >= 0 && units != nullptr && !interchange::Hdf5StringAttribute(set, "units", units)) {
        H5Dclose(set);
        return -1;
    }
    return set;
}

// Writes value as element `index` of a list already extended to hold it.
bool WriteElement(hid_t set, hsize_t index, hid_t memoryType, const void* value) {
    const hsize_t one = 1;
    Hdf5Handle fileSpace(H5Dget_space(set), H5Sclose);
    Hdf5Handle memorySpace(H5Screate_simple(1, &one, nullptr), H5Sclose);
    return fileSpace.ok() && memorySpace.ok() &&
           H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, &index, nullptr, &one, nullptr) >= 0 &&
           H5Dwrite(set, memoryType, memorySpace.get(), fileSpace.get(), H5P_DEFAULT, value) >= 0;
}

class Hdf5Sink : public Sink {
  public:
    Hdf5Sink(std::string path, bool compress) : path_(std::move(path)), compress_(compress) {}
    ~Hdf5Sink() override { CloseAll(); }

    bool Open(bool replace, int& code, std::string& message);
    bool Accepts(const DIMAGE& frame, std::string& reason) const override;
    bool Prepare(const DIMAGE& frame, deflate_engine::Compressor* compressor, Block& block, int& code,
                 std::string& message) const override;
    bool Append(const DIMAGE& frame, const Block& block, int& code, std::string& message) override;
    void Tick() override;
    bool Finish(int& code, std::string& message) override;
    std::string FileName(unsigned int index) const override { return index <= 1 ? path_ : std::string(); }
    SinkCounters Counters() const override {
        const uint64_t bytes = bytes_, frames = frames_;
        // A failed file holds only the frames of its last flush.
        const uint64_t held = broken_ ? framesFlushed_.load() : frames;
        return {held > 0 ? 1u : 0u, bytes, bytes, frames - held};
    }

  private:
    bool CreateLayout(const DIMAGE& first);
    bool Fail(int& code, std::string& message, int error);
    std::string Holding() const;
    bool Settle(uint64_t frames);
    bool CloseCanWrite(int& error);
    void Abandon();
    void UpdateSize();
    void CloseAll();

    const std::string path_;
    const bool compress_;
    std::string writtenPath_;
    int replacedMode_ = -1;

    mutable std::mutex shapeMutex_;  // guards shape_ and shapeFixed_
    mutable interchange::PixelLayout shape_;
    mutable bool shapeFixed_ = false;

    interchange::PixelLayout layout_;  // the shape of the dataset, once made (writer thread)
    hid_t file_ = -1, data_ = -1, numbers_ = -1, events_ = -1, times_ = -1;
    // The library's state of the file could not be written: the file holds framesFlushed_ frames and
    // is released through Abandon.
    std::atomic<bool> broken_{false};
    int flushError_ = 0;  // of a periodic flush that failed (-1: no system reason), reported by the next frame
    std::atomic<uint64_t> frames_{0}, bytes_{0};
    std::atomic<uint64_t> framesFlushed_{0};
    std::chrono::steady_clock::time_point flushed_ = std::chrono::steady_clock::now();
};

// The system's reason for error, or the library's failure when it left none (-1 or 0).
std::string ReasonOf(int error) { return error > 0 ? SystemReason(error) : "the HDF5 library failed"; }

// errno after a failed library call, -1 when it left none.
int LastError() { return errno != 0 ? errno : -1; }

bool Hdf5Sink::Open(bool replace, int& code, std::string& message) {
    SilenceHdf5();
    // Claims the name (or a hidden one beside the file it replaces) the way every output of a recording
    // does; the HDF5 library then writes the file from its start.
    std::unique_ptr<RecordFile> claimed;
    std::string reason;
    const RecordFile::Created created = RecordFile::Create(path_, replace, claimed, reason);
    if (created != RecordFile::Created::kOk) {
        code = created == RecordFile::Created::kExists ? QMV3_RECORDER_FILE_EXISTS : QMV3_RECORDER_OPEN_FAILED;
        message = _internal_filePrefix(path_.c_str()) + " could not be created (" + reason + ").";
        return false;
    }
    writtenPath_ = claimed->writtenPath();
    replacedMode_ = claimed->replacedMode();
    claimed->Release();
    Hdf5Handle access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    // Single-writer/multiple-reader mode needs the newest file format.
    errno = 0;
    if (access.ok() && H5Pset_libver_bounds(access.get(), H5F_LIBVER_LATEST, H5F_LIBVER_LATEST) >= 0) {
        file_ = H5Fcreate(writtenPath_.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access.get());
    }
    if (file_ < 0) {
        const int error = errno;
        std::remove(writtenPath_.c_str());
        code = QMV3_RECORDER_OPEN_FAILED;
        message = _internal_filePrefix(path_.c_str()) + " could not be created (" +
                  (error != 0 ? SystemReason(error) : std::string("the HDF5 library refused it")) + ").";
        return false;
    }
    return true;
}

bool Hdf5Sink::Accepts(const DIMAGE& frame, std::string& reason) const {
    interchange::PixelLayout layout;
    if (!interchange::PixelLayoutOf(frame, 1, layout, reason)) return false;
    std::lock_guard<std::mutex> lock(shapeMutex_);
    if (!shapeFixed_) {
        shape_ = layout;
        shapeFixed_ = true;
        return true;
    }
    if (layout.SameShape(shape_)) return true;
    reason = "the frame differs in size or pixel format from the first; an HDF5 dataset holds frames of one shape";
    return false;
}

bool Hdf5Sink::Prepare(const DIMAGE& frame, deflate_engine::Compressor* compressor, Block& block, int& code,
                       std::string& message) const {
    interchange::PixelLayout layout;
    if (!interchange::PixelLayoutOf(frame, 1, layout, message)) {
        code = QMV3_RECORDER_INVALID_FRAME;
        return false;
    }
    block.data = layout.pixels;
    block.length = layout.bytes();
    block.compressed = false;
    if (compressor == nullptr || !compress_) return true;
    const unsigned char* stream = nullptr;
    size_t length = 0;
    if (!compressor->Compress(layout.pixels, layout.bytes(), &stream, &length)) {
        code = QMV3_RECORDER_COMPRESSION_FAILED;
        message = _internal_filePrefix(path_.c_str()) + " compressing a frame failed.";
        return false;
    }
    if (length < layout.bytes()) {
        block.data = stream;
        block.length = length;
        block.compressed = true;
    }
    return true;
}

bool Hdf5Sink::CreateLayout(const DIMAGE& first) {
    {
        std::lock_guard<std::mutex> lock(shapeMutex_);
        layout_ = shape_;
    }
    Hdf5Handle group(interchange::Hdf5CreateNexusGroups(file_), H5Gclose);
    if (!group.ok()) return false;
    const int rank = layout_.channels == 3 ? 4 : 3;
    const hsize_t dims[4] = {0, layout_.height, layout_.width, 3};
    const hsize_t maximum[4] = {H5S_UNLIMITED, layout_.height, layout_.width, 3};
    const hsize_t chunk[4] = {1, layout_.height, layout_.width, 3};
    Hdf5Handle space(H5Screate_simple(rank, dims, maximum), H5Sclose);
    Hdf5Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    if (!space.ok() || !properties.ok() || H5Pset_chunk(properties.get(), rank, chunk) < 0 ||
        H5Pset_fill_time(properties.get(), H5D_FILL_TIME_NEVER) < 0 ||
        (compress_ && H5Pset_deflate(properties.get(), 1) < 0)) {
        return false;
    }
    const hid_t fileType = layout_.bytesPerSample == 2 ? H5T_STD_U16LE : H5T_STD_U8LE;
    data_ = H5Dcreate2(group.get(), "data", fileType, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT);
    if (data_ < 0 || !interchange::Hdf5FrameAttributes(data_, first, layout_)) return false;
    numbers_ = CreateList(group.get(), "frame_number", H5T_STD_U32LE, nullptr);
    events_ = CreateList(group.get(), "event_number", H5T_STD_U32LE, nullptr);
    times_ = CreateList(group.get(), "timestamp", H5T_IEEE_F64LE, "s");
    // Every object exists now; from here on readers may open the file while it grows. Only datasets may
    // stay open when the mode begins.
    return numbers_ >= 0 && events_ >= 0 && times_ >= 0 && group.Close() && H5Fstart_swmr_write(file_) >= 0;
}

// What the file holds, for a message.
std::string Hdf5Sink::Holding() const {
    const uint64_t frames = frames_, held = broken_ ? framesFlushed_.load() : frames;
    if (held == 0) return "no frame of the file was written";
    if (held == frames) return "the file holds the " + std::to_string(held) + " frames before it";
    return "the file holds its first " + std::to_string(held) + " frames, the last flush before it";
}

bool Hdf5Sink::Fail(int& code, std::string& message, int error) {
    code = QMV3_RECORDER_WRITE_FAILED;
    message = _internal_filePrefix(path_.c_str()) + " write error (" + ReasonOf(error) + ") at frame " +
              std::to_string(frames_ + 1) + "; " + Holding() + ".";
    return false;
}

void Hdf5Sink::UpdateSize() {
    hsize_t size = 0;
    if (H5Fget_filesize(file_, &size) >= 0) bytes_ = size;
}

// After a failed write: the datasets back to `frames` frames, flushed. Marks the file broken when that
// cannot be written either.
bool Hdf5Sink::Settle(uint64_t frames) {
    const hsize_t extent[4] = {frames, layout_.height, layout_.width, 3};
    const hsize_t listExtent = frames;
    if (broken_ || data_ < 0 || H5Dset_extent(data_, extent) < 0 || H5Dset_extent(numbers_, &listExtent) < 0 ||
        H5Dset_extent(events_, &listExtent) < 0 || H5Dset_extent(times_, &listExtent) < 0 ||
        !Flush(file_)) {
        broken_ = true;
        return false;
    }
    framesFlushed_ = frames;
    UpdateSize();
    return true;
}

bool Hdf5Sink::Append(const DIMAGE& frame, const Block& block, int& code, std::string& message) {
    SilenceHdf5();
    if (file_ < 0 || broken_) return Fail(code, message, EBADF);
    const uint64_t index = frames_;
    if (flushError_ != 0) {
        // The last flush failed: the recording stops with what the file can still be brought to.
        Settle(index);
        return Fail(code, message, flushError_);
    }
    const interchange::Hdf5Room room = interchange::Hdf5RoomAt(writtenPath_);
    const uint64_t growth = block.length + kMetadataRoom;
    if (growth > room.free) return Fail(code, message, ENOSPC);
    if (bytes_ + growth > room.sizeLimit) return Fail(code, message, EFBIG);
    errno = 0;
    if (data_ < 0 && !CreateLayout(frame)) {
        const int error = LastError();
        broken_ = true;
        return Fail(code, message, error);
    }
    const hsize_t extent[4] = {index + 1, layout_.height, layout_.width, 3};
    const hsize_t listExtent = index + 1;
    const hsize_t offset[4] = {index, 0, 0, 0};
    // A chunk left raw because deflating did not shrink it skips the filter (bit 0 of the mask).
    const uint32_t filterMask = compress_ && !block.compressed ? 1u : 0u;
    const uint32_t number = frame.frameHeader.frameNumber, event = frame.frameHeader.eventNumber;
    const double time = frame.sourceHeader.timestampSeconds + frame.sourceHeader.timestampMicroseconds * 1e-6;
    if (H5Dset_extent(data_, extent) < 0 ||
        H5Dwrite_chunk(data_, H5P_DEFAULT, filterMask, offset, static_cast<size_t>(block.length), block.data) < 0 ||
        H5Dset_extent(numbers_, &listExtent) < 0 || H5Dset_extent(events_, &listExtent) < 0 ||
        H5Dset_extent(times_, &listExtent) < 0 || !WriteElement(numbers_, index, H5T_NATIVE_UINT32, &number) ||
        !WriteElement(events_, index, H5T_NATIVE_UINT32, &event) ||
        !WriteElement(times_, index, H5T_NATIVE_DOUBLE, &time)) {
        const int error = LastError();
        Settle(index);
        return Fail(code, message, error);
    }
    ++frames_;
    UpdateSize();
    return true;
}

void Hdf5Sink::Tick() {
    if (file_ < 0 || broken_ || flushError_ != 0) return;
    const auto now = std::chrono::steady_clock::now();
    // The interval runs from the last moment the file held every frame, so the frames after a quiet
    // spell are flushed together half a second on (the ticks come four times a second), not at once.
    if (frames_ == framesFlushed_) {
        flushed_ = now;
        return;
    }
    if (now - flushed_ < kFlushInterval) return;
    SilenceHdf5();
    // Readers see the frames once they are flushed; a failure stops the recording at the next frame.
    errno = 0;
    if (H5Fflush(file_, H5F_SCOPE_LOCAL) >= 0) {
        framesFlushed_ = frames_.load();
    } else {
        flushError_ = LastError();
    }
    flushed_ = now;
    UpdateSize();
}

void Hdf5Sink::Abandon() {
    // The library's descriptor of the file now names an anonymous file in memory: whatever the close
    // still writes lands there, and the close succeeds.
    void* handle = nullptr;
    const int discard = memfd_create("qmv3-hdf5-release", MFD_CLOEXEC);
    const bool redirected = discard >= 0 && H5Fget_vfd_handle(file_, H5P_DEFAULT, &handle) >= 0 &&
                            handle != nullptr && dup2(discard, *static_cast<int*>(handle)) >= 0;
    if (discard >= 0) close(discard);
    // Writing every dirty entry also lets the cache leave the state a failed flush left it in.
    if (redirected) Flush(file_);
    for (hid_t* set : {&data_, &numbers_, &events_, &times_}) {
        if (*set >= 0 && redirected) H5Dclose(*set);
        *set = -1;
    }
    // Without the redirection the file stays open in the library rather than crash the process.
    if (redirected) H5Fclose(file_);
    file_ = -1;
}

void Hdf5Sink::CloseAll() {
    if (file_ < 0) return;
    SilenceHdf5();
    if (broken_ || !Flush(file_)) {
        broken_ = true;
        Abandon();
        return;
    }
    for (hid_t* set : {&data_, &numbers_, &events_, &times_}) {
        if (*set >= 0) H5Dclose(*set);
        *set = -1;
    }
    H5Fclose(file_);
    file_ = -1;
}

// A close whose writes fail leaves the library holding freed memory under the file's identifier, which
// crashes the process at exit; the close rewrites the superblock at the file's start. So before closing,
// that block is written back as it stands: where even that fails, the file is released as a failed one
// (it keeps every frame of the final flush) rather than closed.
bool Hdf5Sink::CloseCanWrite(int& error) {
    void* handle = nullptr;
    if (H5Fget_vfd_handle(file_, H5P_DEFAULT, &handle) < 0 || handle == nullptr) return true;
    const int descriptor = *static_cast<int*>(handle);
    unsigned char superblock[48];
    const ssize_t length = pread(descriptor, superblock, sizeof(superblock), 0);
    if (length > 0 && pwrite(descriptor, superblock, static_cast<size_t>(length), 0) == length) return true;
    error = LastError();
    return false;
}

bool Hdf5Sink::Finish(int& code, std::string& message) {
    if (file_ < 0) return true;
    SilenceHdf5();
    const int flushError = flushError_;
    errno = 0;
    bool flushed = !broken_ && (frames_ == 0 || Flush(file_));
    int error = flushed ? flushError : LastError();
    if (flushed) framesFlushed_ = frames_.load();
    if (flushed && !CloseCanWrite(error)) flushed = false;
    if (flushed) {
        UpdateSize();
    } else {
        broken_ = true;
    }
    bool closed = false;
    if (broken_) {
        Abandon();
    } else {
        bool setsClosed = true;
        for (hid_t* set : {&data_, &numbers_, &events_, &times_}) {
            if (*set >= 0 && H5Dclose(*set) < 0) setsClosed = false;
            *set = -1;
        }
        errno = 0;
        closed = H5Fclose(file_) >= 0 && setsClosed;
        if (!closed && error == 0) error = LastError();
        file_ = -1;
    }
    std::string reason;
    if (framesFlushed_ == 0) {
        std::remove(writtenPath_.c_str());
        if (closed && error == 0) return true;
    } else if (closed && CompleteByName(writtenPath_, path_, replacedMode_, reason) && error == 0) {
        return true;
    }
    code = QMV3_RECORDER_WRITE_FAILED;
    // A recording that failed before reported it then; this is for a failure at the end.
    message = _internal_filePrefix(path_.c_str()) + " could not be completed (" +
              (!reason.empty() ? reason : ReasonOf(error)) + "); " + Holding() + ".";
    return false;
}

}  // namespace

std::unique_ptr<Sink> OpenHdf5Sink(const std::string& path, bool compress, bool replace, int& code,
                                   std::string& message) {
    auto sink = std::make_unique<Hdf5Sink>(path, compress);
    if (!sink->Open(replace, code, message)) return nullptr;
    return sink;
}

}  // namespace recorder
