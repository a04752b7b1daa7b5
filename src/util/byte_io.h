// The one reader and writer of fixed-width little-endian fields that every file format uses: over an
// open file or over a byte buffer. A read that finds fewer bytes than the field needs is reported as a
// short read (false) and leaves the value untouched; sizes taken from a file are compared with
// Remaining() before anything is allocated for them. The byte order itself comes from the platform
// layer's byte-order family.
//
// Thread rules: one object belongs to one thread.
#ifndef QMV3_UTIL_BYTE_IO_H
#define QMV3_UTIL_BYTE_IO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "platform/platform.h"

namespace byte_io {

namespace detail {
// The platform family converts these types; every field is carried in the one of its width.
template <size_t Size>
struct Carrier;
template <>
struct Carrier<2> {
    using type = unsigned short;
};
template <>
struct Carrier<4> {
    using type = unsigned int;
};
template <>
struct Carrier<8> {
    using type = unsigned long long;
};

template <typename T>
using EnableField = std::enable_if_t<std::is_arithmetic<T>::value, int>;
}  // namespace detail

// The field at `bytes`, which holds at least sizeof(T) bytes.
template <typename T, detail::EnableField<T> = 0>
T Load(const unsigned char* bytes) {
    T value;
    if constexpr (sizeof(T) == 1) {
        std::memcpy(&value, bytes, 1);
    } else if constexpr (std::is_same<T, double>::value) {
        double stored;
        std::memcpy(&stored, bytes, sizeof stored);
        value = platformLittleEndianToHost(stored);
    } else {
        typename detail::Carrier<sizeof(T)>::type stored;
        std::memcpy(&stored, bytes, sizeof stored);
        stored = platformLittleEndianToHost(stored);
        std::memcpy(&value, &stored, sizeof value);
    }
    return value;
}

// Stores the field at `bytes`, which has room for sizeof(T) bytes.
template <typename T, detail::EnableField<T> = 0>
void Store(unsigned char* bytes, T value) {
    if constexpr (sizeof(T) == 1) {
        std::memcpy(bytes, &value, 1);
    } else if constexpr (std::is_same<T, double>::value) {
        const double stored = platformHostToLittleEndian(value);
        std::memcpy(bytes, &stored, sizeof stored);
    } else {
        typename detail::Carrier<sizeof(T)>::type stored;
        std::memcpy(&stored, &value, sizeof stored);
        stored = platformHostToLittleEndian(stored);
        std::memcpy(bytes, &stored, sizeof stored);
    }
}

class ByteReader {
  public:
    // A reader over nothing, until Open succeeds.
    ByteReader() = default;
    // A reader over `size` bytes that the caller keeps alive.
    ByteReader(const void* data, size_t size) : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    ~ByteReader();
    ByteReader(const ByteReader&) = delete;
    ByteReader& operator=(const ByteReader&) = delete;

    // Opens the file for binary reading without blocking; false with errno set when it cannot be opened
    // or is no regular file (see util/regular_file.h).
    bool Open(const char* path);
    // Takes the length of an opened file by a move to its end and back; false when that fails.
    // Remaining() needs it; a buffer knows its length.
    bool MeasureLength();
    // True for an opened regular file (the length of other kinds means nothing) and for a buffer.
    bool IsRegularFile() const;

    // Exactly count bytes, or false on a short read.
    bool ReadBytes(void* destination, size_t count);
    // One little-endian field, or false on a short read.
    template <typename T, detail::EnableField<T> = 0>
    bool Read(T& value) {
        unsigned char bytes[sizeof(T)];
        if (!ReadBytes(bytes, sizeof bytes)) return false;
        value = Load<T>(bytes);
        return true;
    }
    // The next byte, or EOF when none is left.
    int ReadByte();

    // Absolute and relative moves of the read position, and the move to the end; false when refused.
    bool Seek(uint64_t offset);
    bool Skip(uint64_t count);
    bool SeekToEnd();
    // The read position; -1 when it cannot be told.
    int64_t Position() const;
    // The length after MeasureLength (a buffer: its size).
    uint64_t Length() const { return file_ != nullptr ? length_ : size_; }
    // Bytes between the read position and the end (0 when the position lies beyond it).
    uint64_t Remaining() const;

    // The open file, for the readers of whole records that take one; null over a buffer.
    FILE* file() const { return file_; }

  private:
    FILE* file_ = nullptr;
    uint64_t length_ = 0;
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
    size_t offset_ = 0;
};

class ByteWriter {
  public:
    // A writer into an open file (which the caller closes) or into `size` bytes of a buffer.
    explicit ByteWriter(FILE* file) : file_(file) {}
    ByteWriter(void* data, size_t size) : data_(static_cast<unsigned char*>(data)), size_(size) {}
    ByteWriter(const ByteWriter&) = delete;
    ByteWriter& operator=(const ByteWriter&) = delete;

    // Every byte or false; nothing to write always succeeds.
    bool WriteBytes(const void* source, size_t count);
    bool WriteByte(unsigned char value) { return WriteBytes(&value, 1); }
    // One little-endian field.
    template <typename T, detail::EnableField<T> = 0>
    bool Write(T value) {
        unsigned char bytes[sizeof(T)];
        Store<T>(bytes, value);
        return WriteBytes(bytes, sizeof bytes);
    }

  private:
    FILE* file_ = nullptr;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
    size_t offset_ = 0;
};

}  // namespace byte_io

#endif
