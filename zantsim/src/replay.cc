// Replay of recorded files through the client library's loader. The library links against the
// stand-in, so the stand-in must not link against the library: it looks the exported loader up at run
// time, first in the global scope of the process (where a program linked against the library finds
// it) and then in the library itself when that was loaded with local scope (dlopen with RTLD_NOLOAD,
// which never loads anything new). The library is always in the process where it calls the stand-in.
//
// Thread rules: called while the configuration is read, with gSimulationMutex held.
#include "replay.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "zantsim.h"

namespace zantsim {
namespace {

// The library's sequence record: an array of image records and their count.
struct SimSequence {
    SimImage* imageArray;
    uint32_t numFrames;
};

using LoadFunction = int (*)(const char*, SimSequence*, int*, double*, char*, unsigned int);
using FreeFunction = int (*)(SimSequence*);

const char kLibraryName[] = "libqmv3.so.1";

// The loader and the release of its sequence, from one place; false when the library is not loaded.
bool FindLoader(LoadFunction& load, FreeFunction& release) {
    load = reinterpret_cast<LoadFunction>(dlsym(RTLD_DEFAULT, "qmLoadImagesFromFileEx"));
    release = reinterpret_cast<FreeFunction>(dlsym(RTLD_DEFAULT, "qmFreeBunch"));
    if (load != nullptr && release != nullptr) return true;
    void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_NOLOAD);
    if (library == nullptr) return false;
    load = reinterpret_cast<LoadFunction>(dlsym(library, "qmLoadImagesFromFileEx"));
    release = reinterpret_cast<FreeFunction>(dlsym(library, "qmFreeBunch"));
    // The library calls the stand-in, so it stays loaded while the stand-in is: the handle may go.
    dlclose(library);
    return load != nullptr && release != nullptr;
}

// Copies the loaded frames; false with a reason for a frame whose size does not fit its buffer.
bool CopyFrames(const SimSequence& sequence, Recording& recording, std::string& reason) {
    recording.frames.resize(sequence.numFrames);
    for (uint32_t i = 0; i < sequence.numFrames; ++i) {
        const SimImage& image = sequence.imageArray[i];
        const int32_t size = image.appendedFrameSize;
        if (size < 0 || static_cast<uint32_t>(size) > kMaxFrameBytes ||
            (size > 0 && (image.frameBuffer == nullptr || static_cast<uint32_t>(size) > image.frameBufferSize))) {
            reason = "frame " + std::to_string(i + 1) + " has no frame bytes of its size";
            return false;
        }
        RecordedFrame& frame = recording.frames[i];
        std::memcpy(&frame.header, &image, kImageHeaderSize);
        frame.bytes.assign(image.frameBuffer, image.frameBuffer + size);
        if (static_cast<uint32_t>(size) > recording.largestFrame) recording.largestFrame = static_cast<uint32_t>(size);
    }
    return true;
}

}  // namespace

std::shared_ptr<const Recording> LoadRecording(const std::string& path, std::string& reason) {
    LoadFunction load = nullptr;
    FreeFunction release = nullptr;
    if (!FindLoader(load, release)) {
        reason = "the qmv3 library is not loaded in this process";
        return nullptr;
    }
    SimSequence sequence{nullptr, 0};
    char message[512] = {};
    const int code = load(path.c_str(), &sequence, nullptr, nullptr, message, sizeof message);
    if (code != 0) {
        reason = message[0] != '\0' ? message : "load error " + std::to_string(code);
        release(&sequence);
        return nullptr;
    }
    auto recording = std::make_shared<Recording>();
    bool copied = false;
    try {
        copied = CopyFrames(sequence, *recording, reason);
    } catch (...) {
        release(&sequence);
        throw;
    }
    release(&sequence);
    if (copied && recording->frames.empty()) reason = "the file holds no frames";
    if (!copied || recording->frames.empty()) return nullptr;
    return recording;
}

void PrepareReplay(const std::string& address, PropertyModel& property) {
    static std::set<std::string> reported;  // files reported as unloadable, each once per process
    std::string reason;
    property.recording = LoadRecording(property.replayFile, reason);
    if (!property.recording) {
        property.unavailableCode = ZANTSIM_CC_REPLAY_UNAVAILABLE;
        if (reported.insert(property.replayFile).second)
            std::fprintf(stderr,
                         "zantsim: replay file \"%s\" of %s \"%s\" cannot be loaded (%s); the property answers "
                         "with completion code %d.\n",
                         property.replayFile.c_str(), address.c_str(), property.name.c_str(), reason.c_str(),
                         ZANTSIM_CC_REPLAY_UNAVAILABLE);
        return;
    }
    const SimImage& first = property.recording->frames.front().header;
    property.width = first.sourceWidth;
    property.height = first.sourceHeight;
    property.format = first.sourceFormat;
    property.bytesPerPixel = first.bytesPerPixel;
    property.effectiveBits = first.effectiveBitsPerPixel;
    property.jpeg = first.imageFormat == kFormatJpeg;
}

}  // namespace zantsim
