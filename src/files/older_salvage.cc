// Salvage of the older IMM, BKG, IMC and BKC files. Their frames are of one size that the header gives,
// so a cut file keeps every whole frame before the cut. IMC and BKC frames carry their own lengths and a
// zlib stream: a frame whose stream is damaged is dropped and the walk goes on after it; where a frame
// header is damaged the next one is found by its length field, which must equal the frame size. The
// frames kept become GRAY images as the loader makes them, numbered by their place in the file.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "files/salvage.h"
#include "files/sequence_files.h"
#include "legacy/legacy.h"
#include "legacy/legacy_io.h"
#include "util/deflate_engine.h"
#include "util/frame_memory.h"

namespace salvage {

namespace {

using namespace qmv3::legacy;

// The first byte of every zlib stream the writers make (deflate, 32 KiB window).
constexpr unsigned char kZlibFirstByte = 0x78;
constexpr uint64_t kMaxInflateRatio = 1032;

std::string Bytes(uint64_t count) { return std::to_string(count) + (count == 1 ? " byte" : " bytes"); }

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using FramePtr = std::unique_ptr<unsigned char, FreeDeleter>;

// Frames kept from an older file, with their scales and their places in the file.
struct KeptFrames {
    std::vector<FramePtr> frames;
    std::vector<double> scales;
    std::vector<uint32_t> places;
};

struct Geometry {
    uint32_t width = 0, height = 0, bits = 0, effectiveBits = 0, frameBytes = 0;
};

bool ReadAt(ByteReader& file, uint64_t offset, void* buffer, size_t count) {
    return offset <= file.Length() && count <= file.Length() - offset && file.Seek(offset) &&
           file.ReadBytes(buffer, count);
}

bool FrameWordsGeometry(const unsigned char* words, Geometry& geometry) {
    const FrameWords decoded = DecodeFrameWords(words);
    geometry = {decoded.width, decoded.height, decoded.bitsPerPixel, decoded.effectiveBits, 0};
    return decoded.width != 0 && decoded.height != 0 && (decoded.bitsPerPixel == 8 || decoded.bitsPerPixel == 16) &&
           decoded.effectiveBits <= 16 &&
           FrameBytes(decoded.width, decoded.height, decoded.bitsPerPixel, &geometry.frameBytes) &&
           geometry.frameBytes != 0;
}

bool ImcGeometry(const unsigned char* header, Geometry& geometry, uint32_t& count) {
    geometry.width = Load<uint32_t>(header);
    geometry.height = Load<uint32_t>(header + 4);
    const uint32_t word = Load<uint32_t>(header + 8);
    geometry.bits = word <= 0xFFFF ? word : word & 0xFFFF;
    geometry.effectiveBits = word <= 0xFFFF ? word : word >> 16;
    count = Load<uint32_t>(header + 12);
    return (geometry.bits == 8 || geometry.bits == 16) && count != 0 &&
           FrameBytes(geometry.width, geometry.height, geometry.bits, &geometry.frameBytes) && geometry.frameBytes != 0;
}

// A frame of frameBytes read whole from offset; null when memory is short (thrown) or the read fails.
FramePtr ReadFrame(ByteReader& file, uint64_t offset, uint32_t frameBytes) {
    FramePtr frame(static_cast<unsigned char*>(frame_memory::AllocateFrame(frameBytes)));
    if (!frame) throw std::bad_alloc();
    if (!ReadAt(file, offset, frame.get(), frameBytes)) frame.reset();
    return frame;
}

void Keep(KeptFrames& kept, FramePtr frame, double scale, uint32_t place) {
    kept.frames.push_back(std::move(frame));
    kept.scales.push_back(scale);
    kept.places.push_back(place);
}

// IMM: records of two frame words, the pixels and a scale; BKG: one record without the scale.
void WalkFrameWordsFile(ByteReader& file, const Geometry& geometry, bool background, KeptFrames& kept, Walk& walk) {
    Findings& findings = walk.findings;
    const uint64_t record = uint64_t{geometry.frameBytes} + kFrameWordsBytes + (background ? 0 : kScaleBytes);
    const uint64_t size = file.Length();
    uint32_t place = 1;
    uint64_t at = 0;
    for (; at + record <= size && !walk.Interrupted(); at += record, ++place) {
        walk.Progress(static_cast<double>(at) / static_cast<double>(size));
        unsigned char words[kFrameWordsBytes];
        Geometry recordGeometry;
        if (!ReadAt(file, at, words, sizeof words) || !FrameWordsGeometry(words, recordGeometry) ||
            recordGeometry.width != geometry.width || recordGeometry.height != geometry.height ||
            recordGeometry.bits != geometry.bits || recordGeometry.effectiveBits != geometry.effectiveBits) {
            findings.Drop(place, at, QMV3_LOAD_INVALID_FILE, "its frame words are damaged");
            continue;
        }
        FramePtr frame = ReadFrame(file, at + kFrameWordsBytes, geometry.frameBytes);
        unsigned char scale[kScaleBytes] = {};
        if (!frame ||
            (!background && !ReadAt(file, at + kFrameWordsBytes + geometry.frameBytes, scale, sizeof scale))) {
            findings.Drop(place, at, QMV3_LOAD_SHORT_READ, "it could not be read");
            continue;
        }
        Keep(kept, std::move(frame), background ? 1.0 : Load<double>(scale), place);
    }
    if (at < size && !walk.Interrupted()) {
        findings.Drop(place, at, QMV3_LOAD_SHORT_READ,
                      "the file ends inside its record (" + Bytes(size - at) + " of " + Bytes(record) + " are there)");
    }
}

// A plausible IMC/BKC frame header at offset: the frame size as length, a stream that fits the file
// and starts like a zlib stream.
bool PlausibleImcFrame(ByteReader& file, uint64_t offset, uint32_t frameBytes) {
    unsigned char header[kImcFrameHeaderBytes + 1];
    if (!ReadAt(file, offset, header, sizeof header)) return false;
    const uint32_t compressed = Load<uint32_t>(header + 8);
    return Load<uint32_t>(header + 12) == frameBytes && compressed > 0 &&
           compressed <= file.Length() - offset - kImcFrameHeaderBytes && header[16] == kZlibFirstByte;
}

// The next plausible frame header after offset; the file's size when there is none.
uint64_t FindImcFrame(ByteReader& file, uint64_t offset, uint32_t frameBytes) {
    unsigned char length[4];
    Store<uint32_t>(length, frameBytes);
    std::vector<unsigned char> piece;
    constexpr uint64_t kPiece = 1u << 20;
    for (uint64_t start = offset + 12; start + 5 <= file.Length(); start += kPiece) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(kPiece + 4, file.Length() - start));
        piece.resize(count);
        if (!ReadAt(file, start, piece.data(), count)) break;
        for (size_t at = 0; at + 4 <= count && at < kPiece; ++at) {
            if (std::memcmp(&piece[at], length, 4) != 0) continue;
            if (start + at - 12 > offset && PlausibleImcFrame(file, start + at - 12, frameBytes))
                return start + at - 12;
        }
    }
    return file.Length();
}

