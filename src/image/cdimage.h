// The image class: one DIMAGE record held by value, with a note of whether the object owns the frame
// buffer. Its static members give the texts of the format codes and flag bits and the validity rules, so
// they serve plain records too; the other members build, edit, convert and dump the object's image.
//
// Threads: an object must not be used by two threads at once. getSourceName, returnZantDIMAGE(bool) and
// fromQMV2Frame(void*) use storage of the class itself and must not run on two threads at once; every
// other static member works only on its arguments.
#ifndef QMV3_IMAGE_CDIMAGE_H
#define QMV3_IMAGE_CDIMAGE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "qmv3/qmv3.h"

class CDIMAGE;

// Contrast stretch of performNormalisationBuggy: from zero, or from the measured minimum.
enum tNormalisationMode { NORMALISATION_FROM_ZERO = 0, NORMALISATION_FROM_MINIMUM = 1 };

// A compression codec for images. The library declares it for its codec hooks but implements none.
class CAbstractCodecClass {
  public:
    virtual bool canCompress(const CDIMAGE& image) = 0;
    virtual bool canDecompress(const CDIMAGE& image) = 0;
    virtual bool compress(CDIMAGE& image, bool flag) = 0;
    virtual bool decompress(CDIMAGE& image) = 0;
    virtual ~CAbstractCodecClass() = default;
};

class CDIMAGE {
  public:
    // Pixel-format codes of sourceFormat and imageFormat.
    static constexpr int FORMAT_GRAY = 0;
    static constexpr int FORMAT_RGB = 1;
    static constexpr int FORMAT_RGBA = 2;
    static constexpr int FORMAT_RGB15 = 3;
    static constexpr int FORMAT_RGB16 = 4;
    static constexpr int FORMAT_JPEG = 5;
    static constexpr int FORMAT_TIFF = 6;
    static constexpr int FORMAT_YUV411 = 7;
    static constexpr int FORMAT_YUV422 = 8;
    static constexpr int FORMAT_YUV444 = 9;
    static constexpr int FORMAT_HUFFYUV = 10;
    static constexpr int FORMAT_BMP = 11;
    static constexpr int FORMAT_BAYER = 12;
    static constexpr int FORMAT_MAX = 12;

    // Flag bits of imageFlags; bits above 0x200 have no name and pass through every operation.
    static constexpr int FLAG_LITTLE_ENDIAN_BYTE_ORDER = 0x001;
    static constexpr int FLAG_IMAGE_LOSSLESS = 0x002;
    static constexpr int FLAG_IMAGE_HORIZONTAL_FLIP_180 = 0x004;
    static constexpr int FLAG_IMAGE_VERTICAL_FLIP_180 = 0x008;
    static constexpr int FLAG_XYSTART_ONE_BASED = 0x010;
    static constexpr int FLAG_TIMESTAMP_IS_GLOBAL_TIMESTAMP = 0x020;
    static constexpr int FLAG_EVENTNUMBER_OUT_OF_SYNC = 0x040;
    static constexpr int FLAG_TIMESTAMP_IS_EXTRAPOLATED = 0x080;
    static constexpr int FLAG_SCALE_OFFSET = 0x100;
    static constexpr int FLAG_SOFTWARE_ROI_APPLIED = 0x200;

    // The four characters "QMV3" of baseTag, read as one 32-bit value in host byte order.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    static constexpr uint32_t BASE_TAG = 0x514D5633u;
#else
    static constexpr uint32_t BASE_TAG = 0x33564D51u;
#endif
    static constexpr char BASE_TAG_TEXT[5] = "QMV3";
    static constexpr uint32_t CURRENT_VERSION_TAG = 1;
    static constexpr uint32_t NO_CAMERA_PORT_ID = 0;
    static constexpr int iMAX_TRANSPORT_SIZE = 27262976;
    static constexpr int MAX_BUFFER_SIZE = 27263176;
    static constexpr uint32_t QMV2_KENNUNG_TAG = 0x11223344u;
    static constexpr uint32_t QMV2_HUFFYUV_TAG = 0x55594648u;
    static constexpr int HEADER_SIZE = 188;  // sourceHeader plus frameHeader, "sizeof(hdrImage)"
    static constexpr char QMV2_SOURCE_NAME[] = "QMV2: some video source";

