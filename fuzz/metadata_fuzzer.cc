// Fuzzes the metadata sets of sequence files: fixed-size sets read from an arbitrary stream, each
// validated against working copies of both key tables, and the "key=value" form of the validator,
// with message buffers of every small size.
#include <cstdio>
#include <cstdlib>

#include "files/metadata_sets.h"
#include "fuzz_support.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void validate(const std::string& key, const std::string& value, SINGLEMETADATA* global, SINGLEMETADATA* image,
              size_t room) {
    char message[300];
    std::memset(message, 'x', sizeof message);
    if (!_internal_validate_metadata_set(key.c_str(), value.c_str(), global, kGlobalMetadataCount, message, room) &&
        room >= 2)
        require(std::memchr(message, '\0', room) != nullptr);
    _internal_validate_metadata_set(key.c_str(), value.c_str(), image, kImageMetadataCount, message, room);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t room = data[0] % 64;
    SINGLEMETADATA* global = _internal_copyMetadataTable(glbMetaData, kGlobalMetadataCount);
    SINGLEMETADATA* image = _internal_copyMetadataTable(imgMetaData, kImageMetadataCount);
    require(global != nullptr && image != nullptr);
    // The whole input also as one "key=value" text.
    std::string text = qmv3fuzz::AsText(data + 1, size - 1);
    char message[64];
    _internal_validate_metadata_set(text.c_str(), global, kGlobalMetadataCount, message, room);

    FILE* stream = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
    if (stream != nullptr) {
        std::string key, value;
        for (int sets = 0; sets < 64; ++sets) {
            int code = _internal_read_metadata_set_from_file(stream, key, value);
            require(code == 0 || code == -5 || code == -6);
            if (code == -5) break;
            if (code == 0) validate(key, value, global, image, room);
        }
        std::fclose(stream);
    }
    std::free(global);
    std::free(image);
    return 0;
}
