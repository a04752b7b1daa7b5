// Life cycle of a CDIMAGE: construction and reset, ownership of the frame buffer, taking records from
// callers and from the older per-frame header, giving records back, and the codec hooks. A buffer that
// the object owns comes from array new and goes back with array delete; a buffer that only the caller
// owns is never released here.
#include "image/cdimage.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Storage of the class behind returnZantDIMAGE(bool) and fromQMV2Frame(void*).
DIMAGE sReturnedRecord;
QMV2VIDHDR sQmv2Header;

void clearFrameData(DIMAGE& record) {
    record.frameBuffer = nullptr;
    record.frameHeader.appendedFrameSize = 0;
    record.frameBufferSize = 0;
    record.sourceHeader.totalLength = CDIMAGE::HEADER_SIZE;
}

}  // namespace

// A fresh image is GRAY in both formats, so that no field of the record is left undefined.
CDIMAGE::CDIMAGE() : m_Img(), m_ownsFrameBuffer(false) {
    m_Img.frameHeader.sourceFormat = FORMAT_GRAY;
    m_Img.frameHeader.imageFormat = FORMAT_GRAY;
    internalDummyInitialize();
}

CDIMAGE::CDIMAGE(const DIMAGE& img) : m_Img(), m_ownsFrameBuffer(false) { setDIMAGE(img, false); }

CDIMAGE::CDIMAGE(const QMV2VIDHDR& header, void* bits) : CDIMAGE() {
    if (header.kennung != QMV2_KENNUNG_TAG) return;
    fillFromQmv2Header(header);
    m_Img.frameBuffer = static_cast<unsigned char*>(bits);
    m_Img.frameBufferSize = header.frameDataLength;
}

CDIMAGE::~CDIMAGE() { internalDeinitialize(); }

void CDIMAGE::internalDummyInitialize() {
    DIMAGE_SOURCEHEADER& sh = m_Img.sourceHeader;
    DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    m_Img.frameBufferSize = 0;
    m_Img.frameBuffer = nullptr;
    m_ownsFrameBuffer = false;
    std::memcpy(sh.baseTag, BASE_TAG_TEXT, sizeof(sh.baseTag));
    sh.cameraPortId = NO_CAMERA_PORT_ID;
    sh.versionTag = CURRENT_VERSION_TAG;
    sh.totalLength = HEADER_SIZE;
    setTimestamp();
    sh.cameraPortName[0] = '\0';
    fh.sourceWidth = fh.sourceHeight = 0;
    fh.aoiWidth = fh.aoiHeight = fh.xStart = fh.yStart = -1;
    fh.bytesPerPixel = fh.effectiveBitsPerPixel = -1;
    fh.horizontalBinning = fh.verticalBinning = 0;
    fh.frameNumber = fh.eventNumber = 0;
    fh.xScale = fh.yScale = -1.0f;
    fh.imageRotation = 0.0f;
    fh.scale_x_offset = fh.scale_y_offset = fh.fspare3 = -1.0f;
    fh.imageFlags = 0;
    fh.ispare1 = fh.ispare2 = fh.ispare3 = -1;
    fh.appendedFrameSize = 0;
}

void CDIMAGE::internalDeinitialize() {
    if (m_ownsFrameBuffer) {
        delete[] m_Img.frameBuffer;
        m_Img.frameBuffer = nullptr;
        m_Img.frameBufferSize = 0;
    }
    m_ownsFrameBuffer = false;
}

void CDIMAGE::replaceOwnedBuffer(unsigned char* oldBuffer, bool oldOwned) {
    if (oldOwned && oldBuffer != m_Img.frameBuffer) delete[] oldBuffer;
}

