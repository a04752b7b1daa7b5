// Fuzzes the salvage of damaged files. Whatever the input, the salvage must end, report consistently
// and keep only valid images; and where the ordinary loader accepts the file, the salvage must keep at
// least the images the loader gives, with the same pixels.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct Tally {
    unsigned images = 0;  // calls for images (not for damage of no image)
};

void Count(void* context, unsigned image, unsigned long long, int code, const char* reason) {
    require(reason != nullptr && reason[0] != '\0' && code < 0);
    if (image > 0) ++static_cast<Tally*>(context)->images;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = qmv3fuzz::WriteScratchFile("damaged.imc2", data, size);
    QMBUNCHOFIMAGES recovered{};
    QMV3_RECOVER_REPORT report{};
    report.size = sizeof report;
    Tally tally;
    char message[256];
    const int code = qmRecoverImagesFromFile(path.c_str(), &recovered, &report, Count, &tally, nullptr, nullptr,
                                             message, sizeof message);
    require(report.dropped == tally.images);
    if (code == QMV3_LOAD_OK) {
        require(recovered.numFrames == report.kept && report.kept > 0 && recovered.imageArray != nullptr);
        for (uint32_t i = 0; i < recovered.numFrames; ++i)
            require(qmCheckImageValidity(&recovered.imageArray[i], nullptr, 0) == QMV3_IMAGE_VALID);
    } else {
        require(code < 0 && recovered.numFrames == 0 && recovered.imageArray == nullptr && report.kept == 0);
        require(std::memchr(message, '\0', sizeof message) != nullptr);
    }
    QMBUNCHOFIMAGES loaded{};
    if (qmLoadImagesFromFileEx(path.c_str(), &loaded, nullptr, nullptr, nullptr, 0) == QMV3_LOAD_OK) {
        require(code == QMV3_LOAD_OK && recovered.numFrames >= loaded.numFrames);
        for (uint32_t i = 0; i < loaded.numFrames; ++i) {
            const DIMAGE& a = loaded.imageArray[i];
            const DIMAGE& b = recovered.imageArray[i];
            require(a.frameHeader.appendedFrameSize == b.frameHeader.appendedFrameSize);
            require(std::memcmp(a.frameBuffer, b.frameBuffer, static_cast<size_t>(a.frameHeader.appendedFrameSize)) ==
                    0);
        }
        qmFreeBunch(&loaded);
    }
    qmFreeBunch(&recovered);
    qmv3fuzz::ClearScratch();
    return 0;
}
