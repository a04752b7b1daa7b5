// The exported recorder calls: the options checked and defaulted, the output chosen by the name, the
// handle's misuse caught where it can be. No exception leaves these functions.
#include <strings.h>
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "util/library_log.h"
#include "files/sequence_files.h"
#include "stream/recorder.h"
#include "stream/recorder_file.h"
#include "stream/recorder_hdf5.h"
#include "stream/recorder_imc2.h"
#include "util/c_boundary.h"

struct QMV3_RECORDER {
    static constexpr uint32_t kAlive = 0x52454331;  // "REC1"
    uint32_t alive = kAlive;
    std::unique_ptr<recorder::Recorder> recorder;
};

namespace {

constexpr unsigned int kMaxWorkers = 64;
constexpr unsigned int kMaxQueueFrames = 1024;

bool EndsWithNoCase(const std::string& path, const char* ending) {
    const size_t length = std::strlen(ending);
    return path.size() >= length && strcasecmp(path.c_str() + path.size() - length, ending) == 0;
}

bool IsHdf5Name(const std::string& path) { return EndsWithNoCase(path, ".h5") || EndsWithNoCase(path, ".hdf5"); }

// The caller's options over the defaults; false for a value out of range.
bool TakeOptions(const QMV3_RECORDER_OPTIONS* given, QMV3_RECORDER_OPTIONS& options, std::string& message) {
    options = QMV3_RECORDER_OPTIONS{};
    if (given != nullptr) {
        if (given->size < sizeof(unsigned int)) {
            message = "options->size must be sizeof(QMV3_RECORDER_OPTIONS).";
            return false;
        }
        std::memcpy(&options, given, given->size < sizeof(options) ? given->size : sizeof(options));
    }
    const unsigned int knownFlags = QMV3_RECORDER_FLAG_REPLACE | QMV3_RECORDER_FLAG_DROP_WHEN_FULL;
    if ((options.flags & ~knownFlags) != 0) message = "unknown flags " + std::to_string(options.flags & ~knownFlags);
    if (options.compression < QMV3_RECORDER_COMPRESS_FAST || options.compression > QMV3_RECORDER_COMPRESS_NONE) {
        message = "compression " + std::to_string(options.compression) + " is none of QMV3_RECORDER_COMPRESS_*";
    }
    if (options.split == 0) options.split = QMV3_RECORDER_MAX_SPLIT;
    if (options.split > QMV3_RECORDER_MAX_SPLIT) {
        message = "split " + std::to_string(options.split) + " is above " + std::to_string(QMV3_RECORDER_MAX_SPLIT);
    }
    if (options.workers == 0) {
        const unsigned int cores = std::thread::hardware_concurrency();
        options.workers = cores == 0 ? 1 : cores < kMaxWorkers ? cores : kMaxWorkers;
    }
    if (options.workers > kMaxWorkers) message = "workers " + std::to_string(options.workers) + " is above 64";
    if (options.queueFrames == 0) options.queueFrames = options.workers + 2;
    if (options.queueFrames < 2 || options.queueFrames > kMaxQueueFrames) {
        message = "queueFrames " + std::to_string(options.queueFrames) + " is not within 2 .. 1024";
    }
    return message.empty();
}

recorder::Settings SettingsOf(const QMV3_RECORDER_OPTIONS& options) {
    recorder::Settings settings;
    settings.compress = options.compression != QMV3_RECORDER_COMPRESS_NONE;
    const bool fast = options.compression == QMV3_RECORDER_COMPRESS_FAST && deflate_engine::LibdeflateAvailable();
    settings.engine = fast ? deflate_engine::Engine::kLibdeflate : deflate_engine::Engine::kZlib;
    settings.level = deflate_engine::kDefaultFastLevel;
    settings.dropWhenFull = (options.flags & QMV3_RECORDER_FLAG_DROP_WHEN_FULL) != 0;
    settings.workers = options.workers;
    settings.queue = options.queueFrames;
    return settings;
}

// Without the replace flag no name of the recording may exist: the first file, nor any split file (an
// HDF5 recording has no others).
int RefuseExisting(const std::string& path, bool split, std::string& message) {
    struct stat status;
    std::string taken = stat(path.c_str(), &status) == 0 ? path : split ? recorder::ExistingSplitFile(path) : "";
    if (taken.empty()) return QMV3_RECORDER_OK;
    message = _internal_filePrefix(taken.c_str()) + " exists; a recording does not replace files unless asked to.";
    return QMV3_RECORDER_FILE_EXISTS;
}

int Open(QMV3_RECORDER** handle, const char* path, const QMV3_RECORDER_OPTIONS* given, std::string& message) {
    if (handle == nullptr) {
        message = "Parameter recorder must not be NULL.";
        return QMV3_RECORDER_PARAMETER_ERROR;
    }
    *handle = nullptr;
    if (path == nullptr || path[0] == '\0') {
        message = "Parameter path must not be NULL or empty.";
        return QMV3_RECORDER_PARAMETER_ERROR;
    }
    QMV3_RECORDER_OPTIONS options;
    if (!TakeOptions(given, options, message)) {
        message = _internal_filePrefix(path) + " recording refused: " + message + ".";
        return QMV3_RECORDER_PARAMETER_ERROR;
    }
    const std::string name = path;
    const bool replace = (options.flags & QMV3_RECORDER_FLAG_REPLACE) != 0;
    const bool hdf5 = IsHdf5Name(name);
    if (!replace) {
        const int refused = RefuseExisting(name, !hdf5, message);
        if (refused != QMV3_RECORDER_OK) return refused;
    }
    int code = QMV3_RECORDER_OK;
    std::unique_ptr<recorder::Sink> sink;
    if (hdf5) {
        sink = recorder::OpenHdf5Sink(name, options.compression != QMV3_RECORDER_COMPRESS_NONE, replace, code, message);
    } else {
        sink = recorder::OpenImc2Sink(name, options.split, replace, code, message);
    }
    if (sink == nullptr) return code;
    auto created = std::make_unique<QMV3_RECORDER>();
    try {
        created->recorder = std::make_unique<recorder::Recorder>(std::move(sink), SettingsOf(options));
    } catch (const std::system_error& error) {
        message = _internal_filePrefix(path) + " recording refused: its threads could not start (" + error.what() + ").";
        return QMV3_RECORDER_OUT_OF_MEMORY;
    }
    *handle = created.release();
    return QMV3_RECORDER_OK;
}

bool Alive(const QMV3_RECORDER* handle) {
    return handle != nullptr && handle->alive == QMV3_RECORDER::kAlive && handle->recorder != nullptr;
}

bool StatisticsFit(const QMV3_RECORDER_STATISTICS* statistics) {
    return statistics != nullptr && statistics->size >= sizeof(unsigned int);
}

// At most the caller's size of the record, so that an older caller's smaller record is not overrun.
void CopyStatistics(const recorder::Recorder& recorder, QMV3_RECORDER_STATISTICS* statistics) {
    QMV3_RECORDER_STATISTICS all{};
    recorder.Statistics(all);
    const unsigned int size = statistics->size;
    all.size = size;
    std::memcpy(statistics, &all, size < sizeof(all) ? size : sizeof(all));
}

}  // namespace

