// "qmv3 watch": opens a stream of a camera and prints one line a second while frames arrive (rate,
// throughput, queue fill, drops, gaps, the last frame's number and its mean and maximum value), then a
// summary. The quickest way to see that a camera is alive: the exit status is 1 when no frame came.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "interrupt.h"
#include "qmv3/qmv3.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"address", 'a', true},
    {"property", 'p', true},
    {"rate", 'r', true},
    {"duration", 't', true},
};

using Clock = std::chrono::steady_clock;

// Mean and maximum of the last frame's samples, copied out by the library (which also decodes JPEG).
struct FrameSummary {
    double mean = 0.0;
    unsigned maximum = 0;
    bool valid = false;
};

FrameSummary Summarise(const DIMAGE& frame, std::vector<unsigned char>& scratch) {
    FrameSummary summary;
    const uint64_t needed =
        static_cast<uint64_t>(frame.frameHeader.sourceWidth > 0 ? frame.frameHeader.sourceWidth : 0) *
        static_cast<uint64_t>(frame.frameHeader.sourceHeight > 0 ? frame.frameHeader.sourceHeight : 0) * 3u *
        2u;  // room for any layout the copy gives
    if (needed == 0 || needed > QMV3_MAX_TRANSPORT_SIZE * 2ull) return summary;
    if (scratch.size() < needed) scratch.resize(needed);
    int size = static_cast<int>(scratch.size());
    unsigned width = 0, height = 0;
    int colourType = 0, bytesPerPixel = 0, bits = 0;
    if (qmGetFrameFromDIMAGE(scratch.data(), &size, &frame, &width, &height, &colourType, &bytesPerPixel, &bits,
                             nullptr) != QMV3_FRAME_COPY_OK)
        return summary;
    const bool wide = colourType == QMV3_COLOUR_TYPE_GRAY16;
    const size_t samples = static_cast<size_t>(size > 0 ? size : 0) / (wide ? 2 : 1);
    if (samples == 0) return summary;
    double sum = 0.0;
    for (size_t i = 0; i < samples; ++i) {
        const unsigned value = wide ? static_cast<unsigned>(scratch[2 * i] | scratch[2 * i + 1] << 8) : scratch[i];
        sum += value;
        if (value > summary.maximum) summary.maximum = value;
    }
    summary.mean = sum / static_cast<double>(samples);
    summary.valid = true;
    return summary;
}

QMV3_STREAM_STATISTICS Statistics(QMV3_STREAM* stream) {
    QMV3_STREAM_STATISTICS statistics{};
    statistics.size = sizeof statistics;
    qmStreamGetStatistics(stream, &statistics);
    return statistics;
}