// An owned buffer that the new record does not reuse is released, so that replacing a record never
// leaks; a record that carries the object's own buffer keeps it.
bool CDIMAGE::setDIMAGE(const DIMAGE& img, bool takeOwnership) {
    unsigned char* oldBuffer = m_Img.frameBuffer;
    const bool oldOwned = m_ownsFrameBuffer;
    std::memmove(&m_Img, &img, HEADER_SIZE);
    m_Img.frameBufferSize = img.frameBufferSize;
    m_Img.frameBuffer = img.frameBuffer;
    m_ownsFrameBuffer = m_Img.frameBuffer != nullptr && (takeOwnership || (oldOwned && oldBuffer == img.frameBuffer));
    replaceOwnedBuffer(oldBuffer, oldOwned);
    return true;
}

// Copies no more than the source buffer holds, whatever appendedFrameSize claims.
bool CDIMAGE::fromQMV3DIMAGE(const DIMAGE& img) {
    unsigned char* oldBuffer = m_Img.frameBuffer;
    const bool oldOwned = m_ownsFrameBuffer;
    unsigned char* newBuffer = nullptr;
    uint32_t newSize = img.frameBufferSize;
    if (img.frameBuffer != nullptr) {
        const int32_t afs = img.frameHeader.appendedFrameSize;
        newSize = std::max<uint32_t>(img.frameBufferSize, afs > 0 ? static_cast<uint32_t>(afs) : 0);
        newBuffer = new unsigned char[newSize];
        size_t copied = afs > 0 ? std::min<size_t>(static_cast<uint32_t>(afs), img.frameBufferSize) : 0;
        std::memcpy(newBuffer, img.frameBuffer, copied);
    }
    std::memmove(&m_Img, &img, HEADER_SIZE);
    m_Img.frameBuffer = newBuffer;
    m_Img.frameBufferSize = newSize;
    m_ownsFrameBuffer = newBuffer != nullptr;
    if (oldOwned) delete[] oldBuffer;
    return true;
}

DIMAGE* CDIMAGE::returnZantDIMAGE(bool headerOnly) const {
    returnZantDIMAGE(sReturnedRecord, headerOnly);
    return &sReturnedRecord;
}

void CDIMAGE::returnZantDIMAGE(DIMAGE& out, bool headerOnly) const {
    out = m_Img;
    if (headerOnly) clearFrameData(out);
}

bool CDIMAGE::copyToZantDIMAGE(DIMAGE* out, bool headerOnly) const {
    if (out == nullptr || !checkValidity()) return false;
    if (headerOnly) {
        returnZantDIMAGE(*out, true);
        return true;
    }
    const int32_t afs = m_Img.frameHeader.appendedFrameSize;
    const size_t frameBytes = afs > 0 ? static_cast<size_t>(afs) : 0;
    if (out->frameBuffer == nullptr || out->frameBufferSize < frameBytes) return false;
    std::memmove(out, &m_Img, HEADER_SIZE);
    if (frameBytes > 0) std::memmove(out->frameBuffer, m_Img.frameBuffer, frameBytes);
    return true;
}

// The header fields of an older frame; the frame buffer is left to the caller.
void CDIMAGE::fillFromQmv2Header(const QMV2VIDHDR& header) {
    DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    fh.sourceFormat = fh.imageFormat = FORMAT_GRAY;
    fh.sourceWidth = static_cast<int32_t>(header.width);
    fh.sourceHeight = static_cast<int32_t>(header.height);
    // The older header has no area of interest; a zero start keeps such images valid.
    fh.xStart = fh.yStart = 0;
    setTimestampMsec(header.timestampSeconds, static_cast<int>(header.timestampMilliseconds));
    fh.frameNumber = header.frameNumber;
    fh.xScale = fh.yScale = header.scale;
    fh.bytesPerPixel = static_cast<int32_t>(header.bitsPerPixel / 8);
    const bool effectiveGiven =
        header.effectiveBitsPerPixel != 0 && header.effectiveBitsPerPixel <= header.bitsPerPixel;
    fh.effectiveBitsPerPixel =
        static_cast<int32_t>(effectiveGiven ? header.effectiveBitsPerPixel : header.bitsPerPixel);
    fh.appendedFrameSize = static_cast<int32_t>(header.frameDataLength);
    if (header.compressed != 0) fh.imageFormat = FORMAT_HUFFYUV;
    setSource(m_Img.sourceHeader.cameraPortId, QMV2_SOURCE_NAME);
    m_Img.sourceHeader.totalLength = header.frameDataLength + HEADER_SIZE;
}

