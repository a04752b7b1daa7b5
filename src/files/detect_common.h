// Small helpers shared by the file detectors: opening with the common messages, little-endian reads and
// the size of an open file.
#ifndef QMV3_FILES_DETECT_COMMON_H
#define QMV3_FILES_DETECT_COMMON_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace detect {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Opens the file for binary reading; on failure writes the common message and returns null.
FilePtr OpenForDetection(const char* path, char* errorText, size_t errorTextSize);

// Little-endian reads; false on a short read.
bool ReadU8(FILE* file, uint8_t& value);
bool ReadU16(FILE* file, uint16_t& value);
bool ReadU32(FILE* file, uint32_t& value);
bool ReadU64(FILE* file, uint64_t& value);
bool ReadF64(FILE* file, double& value);

}  // namespace detect

#endif
