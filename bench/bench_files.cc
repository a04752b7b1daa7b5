// The scratch folder lives as long as the process; files left in it by a failed benchmark go with it.
#include "bench_files.h"

#include <malloc.h>
#include <stdlib.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "util/deflate_engine.h"

namespace qmv3bench {

namespace {

struct ScratchFolder {
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qmv3-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

}  // namespace

std::string ScratchFile(const std::string& name) {
    static ScratchFolder folder;
    return (folder.path.empty() ? std::string(".") : folder.path) + "/" + name;
}

FastCompression::FastCompression(bool on) {
    if (on) setenv(deflate_engine::kFastCompressionVariable, "1", 1);
    if (!on) unsetenv(deflate_engine::kFastCompressionVariable);
}

FastCompression::~FastCompression() { unsetenv(deflate_engine::kFastCompressionVariable); }

std::vector<std::vector<unsigned char>> CompressFrames(const QMBUNCHOFIMAGES& sequence) {
    std::vector<std::vector<unsigned char>> streams;
    for (uint32_t i = 0; i < sequence.numFrames; ++i) {
        const DIMAGE& image = sequence.imageArray[i];
        uLongf length = compressBound(image.frameHeader.appendedFrameSize);
        std::vector<unsigned char> stream(length);
        compress(stream.data(), &length, image.frameBuffer, image.frameHeader.appendedFrameSize);
        stream.resize(length);
        streams.push_back(std::move(stream));
    }
    return streams;
}

void ReleaseFreedMemory() { malloc_trim(0); }

void FreeAll(std::vector<unsigned char*>& buffers) {
    for (unsigned char* buffer : buffers) std::free(buffer);
    buffers.clear();
}

}  // namespace qmv3bench
