// Import of TIFF, PNG and HDF5 files: recognition by content and the frames that importers build.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "interchange/interchange.h"
#include "util/regular_file.h"

namespace interchange {

ImportKind ImportKindOf(const unsigned char* head, size_t size) {
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    static const unsigned char kHdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(head, kPng, 8) == 0) return ImportKind::kPng;
    if (size >= 8 && std::memcmp(head, kHdf5, 8) == 0) return ImportKind::kHdf5;
    // Classic and big TIFF, in either byte order.
    if (size >= 4 && ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
                      (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43))))
        return ImportKind::kTiff;
    return ImportKind::kNone;
}

ImportKind ImportKindOfFile(const std::string& path) {
    unsigned char head[8];
    FILE* file = regular_file::OpenStream(path.c_str());
    if (file == nullptr) return ImportKind::kNone;
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return ImportKindOf(head, got);
}

bool ImportImageFile(const std::string& path, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits,
                     std::string& message, uint32_t* positions) {
    switch (ImportKindOfFile(path)) {
        case ImportKind::kTiff:
            return ImportTiff(&path, nullptr, 0, sequence, limits, message, positions);
        case ImportKind::kPng:
            return ImportPng(&path, nullptr, 0, sequence, limits, message, positions);
        case ImportKind::kHdf5:
            return ImportHdf5(path, sequence, limits, message, positions);
        default:
            message = "neither a TIFF, a PNG nor an HDF5 file";
            return false;
    }
}

bool ImportImageMemory(const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits,
                       std::string& message) {
    switch (ImportKindOf(data, size)) {
        case ImportKind::kTiff:
            return ImportTiff(nullptr, data, size, sequence, limits, message);
        case ImportKind::kPng:
            return ImportPng(nullptr, data, size, sequence, limits, message);
        default:
            message = "neither a TIFF nor a PNG file";
            return false;
    }
}

ImportedFrames::~ImportedFrames() {
    for (DIMAGE& image : frames_) std::free(image.frameBuffer);
}

ImportedFrames::Take ImportedFrames::Next(const ImportLimits& limits) const {
    const uint32_t position = positions_ + 1;
    if (position < limits.first || (limits.last != 0 && position > limits.last)) return Take::kSkip;
    return limits.headersOnly ? Take::kHeader : Take::kPixels;
}

bool ImportedFrames::Fits(uint32_t width, uint32_t height, uint64_t bytes, std::string& message) const {
    const std::string which = "page " + std::to_string(positions_ + 1);
    if (width == 0 || height == 0) {
        message = which + " has no pixels";
        return false;
    }
    if (bytes > QMV3_MAX_TRANSPORT_SIZE) {
        message = which + " of " + std::to_string(width) + " x " + std::to_string(height) + " pixels needs " +
                  std::to_string(bytes) + " bytes, more than the largest frame (" +
                  std::to_string(QMV3_MAX_TRANSPORT_SIZE) + " bytes)";
        return false;
    }
    return true;
}

bool ImportedFrames::Push(const DIMAGE& image, std::string& message) {
    try {
        frames_.push_back(image);
    } catch (const std::bad_alloc&) {
        message = "not enough memory for page " + std::to_string(positions_ + 1);
        return false;
    }
    ++positions_;
    return true;
}

unsigned char* ImportedFrames::Add(uint32_t width, uint32_t height, int channels, int bytesPerSample,
                                   const FrameFacts& facts, const ImportLimits& limits, std::string& message) {
    const uint64_t bytes = uint64_t(width) * height * uint64_t(channels) * uint64_t(bytesPerSample);
    if (!Fits(width, height, bytes, message)) return nullptr;
    if (limits.maxTotalBytes != 0 && totalBytes_ + bytes > limits.maxTotalBytes) {
        message = "the frames need more than " + std::to_string(limits.maxTotalBytes) +
                  " bytes, the load memory limit (QMV3_LOAD_MEMORY_LIMIT)";
        return nullptr;
    }
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    MakeImageHeader(image, width, height, channels, bytesPerSample, facts);
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(bytes));
    if (image.frameBuffer == nullptr) {
        message = "not enough memory for page " + std::to_string(positions_ + 1);
        return nullptr;
    }
    image.frameBufferSize = static_cast<uint32_t>(bytes);
    if (!Push(image, message)) {
        std::free(image.frameBuffer);
        return nullptr;
    }
    totalBytes_ += bytes;
    return frames_.back().frameBuffer;
}

bool ImportedFrames::AddHeader(uint32_t width, uint32_t height, int channels, int bytesPerSample,
                               const FrameFacts& facts, std::string& message) {
    const uint64_t bytes = uint64_t(width) * height * uint64_t(channels) * uint64_t(bytesPerSample);
    if (!Fits(width, height, bytes, message)) return false;
    // The frame's bytes as its header announces them and no buffer: what a load of headers gives.
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    MakeImageHeader(image, width, height, channels, bytesPerSample, facts);
    return Push(image, message);
}

bool ImportedFrames::MoveInto(QMBUNCHOFIMAGES* sequence, std::string& message) {
    QMBUNCHOFIMAGES* images = sequence;
    if (frames_.empty()) {
        message = "no frames";
        return false;
    }
    DIMAGE* array = static_cast<DIMAGE*>(std::malloc(frames_.size() * sizeof(DIMAGE)));
    if (array == nullptr) {
        message = "not enough memory";
        return false;
    }
    std::memcpy(array, frames_.data(), frames_.size() * sizeof(DIMAGE));
    qmFreeBunch(images);
    images->imageArray = array;
    images->numFrames = static_cast<uint32_t>(frames_.size());
    frames_.clear();
    return true;
}

}  // namespace interchange
