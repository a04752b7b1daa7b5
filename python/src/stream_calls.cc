// Streams: a subscription that lends frames one by one. Each lent frame becomes a Bunch of one image that
// gives the frame back to the stream's pool when its last Python user (Image, pixel view) is gone. The
// wait for a frame runs without the GIL in short steps, between which Python's signal handlers run, so
// Ctrl-C ends it with KeyboardInterrupt. Stream calls are safe on any thread and so do not take the
// library lock, except the open, which reaches the library's process-wide start and checks.
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "calls.h"
#include "errors.h"
#include "library_lock.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

constexpr int kWaitStepMs = 100;

class StreamEngine {
  public:
    StreamEngine(const std::string& address, const std::string& property, int rateMs, int mode, unsigned queue,
                 bool keepOldest, bool decompress) {
        QMV3_STREAM_OPTIONS options{};
        options.size = sizeof options;
        options.rateMilliseconds = rateMs;
        options.mode = mode;
        options.queueLength = queue;
        options.policy = keepOldest ? QMV3_STREAM_KEEP_OLDEST : QMV3_STREAM_KEEP_NEWEST;
        options.decompress = decompress ? 1 : 0;
        int result = 0, zantCode = 0;
        {
            LibraryLock lock;
            py::gil_scoped_release unlocked;
            result = qmStreamOpen(&handle_, address.c_str(), property.c_str(), &options, &zantCode);
        }
        if (result == QMV3_STREAM_OK) return;
        std::string message = "stream of " + address + " " + property + ": ";
        switch (result) {
            case QMV3_STREAM_REFUSED:
                message += "refused (invalid address, property name or option)";
                break;
            case QMV3_STREAM_OUT_OF_MEMORY:
                message += "out of memory for the frame pool";
                break;
            default:
                message += "the subscription failed";
                if (const std::string text = ZantCodeText(zantCode); !text.empty()) message += " (" + text + ")";
        }
        RaiseGrabError(result, zantCode, message, py::none());
    }
    ~StreamEngine() { Close(); }
    StreamEngine(const StreamEngine&) = delete;
    StreamEngine& operator=(const StreamEngine&) = delete;

    // (result, Bunch or None): QMV3_STREAM_OK with the frame, QMV3_STREAM_TIMEOUT (also while the link is
    // lost: the loss is in the statistics), or QMV3_STREAM_CLOSED. timeoutMs < 0 waits for ever.
    py::tuple Next(long timeoutMs) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            long step = kWaitStepMs;
            if (timeoutMs >= 0) {
                const long elapsed = static_cast<long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                        .count());
                step = std::max(0L, std::min<long>(kWaitStepMs, timeoutMs - elapsed));
            }
            DIMAGE* frame = nullptr;
            int result = 0;
            {
                py::gil_scoped_release unlocked;
                result = qmStreamNext(handle_, static_cast<int>(step), &frame);
            }
            if (result == QMV3_STREAM_OK) {
                QMV3_STREAM* handle = handle_;
                auto bunch = std::make_shared<Bunch>(frame, [handle, frame] { qmStreamRelease(handle, frame); });
                return py::make_tuple(result, bunch);
            }
            if (result == QMV3_STREAM_CLOSED || result == QMV3_STREAM_REFUSED)
                return py::make_tuple(result, py::none());
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
            if (timeoutMs >= 0 && step < kWaitStepMs)
                return py::make_tuple(static_cast<int>(QMV3_STREAM_TIMEOUT), py::none());
        }
    }

    py::dict Stats() {
        QMV3_STREAM_STATISTICS s{};
        s.size = sizeof s;
        if (qmStreamGetStatistics(handle_, &s) != QMV3_STREAM_OK)
            RaiseGrabError(QMV3_STREAM_CLOSED, 0, "the stream is closed", py::none());
        py::dict stats;
        stats["delivered"] = s.delivered;
        stats["handed_out"] = s.handedOut;
        stats["dropped_queue_full"] = s.droppedQueueFull;
        stats["gaps"] = s.gaps;
        stats["repeats"] = s.repeats;
        stats["queue_high_water"] = s.queueHighWater;
        stats["link_losses"] = s.linkLosses;
        stats["resubscriptions"] = s.resubscriptions;
        stats["queued"] = s.queued;
        stats["queue_length"] = s.queueLength;
        stats["last_frame_number"] = s.lastFrameNumber;
        stats["last_zant_code"] = s.lastZantCode;
        stats["link_up"] = s.linkUp != 0;
        return stats;
    }

    // Frames still lent stay valid until their Bunch is gone.
    void Close() {
        if (handle_ == nullptr) return;
        py::gil_scoped_release unlocked;
        qmStreamClose(handle_);
    }

  private:
    QMV3_STREAM* handle_ = nullptr;
};

// An independent copy of a lent frame: a Bunch of one image with its own malloc buffer.
BunchPtr CopyFrame(Bunch& source) {
    const DIMAGE& image = source.at(0);
    auto copy = std::make_shared<Bunch>();
    QMBUNCHOFIMAGES* images = copy->get();
    images->imageArray = static_cast<DIMAGE*>(std::calloc(1, sizeof(DIMAGE)));
    if (images->imageArray == nullptr) throw std::bad_alloc();
    images->numFrames = 1;
    DIMAGE& record = images->imageArray[0];
    record = image;
    record.frameBuffer = nullptr;
    record.frameBufferSize = 0;
    if (image.frameBufferSize > 0) {
        record.frameBuffer = static_cast<unsigned char*>(std::malloc(image.frameBufferSize));
        if (record.frameBuffer == nullptr) throw std::bad_alloc();
        std::memcpy(record.frameBuffer, image.frameBuffer, image.frameBufferSize);
        record.frameBufferSize = image.frameBufferSize;
    }
    return copy;
}

}  // namespace

void RegisterStreamCalls(py::module_& module) {
    py::class_<StreamEngine, std::shared_ptr<StreamEngine>>(module, "StreamEngine",
                                                            "A stream of frames lent from a pool (qmStream*).")
        .def(py::init<const std::string&, const std::string&, int, int, unsigned, bool, bool>())
        .def("next", &StreamEngine::Next, "(result, Bunch or None) of the next frame within timeout_ms.")
        .def("stats", &StreamEngine::Stats, "The stream's counts as a dict.")
        .def("close", &StreamEngine::Close, "Ends the subscription; lent frames stay valid until dropped.");
    module.def("copy_frame", &CopyFrame, "An independent Bunch holding a copy of the first image.");
}

}  // namespace qmv3py
