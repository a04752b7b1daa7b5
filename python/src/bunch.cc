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

namespace {

uint32_t AppendedExtent(int32_t area, int32_t source) { return static_cast<uint32_t>(area > 0 ? area : source); }

}  // namespace

std::string DescribePixels(const DIMAGE& image, PixelLayout& layout) {
    const DIMAGE_FRAMEHEADER& frame = image.frameHeader;
    const bool gray = frame.imageFormat == QMV3_FORMAT_GRAY && (frame.bytesPerPixel == 1 || frame.bytesPerPixel == 2);
    const bool rgb = frame.imageFormat == QMV3_FORMAT_RGB && frame.bytesPerPixel == 3;
    if (frame.imageFormat == QMV3_FORMAT_JPEG) return "it holds JPEG data; call decompress() first";
    if (!gray && !rgb)
        return "its format " + FormatText(frame.imageFormat) + " with " + std::to_string(frame.bytesPerPixel) +
               " bytes per pixel has no array form (only GRAY with 1 or 2 and RGB with 3)";
    const int32_t areaWidth = frame.aoiWidth, areaHeight = frame.aoiHeight;
    if (frame.sourceWidth < 1 || frame.sourceHeight < 1 || areaWidth < -1 || areaHeight < -1)
        return "its geometry is invalid";
    layout.width = AppendedExtent(areaWidth, frame.sourceWidth);
    layout.height = AppendedExtent(areaHeight, frame.sourceHeight);
    layout.channels = rgb ? 3 : 1;
    layout.bytesPerSample = rgb ? 1 : static_cast<uint32_t>(frame.bytesPerPixel);
    layout.bytes = static_cast<size_t>(layout.width) * layout.height * static_cast<size_t>(frame.bytesPerPixel);
    const bool fits = image.frameBuffer != nullptr && frame.appendedFrameSize > 0 &&
                      static_cast<uint32_t>(frame.appendedFrameSize) <= image.frameBufferSize &&
                      layout.bytes <= static_cast<size_t>(frame.appendedFrameSize);
    if (!fits)
        return "its frame bytes (appendedFrameSize " + std::to_string(frame.appendedFrameSize) + ") do not hold " +
               std::to_string(layout.width) + " x " + std::to_string(layout.height) + " pixels";
    return std::string();
}

std::string FormatText(int format) {
    char text[64];
    size_t size = sizeof text;
    if (QMV3_INTERNAL_CDIMAGE_getFormatAsString(format, text, &size) == nullptr) return std::to_string(format);
    return text;
}

std::string ValidityMessage(const DIMAGE& image) {
    char text[1024];
    LibraryLock lock;
    if (qmCheckImageValidity(&image, text, sizeof text) == 1) return std::string();
    return text;
}

}  // namespace qmv3py