    // ---- construction, reset, destruction -----------------------------------------------------------
    CDIMAGE();
    // Shares the caller's frame buffer without owning it.
    explicit CDIMAGE(const DIMAGE& img);
    // Points at bits without copying or owning them; a header with another tag leaves the reset image.
    CDIMAGE(const QMV2VIDHDR& header, void* bits);
    ~CDIMAGE();
    CDIMAGE(const CDIMAGE&) = delete;
    CDIMAGE& operator=(const CDIMAGE&) = delete;

    // Resets every header field except sourceFormat and imageFormat; forgets (does not release) the buffer.
    void internalDummyInitialize();
    // Releases an owned buffer.
    void internalDeinitialize();

    // ---- taking and giving records ------------------------------------------------------------------
    bool setDIMAGE(const DIMAGE& img, bool takeOwnership);
    bool fromQMV3DIMAGE(const DIMAGE& img);
    // The record in storage of the class, valid until the next call.
    DIMAGE* returnZantDIMAGE(bool headerOnly) const;
    void returnZantDIMAGE(DIMAGE& out, bool headerOnly) const;
    bool copyToZantDIMAGE(DIMAGE* out, bool headerOnly) const;
    bool fromQMV2Frame(const QMV2VIDHDR& header, void* bits);
    // buffer holds the 88-byte header, the extra header bytes it names, then the frame data.
    bool fromQMV2Frame(void* buffer);
    bool createWithFullBuffer();
    // Installs a caller's buffer without taking ownership.
    bool appendRawBuffer(int format, void* buffer, size_t usedBytes, size_t capacity);
    bool ownsFrameBuffer() const { return m_ownsFrameBuffer; }

    // ---- header setters and getters -----------------------------------------------------------------
    bool setDimensions(int width, int height);
    bool setAOI(int x, int y, int width, int height);
    void clearAOI();
    bool isAoiSet() const;
    bool setBinning(int horizontal, int vertical);
    bool setSource(unsigned int portId, const char* name);
    int getSourcePortId() const;
    // The name in storage of the class, valid until the next call.
    const char* getSourceName() const;
    bool setSourceFormat(int format);
    bool setImageFormat(int format);
    int getImageFormat() const;
    int getSourceFormat() const;
    void setTimestamp(unsigned int seconds, int microseconds);
    void setTimestampMsec(unsigned int seconds, int milliseconds);
    // Ignores values that are negative, not a number, or beyond the 32-bit seconds field.
    void setTimestamp(double t);
    void setTimestamp();
    int getTimestampSeconds() const;
    int getTimestampMicroseconds() const;
    double getTimestampAsZantTimestamp() const;
    bool setXYScale(float scale);
    bool setXScale(float scale);
    bool setYScale(float scale);
    float getXScale() const;
    float getYScale() const;
    float getRotation() const;
    double getQMV2Scale() const;
    void setFlags(int flags);
    int getFlags() const;
    bool isBitformatLittleEndian() const;
    bool isLossless() const;
    bool isFlippedHorizontally() const;
    bool isFlippedVertically() const;
    int getBytesPerPixel() const;
    int getEffectiveBitsPerPixel() const;
    int getAppendedWidth() const;
    int getAppendedHeight() const;
    static int getBytesPerPixel(const DIMAGE& img);
    static int getAppendedWidth(const DIMAGE& img);
    static int getAppendedHeight(const DIMAGE& img);
    int getSourceWidth() const;
    int getSourceHeight() const;
    int getXStart() const;
    int getYStart() const;
    int getEventNumber() const;
    // Full-frame size; 0 when a dimension or bytesPerPixel is out of range or the size exceeds an int.
    int getMaxRawBytes() const;
    unsigned char* getFrameBufferPointer() const;
    int getFrameBufferPointerSizeBytes() const;
    bool setAppendedFrameSizeBytes(int bytes);
    int getAppendedFrameSizeBytes() const;

