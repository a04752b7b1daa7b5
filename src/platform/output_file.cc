// The savers' output file: see output_file.h.
#include "platform/output_file.h"

#include <cerrno>

OutputFile::~OutputFile() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    std::remove(path_.c_str());
}

OutputFile::Created OutputFile::Create(const char* path, Mode mode) {
    if (path == nullptr || file_ != nullptr) return Created::kFailed;
    // The name is taken before the file exists, so that a failing copy leaves no file behind.
    path_ = path;
    file_ = std::fopen(path, mode == Mode::kExclusive ? "wbx" : "wb");
    if (file_ != nullptr) return Created::kOk;
    return mode == Mode::kExclusive && errno == EEXIST ? Created::kExists : Created::kFailed;
}

bool OutputFile::Write(const void* source, size_t count) noexcept {
    return count == 0 || std::fwrite(source, 1, count, file_) == count;
}

bool OutputFile::Commit() noexcept {
    FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) == 0) return true;
    std::remove(path_.c_str());
    return false;
}
