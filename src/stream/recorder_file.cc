// The files of a recording: see recorder_file.h.
#include "stream/recorder_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// Direct I/O's unit: the page, which every file system and device taking direct I/O accepts for both
// the memory and the file offset.
constexpr size_t kBlock = 4096;

uint64_t RoundUp(uint64_t bytes) { return (bytes + kBlock - 1) / kBlock * kBlock; }

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
    std::free(staging_);
}

RecordFile::Created RecordFile::Create(const std::string& path, bool replace, std::unique_ptr<RecordFile>& file,
                                       std::string& reason) {
    // Read too: an overwrite with direct I/O reads the blocks it changes.
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC;
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

void RecordFile::WriteDirectly() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (direct_ || size_ != 0) return;
    const int flags = fcntl(descriptor_, F_GETFL);
    direct_ = flags != -1 && fcntl(descriptor_, F_SETFL, flags | O_DIRECT) == 0;
}

void RecordFile::LeaveDirect() {
    const int flags = fcntl(descriptor_, F_GETFL);
    if (flags != -1) fcntl(descriptor_, F_SETFL, flags & ~O_DIRECT);
    direct_ = false;
    tail_ = 0;
    lseek(descriptor_, static_cast<off_t>(size_), SEEK_SET);
}

bool RecordFile::Append(const iovec* parts, int count, std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    return direct_ ? AppendDirect(parts, count, reason) : AppendBuffered(parts, count, reason);
}

int RecordFile::WriteBlocks(const unsigned char* data, size_t bytes, uint64_t offset) {
    while (bytes > 0) {
        const ssize_t written = pwrite(descriptor_, data, bytes, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : ENOSPC;
        // A partial block cannot be continued directly.
        if (static_cast<size_t>(written) % kBlock != 0) return EINVAL;
        data += written;
        bytes -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
        diskSize_ = std::max(diskSize_, offset);
    }
    return 0;
}

bool RecordFile::AppendDirect(const iovec* parts, int count, std::string& reason) {
    size_t length = 0;
    for (int i = 0; i < count; ++i) length += parts[i].iov_len;
    const size_t total = tail_ + length;
    const size_t padded = RoundUp(total);
    if (padded > stagingCapacity_) {
        // Twice what is asked, so that growing frames do not reallocate with every frame.
        const size_t capacity = RoundUp(std::max(padded, stagingCapacity_ * 2));
        void* grown = nullptr;
        if (posix_memalign(&grown, kBlock, capacity) != 0) {
            reason = SystemReason(ENOMEM);
            return false;
        }
        if (tail_ > 0) std::memcpy(grown, staging_, tail_);
        std::free(staging_);
        staging_ = static_cast<unsigned char*>(grown);
        stagingCapacity_ = capacity;
    }
    size_t at = tail_;
    for (int i = 0; i < count; ++i) {
        std::memcpy(staging_ + at, parts[i].iov_base, parts[i].iov_len);
        at += parts[i].iov_len;
    }
    std::memset(staging_ + total, 0, padded - total);
    const uint64_t before = size_;
    const uint64_t blocksAt = size_ - tail_;
    const int error = WriteBlocks(staging_, padded, blocksAt);
    if (error == EINVAL) {
        // The file system, or a size limit cutting the write short of a block, wants ordinary writes.
        const iovec rest = {staging_ + tail_, length};
        LeaveDirect();
        return AppendBuffered(&rest, 1, reason);
    }
    if (error != 0) {
        reason = SystemReason(error);
        // The bytes before are unchanged (the write began with them); what follows them goes.
        if (ftruncate(descriptor_, static_cast<off_t>(before)) == 0) diskSize_ = before;
        return false;
    }
    size_ = before + length;
    const size_t kept = total % kBlock;
    std::memmove(staging_, staging_ + (total - kept), kept);
    tail_ = kept;
    return true;
}

bool RecordFile::AppendBuffered(const iovec* parts, int count, std::string& reason) {
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
                diskSize_ = before;
            }
            return false;
        }
        size_ += static_cast<uint64_t>(written);
        diskSize_ = std::max(diskSize_, size_);
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
    std::lock_guard<std::mutex> lock(mutex_);
    return direct_ ? WriteAtDirect(offset, data, size, reason) : WriteAtBuffered(offset, data, size, reason);
}

bool RecordFile::WriteAtDirect(uint64_t offset, const void* data, size_t size, std::string& reason) {
    if (offset + size > size_ || size == 0) {
        reason = SystemReason(EINVAL);
        return false;
    }
    const uint64_t tailAt = size_ - tail_;
    const auto* bytes = static_cast<const unsigned char*>(data);
    // Bytes in the last partial block change in its copy too, or the next append would undo them.
    for (uint64_t at = std::max(offset, tailAt); at < offset + size; ++at) staging_[at - tailAt] = bytes[at - offset];
    const uint64_t first = offset / kBlock * kBlock;
    const size_t span = RoundUp(offset + size - first);
    void* block = nullptr;
    if (posix_memalign(&block, kBlock, span) != 0) {
        reason = SystemReason(ENOMEM);
        return false;
    }
    auto* buffer = static_cast<unsigned char*>(block);
    // The blocks before the last partial one come from the file, that one from its copy.
    const size_t fromFile = static_cast<size_t>(std::min<uint64_t>(span, tailAt > first ? tailAt - first : 0));
    ssize_t read = fromFile == 0 ? 0 : pread(descriptor_, buffer, fromFile, static_cast<off_t>(first));
    if (read >= 0 && static_cast<size_t>(read) == fromFile && span > fromFile) {
        std::memset(buffer + fromFile, 0, span - fromFile);
        if (tail_ > 0) std::memcpy(buffer + fromFile, staging_, std::min(tail_, span - fromFile));
    }
    int error = read < 0 ? errno : static_cast<size_t>(read) != fromFile ? EIO : 0;
    if (error == 0) {
        std::memcpy(buffer + (offset - first), bytes, size);
        error = WriteBlocks(buffer, span, first);
    }
    std::free(block);
    if (error == EINVAL) {
        LeaveDirect();
        return WriteAtBuffered(offset, data, size, reason);
    }
    if (error != 0) reason = SystemReason(error);
    return error == 0;
}

bool RecordFile::WriteAtBuffered(uint64_t offset, const void* data, size_t size, std::string& reason) {
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

bool RecordFile::CutPadding(std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (diskSize_ <= size_) return true;
    if (ftruncate(descriptor_, static_cast<off_t>(size_)) != 0) {
        reason = SystemReason(errno);
        return false;
    }
    diskSize_ = size_;
    return true;
}

bool RecordFile::Sync(std::string& reason) {
    if (fdatasync(descriptor_) == 0) return true;
    reason = SystemReason(errno);
    return false;
}

bool RecordFile::Complete(std::string& reason) {
    bool ok = CutPadding(reason);
    if (ok && fsync(descriptor_) != 0) {
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
    if (descriptor_ >= 0) {
        std::string ignored;
        CutPadding(ignored);
        close(descriptor_);
    }
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
