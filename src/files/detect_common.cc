// Helpers shared by the file detectors.
#include "files/detect_common.h"

#include <cstring>

#include "files/metadata_sets.h"

namespace detect {

FilePtr OpenForDetection(const char* path, char* errorText, size_t errorTextSize) {
    if (path == nullptr) {
        _internal_dumpErrorString(errorText, errorTextSize, "Error opening file. Parameter asFilePath is NULL.");
        return nullptr;
    }
    if (path[0] == '\0') {
        _internal_dumpErrorString(errorText, errorTextSize,
                                  "Error opening file. Parameter asFilePath is empty string.");
        return nullptr;
    }
    FilePtr file(std::fopen(path, "rb"));
    if (!file) _internal_dumpErrorString(errorText, errorTextSize, "Error opening file \"%s\".", path);
    return file;
}

namespace {

template <typename T>
bool ReadLittleEndian(FILE* file, T& value) {
    unsigned char bytes[sizeof(T)];
    if (std::fread(bytes, 1, sizeof(T), file) != sizeof(T)) return false;
    T result = 0;
    for (size_t i = sizeof(T); i-- > 0;) result = static_cast<T>((result << 8) | bytes[i]);
    value = result;
    return true;
}

}  // namespace

bool ReadU8(FILE* file, uint8_t& value) { return ReadLittleEndian(file, value); }
bool ReadU16(FILE* file, uint16_t& value) { return ReadLittleEndian(file, value); }
bool ReadU32(FILE* file, uint32_t& value) { return ReadLittleEndian(file, value); }
bool ReadU64(FILE* file, uint64_t& value) { return ReadLittleEndian(file, value); }

bool ReadF64(FILE* file, double& value) {
    uint64_t bits = 0;
    if (!ReadU64(file, bits)) return false;
    std::memcpy(&value, &bits, sizeof(value));
    return true;
}

}  // namespace detect
