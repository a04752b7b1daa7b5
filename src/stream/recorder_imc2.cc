// The recorder's IMC2/BKC2 output: split files of at most `split` images, each appended image by image
// (an image's header, sets and pixel block in one write, so a file never holds half an image's header
// once the write returned). The image count in the file header is the one field written again: a helper
// thread syncs the file to the disk every 250 ms and then sets the count to the images that were
// complete before the sync, so the count never names an image that a power cut could take away, and a
// file of a killed recording loads up to an image at most a second old. Completing a file writes the
// final count and syncs it.
//
// Thread rules: the Sink calls run on the recorder's writer thread; the syncer thread touches only the
// file under syncMutex_ and the atomics.
#include "stream/recorder_imc2.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "image/image_checks.h"
#include "files/imc2_format.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "stream/recorder_file.h"

namespace recorder {

namespace {

constexpr auto kSyncInterval = std::chrono::milliseconds(250);
// The file header and at most every global set; an image's header and at most every per-image set.
constexpr size_t kStartBytes = imc2::kFileHeaderSize + imc2::kMaxGlobalMetadataSets * imc2::kMetadataSetSize;
constexpr size_t kImageHeadBytes = imc2::kImageHeaderSize + imc2::kMaxImageMetadataSets * imc2::kMetadataSetSize;

// Runs a writer of the file format over a memory buffer; the bytes written, or 0. The buffer has a byte
// more than the longest section, for the NUL a memory stream puts after what it holds.
template <typename WriteSection>
size_t Compose(std::vector<unsigned char>& buffer, WriteSection write) {
    FILE* stream = fmemopen(buffer.data(), buffer.size(), "wb");
    if (stream == nullptr) return 0;
    const bool written = write(stream);
    const long length = std::ftell(stream);
    std::fclose(stream);
    return written && length > 0 ? static_cast<size_t>(length) : 0;
}

class Imc2Sink : public Sink {
  public:
    Imc2Sink(std::string path, unsigned int split, bool replace)
        : path_(std::move(path)), split_(split), replace_(replace), start_(kStartBytes + 1), head_(kImageHeadBytes + 1) {}
    ~Imc2Sink() override { StopSyncer(); }

    bool Open(int& code, std::string& message) {
        if (!OpenFile(1, code, message)) return false;
        syncer_ = std::thread([this] { SyncLoop(); });
        return true;
    }

    bool Accepts(const DIMAGE& frame, std::string& reason) const override {
        if (static_cast<uint32_t>(frame.frameHeader.imageFormat) > 1) {
            reason = "an IMC2/BKC2 file holds GRAY and RGB frames only";
            return false;
        }
        return true;
    }

    bool Prepare(const DIMAGE& frame, deflate_engine::Compressor* compressor, Block& block, int& code,
                 std::string& message) const override {
        if (!_internal_imc2_pixel_block(compressor, frame, path_.c_str(), 0, &block.data, &block.length, code,
                                        message)) {
            return false;
        }
        block.compressed = block.length < static_cast<uint64_t>(frame.frameHeader.appendedFrameSize);
        return true;
    }

    bool Append(const DIMAGE& frame, const Block& block, int& code, std::string& message) override;
    void Tick() override {}
    bool Finish(int& code, std::string& message) override {
        StopSyncer();
        return CompleteFile(code, message);
    }
    std::string FileName(unsigned int index) const override {
        return SplitName(path_, index == 0 ? fileIndex_.load() : index);
    }
    SinkCounters Counters() const override { return {files_.load(), bytes_.load(), fileBytes_.load()}; }

  private:
    bool OpenFile(unsigned int index, int& code, std::string& message);
    bool CompleteFile(int& code, std::string& message);
    bool WriteCount(uint32_t count, std::string& reason);
    void SyncLoop();
    void StopSyncer();

    const std::string path_;
    const unsigned int split_;
    const bool replace_;
    std::vector<unsigned char> start_, head_, countSet_ = std::vector<unsigned char>(imc2::kMetadataSetSize + 1);
    DIMAGE first_{};        // the header the file's images share
    uint32_t images_ = 0;   // complete images in the file

    std::atomic<unsigned int> fileIndex_{0};
    std::atomic<uint64_t> files_{0}, bytes_{0}, fileBytes_{0};
    std::atomic<uint32_t> imagesDone_{0};  // images of the current file, for the syncer

