// The interchange formats: multi-page TIFF, PNG and HDF5 files for analysis programs, read back as image
// sequences. Each format lives in a file of its own (tiff_format.cc, png_format.cc, hdf5_format.cc,
// hdf5_import.cc); this header is what the file calls and the import fuzz harness see of them. Writers
// write exactly the names they are given: where the files go first and how they replace others is the
// save policy's (save_policy.h).
//
// Thread rules: libtiff's and the HDF5 library's message handlers are process-wide; these functions
// are meant for one thread at a time, as the library's file calls are.
#ifndef QMV3_INTERCHANGE_INTERCHANGE_H
#define QMV3_INTERCHANGE_INTERCHANGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "interchange/frame_metadata.h"
#include "qmv3/qmv3.h"

namespace interchange {

// ---- Frames as the interchange formats see them ----

struct PixelLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    int channels = 1;        // 1 grey, 3 RGB
    int bytesPerSample = 1;  // 1 or 2 (grey only)
    const unsigned char* pixels = nullptr;
    size_t bytes() const { return size_t(width) * height * size_t(channels) * size_t(bytesPerSample); }
    bool SameShape(const PixelLayout& other) const {
        return width == other.width && height == other.height && channels == other.channels &&
               bytesPerSample == other.bytesPerSample;
    }
};

// The layout of an uncompressed GRAY (1 or 2 bytes) or RGB (3 bytes) frame; false with a message that
// names the image by its 1-based position.
bool PixelLayoutOf(const DIMAGE& image, uint32_t position, PixelLayout& layout, std::string& message);

// What an export is asked to do; interrupt (may be null) becomes non-zero on Ctrl-C, progress (may be
// null) runs from 0 to 1.
struct ExportControl {
    bool compress = false;
    const int* interrupt = nullptr;
    double* progress = nullptr;
    bool Interrupted() const { return interrupt != nullptr && *interrupt != 0; }
};

// The frames to export with their 1-based positions in the sequence.
struct ExportFrame {
    const DIMAGE* image;
    uint32_t position;
};
using ExportFrames = std::vector<ExportFrame>;

// Writers: the file is complete at path when they return true; on false message says why and the
// caller removes what was written. Frames must be uncompressed.
bool WriteTiffFile(const std::string& path, const ExportFrames& frames, const ExportControl& control,
                   std::string& message);
bool WriteHdf5File(const std::string& path, const ExportFrames& frames, const ExportControl& control,
                   std::string& message);
// One PNG per frame, frame i to paths[i].
bool WritePngFiles(const std::vector<std::string>& paths, const ExportFrames& frames, const ExportControl& control,
                   std::string& message);
// "STEM-07.png" for position 7 of a sequence of 10 to 99 frames.
std::string PngFrameName(const std::string& path, uint32_t position, uint32_t sequenceSize);
// A PNG of one frame in memory; compress chooses the strongest deflate over the fastest.
bool EncodePng(const DIMAGE& image, bool compress, std::vector<unsigned char>& png, std::string& message);

// The names a PNG export of frames writes for path: one per frame, or exactly path for one frame.
std::vector<std::string> PngNames(const std::string& path, const ExportFrames& frames, uint32_t sequenceSize);

// ---- Import ----

enum class ImportKind { kNone, kTiff, kPng, kHdf5 };

// The interchange format a file starts with, from its first bytes (HDF5: its signature at offset 0).
ImportKind ImportKindOf(const unsigned char* head, size_t size);
ImportKind ImportKindOfFile(const std::string& path);

struct ImportLimits {
    uint64_t maxTotalBytes = 0;  // frame bytes of the frames taken; 0: no limit beyond memory
    // The frames to take, by position from 1 (last 0: to the end), and whether without their pixels:
    // the others are passed over without being decoded.
    uint32_t first = 1;
    uint32_t last = 0;
    bool headersOnly = false;
};

// Reads a TIFF, PNG or HDF5 file into an empty sequence: uncompressed valid GRAY or RGB images. False
// with the reason (without the file name); the sequence is then empty. The caller frees the sequence
// with qmFreeBunch.
// positions (may be null) receives the number of frames in a file read to its end without a failure, so
// that a caller can tell a range beyond the file from a damaged file.
bool ImportImageFile(const std::string& path, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits,
                     std::string& message, uint32_t* positions = nullptr);
// The same from memory (TIFF and PNG; HDF5 reads files only).
bool ImportImageMemory(const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits,
                       std::string& message);

// The formats' own readers (memory: data and size; file: path).
bool ImportTiff(const std::string* path, const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence,
                const ImportLimits& limits, std::string& message, uint32_t* positions = nullptr);
bool ImportPng(const std::string* path, const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence,
               const ImportLimits& limits, std::string& message, uint32_t* positions = nullptr);
// HDF5: our layout (/entry/data/data with its frame numbers and time stamps), else /entry/data/data or
// the file's only 2-D or 3-D dataset, uint8 or uint16, a last axis of 3 meaning RGB (uint8).
bool ImportHdf5(const std::string& path, QMBUNCHOFIMAGES* sequence, const ImportLimits& limits, std::string& message,
                uint32_t* positions = nullptr);
// Whether an HDF5 file holds a dataset ImportHdf5 takes; false with the reason.
bool ProbeHdf5(const std::string& path, std::string& message);

// Frames read by an importer before they become a sequence: each owns its malloc'd buffer.
class ImportedFrames {
  public:
    ImportedFrames() = default;
    ~ImportedFrames();
    ImportedFrames(const ImportedFrames&) = delete;
    ImportedFrames& operator=(const ImportedFrames&) = delete;

    // What the limits ask of the frame at the next position.
    enum class Take { kSkip, kHeader, kPixels };
    Take Next(const ImportLimits& limits) const;
    // Whether every position the limits ask for has been seen.
    bool Done(const ImportLimits& limits) const { return limits.last != 0 && positions_ >= limits.last; }
    // The next position, not taken.
    void Pass() { ++positions_; }
    // The next position as a new frame with a header made by MakeImageHeader and a buffer of its size;
    // null (with message) when the frame is too large, the limits are exceeded or memory is short.
    unsigned char* Add(uint32_t width, uint32_t height, int channels, int bytesPerSample, const FrameFacts& facts,
                       const ImportLimits& limits, std::string& message);
    // The same without a buffer (the header announces the frame's bytes); false with message.
    bool AddHeader(uint32_t width, uint32_t height, int channels, int bytesPerSample, const FrameFacts& facts,
                   std::string& message);
    // Positions seen: frames taken and passed over.
    uint32_t positions() const { return positions_; }
    DIMAGE& Last() { return frames_.back(); }
    size_t size() const { return frames_.size(); }
    // Hands the frames over to an empty sequence; false when memory is short.
    bool MoveInto(QMBUNCHOFIMAGES* sequence, std::string& message);

  private:
    bool Fits(uint32_t width, uint32_t height, uint64_t bytes, std::string& message) const;
    bool Push(const DIMAGE& image, std::string& message);

    std::vector<DIMAGE> frames_;
    uint64_t totalBytes_ = 0;
    uint32_t positions_ = 0;
};

}  // namespace interchange

#endif
