// The recorder's queue and threads: see recorder.h.
#include "stream/recorder.h"

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "image/image_checks.h"
#include "util/frame_memory.h"

namespace recorder {

struct Recorder::Slot {
    explicit Slot(const Settings& settings)
        : compressor(settings.compress ? std::make_unique<deflate_engine::Compressor>(settings.engine, settings.level)
                                       : nullptr) {}
    ~Slot() { std::free(pixels); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    State state = State::kFree;
    uint64_t sequence = 0;
    DIMAGE frame{};  // frameBuffer points at pixels
    unsigned char* pixels = nullptr;
    size_t capacity = 0;
    std::unique_ptr<deflate_engine::Compressor> compressor;
    Block block;
    int code = QMV3_RECORDER_OK;  // of a failed compression
    std::string message;
};

Recorder::Recorder(std::unique_ptr<Sink> sink, const Settings& settings) : sink_(std::move(sink)), settings_(settings) {
    for (unsigned int i = 0; i < settings_.queue; ++i) slots_.push_back(std::make_unique<Slot>(settings_));
    try {
        writer_ = std::thread([this] { WriteInOrder(); });
        for (unsigned int i = 0; i < settings_.workers; ++i) workers_.emplace_back([this] { Work(); });
    } catch (...) {
        Close();
        throw;
    }
}

Recorder::~Recorder() { Close(); }

void Recorder::Fail(int code, const std::string& message) {
    if (failure_ != QMV3_RECORDER_OK) return;
    failure_ = code;
    failureMessage_ = message;
}

bool Recorder::Fill(Slot& slot, const DIMAGE& frame) {
    const size_t bytes = static_cast<size_t>(frame.frameHeader.appendedFrameSize);
    if (bytes > slot.capacity) {
        // The first frames, or a larger frame than before: the only allocation of a running recorder.
        auto* grown = static_cast<unsigned char*>(frame_memory::AllocateFrame(bytes));
        if (grown == nullptr) return false;
        std::free(slot.pixels);
        slot.pixels = grown;
        slot.capacity = bytes;
    }
    std::memcpy(slot.pixels, frame.frameBuffer, bytes);
    slot.frame = frame;
    slot.frame.frameBuffer = slot.pixels;
    slot.frame.frameBufferSize = static_cast<uint32_t>(bytes);
    return true;
}

int Recorder::Write(const DIMAGE& frame) {
    std::string reason;
    if (frame.frameBuffer == nullptr || frame.frameHeader.appendedFrameSize <= 0 ||
        !_internal_qmCheckImageValidity(frame) || !sink_->Accepts(frame, reason)) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++rejected_;
        return QMV3_RECORDER_INVALID_FRAME;
    }
    Slot* slot = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (failure_ != QMV3_RECORDER_OK) return failure_;
            if (stopping_) return QMV3_RECORDER_PARAMETER_ERROR;
            for (auto& candidate : slots_) {
                if (candidate->state == State::kFree) {
                    slot = candidate.get();
                    break;
                }
            }
            if (slot != nullptr || settings_.dropWhenFull) break;
            room_.wait(lock);
        }
        ++received_;
        const uint32_t number = frame.frameHeader.frameNumber;
        if (lastFrameNumber_ != 0 && number > lastFrameNumber_ + 1) gaps_ += number - lastFrameNumber_ - 1;
        if (number != 0) lastFrameNumber_ = number;
        if (slot == nullptr) {
            ++dropped_;
            return QMV3_RECORDER_DROPPED;
        }
        slot->state = State::kFilling;
    }
    const bool filled = Fill(*slot, frame);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!filled) {
        slot->state = State::kFree;
        ++dropped_;
        return QMV3_RECORDER_OUT_OF_MEMORY;
    }
    slot->sequence = nextSequence_++;
    slot->state = State::kQueued;
    ++queued_;
    if (queued_ > queueHighWater_) queueHighWater_ = queued_;
    work_.notify_one();
    return QMV3_RECORDER_OK;
}

