// Setters and getters of the header fields. Setters test their values and leave the record unchanged
// when they refuse one; derived values (appended size, full-frame size) are worked out in 64 bits.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/cdimage.h"
#include "platform/platform.h"

namespace {

// The name returned by getSourceName: storage of the class, overwritten by every call.
char sSourceName[65];

}  // namespace

bool CDIMAGE::setDimensions(int width, int height) {
    if (width < 1 || height < 1) return false;
    m_Img.frameHeader.sourceWidth = width;
    m_Img.frameHeader.sourceHeight = height;
    clearAOI();
    return true;
}

bool CDIMAGE::setAOI(int x, int y, int width, int height) {
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    if (width <= 0 || height <= 0 || x < 0 || y < 0) return false;
    if (static_cast<int64_t>(x) + width > fh.sourceWidth || static_cast<int64_t>(y) + height > fh.sourceHeight) {
        return false;
    }
    m_Img.frameHeader.aoiWidth = width;
    m_Img.frameHeader.aoiHeight = height;
    m_Img.frameHeader.xStart = x;
    m_Img.frameHeader.yStart = y;
    return true;
}

void CDIMAGE::clearAOI() {
    m_Img.frameHeader.aoiWidth = m_Img.frameHeader.aoiHeight = -1;
    m_Img.frameHeader.xStart = m_Img.frameHeader.yStart = 0;
}

bool CDIMAGE::isAoiSet() const { return m_Img.frameHeader.aoiWidth > 0 || m_Img.frameHeader.aoiHeight > 0; }

bool CDIMAGE::setBinning(int horizontal, int vertical) {
    if (horizontal < -1 || vertical < -1) return false;
    m_Img.frameHeader.horizontalBinning = horizontal;
    m_Img.frameHeader.verticalBinning = vertical;
    return true;
}

// A null name stores the empty name.
bool CDIMAGE::setSource(unsigned int portId, const char* name) {
    char* field = m_Img.sourceHeader.cameraPortName;
    const size_t capacity = sizeof(m_Img.sourceHeader.cameraPortName);
    m_Img.sourceHeader.cameraPortId = portId;
    std::memset(field, 0, capacity);
    if (name != nullptr) std::strncpy(field, name, capacity - 1);
    field[capacity - 1] = '\0';
    return true;
}

int CDIMAGE::getSourcePortId() const { return static_cast<int>(m_Img.sourceHeader.cameraPortId); }

const char* CDIMAGE::getSourceName() const {
    std::memcpy(sSourceName, m_Img.sourceHeader.cameraPortName, sizeof(m_Img.sourceHeader.cameraPortName));
    sSourceName[sizeof(sSourceName) - 1] = '\0';
    return sSourceName;
}

bool CDIMAGE::setSourceFormat(int format) {
    if (static_cast<unsigned>(format) > static_cast<unsigned>(FORMAT_MAX)) return false;
    m_Img.frameHeader.sourceFormat = format;
    return true;
}

bool CDIMAGE::setImageFormat(int format) {
    if (static_cast<unsigned>(format) > static_cast<unsigned>(FORMAT_MAX)) return false;
    m_Img.frameHeader.imageFormat = format;
    return true;
}

int CDIMAGE::getImageFormat() const { return m_Img.frameHeader.imageFormat; }
int CDIMAGE::getSourceFormat() const { return m_Img.frameHeader.sourceFormat; }

void CDIMAGE::setTimestamp(unsigned int seconds, int microseconds) {
    m_Img.sourceHeader.timestampSeconds = seconds;
    m_Img.sourceHeader.timestampMicroseconds = static_cast<uint32_t>(microseconds);
}

void CDIMAGE::setTimestampMsec(unsigned int seconds, int milliseconds) {
    setTimestamp(seconds, static_cast<int>(static_cast<uint32_t>(milliseconds) * 1000u));
}

// Times before the epoch or beyond the 32-bit seconds field cannot be stored and are ignored.
void CDIMAGE::setTimestamp(double t) {
    if (!(t >= 0.0 && t < 4294967296.0)) return;
    const unsigned int seconds = static_cast<unsigned int>(t);
    const int64_t microseconds = static_cast<int64_t>(t * 1000000.0) % 1000000;
    setTimestamp(seconds, static_cast<int>(microseconds));
}

void CDIMAGE::setTimestamp() {
    PLF_TIME now;
    platformTimeGet(now);
    setTimestampMsec(static_cast<unsigned int>(now.seconds), now.milliseconds);
}

int CDIMAGE::getTimestampSeconds() const { return static_cast<int>(m_Img.sourceHeader.timestampSeconds); }

int CDIMAGE::getTimestampMicroseconds() const { return static_cast<int>(m_Img.sourceHeader.timestampMicroseconds); }

double CDIMAGE::getTimestampAsZantTimestamp() const {
    return m_Img.sourceHeader.timestampSeconds + m_Img.sourceHeader.timestampMicroseconds / 1000000.0;
}

bool CDIMAGE::setXYScale(float scale) {
    if (!(scale > 0.0f)) return false;
    m_Img.frameHeader.xScale = m_Img.frameHeader.yScale = scale;
    return true;
}

bool CDIMAGE::setXScale(float scale) {
    if (!(scale > 0.0f)) return false;
    m_Img.frameHeader.xScale = scale;
    return true;
}