// Refuses a frame longer than the buffer it fills, and frame data that is missing.
bool CDIMAGE::fromQMV2Frame(const QMV2VIDHDR& header, void* bits) {
    if (header.kennung != QMV2_KENNUNG_TAG) return false;
    if (header.frameDataLength > static_cast<uint32_t>(iMAX_TRANSPORT_SIZE)) return false;
    if (bits == nullptr && header.frameDataLength > 0) return false;
    unsigned char* oldBuffer = m_Img.frameBuffer;
    const bool oldOwned = m_ownsFrameBuffer;
    unsigned char* newBuffer = new unsigned char[iMAX_TRANSPORT_SIZE];
    if (header.frameDataLength > 0) std::memcpy(newBuffer, bits, header.frameDataLength);
    internalDummyInitialize();
    fillFromQmv2Header(header);
    m_Img.frameBuffer = newBuffer;
    m_Img.frameBufferSize = iMAX_TRANSPORT_SIZE;
    m_ownsFrameBuffer = true;
    if (oldOwned) delete[] oldBuffer;
    return true;
}

bool CDIMAGE::fromQMV2Frame(void* buffer) {
    if (buffer == nullptr) return false;
    std::memcpy(&sQmv2Header, buffer, sizeof(sQmv2Header));
    unsigned char* frameData = static_cast<unsigned char*>(buffer) + sizeof(sQmv2Header) + sQmv2Header.extraHeaderBytes;
    return fromQMV2Frame(sQmv2Header, frameData);
}

bool CDIMAGE::createWithFullBuffer() {
    unsigned char* oldBuffer = m_Img.frameBuffer;
    const bool oldOwned = m_ownsFrameBuffer;
    unsigned char* newBuffer = new unsigned char[iMAX_TRANSPORT_SIZE];
    internalDummyInitialize();
    m_Img.frameBuffer = newBuffer;
    m_Img.frameBufferSize = iMAX_TRANSPORT_SIZE;
    m_ownsFrameBuffer = true;
    if (oldOwned) delete[] oldBuffer;
    return true;
}

// Sizes that the record cannot hold (beyond its 32-bit fields) are refused.
bool CDIMAGE::appendRawBuffer(int format, void* buffer, size_t usedBytes, size_t capacity) {
    if (buffer == nullptr || usedBytes > capacity) return false;
    if (format < 0 || format > FORMAT_MAX) return false;
    if (usedBytes > static_cast<size_t>(INT32_MAX) || capacity > static_cast<size_t>(UINT32_MAX)) return false;
    unsigned char* oldBuffer = m_Img.frameBuffer;
    const bool oldOwned = m_ownsFrameBuffer;
    m_Img.frameHeader.appendedFrameSize = static_cast<int32_t>(usedBytes);
    m_Img.frameHeader.imageFormat = format;
    m_Img.frameBuffer = static_cast<unsigned char*>(buffer);
    m_Img.frameBufferSize = static_cast<uint32_t>(capacity);
    m_Img.sourceHeader.totalLength = static_cast<uint32_t>(usedBytes) + HEADER_SIZE;
    // The object's own buffer handed back in stays owned; anything else belongs to the caller.
    m_ownsFrameBuffer = oldOwned && oldBuffer == m_Img.frameBuffer;
    replaceOwnedBuffer(oldBuffer, oldOwned);
    return true;
}

bool CDIMAGE::compressImage(CAbstractCodecClass& codec) {
    if (!checkValidity() || !codec.canCompress(*this)) return false;
    return codec.compress(*this, true);
}

bool CDIMAGE::decompressImage(CAbstractCodecClass& codec) {
    if (!checkValidity() || !codec.canDecompress(*this)) return false;
    return codec.decompress(*this);
}