int Run(const Arguments& arguments) {
    const Command& command = kWatchCommand;
    std::string address = "/SIM/CAMSERVER/CAM0", property = "Frame";
    if (const char* value = arguments.Value("address")) address = value;
    if (const char* value = arguments.Value("property")) property = value;
    QMV3_STREAM_OPTIONS options{};
    options.size = sizeof options;
    options.decompress = 1;
    long number = 0;
    if (const char* rate = arguments.Value("rate")) {
        if (!ParseNumber(rate, 1, 3600000, number))
            return UsageError(command, "--rate needs milliseconds from 1 to 3600000, not '%s'", rate);
        options.rateMilliseconds = static_cast<int>(number);
    }
    long durationSeconds = -1;
    if (const char* duration = arguments.Value("duration")) {
        if (!ParseNumber(duration, 1, 31L * 24 * 3600, durationSeconds))
            return UsageError(command, "--duration needs seconds from 1 to 2678400, not '%s'", duration);
    }
    QMV3_STREAM* stream = nullptr;
    int zantCode = 0;
    const int opened = qmStreamOpen(&stream, address.c_str(), property.c_str(), &options, &zantCode);
    if (opened != QMV3_STREAM_OK) {
        char text[128] = "";
        size_t size = sizeof text;
        if (opened == QMV3_STREAM_SUBSCRIPTION_FAILED && qmZantCodeToString(zantCode, text, &size) == 1)
            return Failure(command, "cannot subscribe to \"%s\" \"%s\": %s (code %d)", address.c_str(),
                           property.c_str(), text, zantCode);
        return Failure(command, "cannot open a stream of \"%s\" \"%s\" (result %d; see the log)", address.c_str(),
                       property.c_str(), opened);
    }
    std::printf("watching \"%s\" \"%s\"%s\n", address.c_str(), property.c_str(),
                durationSeconds > 0 ? "" : " until Ctrl-C");
    std::fflush(stdout);

    InterruptScope interrupt;
    std::vector<unsigned char> scratch;
    const Clock::time_point start = Clock::now();
    Clock::time_point lineStart = start;
    unsigned long long lineFrames = 0, lineBytes = 0, totalBytes = 0;
    int second = 0;
    bool lostReported = false;
    DIMAGE* frame = nullptr;
    while (!interrupt.Interrupted()) {
        const Clock::time_point now = Clock::now();
        if (durationSeconds > 0 && now - start >= std::chrono::seconds(durationSeconds)) break;
        const int result = qmStreamNext(stream, 100, &frame);
        if (result == QMV3_STREAM_OK) {
            ++lineFrames;
            lineBytes += frame->frameHeader.appendedFrameSize > 0 ? frame->frameHeader.appendedFrameSize : 0;
            lostReported = false;
        } else if (result == QMV3_STREAM_LINK_LOST && !lostReported) {
            std::printf("link lost; resubscribing\n");
            std::fflush(stdout);
            lostReported = true;
        } else if (result != QMV3_STREAM_TIMEOUT && result != QMV3_STREAM_LINK_LOST) {
            break;
        }
        const Clock::time_point after = Clock::now();
        if (after - lineStart >= std::chrono::seconds(1)) {
            const double seconds = std::chrono::duration<double>(after - lineStart).count();
            const QMV3_STREAM_STATISTICS s = Statistics(stream);
            std::printf("%4ds %7.1f frames/s %8.2f MB/s  queue %u/%u  dropped %llu  gaps %llu  frame %u", ++second,
                        static_cast<double>(lineFrames) / seconds, static_cast<double>(lineBytes) / seconds / 1e6,
                        s.queued, s.queueLength, s.droppedQueueFull, s.gaps, s.lastFrameNumber);
            const FrameSummary summary = frame != nullptr ? Summarise(*frame, scratch) : FrameSummary();
            if (summary.valid) std::printf("  mean %.1f  max %u", summary.mean, summary.maximum);
            std::printf("\n");
            std::fflush(stdout);
            totalBytes += lineBytes;
            lineFrames = lineBytes = 0;
            lineStart = after;
        }
        if (frame != nullptr) {
            qmStreamRelease(stream, frame);
            frame = nullptr;
        }
    }
    totalBytes += lineBytes;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const QMV3_STREAM_STATISTICS s = Statistics(stream);
    qmStreamClose(stream);
    std::printf(
        "%llu frames in %.1f s (%.1f frames/s, %.2f MB/s); dropped %llu, gaps %llu, repeats %llu, link losses "
        "%llu, resubscriptions %llu, queue high-water %u of %u\n",
        s.handedOut, seconds, seconds > 0 ? static_cast<double>(s.handedOut) / seconds : 0.0,
        seconds > 0 ? static_cast<double>(totalBytes) / seconds / 1e6 : 0.0, s.droppedQueueFull, s.gaps, s.repeats,
        s.linkLosses, s.resubscriptions, s.queueHighWater, s.queueLength);
    if (s.handedOut == 0)
        return Failure(command, "no frame arrived from \"%s\" \"%s\"", address.c_str(), property.c_str());
    return kExitSuccess;
}

}  // namespace

const Command kWatchCommand = {
    "watch",
    "[--address A] [--property P] [--rate MS] [--duration T]",
    "watch a camera's stream: one line a second of rate, drops and pixel values",
    "options:\n"
    "  -a, --address A   device address (default /SIM/CAMSERVER/CAM0, the simulated camera)\n"
    "  -p, --property P  image property (default Frame)\n"
    "  -r, --rate MS     access rate of the subscription in milliseconds (default 300)\n"
    "  -t, --duration T  stop after T seconds (default: run until Ctrl-C)\n"
    "\nOpens a stream of the property (the newest frames are kept when the queue is full) and\n"
    "prints one line a second: frames per second, megabytes per second, the queue's fill, the\n"
    "frames dropped and the frame numbers the server skipped so far, the last frame's number and\n"
    "the mean and maximum of its pixel values. A lost link is reported and subscribed again.\n"
    "At the end (the duration, or Ctrl-C) a summary follows. The exit status is 1 when no frame\n"
    "arrived.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    0,
    0,
    Run,
};

}  // namespace qmv3tool
