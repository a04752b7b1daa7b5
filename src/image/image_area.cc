// The area of interest in the frame bytes: expanding an area frame to the full source frame, and
// cutting a frame down to a rectangle. Both place the area at xStart/yStart as zero-based offsets, so
// images with one-based starts are refused rather than shifted by a row or a column.
#include <cstring>

#include "image/cdimage.h"

namespace {

bool isOneBased(const DIMAGE& img) { return (img.frameHeader.imageFlags & CDIMAGE::FLAG_XYSTART_ONE_BASED) != 0; }

// One direction of a cut: the start and the extent of the rectangle in the source frame.
struct Span {
    int start;
    int extent;
};

// Works out one direction of cutoutAreaOfInterest; false when the request cannot be served. A direction
// that is kept, or asked for as it is, must start at 0: the frame bytes hold it from their first column
// (or row), and a non-zero start would be read past the rows' end.
bool resolveSpan(int start, int extent, int currentStart, int appendedExtent, int aoiExtent, int sourceExtent,
                 Span& span) {
    if (start == -1 && extent == -1) {
        span = {currentStart, appendedExtent};
        return currentStart == 0;
    }
    if (start == -1 || extent == -1 || start < 0 || extent < 1) return false;
    span = {start, extent};
    if (start == currentStart && extent == appendedExtent) return currentStart == 0;
    const bool hasArea = currentStart != 0 || aoiExtent > 0;
    return !hasArea && static_cast<int64_t>(start) + extent <= sourceExtent;
}

}  // namespace

bool CDIMAGE::expandAoi(void* scratch, size_t scratchBytes, bool allowGrow) {
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    if (!checkValidity() || isOneBased(m_Img)) return false;
    if (fh.imageFormat != FORMAT_GRAY && !(fh.imageFormat == FORMAT_RGB && fh.bytesPerPixel == 3)) return false;
    if (!isAoiSet()) return true;
    const size_t bpp = static_cast<size_t>(fh.bytesPerPixel);
    const size_t rowBytes = static_cast<size_t>(getAppendedWidth()) * bpp;
    const size_t rows = static_cast<size_t>(getAppendedHeight());
    const size_t areaBytes = rowBytes * rows;
    if (areaBytes > scratchBytes || fh.appendedFrameSize < 1 ||
        static_cast<size_t>(fh.appendedFrameSize) != areaBytes || scratch == nullptr) {
        return false;
    }
    const uint64_t fullBytes = static_cast<uint64_t>(fh.sourceWidth) * static_cast<uint64_t>(fh.sourceHeight) * bpp;
    // The full frame must fit the record's frame size limit, or the result would not be a valid image.
    if (fullBytes > static_cast<uint64_t>(iMAX_TRANSPORT_SIZE)) return false;
    if (fullBytes > m_Img.frameBufferSize && !allowGrow) return false;
    std::memcpy(scratch, m_Img.frameBuffer, areaBytes);
    if (fullBytes > m_Img.frameBufferSize) {
        unsigned char* grown = new unsigned char[fullBytes];
        if (m_ownsFrameBuffer) delete[] m_Img.frameBuffer;
        m_Img.frameBuffer = grown;
        m_Img.frameBufferSize = static_cast<uint32_t>(fullBytes);
        m_ownsFrameBuffer = true;
    }
    std::memset(m_Img.frameBuffer, 0, fullBytes);
    const unsigned char* area = static_cast<const unsigned char*>(scratch);
    for (size_t row = 0; row < rows; ++row) {
        const size_t offset = bpp * ((fh.yStart + row) * static_cast<size_t>(fh.sourceWidth) + fh.xStart);
        std::memcpy(m_Img.frameBuffer + offset, area + row * rowBytes, rowBytes);
    }
    clearAOI();
    setFrameSizeAfterOperation(fullBytes);
    return true;
}

bool CDIMAGE::cutoutAreaOfInterest(int y, int x, int width, int height) {
    if (!checkRestrictedValidity() || isOneBased(m_Img)) return false;
    if (y == -1 && x == -1 && width == -1 && height == -1) return true;
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    const int appendedWidth = getAppendedWidth();
    Span columns, rows;
    if (!resolveSpan(x, width, fh.xStart, appendedWidth, fh.aoiWidth, fh.sourceWidth, columns) ||
        !resolveSpan(y, height, fh.yStart, getAppendedHeight(), fh.aoiHeight, fh.sourceHeight, rows)) {
        return false;
    }
    const size_t bpp = static_cast<size_t>(fh.bytesPerPixel);
    const size_t rowBytes = static_cast<size_t>(columns.extent) * bpp;
    for (size_t r = 0; r < static_cast<size_t>(rows.extent); ++r) {
        const size_t from = (static_cast<size_t>(appendedWidth) * (rows.start + r) + columns.start) * bpp;
        std::memmove(m_Img.frameBuffer + r * rowBytes, m_Img.frameBuffer + from, rowBytes);
    }
    m_Img.frameHeader.aoiWidth = columns.extent;
    m_Img.frameHeader.aoiHeight = rows.extent;
    m_Img.frameHeader.xStart = columns.start;
    m_Img.frameHeader.yStart = rows.start;
    setFrameSizeAfterOperation(rowBytes * rows.extent);
    return true;
}