bool CDIMAGE::setYScale(float scale) {
    if (!(scale > 0.0f)) return false;
    m_Img.frameHeader.yScale = scale;
    return true;
}

float CDIMAGE::getXScale() const { return m_Img.frameHeader.xScale; }
float CDIMAGE::getYScale() const { return m_Img.frameHeader.yScale; }
float CDIMAGE::getRotation() const { return m_Img.frameHeader.imageRotation; }

double CDIMAGE::getQMV2Scale() const {
    const float x = m_Img.frameHeader.xScale, y = m_Img.frameHeader.yScale;
    const double difference = x - y;
    if (x > 0.0f && y > 0.0f && difference > -0.001 && difference < 0.001) return x;
    return 1.0;
}

void CDIMAGE::setFlags(int flags) { m_Img.frameHeader.imageFlags = flags; }
int CDIMAGE::getFlags() const { return m_Img.frameHeader.imageFlags; }
bool CDIMAGE::isBitformatLittleEndian() const { return (getFlags() & FLAG_LITTLE_ENDIAN_BYTE_ORDER) != 0; }
bool CDIMAGE::isLossless() const { return (getFlags() & FLAG_IMAGE_LOSSLESS) != 0; }
bool CDIMAGE::isFlippedHorizontally() const { return (getFlags() & FLAG_IMAGE_HORIZONTAL_FLIP_180) != 0; }
bool CDIMAGE::isFlippedVertically() const { return (getFlags() & FLAG_IMAGE_VERTICAL_FLIP_180) != 0; }

int CDIMAGE::getBytesPerPixel() const { return getBytesPerPixel(m_Img); }

int CDIMAGE::getEffectiveBitsPerPixel() const {
    const int bits = m_Img.frameHeader.effectiveBitsPerPixel;
    if (bits != -1) return bits;
    // A nonsensical bytesPerPixel saturates instead of overflowing the int.
    const int64_t derived = int64_t{8} * m_Img.frameHeader.bytesPerPixel;
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(derived, INT32_MIN), INT32_MAX));
}

int CDIMAGE::getAppendedWidth() const { return getAppendedWidth(m_Img); }
int CDIMAGE::getAppendedHeight() const { return getAppendedHeight(m_Img); }
int CDIMAGE::getBytesPerPixel(const DIMAGE& img) { return img.frameHeader.bytesPerPixel; }

int CDIMAGE::getAppendedWidth(const DIMAGE& img) {
    return img.frameHeader.aoiWidth > 0 ? img.frameHeader.aoiWidth : img.frameHeader.sourceWidth;
}

int CDIMAGE::getAppendedHeight(const DIMAGE& img) {
    return img.frameHeader.aoiHeight > 0 ? img.frameHeader.aoiHeight : img.frameHeader.sourceHeight;
}

int CDIMAGE::getSourceWidth() const { return m_Img.frameHeader.sourceWidth; }
int CDIMAGE::getSourceHeight() const { return m_Img.frameHeader.sourceHeight; }
int CDIMAGE::getXStart() const { return m_Img.frameHeader.xStart; }
int CDIMAGE::getYStart() const { return m_Img.frameHeader.yStart; }
int CDIMAGE::getEventNumber() const { return static_cast<int>(m_Img.frameHeader.eventNumber); }

int CDIMAGE::getMaxRawBytes() const {
    const DIMAGE_FRAMEHEADER& fh = m_Img.frameHeader;
    if (fh.sourceWidth < 1 || fh.sourceHeight < 1 || fh.bytesPerPixel < 1 || fh.bytesPerPixel > 4) return 0;
    // Unsigned 64 bits hold even the largest dimensions times four; a signed product would overflow.
    const uint64_t bytes = static_cast<uint64_t>(fh.sourceWidth) * static_cast<uint64_t>(fh.sourceHeight) *
                           static_cast<uint64_t>(fh.bytesPerPixel);
    return bytes > INT32_MAX ? 0 : static_cast<int>(bytes);
}

unsigned char* CDIMAGE::getFrameBufferPointer() const { return m_Img.frameBuffer; }

int CDIMAGE::getFrameBufferPointerSizeBytes() const { return static_cast<int>(m_Img.frameBufferSize); }

// A size of zero or less means no frame bytes, and then the image is the header alone.
bool CDIMAGE::setAppendedFrameSizeBytes(int bytes) {
    if (m_Img.frameBuffer != nullptr && static_cast<int64_t>(bytes) > m_Img.frameBufferSize) return false;
    m_Img.frameHeader.appendedFrameSize = bytes;
    m_Img.sourceHeader.totalLength = bytes > 0 ? static_cast<uint32_t>(bytes) + HEADER_SIZE : HEADER_SIZE;
    return true;
}

int CDIMAGE::getAppendedFrameSizeBytes() const {
    const int32_t afs = m_Img.frameHeader.appendedFrameSize;
    if (m_Img.frameBuffer == nullptr || afs < 1 || static_cast<uint32_t>(afs) > m_Img.frameBufferSize) return 0;
    return afs;
}

void CDIMAGE::setFrameSizeAfterOperation(uint64_t bytes) {
    m_Img.frameHeader.appendedFrameSize = static_cast<int32_t>(bytes);
    m_Img.sourceHeader.totalLength = static_cast<uint32_t>(bytes) + HEADER_SIZE;
}
