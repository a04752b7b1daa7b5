// Fuzzes the access-mode keyword texts and the code texts. Decoders see arbitrary texts; the writers
// see arbitrary modes and codes with buffers of every small size, and must stay inside them.
#include <cstdlib>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"
#include "zant/access_modes.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void fuzzDecoders(const char* text) {
    int mode = zantDecodeModeStringCMnew(text);
    require(mode >= -5);
    require(QMV3_INTERNAL_zantDecodeModeStringCMnew(text) == mode);
    require(zantDecodeModeStringCMnew(text, 4711) == (mode >= 0 ? mode : 4711));
    require(zantDecodeModeStringANYnew(text, 7, zantModesNew) == mode);
    int older = zantDecodeModeStringCM(text);
    require(older >= -3);
    require(zantDecodeModeStringCM(text, 4711) == (older >= 0 ? older : 4711));
    int access = zantDecodeModeStringCA(text);
    require(access >= -3);
    require(zantDecodeModeStringCA(text, 4711) == (access >= 0 ? access : 4711));
    if (mode >= 0) {
        std::string words;
        require(zantModeToString(mode, false, words) == 1);
        int bits = -1;
        if (zantCMtoCA(mode, bits) == 1) require(bits >= 0);
    }
}

void fuzzWriters(qmv3fuzz::ByteReader& reader) {
    int mode = reader.take<int>();
    uint8_t flags = reader.take<uint8_t>();
    size_t size = reader.take<uint8_t>();
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    size_t inOut = size;
    int result = QMV3_INTERNAL_zantModeToString(mode, flags & 1, (flags & 2) ? nullptr : buffer, &inOut);
    require(result >= -1 && result <= 1);
    if (result == 1) require(inOut <= size && std::strlen(buffer) + 1 == inOut);
    int access = 0;
    QMV3_INTERNAL_zantCMtoCA(mode, (flags & 4) ? nullptr : &access);

    std::memset(buffer, 'x', sizeof buffer);
    zantReturnCodeToString(mode, buffer, size);
    if (size >= 2) require(std::memchr(buffer, '\0', size) != nullptr);
    std::memset(buffer, 'x', sizeof buffer);
    inOut = size;
    if (qmZantCodeToString(mode, buffer, &inOut) == 1) require(inOut <= size && buffer[inOut - 1] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xFF) {
        qmv3fuzz::ByteReader reader(data + 1, size - 1);
        fuzzWriters(reader);
        return 0;
    }
    fuzzDecoders(qmv3fuzz::AsText(data, size).c_str());
    return 0;
}