int qmRecorderOpen(QMV3_RECORDER** recorder, const char* path, const QMV3_RECORDER_OPTIONS* options,
                   char* errorText, unsigned int errorTextSize) {
    return qmv3::GuardedWith(
        [&] {
            std::string message;
            const int result = Open(recorder, path, options, message);
            if (result != QMV3_RECORDER_OK) {
                _internal_LOG("qmRecorderOpen: %s", message.c_str());
                _internal_copyErrorText(errorText, errorTextSize, message);
            }
            return result;
        },
        [&] {
            _internal_copyErrorText(errorText, errorTextSize, "Out of memory opening a recorder.");
            return static_cast<int>(QMV3_RECORDER_OUT_OF_MEMORY);
        },
        [&] { return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR); });
}

int qmRecorderWrite(QMV3_RECORDER* recorder, const DIMAGE* frame) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (!Alive(recorder) || frame == nullptr) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        return recorder->recorder->Write(*frame);
    });
}

int qmRecorderGetStatistics(QMV3_RECORDER* recorder, QMV3_RECORDER_STATISTICS* statistics) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (!Alive(recorder) || !StatisticsFit(statistics)) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        CopyStatistics(*recorder->recorder, statistics);
        return static_cast<int>(QMV3_RECORDER_OK);
    });
}

int qmRecorderGetFileName(QMV3_RECORDER* recorder, unsigned int index, char* buffer, size_t* size) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (!Alive(recorder) || size == nullptr) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        const std::string name = recorder->recorder->FileName(index);
        const size_t capacity = *size;
        *size = name.size() + 1;
        if (buffer == nullptr || capacity < name.size() + 1) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return static_cast<int>(QMV3_RECORDER_OK);
    });
}

int qmRecorderGetError(QMV3_RECORDER* recorder, char* errorText, unsigned int errorTextSize) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (!Alive(recorder)) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        std::string message;
        const int code = recorder->recorder->Error(message);
        if (code != QMV3_RECORDER_OK) _internal_copyErrorText(errorText, errorTextSize, message);
        return code;
    });
}

int qmRecorderFinish(QMV3_RECORDER* recorder, char* errorText, unsigned int errorTextSize) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (!Alive(recorder)) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        const int code = recorder->recorder->Close();
        std::string message;
        recorder->recorder->Error(message);
        if (code != QMV3_RECORDER_OK) _internal_copyErrorText(errorText, errorTextSize, message);
        return code;
    });
}

int qmRecorderClose(QMV3_RECORDER* recorder, QMV3_RECORDER_STATISTICS* statistics, char* errorText,
                    unsigned int errorTextSize) {
    return qmv3::Guarded<int>(QMV3_RECORDER_OUT_OF_MEMORY, QMV3_RECORDER_PARAMETER_ERROR, [&] {
        if (recorder == nullptr) return static_cast<int>(QMV3_RECORDER_OK);
        if (!Alive(recorder)) return static_cast<int>(QMV3_RECORDER_PARAMETER_ERROR);
        const int code = recorder->recorder->Close();
        if (StatisticsFit(statistics)) CopyStatistics(*recorder->recorder, statistics);
        std::string message;
        recorder->recorder->Error(message);
        if (code != QMV3_RECORDER_OK) {
            _internal_LOG("qmRecorderClose: %s", message.c_str());
            _internal_copyErrorText(errorText, errorTextSize, message);
        }
        recorder->alive = 0;
        delete recorder;
        return code;
    });
}