void WalkImcFile(ByteReader& file, const Geometry& geometry, KeptFrames& kept, Walk& walk) {
    Findings& findings = walk.findings;
    deflate_engine::Inflater inflater;
    std::vector<unsigned char> stream;
    const uint64_t size = file.Length();
    uint64_t at = kImcFileHeaderBytes;
    uint32_t place = 1;
    while (at < size && !walk.Interrupted()) {
        walk.Progress(static_cast<double>(at) / static_cast<double>(size));
        unsigned char header[kImcFrameHeaderBytes];
        if (!ReadAt(file, at, header, sizeof header)) {
            findings.Drop(place, at, QMV3_LOAD_SHORT_READ, "the file ends inside its frame header");
            return;
        }
        const uint32_t compressed = Load<uint32_t>(header + 8);
        if (Load<uint32_t>(header + 12) != geometry.frameBytes || compressed == 0 ||
            uint64_t{compressed} * kMaxInflateRatio + 64 < geometry.frameBytes) {
            const uint64_t next = FindImcFrame(file, at, geometry.frameBytes);
            findings.Drop(place++, at, QMV3_LOAD_INVALID_FILE, "its frame header is damaged");
            findings.Skip(next - at);
            at = next;
            continue;
        }
        if (compressed > size - at - sizeof header) {
            findings.Drop(place, at, QMV3_LOAD_SHORT_READ,
                          "the file ends inside its stream (" + Bytes(size - at - sizeof header) + " of " +
                              Bytes(compressed) + " are there)");
            return;
        }
        stream.resize(compressed);
        FramePtr frame(static_cast<unsigned char*>(frame_memory::AllocateFrame(geometry.frameBytes)));
        if (!frame) throw std::bad_alloc();
        if (!ReadAt(file, at + sizeof header, stream.data(), compressed) ||
            !inflater.Inflate(stream.data(), compressed, frame.get(), geometry.frameBytes)) {
            findings.Drop(place, at, QMV3_LOAD_DECOMPRESSION_FAILED,
                          "its stream is damaged (it does not inflate to its " + Bytes(geometry.frameBytes) + ")");
        } else {
            Keep(kept, std::move(frame), Load<double>(header), place);
        }
        at += sizeof header + compressed;
        ++place;
    }
}

