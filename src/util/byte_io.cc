// The little-endian field reader and writer: see byte_io.h.
#include "util/byte_io.h"

#include <sys/stat.h>

#include <limits>

#include "util/regular_file.h"

namespace byte_io {

ByteReader::~ByteReader() {
    if (file_ != nullptr) std::fclose(file_);
}

bool ByteReader::Open(const char* path) {
    if (path == nullptr || file_ != nullptr) return false;
    // A FIFO or device would block the open or never end: only regular files are read.
    file_ = regular_file::OpenStream(path);
    return file_ != nullptr;
}

bool ByteReader::IsRegularFile() const {
    if (file_ == nullptr) return data_ != nullptr;
    struct stat status;
    return fstat(fileno(file_), &status) == 0 && S_ISREG(status.st_mode);
}

bool ByteReader::MeasureLength() {
    if (file_ == nullptr) return data_ != nullptr;
    const off_t start = ftello(file_);
    if (start < 0 || fseeko(file_, 0, SEEK_END) != 0) return false;
    const off_t end = ftello(file_);
    if (end < 0 || fseeko(file_, start, SEEK_SET) != 0) return false;
    length_ = static_cast<uint64_t>(end);
    return true;
}

bool ByteReader::ReadBytes(void* destination, size_t count) {
    if (file_ != nullptr) return std::fread(destination, 1, count, file_) == count;
    if (count > size_ - offset_ || offset_ > size_) return false;
    if (count > 0) std::memcpy(destination, data_ + offset_, count);
    offset_ += count;
    return true;
}

int ByteReader::ReadByte() {
    if (file_ != nullptr) return std::fgetc(file_);
    if (offset_ >= size_) return EOF;
    return data_[offset_++];
}

bool ByteReader::Seek(uint64_t offset) {
    if (file_ != nullptr) {
        if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
        return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
    }
    if (offset > size_) return false;
    offset_ = static_cast<size_t>(offset);
    return true;
}

bool ByteReader::Skip(uint64_t count) {
    if (file_ != nullptr) {
        if (count > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) return false;
        return fseeko(file_, static_cast<off_t>(count), SEEK_CUR) == 0;
    }
    if (count > size_ - offset_) return false;
    offset_ += static_cast<size_t>(count);
    return true;
}

bool ByteReader::SeekToEnd() {
    if (file_ != nullptr) return fseeko(file_, 0, SEEK_END) == 0;
    offset_ = size_;
    return true;
}

int64_t ByteReader::Position() const {
    if (file_ != nullptr) return static_cast<int64_t>(ftello(file_));
    return static_cast<int64_t>(offset_);
}

uint64_t ByteReader::Remaining() const {
    const int64_t position = Position();
    if (position < 0 || static_cast<uint64_t>(position) > Length()) return 0;
    return Length() - static_cast<uint64_t>(position);
}

bool ByteWriter::WriteBytes(const void* source, size_t count) {
    if (count == 0) return true;
    if (file_ != nullptr) return std::fwrite(source, 1, count, file_) == count;
    if (count > size_ - offset_) return false;
    std::memcpy(data_ + offset_, source, count);
    offset_ += count;
    return true;
}

}  // namespace byte_io
