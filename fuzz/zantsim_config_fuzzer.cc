// Fuzzes the stand-in's configuration file: whatever the bytes, the load either serves the devices it
// describes or refuses the file (and serves the default camera), promptly and without touching memory
// it does not own. A property it serves must deliver a frame into a buffer of the element count it
// reports, whatever its size and compression.
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"
#include "zant.h"
#include "zantsim.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Frames above this size are not read: their cost, not the logic under test, would grow.
constexpr int kLargestFrameRead = 1 << 20;

void readOneFrame(const char* address, const char* property) {
    int size = 0, format = 0;
    if (getPropertyInfoFromListenerEx(address, property, &size, &format, nullptr) != 0) return;
    require(size > 0);
    if (size > kLargestFrameRead) return;
    std::vector<unsigned char> bytes(static_cast<size_t>(size));
    DIMAGE image{};
    image.frameBuffer = bytes.data();
    image.frameBufferSize = static_cast<uint32_t>(size);
    DTYPE request{};
    request.dArrayLength = static_cast<uint32_t>(size);
    request.dFormat = CF_IMAGE;
    request.data = &image;
    const int code = alsnExecLinkEx(address, property, &request, nullptr, 1, 100, nullptr);
    require(code != ZANTSIM_CC_BUFFER_TOO_SMALL);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Long enough for nesting and attribute counts far beyond the bounds the reader enforces.
    if (size > 1000000) return 0;
    const std::string path = qmv3fuzz::WriteScratchFile("zantsim.xml", data, size);
    if (zantsim_LoadConfiguration(path.c_str()) == 0) {
        readOneFrame("/LAB/GRABBER/CAM7", "Frame");
        readOneFrame("/LAB/GRABBER/CAM7", "Jpeg");
    }
    return 0;
}
