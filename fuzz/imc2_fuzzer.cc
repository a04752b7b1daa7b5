// Fuzzes the sequence loader and the file type detection on arbitrary files. The loader tries every
// older kind before IMC2/BKC2, so this reaches all of them through the public entry point. A sequence
// that loads must be valid, save again, and reload to the same headers and pixels.
#include <cmath>
#include <cstdlib>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Float fields are stored as six-decimal texts: equal up to that rounding (NaN matches NaN).
bool closeEnough(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (a == b) return true;
    return std::fabs(double(a) - double(b)) <= 5e-7 + 1e-6 * std::fabs(double(a));
}

bool sameHeaders(const DIMAGE_FRAMEHEADER& x, const DIMAGE_FRAMEHEADER& y) {
    const float xf[] = {x.xScale, x.yScale, x.imageRotation, x.scale_x_offset, x.scale_y_offset, x.fspare3};
    const float yf[] = {y.xScale, y.yScale, y.imageRotation, y.scale_x_offset, y.scale_y_offset, y.fspare3};
    for (size_t i = 0; i < sizeof xf / sizeof xf[0]; ++i)
        if (!closeEnough(xf[i], yf[i])) return false;
    DIMAGE_FRAMEHEADER a = x, b = y;
    a.xScale = a.yScale = a.imageRotation = a.scale_x_offset = a.scale_y_offset = a.fspare3 = 0;
    b.xScale = b.yScale = b.imageRotation = b.scale_x_offset = b.scale_y_offset = b.fspare3 = 0;
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool sameImages(const QMBUNCHOFIMAGES& a, const QMBUNCHOFIMAGES& b) {
    if (a.numFrames != b.numFrames) return false;
    for (uint32_t i = 0; i < a.numFrames; ++i) {
        const DIMAGE& x = a.imageArray[i];
        const DIMAGE& y = b.imageArray[i];
        if (!sameHeaders(x.frameHeader, y.frameHeader)) return false;
        size_t bytes = x.frameHeader.appendedFrameSize > 0 ? size_t(x.frameHeader.appendedFrameSize) : 0;
        if (bytes > 0 && std::memcmp(x.frameBuffer, y.frameBuffer, bytes) != 0) return false;
    }
    return true;
}

void checkRoundTrip(QMBUNCHOFIMAGES& images) {
    std::string out = qmv3fuzz::ScratchPath("out.imc2");
    if (qmSaveImagesToFile(&images, out.c_str()) != 0) return;
    QMBUNCHOFIMAGES again{};
    require(qmLoadImagesFromFile(out.c_str(), &again) == 0);
    require(sameImages(images, again));
    qmFreeBunch(&again);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = qmv3fuzz::WriteScratchFile("in.imc2", data, size);
    char message[256];
    size_t room = size > 0 ? data[size - 1] % sizeof message : 0;
    std::memset(message, 'x', sizeof message);
    qmCheckFileFormat(path.c_str(), message, room);
    QMBUNCHOFIMAGES images{};
    double percent = 0;
    std::memset(message, 'x', sizeof message);
    int code = qmLoadImagesFromFileEx(path.c_str(), &images, nullptr, &percent, message, room);
    if (code == 0) {
        require(images.numFrames > 0 && images.imageArray != nullptr);
        for (uint32_t i = 0; i < images.numFrames; ++i)
            require(qmCheckImageValidity(&images.imageArray[i], nullptr, 0) == 1);
        checkRoundTrip(images);
        qmFreeBunch(&images);
    } else {
        require(code < 0 && images.numFrames == 0 && images.imageArray == nullptr);
        if (room >= 2) require(std::memchr(message, '\0', room) != nullptr);
    }
    qmv3fuzz::ClearScratch();
    return 0;
}
