// A stream recorded to the end: the loop every face runs (the tool's record command, Python's record),
// kept once here with its rules: which conditions end the run, that a stop by time or interrupt still
// writes what the stream had queued, and how the stream's and the recorder's counts add up.
#include <chrono>
#include <cstring>

#include "qmv3/qmv3.h"
#include "util/c_boundary.h"

namespace {

QMV3_RECORD_PROGRESS CountsOf(QMV3_STREAM* stream, QMV3_RECORDER* recorder, double seconds) {
    QMV3_STREAM_STATISTICS streamed{};
    streamed.size = sizeof(streamed);
    qmStreamGetStatistics(stream, &streamed);
    QMV3_RECORDER_STATISTICS written{};
    written.size = sizeof(written);
    qmRecorderGetStatistics(recorder, &written);
    QMV3_RECORD_PROGRESS progress{};
    progress.size = sizeof(progress);
    progress.queued = streamed.queued + written.queued;
    progress.queueFrames = streamed.queueLength + written.queueFrames;
    progress.linkLosses = static_cast<unsigned int>(streamed.linkLosses);
    progress.seconds = seconds;
    // A frame the stream dropped for want of room, or the recorder refused, was received all the same
    // and is lost to the files.
    progress.received = written.received + written.rejected + streamed.droppedQueueFull;
    progress.written = written.written;
    progress.dropped = streamed.droppedQueueFull + written.dropped + written.lost + written.rejected;
    progress.gaps = streamed.gaps;
    progress.files = written.files;
    progress.bytes = written.bytes;
    progress.fileBytes = written.fileBytes;
    return progress;
}

bool Interrupted(const volatile int* interrupt) { return interrupt != nullptr && *interrupt == 1; }

// One frame from the stream to the recorder; the recorder's failure code, or QMV3_RECORDER_OK.
int Hand(QMV3_STREAM* stream, QMV3_RECORDER* recorder, DIMAGE* frame) {
    const int written = qmRecorderWrite(recorder, frame);
    qmStreamRelease(stream, frame);
    const bool goesOn =
        written == QMV3_RECORDER_OK || written == QMV3_RECORDER_DROPPED || written == QMV3_RECORDER_INVALID_FRAME;
    return goesOn ? QMV3_RECORDER_OK : written;
}

int Record(QMV3_RECORDER* recorder, QMV3_STREAM* stream, unsigned long long frames, unsigned long long milliseconds,
           volatile int* interrupt, QMV3_RECORD_CALLBACK callback, void* context, QMV3_RECORD_PROGRESS* result) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto reported = start;
    auto secondsSince = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    int code = QMV3_RECORDER_OK;
    unsigned long long taken = 0;
    for (;;) {
        if (Interrupted(interrupt)) {
            code = QMV3_RECORDER_INTERRUPTED;
            break;
        }
        if ((frames != 0 && taken >= frames) || (milliseconds != 0 && secondsSince() * 1000 >= milliseconds)) break;
        if (callback != nullptr && Clock::now() - reported >= std::chrono::milliseconds(500)) {
            const QMV3_RECORD_PROGRESS progress = CountsOf(stream, recorder, secondsSince());
            callback(&progress, context);
            reported = Clock::now();
        }
        DIMAGE* frame = nullptr;
        const int next = qmStreamNext(stream, 100, &frame);
        if (next == QMV3_STREAM_TIMEOUT || next == QMV3_STREAM_LINK_LOST) continue;
        if (next != QMV3_STREAM_OK) {
            code = QMV3_RECORDER_STREAM_ENDED;
            break;
        }
        code = Hand(stream, recorder, frame);
        if (code != QMV3_RECORDER_OK) break;
        ++taken;
    }
    // A stop by time or interrupt writes what the stream had queued by then; a count reached does not
    // want more.
    if (code == QMV3_RECORDER_INTERRUPTED || (code == QMV3_RECORDER_OK && frames == 0)) {
        QMV3_STREAM_STATISTICS streamed{};
        streamed.size = sizeof(streamed);
        qmStreamGetStatistics(stream, &streamed);
        for (unsigned int queued = streamed.queued; queued > 0; --queued) {
            DIMAGE* frame = nullptr;
            if (qmStreamNext(stream, 0, &frame) != QMV3_STREAM_OK) break;
            const int handed = Hand(stream, recorder, frame);
            if (handed != QMV3_RECORDER_OK) {
                code = handed;
                break;
            }
        }
    }
    const int finished = qmRecorderFinish(recorder, nullptr, 0);
    if (code == QMV3_RECORDER_OK || code == QMV3_RECORDER_INTERRUPTED) {
        if (finished != QMV3_RECORDER_OK) code = finished;
    }
    if (result != nullptr && result->size >= sizeof(unsigned int)) {
        QMV3_RECORD_PROGRESS counts = CountsOf(stream, recorder, secondsSince());
        const unsigned int size = result->size;
        counts.size = size;
        std::memcpy(result, &counts, size < sizeof(counts) ? size : sizeof(counts));
    }
    return code;
}

}  // namespace

int qmRecordStream(QMV3_RECORDER* recorder, QMV3_STREAM* stream, unsigned long long frames,
                   unsigned long long milliseconds, volatile int* interrupt, QMV3_RECORD_CALLBACK callback,
                   void* context, QMV3_RECORD_PROGRESS* result) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (recorder == nullptr || stream == nullptr) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        return Record(recorder, stream, frames, milliseconds, interrupt, callback, context, result);
    });
}
