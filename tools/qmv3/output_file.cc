// Overwrite protection for the writing commands. The temporary folders live beside the final names,
// on the same file system, so that moving a finished file into place is a rename.
#include "output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace qmv3tool {

const OptionSpec kForceOption = {"force", 0, false};

namespace {

// Temporary folders the signal handler removes; written by the main thread only.
struct PendingSlot {
    char path[PATH_MAX];
    volatile sig_atomic_t used;
};
PendingSlot pendingSlots[16];

int Register(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < 16; ++i) {
        if (pendingSlots[i].used) continue;
        std::memcpy(pendingSlots[i].path, path.c_str(), path.size() + 1);
        pendingSlots[i].used = 1;
        return i;
    }
    return -1;
}

void Unregister(int slot) {
    if (slot >= 0) pendingSlots[slot].used = 0;
}

// Removes a folder and the entries in it with system calls only, so the signal handler may use it.
void RemoveFolder(const char* path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long count = syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (count <= 0) break;
            for (long offset = 0; offset < count;) {
                // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
                unsigned short length;
                std::memcpy(&length, buffer + offset + 16, sizeof length);
                const char* name = buffer + offset + 19;
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                    if (unlinkat(fd, name, 0) != 0) unlinkat(fd, name, AT_REMOVEDIR);
                offset += length;
            }
        }
        close(fd);
    }
    rmdir(path);
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

// Moves a finished file onto a free name without ever replacing a file that appeared meanwhile.
int MoveNoReplace(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // File systems without the exclusive rename: a hard link fails on an existing name too.
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (errno == EEXIST) return EEXIST;
    if (access(to, F_OK) == 0) return EEXIST;
    return rename(from, to) == 0 ? 0 : errno;
}

}  // namespace

void RemovePendingOutputs() {
    for (PendingSlot& slot : pendingSlots) {
        if (!slot.used) continue;
        RemoveFolder(slot.path);
        slot.used = 0;
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
    for (const Folder& folder : folders_) {
        RemoveFolder(folder.hidden.c_str());
        Unregister(folder.slot);
    }
    if (!folders_.empty()) RestoreHandlers();
}

size_t OutputFiles::Add(const std::string& path) {
    Output output;
    output.path = path;
    const size_t slash = path.rfind('/');
    output.folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    output.name = slash == std::string::npos ? path : path.substr(slash + 1);
    outputs_.push_back(output);
    return outputs_.size() - 1;
}

bool OutputFiles::Check(std::string& message) const {
    for (const Output& output : outputs_) {
        if (output.name.empty() || output.name == "." || output.name == "..") {
            message = output.path + " names a folder, not a file";
            return false;
        }
        const std::string folder = output.folder.empty()       ? "."
                                   : output.folder.size() == 1 ? output.folder
                                                               : output.folder.substr(0, output.folder.size() - 1);
        struct stat status;
        const int error = stat(folder.c_str(), &status) != 0 ? errno : S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
        if (error != 0) {
            message = "cannot write " + output.path + ": folder " + folder + ": " + SystemReason(error);
            return false;
        }
        if (access(folder.c_str(), W_OK | X_OK) != 0) {
            message = "cannot write " + output.path + ": folder " + folder + ": " + SystemReason(errno);
            return false;
        }
        if (lstat(output.path.c_str(), &status) == 0) {
            if (S_ISDIR(status.st_mode)) {
                message = output.path + " is a folder";
                return false;
            }
            if (!force_) {
                message = ExistingOutputMessage(output.path);
                return false;
            }
            if (!S_ISREG(status.st_mode)) {
                message = output.path + " exists and is not a regular file; --force replaces only files";
                return false;
            }
        }
    }
    return true;
}

bool OutputFiles::Prepare(std::string& message) {
    for (Output& output : outputs_) {
        const Folder* folder = nullptr;
        for (const Folder& known : folders_)
            if (known.folder == output.folder) folder = &known;
        if (folder == nullptr) {
            std::string pattern = output.folder + ".qmv3-partial-XXXXXX";
            if (mkdtemp(&pattern[0]) == nullptr) {
                message = "cannot write " + output.path + ": " + SystemReason(errno);
                return false;
            }
            if (folders_.empty()) InstallHandlers();
            Folder created;
            created.folder = output.folder;
            created.hidden = pattern + "/";
            created.slot = Register(pattern);
            folders_.push_back(created);
            folder = &folders_.back();
        }
        output.temporary = folder->hidden + output.name;
    }
    return true;
}

std::string OutputFiles::WriteFolder(size_t index) const {
    const std::string& temporary = outputs_[index].temporary;
    return temporary.substr(0, temporary.size() - outputs_[index].name.size());
}

bool OutputFiles::Commit(std::string& message) {
    collided_ = false;
    for (Output& output : outputs_) {
        if (output.committed) continue;
        struct stat old;
        int error = 0;
        if (force_) {
            // The replacement keeps the permissions of the file it replaces.
            if (stat(output.path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
                chmod(output.temporary.c_str(), old.st_mode & 07777);
            if (rename(output.temporary.c_str(), output.path.c_str()) != 0) error = errno;
        } else {
            error = MoveNoReplace(output.temporary.c_str(), output.path.c_str());
        }
        if (error == EEXIST) {
            collided_ = true;
            message = output.path + " was created by someone else meanwhile; it was left as it is";
            return false;
        }
        if (error != 0) {
            message = "cannot move the finished file to " + output.path + ": " + SystemReason(error);
            return false;
        }
        output.committed = true;
    }
    return true;
}

std::string OutputFiles::UserText(const std::string& text) const {
    std::string result = text;
    for (const Output& output : outputs_) ReplaceAll(result, output.temporary, output.path);
    for (const Folder& folder : folders_) ReplaceAll(result, folder.hidden, folder.folder);
    return result;
}

}  // namespace qmv3tool