void Recorder::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Slot* slot = nullptr;
        work_.wait(lock, [&] {
            for (auto& candidate : slots_) {
                // The oldest queued frame first, so that the writer never waits behind a newer one.
                if (candidate->state == State::kQueued && (slot == nullptr || candidate->sequence < slot->sequence)) {
                    slot = candidate.get();
                }
            }
            return slot != nullptr || stopping_;
        });
        if (slot == nullptr) return;
        slot->state = State::kCompressing;
        lock.unlock();
        slot->code = QMV3_RECORDER_OK;
        if (!sink_->Prepare(slot->frame, slot->compressor.get(), slot->block, slot->code, slot->message) &&
            slot->code == QMV3_RECORDER_OK) {
            slot->code = QMV3_RECORDER_COMPRESSION_FAILED;
        }
        lock.lock();
        slot->state = State::kCompressed;
        finished_.notify_one();
    }
}

Recorder::Slot* Recorder::NextToWrite() {
    for (auto& slot : slots_) {
        if (slot->state == State::kCompressed && slot->sequence == nextToWrite_) return slot.get();
    }
    return nullptr;
}

void Recorder::WriteInOrder() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Slot* slot = NextToWrite();
        if (slot == nullptr) {
            if (stopping_ && queued_ == 0) break;
            // Woken by a compressed frame, or after a quarter of a second to let the output flush.
            finished_.wait_for(lock, std::chrono::milliseconds(250));
            lock.unlock();
            sink_->Tick();
            lock.lock();
            continue;
        }
        const bool failedBefore = failure_ != QMV3_RECORDER_OK;
        lock.unlock();
        int code = slot->code;
        std::string message = slot->message;
        bool appended = false;
        if (!failedBefore && code == QMV3_RECORDER_OK) appended = sink_->Append(slot->frame, slot->block, code, message);
        sink_->Tick();
        lock.lock();
        if (appended) {
            ++written_;
        } else {
            ++lost_;
            if (!failedBefore) Fail(code, message);
        }
        slot->state = State::kFree;
        --queued_;
        ++nextToWrite_;
        room_.notify_all();
    }
    lock.unlock();
    int code = QMV3_RECORDER_OK;
    std::string message;
    const bool finished = sink_->Finish(code, message);
    lock.lock();
    if (!finished) Fail(code, message);
    // A caller waiting for room must learn that none will come.
    room_.notify_all();
}

int Recorder::Close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return failure_;
        closed_ = true;
        stopping_ = true;
        work_.notify_all();
        finished_.notify_all();
    }
    for (auto& worker : workers_) {
        if (worker.joinable()) worker.join();
    }
    {
        // The writer waits for frames only while workers may still deliver them.
        std::lock_guard<std::mutex> lock(mutex_);
        finished_.notify_all();
    }
    if (writer_.joinable()) writer_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

void Recorder::Statistics(QMV3_RECORDER_STATISTICS& statistics) const {
    const SinkCounters counters = sink_->Counters();
    std::lock_guard<std::mutex> lock(mutex_);
    statistics.queued = queued_;
    statistics.queueFrames = static_cast<unsigned int>(slots_.size());
    statistics.queueHighWater = queueHighWater_;
    statistics.received = received_;
    statistics.written = written_ - counters.retracted;
    statistics.dropped = dropped_;
    statistics.lost = lost_ + counters.retracted;
    statistics.gaps = gaps_;
    statistics.rejected = rejected_;
    statistics.files = counters.files;
    statistics.bytes = counters.bytes;
    statistics.fileBytes = counters.fileBytes;
}

std::string Recorder::FileName(unsigned int index) const { return sink_->FileName(index); }

int Recorder::Error(std::string& message) const {
    std::lock_guard<std::mutex> lock(mutex_);
    message = failureMessage_;
    return failure_;
}

}  // namespace recorder