    // ---- texts of format codes and flags ------------------------------------------------------------
    // Null when dst is null or the text does not fit; then size is set to the length needed.
    static char* getFormatAsString(int format, bool withPrefix, char* dst, size_t& size);
    static char* getFormatAsString(int format, char* dst, size_t& size);
    char* getImageFormatAsString(char* dst, size_t& size) const;
    char* getSourceFormatAsString(char* dst, size_t& size) const;
    static bool getFormatFromString(int& format, const char* text);
    // Always writes the text, cut to fit; size is set to the length needed. Null only when dst is null.
    static char* getFlagsAsString(int flags, char* dst, size_t& size);
    char* getFlagsAsString(char* dst, size_t& size) const;
    static bool getFlagsFromString(int& flags, const char* text);

    // ---- validity rules ----------------------------------------------------------------------------
    // On failure message receives the sentence of the first failed rule; on success it is left as it was.
    static bool checkValidity(const DIMAGE& img, std::string& message);
    bool checkValidity() const;
    // Only the restricted rules; callers run checkValidity first.
    static bool checkRestrictedValidity(const DIMAGE& img, std::string& message);
    // The general rules, then the restricted rules.
    bool checkRestrictedValidity() const;
    bool checkValidityQMV2(bool allowHuffYuv) const;

    // ---- codec hooks -------------------------------------------------------------------------------
    bool compressImage(CAbstractCodecClass& codec);
    bool decompressImage(CAbstractCodecClass& codec);

    // ---- area of interest and pixel operations -----------------------------------------------------
    bool expandAoi(void* scratch, size_t scratchBytes, bool allowGrow);
    bool performFastBinning(unsigned int horizontal, unsigned int vertical);
    bool performNormalisationBuggy(tNormalisationMode mode);
    bool performNormalisationLimitImproved(int lowerLimit, int upperLimit);
    static void getMinMaxOfPixelsBuggy(void* pixels, unsigned int count, int components, int bytesPerComponent,
                                       int skipBytes, int effectiveBits, int* maxima, int* minima, int upperLimit,
                                       int lowerLimit);
    static void getImprovedMinMaxOfPixels(void* pixels, unsigned int count, bool isRGB, int bytesPerPixel,
                                          int skipBytes, int effectiveBits, int& maximum, int& minimum, int upperLimit,
                                          int lowerLimit);
    bool performGrayscaleDownscaleTo1BytePerPixel();
    bool performRGB24DownscaleToGray8();
    bool performRGB24DownscaleToGrayN(int bits);
    bool cutoutAreaOfInterest(int y, int x, int width, int height);
    bool performIntensityCalculation(unsigned long long& sum);
    bool performIntensityCalculation(double& sum);
    bool adjustOrientation(unsigned int orientation);

    // ---- dumps -------------------------------------------------------------------------------------
    bool putHeadersToText(FILE* stream, bool headersOnly) const;
    bool putHeadersToHexDumpText(FILE* stream) const;
    // The same for a plain record: the labelled header text (the camera port name escaped when asked
    // for), and the hex dump of its 188 header bytes.
    static bool putHeaderText(FILE* stream, const DIMAGE& image, bool escapeName);
    static bool putHeaderHexDump(FILE* stream, const DIMAGE& image);
    // Closes the stream in every case (when it is not null); the caller must not use it afterwards.
    bool dumpFrameBitsAsHexDump(FILE* stream) const;
    bool dumpFrameBitsAsBinary(FILE* stream) const;
    bool dumpFrameBitsAsIMM(FILE* stream) const;

    // The record. Code that changes frameBuffer directly must respect ownsFrameBuffer().
    DIMAGE m_Img;

  private:
    bool m_ownsFrameBuffer;

    // Releases the old buffer unless it is still in use as the new one.
    void replaceOwnedBuffer(unsigned char* oldBuffer, bool oldOwned);
    void fillFromQmv2Header(const QMV2VIDHDR& header);
    // appendedFrameSize and totalLength after an operation left bytes of pixels at the buffer's start.
    void setFrameSizeAfterOperation(uint64_t bytes);
};

#endif
