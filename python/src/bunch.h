// The image sequences the extension hands to Python: each is one QMBUNCHOFIMAGES that the library (or
// the extension, through the library's own calls) allocated, owned by a Bunch and released with
// qmFreeBunch when the last Python object that refers to it (a Sequence, an Image, a pixel view) is gone.
#ifndef QMV3_PYTHON_BUNCH_H
#define QMV3_PYTHON_BUNCH_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"

namespace qmv3py {

class Bunch {
  public:
    Bunch() { qmInitializeBunchStructure(&images_); }
    // One frame lent by a stream: `giveBack` returns it instead of qmFreeBunch.
    Bunch(DIMAGE* lent, std::function<void()> giveBack) : giveBack_(std::move(giveBack)) {
        images_.imageArray = lent;
        images_.numFrames = 1;
    }
    ~Bunch() {
        if (giveBack_) {
            giveBack_();
        } else {
            qmFreeBunch(&images_);
        }
    }
    Bunch(const Bunch&) = delete;
    Bunch& operator=(const Bunch&) = delete;

    QMBUNCHOFIMAGES* get() { return &images_; }
    uint32_t size() const { return images_.imageArray != nullptr ? images_.numFrames : 0; }
    // Throws std::out_of_range (IndexError in Python) for an index outside the sequence.
    DIMAGE& at(size_t index);

  private:
    QMBUNCHOFIMAGES images_;
    std::function<void()> giveBack_;
};

// Some records of a Bunch as one contiguous sequence, for the library calls that take a
// QMBUNCHOFIMAGES and only read it (save, sequence checks). The records are copies that share the
// frame buffers of the Bunch, so the view must not outlive it and is never freed with qmFreeBunch.
class SelectionView {
  public:
    SelectionView(Bunch& bunch, const std::vector<uint32_t>& indices);
    QMBUNCHOFIMAGES* get() { return &view_; }

  private:
    std::vector<DIMAGE> records_;
    QMBUNCHOFIMAGES view_;
};

// The pixel rectangle of an uncompressed GRAY (1 or 2 bytes per pixel) or RGB image.
struct PixelLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 1;        // 3 for RGB
    uint32_t bytesPerSample = 1;  // 2 for 16-bit GRAY
    size_t bytes = 0;
};

// Fills layout and returns an empty text when the image's frame bytes can be seen as a numpy array;
// otherwise returns why not (compressed data, another pixel format, too few frame bytes).
std::string DescribePixels(const DIMAGE& image, PixelLayout& layout);

// The library's text of a format code ("GRAY", "JPEG", "UNKNOWN FORMAT(13)").
std::string FormatText(int format);

// The library's validity verdict: an empty text for a valid image, else its sentence.
std::string ValidityMessage(const DIMAGE& image);

}  // namespace qmv3py

#endif