    // Guards file_ and countInHeader_ against the syncer.
    std::mutex syncMutex_;
    std::unique_ptr<RecordFile> file_;
    uint32_t countInHeader_ = 0;
    std::condition_variable syncWake_;
    bool stopSyncer_ = false;
    std::thread syncer_;
};

bool Imc2Sink::OpenFile(unsigned int index, int& code, std::string& message) {
    const std::string name = SplitName(path_, index);
    std::unique_ptr<RecordFile> file;
    std::string reason;
    const RecordFile::Created created = RecordFile::Create(name, replace_, file, reason);
    if (created != RecordFile::Created::kOk) {
        code = created == RecordFile::Created::kExists ? QMV3_RECORDER_FILE_EXISTS : QMV3_RECORDER_OPEN_FAILED;
        message = _internal_filePrefix(name.c_str()) + " could not be created (" + reason + ").";
        return false;
    }
    file->WriteDirectly();
    std::lock_guard<std::mutex> lock(syncMutex_);
    file_ = std::move(file);
    countInHeader_ = 0;
    images_ = 0;
    imagesDone_ = 0;
    fileBytes_ = 0;
    fileIndex_ = index;
    return true;
}

bool Imc2Sink::WriteCount(uint32_t count, std::string& reason) {
    // number_of_images is the first global set, right after the file header.
    const size_t length = Compose(countSet_, [&](FILE* stream) {
        return _internal_write_metadata_set_to_file(stream, "number_of_images", static_cast<unsigned>(count)) == 0;
    });
    if (length != imc2::kMetadataSetSize) {
        reason = "the image count could not be composed";
        return false;
    }
    return file_->WriteAt(imc2::kFileHeaderSize, countSet_.data(), length, reason);
}

bool Imc2Sink::CompleteFile(int& code, std::string& message) {
    std::unique_ptr<RecordFile> file;
    std::string reason;
    bool counted = true;
    {
        std::lock_guard<std::mutex> lock(syncMutex_);
        if (file_ != nullptr && images_ > 0 && countInHeader_ != images_) counted = WriteCount(images_, reason);
        file = std::move(file_);
    }
    if (file == nullptr) return true;
    if (images_ == 0) {
        file->Discard();
        return true;
    }
    if (counted && file->Complete(reason)) return true;
    code = QMV3_RECORDER_WRITE_FAILED;
    message = _internal_filePrefix(file->path().c_str()) + " could not be completed (" + reason + ").";
    return false;
}

bool Imc2Sink::Append(const DIMAGE& frame, const Block& block, int& code, std::string& message) {
    if (file_ != nullptr && images_ > 0 && (images_ >= split_ || !_internal_qmcompareTwoValidImages(first_, frame))) {
        if (!CompleteFile(code, message)) return false;
    }
    if (file_ == nullptr && !OpenFile(fileIndex_ + 1, code, message)) return false;
    const std::string& name = file_->path();
    iovec parts[3];
    int count = 0;
    if (images_ == 0) {
        // Until the syncer counts it, the header claims the first image, the least a reader accepts.
        const size_t length =
            Compose(start_, [&](FILE* stream) { return _internal_write_imc2_start(stream, name.c_str(), frame, 1, code, message); });
        if (length == 0) return false;
        parts[count++] = {start_.data(), length};
        first_ = frame;
        first_.frameBuffer = nullptr;
    }
    const uint32_t k = images_ + 1;
    const size_t headLength = Compose(head_, [&](FILE* stream) {
        return _internal_write_imc2_image_head(stream, name.c_str(), frame, block.length, k, 0, code, message);
    });
    if (headLength == 0) return false;
    parts[count++] = {head_.data(), headLength};
    parts[count++] = {const_cast<unsigned char*>(block.data), static_cast<size_t>(block.length)};
    const uint64_t before = file_->size();
    std::string reason;
    if (!file_->Append(parts, count, reason)) {
        code = QMV3_RECORDER_WRITE_FAILED;
        message = _internal_filePrefix(name.c_str()) + " write error (" + reason + ") at image " + std::to_string(k) +
                  (images_ > 0 ? "; the file holds the " + std::to_string(images_) + " images before it."
                               : "; no image of the file was written.");
        int ignored = 0;
        std::string unused;
        CompleteFile(ignored, unused);
        return false;
    }
    ++images_;
    imagesDone_ = images_;
    if (images_ == 1) ++files_;
    bytes_ += file_->size() - before;
    fileBytes_ = file_->size();
    return true;
}

void Imc2Sink::SyncLoop() {
    std::unique_lock<std::mutex> lock(syncMutex_);
    while (!stopSyncer_) {
        syncWake_.wait_for(lock, kSyncInterval);
        const uint32_t done = imagesDone_;
        if (file_ == nullptr || done <= countInHeader_) continue;
        std::string reason;
        // A failing sync or count leaves the count as it was; the writer reports the disk's failures.
        if (file_->Sync(reason) && WriteCount(done, reason)) countInHeader_ = done;
    }
}

void Imc2Sink::StopSyncer() {
    {
        std::lock_guard<std::mutex> lock(syncMutex_);
        stopSyncer_ = true;
    }
    syncWake_.notify_all();
    if (syncer_.joinable()) syncer_.join();
}

}  // namespace

std::unique_ptr<Sink> OpenImc2Sink(const std::string& path, unsigned int split, bool replace, int& code,
                                   std::string& message) {
    auto sink = std::make_unique<Imc2Sink>(path, split, replace);
    if (!sink->Open(code, message)) return nullptr;
    return sink;
}

}  // namespace recorder