// Turns the kept frames into images through the loader's conversion, numbered by their places;
// QMV3_LOAD_OK or the code that ends the salvage.
int ToImages(const Walk& walk, const Geometry& geometry, int type, KeptFrames& frames) {
    if (frames.frames.empty()) return QMV3_LOAD_OK;
    PendingRecord pending;
    const uint32_t count = static_cast<uint32_t>(frames.frames.size());
    if (!pending.AllocateArrays(count)) throw std::bad_alloc();
    VIDINFHDR& record = pending.record();
    record.width = geometry.width;
    record.height = geometry.height;
    record.bpp = geometry.bits;
    record.ebitpp = geometry.effectiveBits;
    for (uint32_t i = 0; i < count; ++i) {
        record.framebits[i] = frames.frames[i].release();
        record.framescales[i] = frames.scales[i];
    }
    record.scale = record.framescales[0];
    record.type = type;
    QMBUNCHOFIMAGES images{};
    std::string text;
    if (!internal_transcode_vidinfhdr_to_qmbunchofimages(walk.path, &record, &images, nullptr, nullptr, 0.0, text,
                                                         FrameHandover::kTake)) {
        walk.errorText = _internal_filePrefix(walk.path) + " load error: " + text;
        return QMV3_LOAD_TRANSCODING_FAILED;
    }
    bool keptAll = true;
    for (uint32_t i = 0; i < images.numFrames; ++i) {
        images.imageArray[i].frameHeader.frameNumber = frames.places[i];
        if (keptAll) {
            keptAll = walk.kept.Add(images.imageArray[i]);
        } else {
            std::free(images.imageArray[i].frameBuffer);
        }
    }
    std::free(images.imageArray);
    if (keptAll) return QMV3_LOAD_OK;
    walk.errorText = _internal_filePrefix(walk.path) + " load error: Memory allocation error.";
    return QMV3_LOAD_OUT_OF_MEMORY;
}

}  // namespace

int SalvageOlder(Walk& walk, int kind) {
    ByteReader file;
    if (!OpenForLoad(file, walk.path)) {
        walk.errorText = _internal_filePrefix(walk.path) + " could not be opened for reading.";
        return QMV3_LOAD_OPEN_FAILED;
    }
    Findings& findings = walk.findings;
    findings.kind = kind;
    Geometry geometry;
    KeptFrames frames;
    int type = VIDINFHDR_TYPE_IMM;
    unsigned char header[kImcFileHeaderBytes];
    if (kind == QMV3_FILE_IMC_BKC) {
        uint32_t count = 0;
        if (!ReadAt(file, 0, header, sizeof header) || !ImcGeometry(header, geometry, count)) return QMV3_LOAD_OK;
        findings.announced = count;
        type = VIDINFHDR_TYPE_IMC;
        WalkImcFile(file, geometry, frames, walk);
    } else {
        if (!ReadAt(file, 0, header, kFrameWordsBytes) || !FrameWordsGeometry(header, geometry)) return QMV3_LOAD_OK;
        const bool background = kind == QMV3_FILE_BKG;
        type = background ? VIDINFHDR_TYPE_BKG : VIDINFHDR_TYPE_IMM;
        WalkFrameWordsFile(file, geometry, background, frames, walk);
    }
    if (walk.Interrupted()) {
        walk.errorText = _internal_filePrefix(walk.path) + " load error: Interrupted by user.";
        return QMV3_LOAD_INTERRUPTED;
    }
    const int code = ToImages(walk, geometry, type, frames);
    if (code == QMV3_LOAD_OK) walk.Progress(1.0);
    return code;
}

}  // namespace salvage
