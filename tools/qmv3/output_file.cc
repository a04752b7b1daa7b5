// Overwrite protection for the writing commands, over the library's output files: the tool adds its
// messages and the removal of unfinished files when a signal ends it.
#include "output_file.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "qmv3/qmv3.h"

namespace qmv3tool {

const OptionSpec kForceOption = {"force", 0, false};

namespace {

// Output files the signal handler discards; written by the main thread only.
constexpr int kSlots = 16;
const QMV3_OUTPUT_FILES* volatile pendingSlots[kSlots];

int Register(const QMV3_OUTPUT_FILES* files) {
    for (int i = 0; i < kSlots; ++i) {
        if (pendingSlots[i] != nullptr) continue;
        pendingSlots[i] = files;
        return i;
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) pendingSlots[slot] = nullptr;
}

// SIGTERM and SIGHUP, and SIGINT outside the tool's own Ctrl-C handling, remove the temporary
// folders and then end the process as the signal would have.
const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[3];
int handlerUsers = 0;

void OnFatalSignal(int signalNumber) {
    RemovePendingOutputs();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void InstallHandlers() {
    if (handlerUsers++ > 0) return;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnFatalSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
        sigaction(kCleanupSignals[i], nullptr, &previousActions[i]);
        // A signal the caller ignores stays ignored (a background job ignores SIGINT, nohup SIGHUP).
        if (previousActions[i].sa_handler == SIG_DFL) sigaction(kCleanupSignals[i], &action, nullptr);
    }
}

void RestoreHandlers() {
    if (handlerUsers == 0 || --handlerUsers > 0) return;
    for (int i = 0; i < 3; ++i)
        if (previousActions[i].sa_handler == SIG_DFL) sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The library's message without its "File "NAME" save error: " prefix.
std::string Detail(const char* text) {
    const char* detail = qmGetFileMessageDetail(text, nullptr, 0);
    return detail != nullptr ? detail : text;
}

}  // namespace

void RemovePendingOutputs() {
    for (int i = 0; i < kSlots; ++i) {
        const QMV3_OUTPUT_FILES* files = pendingSlots[i];
        if (files == nullptr) continue;
        qmDiscardOutputFiles(files);
        pendingSlots[i] = nullptr;
    }
}

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be in the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

std::string ExistingOutputMessage(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 ? path + " exists already (--force replaces it)" : "";
}

OutputFiles::OutputFiles(bool force) : force_(force) {}

OutputFiles::~OutputFiles() {
    if (files_ == nullptr) return;
    Unregister(slot_);
    RestoreHandlers();
    qmCloseOutputFiles(files_);
}

size_t OutputFiles::Add(const std::string& path) {
    outputs_.push_back(path);
    return outputs_.size() - 1;
}

int OutputFiles::Open(unsigned int flags, std::string& message) {
    std::vector<const char*> paths;
    for (const std::string& path : outputs_) paths.push_back(path.c_str());
    char text[1024] = "";
    QMV3_OUTPUT_FILES** files = (flags & QMV3_SAVE_FLAG_CHECK_ONLY) != 0 ? nullptr : &files_;
    const int code = qmOpenOutputFiles(files, paths.data(), static_cast<unsigned int>(paths.size()),
                                       flags | (force_ ? QMV3_SAVE_FLAG_REPLACE : 0u), text, sizeof text);
    if (code == QMV3_SAVE_FILE_EXISTS) {
        for (const std::string& path : outputs_)
            if (!(message = ExistingOutputMessage(path)).empty()) break;
    } else if (code != QMV3_SAVE_OK) {
        message = Detail(text);
    }
    return code;
}

bool OutputFiles::Check(std::string& message) const {
    return const_cast<OutputFiles*>(this)->Open(QMV3_SAVE_FLAG_CHECK_ONLY, message) == QMV3_SAVE_OK;
}

bool OutputFiles::Prepare(std::string& message) {
    if (Open(0, message) != QMV3_SAVE_OK) return false;
    InstallHandlers();
    slot_ = Register(files_);
    for (size_t i = 0; i < outputs_.size(); ++i)
        temporary_.push_back(qmGetOutputFileWritePath(files_, static_cast<unsigned int>(i)));
    return true;
}

std::string OutputFiles::WriteFolder(size_t index) const {
    const std::string& temporary = temporary_[index];
    return temporary.substr(0, temporary.rfind('/') + 1);
}

bool OutputFiles::Commit(std::string& message) {
    collided_ = false;
    char text[1024] = "";
    const int code = qmCommitOutputFiles(files_, text, sizeof text);
    if (code == QMV3_SAVE_OK) return true;
    // The library names the file it could not move.
    char named[4096];
    qmGetFileMessageDetail(text, named, sizeof named);
    const std::string path = named;
    collided_ = code == QMV3_SAVE_FILE_EXISTS;
    message = collided_ ? path + " was created by someone else meanwhile; it was left as it is"
                        : "cannot move the finished file to " + path + ": " + Detail(text);
    return false;
}

std::string OutputFiles::UserText(const std::string& text) const {
    std::string result = text;
    for (size_t i = 0; i < temporary_.size(); ++i) ReplaceAll(result, temporary_[i], outputs_[i]);
    for (size_t i = 0; i < temporary_.size(); ++i) {
        const size_t slash = outputs_[i].rfind('/');
        ReplaceAll(result, WriteFolder(i), slash == std::string::npos ? "" : outputs_[i].substr(0, slash + 1));
    }
    return result;
}

}  // namespace qmv3tool
