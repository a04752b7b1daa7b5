// "qmv3 record": frames of a stream straight to disk through the library's recorder, for runs of any
// length in bounded memory. The stream keeps the oldest frames when its queue is full (a recording
// keeps continuity); the recorder compresses on its own threads. SIGINT, SIGTERM and SIGHUP end the
// run: the frames queued are written, the files completed, the summary printed, and the exit status is
// 1. Frames dropped because the disk or the compressor could not keep up also give status 1.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "grab_session.h"
#include "interrupt.h"
#include "output_file.h"
#include "progress_bar.h"
#include "qmv3/qmv3.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"address", 'a', true}, {"property", 'p', true}, {"rate", 'r', true},     {"frames", 'n', true},
    {"duration", 'd', true}, {"compress", 0, true},  {"split", 0, true},      {"quiet", 'q', false},
    kForceOption,
};

struct Request {
    std::string address = kDefaultAddress;
    std::string property = kDefaultProperty;
    int rateMilliseconds = 0;        // 0: the stream's default
    unsigned long long frames = 0;   // 0: until the duration ends
    double seconds = 0;              // 0: until the frames are in
    QMV3_RECORDER_OPTIONS options{};
};

// "90s", "10m", "2h" or plain seconds; false for anything else.
bool ParseDuration(const char* text, double& seconds) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || !(value > 0) || value > 366.0 * 24 * 3600) return false;
    const std::string unit = end;
    const double factor = unit.empty() || unit == "s" ? 1 : unit == "m" ? 60 : unit == "h" ? 3600 : 0;
    seconds = value * factor;
    return factor > 0;
}

bool ReadRequest(const Arguments& arguments, Request& request, int& status) {
    const Command& command = kRecordCommand;
    if (const char* address = arguments.Value("address")) request.address = address;
    if (const char* property = arguments.Value("property")) request.property = property;
    long number = 0;
    if (const char* rate = arguments.Value("rate")) {
        if (!ParseNumber(rate, 1, 3600000, number)) {
            status = UsageError(command, "--rate needs milliseconds from 1 to 3600000, not '%s'", rate);
            return false;
        }
        request.rateMilliseconds = static_cast<int>(number);
    }
    const char* frames = arguments.Value("frames");
    const char* duration = arguments.Value("duration");
    if ((frames == nullptr) == (duration == nullptr)) {
        status = UsageError(command, "give either -n N or --duration T");
        return false;
    }
    if (frames != nullptr) {
        if (!ParseNumber(frames, 1, 2000000000, number)) {
            status = UsageError(command, "-n needs a number of frames from 1 to 2000000000, not '%s'", frames);
            return false;
        }
        request.frames = static_cast<unsigned long long>(number);
    }
    if (duration != nullptr && !ParseDuration(duration, request.seconds)) {
        status = UsageError(command, "--duration needs a time such as 90s, 10m or 2h, not '%s'", duration);
        return false;
    }
    request.options.size = sizeof(request.options);
    request.options.compression = QMV3_RECORDER_COMPRESS_FAST;
    if (const char* compress = arguments.Value("compress")) {
        if (qmGetCompressionOfName(compress, nullptr, &request.options.compression) != 0) {
            status = UsageError(command, "--compress takes fast, default or none, not '%s'", compress);
            return false;
        }
    }
    if (const char* split = arguments.Value("split")) {
        if (!ParseNumber(split, 1, QMV3_RECORDER_MAX_SPLIT, number)) {
            status = UsageError(command, "--split needs a number of images from 1 to %d, not '%s'",
                                QMV3_RECORDER_MAX_SPLIT, split);
            return false;
        }
        request.options.split = static_cast<unsigned>(number);
    }
    if (arguments.Has("force")) request.options.flags |= QMV3_RECORDER_FLAG_REPLACE;
    return true;
}

std::string FileName(QMV3_RECORDER* recorder, unsigned index) {
    char name[4096];
    size_t size = sizeof(name);
    return qmRecorderGetFileName(recorder, index, name, &size) == QMV3_RECORDER_OK ? std::string(name) : "";
}

// The progress line, redrawn in place about twice a second.
void DrawProgress(const QMV3_RECORD_PROGRESS* progress, void*) {
    const double seconds = progress->seconds;
    std::fprintf(stderr, "\r\033[K%7.1f s  %llu frames  %.1f fps  %.1f MB/s  file %.1f MB  queue %u/%u  drops %llu  gaps %llu",
                 seconds, progress->written, seconds > 0 ? progress->written / seconds : 0.0,
                 seconds > 0 ? progress->bytes / seconds / 1e6 : 0.0, progress->fileBytes / 1e6, progress->queued,
                 progress->queueFrames, progress->dropped, progress->gaps);
    std::fflush(stderr);
}

