// Recording a stream to files: the library's recorder fed by a stream, on a helper thread without the
// GIL. Ctrl-C ends the recording as SIGINT ends the tool's: what was received is written and the
// summary returned.
#include <pybind11/stl.h>

#include <string>

#include "calls.h"
#include "errors.h"
#include "long_call.h"
#include "qmv3/qmv3.h"

namespace py = pybind11;

namespace qmv3py {

namespace {

struct Progress {
    double* value;
    unsigned long long frames;
    unsigned long long milliseconds;
};

// The fraction done, by frames or by time, for the progress callback.
void PublishProgress(const QMV3_RECORD_PROGRESS* progress, void* context) {
    const auto* target = static_cast<Progress*>(context);
    double fraction = 0.0;
    if (target->frames != 0) fraction = double(progress->written) / double(target->frames);
    if (target->milliseconds != 0) fraction = progress->seconds * 1000.0 / double(target->milliseconds);
    __atomic_store(target->value, &fraction, __ATOMIC_RELAXED);
}

int CompressionOf(const std::string& compress) {
    int compression = QMV3_RECORDER_COMPRESS_FAST;
    if (qmGetCompressionOfName(compress.c_str(), nullptr, &compression) == 0) return compression;
    throw py::value_error("compress must be 'fast', 'default' or 'none', not '" + compress + "'");
}

}  // namespace

namespace {

py::dict Record(const std::string& path, unsigned long long frames, unsigned long long milliseconds,
                const std::string& address, const std::string& property, int rateMs, const std::string& compress,
                unsigned split, bool replace, py::object progress) {
    QMV3_RECORDER_OPTIONS options{};
    options.size = sizeof(options);
    options.compression = CompressionOf(compress);
    options.split = split;
    options.flags = replace ? static_cast<unsigned>(QMV3_RECORDER_FLAG_REPLACE) : 0u;
    LongCall call(progress);
    Progress target{call.Progress(), frames, milliseconds};
    QMV3_RECORD_PROGRESS counts{};
    counts.size = sizeof(counts);
    int result = QMV3_RECORDER_OK;
    int opened = QMV3_RECORDER_OK;
    int subscribed = QMV3_STREAM_OK;
    int zantCode = 0;
    std::string failure;
    call.Run([&] {
        QMV3_RECORDER* recorder = nullptr;
        char text[1024] = "";
        opened = qmRecorderOpen(&recorder, path.c_str(), &options, text, sizeof(text));
        if (opened != QMV3_RECORDER_OK) {
            failure = text;
            return;
        }
        QMV3_STREAM_OPTIONS streamOptions{};
        streamOptions.size = sizeof(streamOptions);
        streamOptions.rateMilliseconds = rateMs;
        streamOptions.policy = QMV3_STREAM_KEEP_OLDEST;
        streamOptions.decompress = 1;
        QMV3_STREAM* stream = nullptr;
        subscribed = qmStreamOpen(&stream, address.c_str(), property.c_str(), &streamOptions, &zantCode);
        if (subscribed != QMV3_STREAM_OK) {
            qmRecorderClose(recorder, nullptr, nullptr, 0);
            return;
        }
        result = qmRecordStream(recorder, stream, frames, milliseconds, call.Interrupt(), PublishProgress, &target,
                                &counts);
        qmStreamClose(stream);
        qmRecorderGetError(recorder, text, sizeof(text));
        failure = text;
        qmRecorderClose(recorder, nullptr, nullptr, 0);
    });
    // Ctrl-C stops the recording, which keeps what it received: the summary is the answer.
    if (call.Stopped() && !call.StoppedByKeyboardInterrupt()) call.Rethrow();
    call.Forget();
    if (opened != QMV3_RECORDER_OK) RaiseFileError(opened, failure);
    if (subscribed != QMV3_STREAM_OK) {
        RaiseGrabError(subscribed, zantCode,
                       "cannot subscribe to \"" + address + "\" \"" + property + "\" (result " +
                           std::to_string(subscribed) + ")",
                       py::none());
    }
    if (result == QMV3_RECORDER_STREAM_ENDED) RaiseGrabError(result, 0, "the stream ended unexpectedly", py::none());
    if (result != QMV3_RECORDER_OK && result != QMV3_RECORDER_INTERRUPTED) RaiseFileError(result, failure);
    py::dict summary;
    summary["received"] = counts.received;
    summary["written"] = counts.written;
    summary["dropped"] = counts.dropped;
    summary["gaps"] = counts.gaps;
    summary["files"] = counts.files;
    summary["bytes"] = counts.bytes;
    summary["seconds"] = counts.seconds;
    summary["interrupted"] = result == QMV3_RECORDER_INTERRUPTED;
    return summary;
}

}  // namespace

void RegisterRecordCalls(py::module_& module) {
    module.def("record", &Record, "Records a stream to files; the summary as a dict.");
}

}  // namespace qmv3py
