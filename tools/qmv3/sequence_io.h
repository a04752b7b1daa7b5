// What several commands share: owning wrappers of the library's sequence and older record, loading and
// saving with a progress bar and Ctrl-C, decompression, and the names of the file kinds.
#ifndef QMV3_TOOL_SEQUENCE_IO_H
#define QMV3_TOOL_SEQUENCE_IO_H

#include <cstdint>
#include <string>

#include "qmv3/qmv3.h"

namespace qmv3tool {

// An image sequence owned by the tool, released with qmFreeBunch.
class Sequence {
  public:
    Sequence() { qmInitializeBunchStructure(&images_); }
    ~Sequence() { qmFreeBunch(&images_); }
    Sequence(const Sequence&) = delete;
    Sequence& operator=(const Sequence&) = delete;

    QMBUNCHOFIMAGES* get() { return &images_; }
    const QMBUNCHOFIMAGES* get() const { return &images_; }
    uint32_t size() const { return images_.imageArray ? images_.numFrames : 0; }
    DIMAGE& operator[](uint32_t index) { return images_.imageArray[index]; }
    const DIMAGE& operator[](uint32_t index) const { return images_.imageArray[index]; }

  private:
    QMBUNCHOFIMAGES images_;
};

// An older multi-frame record owned by the tool, released with free_vidinfhdr.
class OlderRecord {
  public:
    OlderRecord() { initialize_vidinfhdr(&record_); }
    ~OlderRecord() { free_vidinfhdr(&record_); }
    OlderRecord(const OlderRecord&) = delete;
    OlderRecord& operator=(const OlderRecord&) = delete;

    VIDINFHDR* get() { return &record_; }

  private:
    VIDINFHDR record_;
};

// What the system says about reading a file, as the library describes it: "No such file or directory",
// "it is a folder", "file is 412 bytes" (", shorter than one header" when it is), ...
std::string FileProblem(const std::string& path);

// Loads any file the library reads into an empty sequence (with options: as qmLoadImagesFromFileEx2
// loads it); false with a message that names the file (the library's message, or for a file of no
// kind whose closest kind is not IMC2/BKC2 that kind's reason, and in parentheses the file's problem).
bool LoadSequence(const std::string& path, Sequence& sequence, std::string& message,
                  const QMV3_LOAD_OPTIONS* options = nullptr);
// LoadSequence of the headers only: every image without pixels (frameBuffer null).
bool LoadHeaders(const std::string& path, Sequence& sequence, std::string& message);

// The save flags of "--compress fast|default|none"; false for another text.
bool ParseCompression(const char* text, unsigned int& flags);
#define QMV3_COMPRESS_HELP                                                               \
    "      --compress fast|default|none\n"                                               \
    "                    IMC2/BKC2: the fast engine, zlib's default level (the default)\n" \
    "                    or no compression; every reader inflates all of them\n"

// Whether a save to path could start (the library's check): false with the message to show.
bool CheckOutput(const std::string& path, bool force, std::string& message);

// Writes images first..last (1-based, inclusive) into the interchange format the extension of path
// names (TIFF, PNG, HDF5) with a progress bar and Ctrl-C; JPEG frames must be decompressed first.
// An existing file is replaced only with force. summary receives "run.tif (1234 bytes)" or
// "10 files run-01.png .. run-10.png (1234 bytes)".
bool ExportSequence(const Sequence& sequence, uint32_t first, uint32_t last, const std::string& path, bool compress,
                    bool force, std::string& summary, std::string& message);

// Saves a sequence with the library's save flags; the library chooses the format by the extension.
// False with the library's message (the tool's own for a name that is taken) and its code.
bool SaveSequence(Sequence& sequence, const std::string& path, unsigned int flags, int& code, std::string& message);

// The library's verdict on the frame numbers, also of a sequence loaded with its headers only:
// "complete sequence", "sequence with gaps or repeats" or "not one sequence".
const char* SequenceVerdict(const Sequence& sequence);
// The image's time stamp as the library writes it in UTC, or "(no valid time)".
std::string UtcText(const DIMAGE& image);

// Whether any image holds a JPEG frame.
bool HasCompressedImages(const Sequence& sequence);

// Decompresses every JPEG frame in place (the compressed buffers are released); false with a message.
bool DecompressSequence(Sequence& sequence, std::string& message);

// The name the library's bitmap export gives the frame of that number (digits 0 .. 3).
std::string BitmapFileName(const std::string& prefix, long number, long digits);

// The file kind named by a qmCheckFileFormat result, or null for -1 and unknown values.
const char* FileKindName(int detection);

// Appended width and height, as the library reads them from the header.
int ImageWidth(const DIMAGE& image);
int ImageHeight(const DIMAGE& image);

// The text of a pixel-format code ("GRAY", "JPEG", ...), from the library.
std::string FormatName(int format);

// The text of a control-system completion code, "" when the library has none.
std::string ZantCodeText(int code);

// Seconds since an arbitrary start, for the timings of the demo and the tool's reports.
double MonotonicSeconds();

// Size of a file in bytes, -1 when it cannot be read.
long long FileSize(const std::string& path);

}  // namespace qmv3tool

#endif
