// Fuzzes the UTC time texts of the sequence files. Any text the reader accepts must survive a round
// trip through the writer, and any time the writer renders must read back to the same time; texts of
// every form are written into buffers of every small size.
#include <cstdlib>

#include "fuzz_support.h"
#include "platform/platform.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The writer's twelve-hour form with microseconds, read back.
void checkRoundTrip(int64_t seconds, uint32_t microseconds) {
    char text[64];
    if (platformTimeToUTCString(seconds, microseconds, true, false, true, text, sizeof text) == nullptr) return;
    int64_t readSeconds = -1;
    uint32_t readMicroseconds = 0;
    require(platformUTCStringToTimeT(text, readSeconds, readMicroseconds));
    require(readSeconds == seconds && readMicroseconds == microseconds);
}

void fuzzWriter(qmv3fuzz::ByteReader& reader) {
    int64_t seconds = reader.take<int64_t>();
    uint32_t fraction = reader.take<uint32_t>();
    uint8_t flags = reader.take<uint8_t>();
    unsigned size = reader.take<uint8_t>();
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    char* result = platformTimeToUTCString(seconds, fraction, flags & 1, flags & 2, flags & 4, buffer, size);
    if (result != nullptr) require(result == buffer && std::memchr(buffer, '\0', size) != nullptr);
    // Years from 1970 to 9999 have four-digit texts that the reader takes.
    if (seconds >= 0 && seconds < 253402300800LL && fraction < 1000000) checkRoundTrip(seconds, fraction);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xFF) {
        qmv3fuzz::ByteReader reader(data + 1, size - 1);
        fuzzWriter(reader);
        return 0;
    }
    std::string text = qmv3fuzz::AsText(data, size);
    int64_t seconds = -7;
    uint32_t microseconds = 7;
    if (platformUTCStringToTimeT(text.c_str(), seconds, microseconds)) {
        require(microseconds < 1000000);
        // A day of 0 in January 1970 reads as a time before the epoch, which no text of the reader names.
        if (seconds >= 0) checkRoundTrip(seconds, microseconds);
    } else {
        require(seconds == -7 && microseconds == 7);
    }
    return 0;
}
