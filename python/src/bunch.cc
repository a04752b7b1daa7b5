// Ownership of image sequences and the checks that decide whether frame bytes may be shown to numpy.
#include "bunch.h"

#include <stdexcept>

#include "library_lock.h"

namespace qmv3py {

DIMAGE& Bunch::at(size_t index) {
    if (index >= size()) throw std::out_of_range("image index out of range");
    return images_.imageArray[index];
}

SelectionView::SelectionView(Bunch& bunch, const std::vector<uint32_t>& indices) {
    records_.reserve(indices.size());
    for (uint32_t index : indices) records_.push_back(bunch.at(index));
    view_.imageArray = records_.empty() ? nullptr : records_.data();
    view_.numFrames = static_cast<uint32_t>(records_.size());
}

std::string DescribePixels(const DIMAGE& image, PixelLayout& layout) {
    const DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    QMV3_PIXEL_LAYOUT found;
    const int result = qmGetPixelLayout(&image, &found);
    if (result == QMV3_LAYOUT_COMPRESSED) return "it holds JPEG data; call decompress() first";
    if (result == QMV3_LAYOUT_NO_ARRAY_FORM)
        return "its format " + FormatText(frame.imageFormat) + " with " + std::to_string(frame.bytesPerPixel) +
               " bytes per pixel has no array form (only GRAY with 1 or 2 and RGB with 3)";
    if (result == QMV3_LAYOUT_BAD_GEOMETRY || result == QMV3_LAYOUT_NULL_ARGUMENT) return "its geometry is invalid";
    layout.width = found.width;
    layout.height = found.height;
    layout.channels = found.channels;
    layout.bytesPerSample = found.bytesPerSample;
    layout.bytes = static_cast<size_t>(found.frameBytes);
    if (result != QMV3_LAYOUT_OK || image.frameBuffer == nullptr)
        return "its frame bytes (appendedFrameSize " + std::to_string(frame.appendedFrameSize) + ") do not hold " +
               std::to_string(layout.width) + " x " + std::to_string(layout.height) + " pixels";
    return std::string();
}

std::string FormatText(int format) {
    char text[64];
    size_t size = sizeof text;
    if (qmGetFormatName(format, text, size) == nullptr) return std::to_string(format);
    return text;
}

std::string ValidityMessage(const DIMAGE& image) {
    char text[1024];
    LibraryLock lock;
    if (qmCheckImageValidity(&image, text, sizeof text) == 1) return std::string();
    return text;
}

}  // namespace qmv3py
