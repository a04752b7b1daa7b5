// The recorder: frames to files as they arrive, in bounded memory. The caller's thread copies each frame
// into a free buffer of a fixed queue; worker threads compress the buffers (each buffer has its own
// compressor, so a worker never waits for the disk); one writer thread hands the compressed frames, in
// the order received, to the output (a Sink), then frees the buffer. Nothing is allocated per frame once
// every buffer has held the largest frame.
//
// Thread rules: Write and Close belong to one caller thread at a time; Statistics, FileName and Error
// may be called from any thread. Apart from Prepare (worker threads) every Sink call runs on the writer
// thread, so an output needs no lock but for what it shares with helper threads of its own.
#ifndef QMV3_STREAM_RECORDER_H
#define QMV3_STREAM_RECORDER_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qmv3/qmv3.h"
#include "util/deflate_engine.h"

namespace recorder {

// A frame's pixel block as a worker made it: a zlib stream when compressed, else frame bytes. data
// points into the buffer's compressor or frame bytes, valid until the frame is appended.
struct Block {
    const unsigned char* data = nullptr;
    uint64_t length = 0;
    bool compressed = false;
};

// What an output counts for the statistics.
struct SinkCounters {
    uint64_t files = 0;      // files holding at least one frame
    uint64_t bytes = 0;      // bytes in all of them
    uint64_t fileBytes = 0;  // bytes of the file being written
    uint64_t retracted = 0;  // frames appended that a failure later took out of the file again
};

// One output kind.
class Sink {
  public:
    virtual ~Sink() = default;
    // False with a reason for a frame this output can never hold (the caller's thread).
    virtual bool Accepts(const DIMAGE& frame, std::string& reason) const = 0;
    // The pixel block of a frame, compressed by compressor unless it is null (worker threads, any number
    // at once, each with its own compressor). False with code and message.
    virtual bool Prepare(const DIMAGE& frame, deflate_engine::Compressor* compressor, Block& block, int& code,
                         std::string& message) const = 0;
    // Appends one frame; false with code and message when the output failed (what it holds stays).
    virtual bool Append(const DIMAGE& frame, const Block& block, int& code, std::string& message) = 0;
    // Runs at least four times a second while the recorder is open, for flushing.
    virtual void Tick() = 0;
    // Completes every file; false with code and message when one could not be completed.
    virtual bool Finish(int& code, std::string& message) = 0;
    // The name of file `index` (1 is the first) or, for 0, of the file being written or written last.
    virtual std::string FileName(unsigned int index) const = 0;
    // Any thread.
    virtual SinkCounters Counters() const = 0;
};

struct Settings {
    deflate_engine::Engine engine = deflate_engine::Engine::kLibdeflate;
    int level = deflate_engine::kDefaultFastLevel;
    bool compress = true;
    bool dropWhenFull = false;
    unsigned int workers = 1;
    unsigned int queue = 3;
};

class Recorder {
  public:
    // Starts the workers and the writer; throws std::system_error or std::bad_alloc when it cannot.
    Recorder(std::unique_ptr<Sink> sink, const Settings& settings);
    ~Recorder();  // closes when Close was not called
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // QMV3_RECORDER_OK, QMV3_RECORDER_DROPPED, or a failure code (the recording's own once it failed).
    int Write(const DIMAGE& frame);
    // Writes what is queued, completes the files and joins the threads; the code of the first failure.
    int Close();
    void Statistics(QMV3_RECORDER_STATISTICS& statistics) const;
    std::string FileName(unsigned int index) const;
    // The first failure's code (QMV3_RECORDER_OK when none) and message.
    int Error(std::string& message) const;

  private:
    enum class State { kFree, kFilling, kQueued, kCompressing, kCompressed };
    struct Slot;

    void Work();
    void WriteInOrder();
    bool Fill(Slot& slot, const DIMAGE& frame);
    Slot* NextToWrite();
    void Fail(int code, const std::string& message);  // with mutex_ held

    std::unique_ptr<Sink> sink_;
    Settings settings_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<std::thread> workers_;
    std::thread writer_;

    // Guards every member below and the slots' states.
    mutable std::mutex mutex_;
    std::condition_variable room_;      // a slot became free
    std::condition_variable work_;      // a slot was queued, or the recorder is stopping
    std::condition_variable finished_;  // a slot was compressed, or the recorder is stopping
    bool stopping_ = false;
    bool closed_ = false;
    uint64_t nextSequence_ = 0;
    uint64_t nextToWrite_ = 0;
    int failure_ = QMV3_RECORDER_OK;
    std::string failureMessage_;
    uint64_t received_ = 0, written_ = 0, dropped_ = 0, lost_ = 0, gaps_ = 0, rejected_ = 0;
    uint32_t lastFrameNumber_ = 0;
    unsigned int queued_ = 0, queueHighWater_ = 0;
};

}  // namespace recorder

#endif
