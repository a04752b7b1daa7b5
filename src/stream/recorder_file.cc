// The files of a recording: see recorder_file.h.
#include "stream/recorder_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace recorder {

namespace {

struct NameParts {
    std::string folder;  // with its trailing slash, or empty
    std::string stem;
    std::string extension;  // with its dot, or empty
};

NameParts PartsOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) dot = path.size();
    return {path.substr(0, nameStart), path.substr(nameStart, dot - nameStart), path.substr(dot)};
}

// Whether name is STEM-NNNN.EXT with at least four digits.
bool IsSplitName(const std::string& name, const NameParts& parts) {
    const std::string head = parts.stem + "-";
    if (name.size() < head.size() + 4 + parts.extension.size()) return false;
    if (name.compare(0, head.size(), head) != 0) return false;
    if (name.compare(name.size() - parts.extension.size(), parts.extension.size(), parts.extension) != 0) return false;
    for (size_t i = head.size(); i < name.size() - parts.extension.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

}  // namespace

std::string SplitName(const std::string& path, unsigned int index) {
    if (index <= 1) return path;
    const NameParts parts = PartsOf(path);
    char number[16];
    std::snprintf(number, sizeof(number), "-%04u", index);
    return parts.folder + parts.stem + number + parts.extension;
}

std::string ExistingSplitFile(const std::string& path) {
    const NameParts parts = PartsOf(path);
    DIR* folder = opendir(parts.folder.empty() ? "." : parts.folder.c_str());
    if (folder == nullptr) return std::string();
    std::string found;
    while (dirent* entry = readdir(folder)) {
        if (IsSplitName(entry->d_name, parts)) {
            found = parts.folder + entry->d_name;
            break;
        }
    }
    closedir(folder);
    return found;
}

std::string SystemReason(int error) {
    char buffer[256];
    // The GNU form returns the text, which need not be in buffer.
    return strerror_r(error, buffer, sizeof(buffer));
}

RecordFile::RecordFile(std::string path, std::string writtenPath, int descriptor, int replacedMode)
    : path_(std::move(path)), writtenPath_(std::move(writtenPath)), descriptor_(descriptor), replacedMode_(replacedMode) {}

RecordFile::~RecordFile() {
    if (descriptor_ >= 0) close(descriptor_);
}

RecordFile::Created RecordFile::Create(const std::string& path, bool replace, std::unique_ptr<RecordFile>& file,
                                       std::string& reason) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
    int descriptor = open(path.c_str(), flags, 0666);
    if (descriptor >= 0) {
        file.reset(new RecordFile(path, path, descriptor, -1));
        return Created::kOk;
    }
    const int error = errno;
    struct stat existing;
    if (error != EEXIST || !replace || stat(path.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) {
        reason = error == EEXIST && replace ? "it is not a regular file" : SystemReason(error);
        return error == EEXIST && !replace ? Created::kExists : Created::kFailed;
    }
    const NameParts parts = PartsOf(path);
    std::string hidden = parts.folder + "." + parts.stem + parts.extension + ".recording-XXXXXX";
    std::vector<char> pattern(hidden.begin(), hidden.end());
    pattern.push_back('\0');
    descriptor = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0) {
        reason = SystemReason(errno);
        return Created::kFailed;
    }
    file.reset(new RecordFile(path, pattern.data(), descriptor, static_cast<int>(existing.st_mode & 07777)));
    return Created::kOk;
}

bool RecordFile::Append(const iovec* parts, int count, std::string& reason) {
    std::vector<iovec> rest(parts, parts + count);
    size_t first = 0;
    const uint64_t before = size_;
    while (first < rest.size()) {
        const ssize_t written = writev(descriptor_, rest.data() + first, static_cast<int>(rest.size() - first));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            reason = SystemReason(written < 0 ? errno : ENOSPC);
            // A part of the image would only hide where the file ends.
            if (ftruncate(descriptor_, static_cast<off_t>(before)) == 0) {
                lseek(descriptor_, static_cast<off_t>(before), SEEK_SET);
                size_ = before;
            }
            return false;
        }
        size_ += static_cast<uint64_t>(written);
        size_t done = static_cast<size_t>(written);
        while (first < rest.size() && done >= rest[first].iov_len) done -= rest[first++].iov_len;
        if (first < rest.size()) {
            rest[first].iov_base = static_cast<char*>(rest[first].iov_base) + done;
            rest[first].iov_len -= done;
        }
    }
    return true;
}

bool RecordFile::WriteAt(uint64_t offset, const void* data, size_t size, std::string& reason) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = pwrite(descriptor_, bytes, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            reason = SystemReason(written < 0 ? errno : ENOSPC);
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

bool RecordFile::Sync(std::string& reason) {
    if (fdatasync(descriptor_) == 0) return true;
    reason = SystemReason(errno);
    return false;
}

bool RecordFile::Complete(std::string& reason) {
    bool ok = true;
    if (fsync(descriptor_) != 0) {
        reason = SystemReason(errno);
        ok = false;
    }
    if (ok && replacedMode_ >= 0 && fchmod(descriptor_, static_cast<mode_t>(replacedMode_)) != 0) {
        reason = SystemReason(errno);
        ok = false;
    }
    if (close(descriptor_) != 0 && ok) {
        reason = SystemReason(errno);
        ok = false;
    }
    descriptor_ = -1;
    if (ok && writtenPath_ != path_ && rename(writtenPath_.c_str(), path_.c_str()) != 0) {
        reason = SystemReason(errno);
        ok = false;
    }
    return ok;
}

void RecordFile::Discard() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
    unlink(writtenPath_.c_str());
}

void RecordFile::Release() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
}

bool CompleteByName(const std::string& writtenPath, const std::string& path, int mode, std::string& reason) {
    const int descriptor = open(writtenPath.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = descriptor >= 0 && fsync(descriptor) == 0;
    if (ok && mode >= 0 && fchmod(descriptor, static_cast<mode_t>(mode)) != 0) ok = false;
    if (!ok) reason = SystemReason(errno);
    if (descriptor >= 0) close(descriptor);
    if (ok && writtenPath != path && rename(writtenPath.c_str(), path.c_str()) != 0) {
        reason = SystemReason(errno);
        ok = false;
    }
    return ok;
}

}  // namespace recorder
