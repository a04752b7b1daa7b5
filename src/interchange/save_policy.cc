// The save policy: hidden folders beside the final names, on the same file system, so that moving a
// finished file into place is a rename.
#include "interchange/save_policy.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/library_log.h"
#include "files/sequence_files.h"
#include "qmv3/qmv3.h"

namespace interchange {

namespace {

const char kPartialPrefix[] = ".qmv3-partial-";
// The file in a hidden folder that names the process writing into it.
const char kOwnerName[] = ".qmv3-owner";

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

// The folder as a path that names it ("." for the current folder).
std::string FolderPath(const std::string& folder) {
    return folder.empty() ? "." : folder.size() == 1 ? folder : folder.substr(0, folder.size() - 1);
}

// Whether the hidden folder at path belongs to a process that has ended. A folder without an owner
// file may be one being made right now, so it is left alone.
bool OwnerHasEnded(const std::string& path) {
    const int fd = open((path + "/" + kOwnerName).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char text[32] = {};
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0) return false;
    char* end = nullptr;
    const long pid = std::strtol(text, &end, 10);
    if (pid <= 0 || (*end != '\n' && *end != '\0')) return false;
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void WriteOwner(const std::string& hidden) {
    const int fd = open((hidden + kOwnerName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%ld\n", static_cast<long>(getpid()));
    if (write(fd, text, static_cast<size_t>(length)) != length) {
        close(fd);
        unlink((hidden + kOwnerName).c_str());
        return;
    }
    close(fd);
}

std::string OpenFailure(const std::string& path, const std::string& detail, bool detailed) {
    return _internal_filePrefix(path.c_str()) + " save error: " +
           (detailed ? detail : std::string("File could not be opened for writing."));
}

}  // namespace

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be in the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

int RemoveStalePartialFolders(const std::string& folder) {
    DIR* dir = opendir(FolderPath(folder).c_str());
    if (dir == nullptr) return 0;
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(dir)) {
        if (std::strncmp(entry->d_name, kPartialPrefix, sizeof kPartialPrefix - 1) != 0) continue;
        const std::string path = folder + entry->d_name;
        if (OwnerHasEnded(path)) stale.push_back(path);
    }
    closedir(dir);
    for (const std::string& path : stale) RemoveFolder(path.c_str());
    if (!stale.empty())
        _internal_LOG("removed %zu unfinished save folder(s) %s.. of ended processes in %s", stale.size(),
                      kPartialPrefix, FolderPath(folder).c_str());
    return static_cast<int>(stale.size());
}

SavePolicy::SavePolicy(bool replace) : replace_(replace) {}

SavePolicy::~SavePolicy() { Discard(); }

void SavePolicy::Discard() const {
    for (const Folder& folder : folders_) RemoveFolder(folder.hidden.c_str());
}

size_t SavePolicy::Add(const std::string& path) {
    Output output;
    output.path = path;
    const size_t slash = path.rfind('/');
    output.folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    output.name = slash == std::string::npos ? path : path.substr(slash + 1);
    outputs_.push_back(output);
    return outputs_.size() - 1;
}

int SavePolicy::Check(std::string& message, bool detailed) const {
    for (const Output& output : outputs_) {
        const std::string prefix = _internal_filePrefix(output.path.c_str());
        if (output.name.empty() || output.name == "." || output.name == "..") {
            message = OpenFailure(output.path, output.path + " names a folder, not a file", detailed);
            return QMV3_SAVE_OPEN_FAILED;
        }
        const std::string folder = FolderPath(output.folder);
        struct stat status;
        int error = stat(folder.c_str(), &status) != 0 ? errno : S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
        if (error == 0 && access(folder.c_str(), W_OK | X_OK) != 0) error = errno;
        if (error != 0) {
            message = OpenFailure(output.path,
                                  "cannot write " + output.path + ": folder " + folder + ": " + SystemReason(error),
                                  detailed);
            return QMV3_SAVE_OPEN_FAILED;
        }
        if (lstat(output.path.c_str(), &status) == 0) {
            if (S_ISDIR(status.st_mode)) {
                message = OpenFailure(output.path, output.path + " is a folder", detailed);
                return QMV3_SAVE_OPEN_FAILED;
            }
            if (!replace_) {
                message = prefix + " save error: File already exists.";
                return QMV3_SAVE_FILE_EXISTS;
            }
            if (!S_ISREG(status.st_mode)) {
                message = OpenFailure(output.path, output.path + " exists and is not a regular file; only files are replaced",
                                      detailed);
                return QMV3_SAVE_OPEN_FAILED;
            }
        }
    }
    return 0;
}

int SavePolicy::Prepare(std::string& message) {
    for (Output& output : outputs_) {
        const Folder* folder = nullptr;
        for (const Folder& known : folders_)
            if (known.folder == output.folder) folder = &known;
        if (folder == nullptr) {
            RemoveStalePartialFolders(output.folder);
            std::string pattern = output.folder + kPartialPrefix + "XXXXXX";
            folders_.reserve(folders_.size() + 1);  // so that the push below cannot throw after mkdtemp
            Folder created;
            created.folder = output.folder;
            created.hidden.reserve(pattern.size() + 1);
            if (mkdtemp(&pattern[0]) == nullptr) {
                message = OpenFailure(output.path, "cannot write " + output.path + ": " + SystemReason(errno), false);
                return QMV3_SAVE_OPEN_FAILED;
            }
            created.hidden = pattern;
            created.hidden += '/';
            folders_.push_back(std::move(created));
            folder = &folders_.back();
            WriteOwner(folder->hidden);
        }
        output.temporary = folder->hidden + output.name;
    }
    return 0;
}

int SavePolicy::Commit(std::string& message) {
    for (Output& output : outputs_) {
        if (output.committed) continue;
        struct stat old;
        int error = 0;
        if (replace_) {
            // The replacement keeps the permissions of the file it replaces.
            if (stat(output.path.c_str(), &old) == 0 && S_ISREG(old.st_mode))
                chmod(output.temporary.c_str(), old.st_mode & 07777);
            if (rename(output.temporary.c_str(), output.path.c_str()) != 0) error = errno;
        } else {
            error = MoveNoReplace(output.temporary.c_str(), output.path.c_str());
        }
        if (error == EEXIST) {
            message = _internal_filePrefix(output.path.c_str()) + " save error: File already exists.";
            return QMV3_SAVE_FILE_EXISTS;
        }
        if (error != 0) {
            message = _internal_filePrefix(output.path.c_str()) +
                      " save error: the finished file could not be moved into place: " + SystemReason(error);
            return QMV3_SAVE_WRITE_FAILED;
        }
        output.committed = true;
    }
    return 0;
}

std::string SavePolicy::UserText(const std::string& text) const {
    std::string result = text;
    for (const Output& output : outputs_)
        if (!output.temporary.empty()) ReplaceAll(result, output.temporary, output.path);
    for (const Folder& folder : folders_) ReplaceAll(result, folder.hidden, folder.folder);
    return result;
}

}  // namespace interchange
