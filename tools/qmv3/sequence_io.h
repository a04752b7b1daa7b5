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

// Loads any file the library reads into an empty sequence; false with the library's message.
bool LoadSequence(const std::string& path, Sequence& sequence, std::string& message);

// Saves a sequence; the library chooses the format by the extension. False with the library's message.
// The progress bar shows shownName when it is given (the user's name of a temporary path).
bool SaveSequence(Sequence& sequence, const std::string& path, std::string& message, const std::string& shownName = "");

// Whether any image holds a JPEG frame.
bool HasCompressedImages(const Sequence& sequence);

// Decompresses every JPEG frame in place (the compressed buffers are released); false with a message.
bool DecompressSequence(Sequence& sequence, std::string& message);

// The file kind named by a qmCheckFileFormat result, or null for -1 and unknown values.
const char* FileKindName(int detection);

// Appended width and height: the area of interest when it is set, else the source size.
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
