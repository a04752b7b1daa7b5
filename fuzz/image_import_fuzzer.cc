// Fuzzes the import of TIFF and PNG images (multi-page, planar, tiled, compressed, palette, alpha) and
// of HDF5 files: any input must become valid uncompressed frames or be refused with a reason, and a frame
// read in must encode as a PNG that reads back to the same pixels and facts. HDF5 is read from files
// only, so an input with its signature goes through a temporary file.
//
// Input: the file itself.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "interchange/interchange.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Frames of hostile files stay small enough for the fuzzer's memory limit.
const uint64_t kMaxBytes = 64ull << 20;

// A sequence freed on return.
struct Sequence {
    QMBUNCHOFIMAGES images;
    Sequence() { qmInitializeBunchStructure(&images); }
    ~Sequence() { qmFreeBunch(&images); }
    uint32_t size() const { return images.imageArray ? images.numFrames : 0; }
    const DIMAGE& operator[](uint32_t i) const { return images.imageArray[i]; }
};

bool ImportHdf5Bytes(const uint8_t* data, size_t size, QMBUNCHOFIMAGES* images,
                     const interchange::ImportLimits& limits, std::string& message) {
    char path[] = "/tmp/qmv3-fuzz-XXXXXX.h5";
    const int fd = mkstemps(path, 3);
    if (fd < 0) return false;
    const bool written = write(fd, data, size) == static_cast<ssize_t>(size);
    close(fd);
    const bool ok = written && interchange::ImportHdf5(path, images, limits, message);
    unlink(path);
    if (!written) message = "cannot write the temporary file";
    return ok;
}

void checkReencode(const DIMAGE& image) {
    std::vector<unsigned char> png;
    std::string message;
    require(interchange::EncodePng(image, false, png, message));
    Sequence again;
    interchange::ImportLimits limits;
    limits.maxTotalBytes = kMaxBytes;
    require(interchange::ImportImageMemory(png.data(), png.size(), &again.images, limits, message));
    require(again.size() == 1);
    const DIMAGE& back = again[0];
    require(back.frameHeader.appendedFrameSize == image.frameHeader.appendedFrameSize);
    require(std::memcmp(back.frameBuffer, image.frameBuffer, image.frameHeader.appendedFrameSize) == 0);
    require(back.frameHeader.frameNumber == image.frameHeader.frameNumber);
    require(back.sourceHeader.timestampSeconds == image.sourceHeader.timestampSeconds);
    require(back.frameHeader.imageFormat == image.frameHeader.imageFormat);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Sequence sequence;
    interchange::ImportLimits limits;
    limits.maxTotalBytes = kMaxBytes;
    std::string message;
    const bool hdf5 = interchange::ImportKindOf(data, size) == interchange::ImportKind::kHdf5;
    const bool imported = hdf5 ? ImportHdf5Bytes(data, size, &sequence.images, limits, message)
                               : interchange::ImportImageMemory(data, size, &sequence.images, limits, message);
    if (!imported) {
        require(!message.empty() && sequence.size() == 0);
        return 0;
    }
    require(sequence.size() >= 1);
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        const DIMAGE& image = sequence[i];
        require(qmCheckImageValidity(&image, nullptr, 0) == 1);
        require(image.frameHeader.imageFormat == QMV3_FORMAT_GRAY || image.frameHeader.imageFormat == QMV3_FORMAT_RGB);
    }
    checkReencode(sequence[0]);
    return 0;
}