int Run(const Arguments& arguments) {
    const Command& command = kRecordCommand;
    Request request;
    int status = kExitSuccess;
    if (!ReadRequest(arguments, request, status)) return status;
    const std::string output = arguments.Positionals()[0];
    const int kind = qmGetFileKindOfName(output.c_str());
    const bool hdf5 = kind == QMV3_FILE_HDF5;
    if (!hdf5 && kind != QMV3_FILE_IMC2_BKC2) {
        return UsageError(command, "'%s': the name of OUT must end in .imc2 or .bkc2, or .h5 or .hdf5 for HDF5",
                          output.c_str());
    }
    if (hdf5 && arguments.Has("split") && !arguments.Has("quiet")) {
        std::fprintf(stderr, "qmv3 record: note: --split does not apply to HDF5: one file holds every frame\n");
    }
    InterruptScope interrupt;
    // A file size limit stops the recording as a full disk does, with its reason, instead of killing it.
    signal(SIGXFSZ, SIG_IGN);
    QMV3_RECORDER* recorder = nullptr;
    char text[1024] = "";
    if (qmRecorderOpen(&recorder, output.c_str(), &request.options, text, sizeof(text)) != QMV3_RECORDER_OK) {
        return Failure(command, "%s", text);
    }
    QMV3_STREAM_OPTIONS streamOptions{};
    streamOptions.size = sizeof(streamOptions);
    streamOptions.rateMilliseconds = request.rateMilliseconds;
    streamOptions.policy = QMV3_STREAM_KEEP_OLDEST;
    streamOptions.decompress = 1;
    QMV3_STREAM* stream = nullptr;
    int zantCode = 0;
    const int opened =
        qmStreamOpen(&stream, request.address.c_str(), request.property.c_str(), &streamOptions, &zantCode);
    if (opened != QMV3_STREAM_OK) {
        qmRecorderClose(recorder, nullptr, nullptr, 0);
        return Failure(command, "cannot subscribe to \"%s\" \"%s\" (result %d, control system code %d)",
                       request.address.c_str(), request.property.c_str(), opened, zantCode);
    }
    const bool progress = ProgressBarsEnabled() && !arguments.Has("quiet");
    QMV3_RECORD_PROGRESS counts{};
    counts.size = sizeof(counts);
    const unsigned long long milliseconds = static_cast<unsigned long long>(request.seconds * 1000 + 0.5);
    const int recorded = qmRecordStream(recorder, stream, request.frames, milliseconds, interrupt.Flag(),
                                        progress ? DrawProgress : nullptr, nullptr, &counts);
    if (progress) std::fputs("\r\033[K", stderr);
    qmStreamClose(stream);
    char failure[1024] = "";
    qmRecorderGetError(recorder, failure, sizeof(failure));
    const std::string last = FileName(recorder, 0);
    qmRecorderClose(recorder, nullptr, nullptr, 0);
    std::printf("received %llu, written %llu, dropped by the writer %llu, gaps %llu, files %llu, bytes %llu (%.1f s)\n",
                counts.received, counts.written, counts.dropped, counts.gaps, counts.files, counts.bytes,
                counts.seconds);
    if (counts.files > 1) std::printf("files: %s .. %s\n", output.c_str(), last.c_str());
    if (counts.linkLosses > 0 && !arguments.Has("quiet")) {
        std::fprintf(stderr, "qmv3 record: note: the link was lost %u times and subscribed again\n", counts.linkLosses);
    }
    if (recorded == QMV3_RECORDER_INTERRUPTED) {
        return Failure(command, "interrupted; the %llu frames received before it are written", counts.written);
    }
    if (recorded == QMV3_RECORDER_STREAM_ENDED) return Failure(command, "the stream ended unexpectedly");
    if (recorded != QMV3_RECORDER_OK) return Failure(command, "%s", failure);
    if (counts.dropped > 0) {
        return Failure(command, "%llu frames dropped: the disk or the compressor could not keep up", counts.dropped);
    }
    return kExitSuccess;
}

}  // namespace

const Command kRecordCommand = {
    "record",
    "[--address A] [--property P] [--rate MS] (-n N | --duration T) [--compress fast|default|none] [--split N] "
    "[--force] [--quiet] OUT",
    "records frames of a stream straight to disk, for runs of any length",
    "Frames go to disk as they arrive, in bounded memory: compressed on one thread per core, written in\n"
    "the order received. OUT ending in .imc2 or .bkc2 gives files of at most --split images (default and\n"
    "most 10000): OUT, then STEM-0002.imc2, STEM-0003.imc2, ...; each completed file loads anywhere, and a\n"
    "file of a run killed outright keeps every frame written more than a second before (qmv3 recover\n"
    "finds the rest). OUT ending in .h5 or .hdf5 gives one HDF5 file of any length in the layout of qmv3\n"
    "export (--split does not apply), which readers may open while it grows (single-writer/multiple-reader\n"
    "mode, flushed twice a second).\n"
    "\n"
    "  -a, --address A     device address (default /SIM/CAMSERVER/CAM0)\n"
    "  -p, --property P    image property (default Frame)\n"
    "  -r, --rate MS       access rate in milliseconds\n"
    "  -n, --frames N      stop after N frames\n"
    "  -d, --duration T    stop after T: 90s, 10m, 2h (plain numbers are seconds)\n"
    "      --compress C    fast (default), default (zlib's default level) or none\n"
    "      --split N       images per IMC2/BKC2 file, 1 to 10000 (not for HDF5)\n"
    "  -q, --quiet         no progress line\n"
    "      --force         replace existing files (each only once its replacement is complete)\n"
    "\n"
    "SIGINT (Ctrl-C), SIGTERM and SIGHUP stop the run: the frames received are written, the files\n"
    "completed and the summary printed; the exit status is then 1, as it is when frames were dropped\n"
    "because the disk or the compressor could not keep up, or when a write failed (a full disk).\n",
    kOptions,
    sizeof(kOptions) / sizeof(kOptions[0]),
    1,
    1,
    Run,
};

}  // namespace qmv3tool
