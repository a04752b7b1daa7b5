/*
 * qmv3 — client library of the camera and video system.
 *
 * The whole exported interface: the records that cross it and every exported function. It compiles as
 * C99 and as C++ and includes nothing of the library's own.
 *
 * Rules of the boundary:
 *  - Every function has C linkage and reports failure through its result; no exception crosses it.
 *  - Text outputs go into caller buffers with an in/out size: the capacity on entry, the size needed
 *    (length + 1) on return. Message buffers are written only on failure, only when the pointer is not
 *    null and the size is at least 2, with at most size - 2 characters and a NUL in the last byte.
 *  - Frame buffers that cross the interface are malloc blocks, released with free (or by qmFreeImage,
 *    qmFreeBunch and free_vidinfhdr for the records those functions own).
 *  - The functions expect to be called from one application thread; only the delivery callback of a
 *    multi-frame grab runs on another.
 */
#ifndef QMV3_QMV3_H
#define QMV3_QMV3_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define QMV3_EXPORT __attribute__((visibility("default")))
#else
#define QMV3_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------------- */
/* Image record                                                                                    */
/* ---------------------------------------------------------------------------------------------- */

/* Pixel-format codes of sourceFormat and imageFormat. */
#define QMV3_FORMAT_GRAY 0
#define QMV3_FORMAT_RGB 1
#define QMV3_FORMAT_RGBA 2
#define QMV3_FORMAT_RGB15 3
#define QMV3_FORMAT_RGB16 4
#define QMV3_FORMAT_JPEG 5
#define QMV3_FORMAT_TIFF 6
#define QMV3_FORMAT_YUV411 7
#define QMV3_FORMAT_YUV422 8
#define QMV3_FORMAT_YUV444 9
#define QMV3_FORMAT_HUFFYUV 10
#define QMV3_FORMAT_BMP 11
#define QMV3_FORMAT_BAYER 12
#define QMV3_FORMAT_MAX 12

/* Flag bits of imageFlags. */
#define QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER 0x001
#define QMV3_FLAG_IMAGE_LOSSLESS 0x002
#define QMV3_FLAG_IMAGE_HORIZONTAL_FLIP_180 0x004
#define QMV3_FLAG_IMAGE_VERTICAL_FLIP_180 0x008
#define QMV3_FLAG_XYSTART_ONE_BASED 0x010
#define QMV3_FLAG_TIMESTAMP_IS_GLOBAL_TIMESTAMP 0x020
#define QMV3_FLAG_EVENTNUMBER_OUT_OF_SYNC 0x040
#define QMV3_FLAG_TIMESTAMP_IS_EXTRAPOLATED 0x080
#define QMV3_FLAG_SCALE_OFFSET 0x100
#define QMV3_FLAG_SOFTWARE_ROI_APPLIED 0x200

/* Largest appendedFrameSize, and that plus the 200-byte record. */
#define QMV3_MAX_TRANSPORT_SIZE 27262976
#define QMV3_MAX_BUFFER_SIZE 27263176
/* Bytes of sourceHeader plus frameHeader ("sizeof(hdrImage)"). */
#define QMV3_IMAGE_HEADER_SIZE 188

/* Identity of the source; 88 bytes. */
typedef struct DIMAGE_SOURCEHEADER {
    char baseTag[4];                /* always "QMV3" */
    uint32_t cameraPortId;          /* 0: no port */
    uint32_t versionTag;            /* 1 */
    uint32_t totalLength;           /* 188 + appendedFrameSize when that is > 0, else 188 */
    uint32_t timestampSeconds;      /* seconds since the Unix epoch, UTC */
    uint32_t timestampMicroseconds; /* 0 .. 999999 */
    char cameraPortName[64];        /* NUL-terminated */
} DIMAGE_SOURCEHEADER;

/* Geometry, pixel format and numbering of the frame; 100 bytes. */
typedef struct DIMAGE_FRAMEHEADER {
    int32_t sourceWidth;
    int32_t sourceHeight;
    int32_t aoiWidth;  /* -1 or 0: no area of interest */
    int32_t aoiHeight; /* -1 or 0: no area of interest */
    int32_t xStart;
    int32_t yStart;
    int32_t bytesPerPixel;         /* 1 .. 4 */
    int32_t effectiveBitsPerPixel; /* -1: 8 * bytesPerPixel */
    int32_t horizontalBinning;
    int32_t verticalBinning;
    int32_t sourceFormat; /* QMV3_FORMAT_* as delivered by the camera */
    int32_t imageFormat;  /* QMV3_FORMAT_* of the frame bytes as they are now */
    uint32_t frameNumber;
    uint32_t eventNumber;
    float xScale; /* millimetres per pixel; <= 0: not set */
    float yScale;
    float imageRotation; /* degrees, positive clockwise */
    float scale_x_offset;
    float scale_y_offset;
    float fspare3;
    int32_t imageFlags; /* QMV3_FLAG_* */
    int32_t ispare1;
    int32_t ispare2;
    int32_t ispare3;
    int32_t appendedFrameSize; /* valid bytes in frameBuffer; <= 0: none */
} DIMAGE_FRAMEHEADER;

/* One image: the 188-byte header, then the frame buffer description; 200 bytes in this exact layout. */
typedef struct DIMAGE {
    DIMAGE_SOURCEHEADER sourceHeader;
    DIMAGE_FRAMEHEADER frameHeader;
    uint32_t frameBufferSize; /* capacity of frameBuffer in bytes */
    unsigned char* frameBuffer;
} DIMAGE;

/* An image sequence: numFrames consecutive records (not pointers). It owns the array and every
 * record's frame buffer; qmFreeBunch releases both. */
typedef struct QMBUNCHOFIMAGES {
    DIMAGE* imageArray;
    uint32_t numFrames;
} QMBUNCHOFIMAGES;

/* The older per-frame transport header, 88 bytes, little-endian; only the named fields are read. */
typedef struct QMV2VIDHDR {
    uint32_t kennung; /* 0x11223344 */
    uint32_t reserved4[2];
    uint32_t frameDataLength;
    uint32_t extraHeaderBytes;
    uint32_t frameNumber;
    uint32_t timestampSeconds;
    uint32_t timestampMilliseconds;
    uint32_t reserved32[2];
    uint32_t width;
    uint32_t height;
    uint32_t compressed; /* non-zero: HUFFYUV */
    uint32_t reserved52[3];
    float scale;
    uint32_t reserved68;
    uint32_t bitsPerPixel;
    uint32_t effectiveBitsPerPixel;
    uint32_t reserved80[2];
} QMV2VIDHDR;

/* ---------------------------------------------------------------------------------------------- */
/* Older video record                                                                              */
/* ---------------------------------------------------------------------------------------------- */

/* Kinds of VIDINFHDR data (the type field). */
#define VIDINFHDR_TYPE_EMPTY (-1)
#define VIDINFHDR_TYPE_IMM 1
#define VIDINFHDR_TYPE_IMC 2
#define VIDINFHDR_TYPE_BKG 3
#define VIDINFHDR_TYPE_BKC 4
#define VIDINFHDR_TYPE_SIGNIFICANCE_MAP 5
#define VIDINFHDR_TYPE_BMP 6

/* The older multi-frame record; framebits, every frame buffer and framescales are malloc blocks owned
 * by the record and released by free_vidinfhdr. Pass every record through initialize_vidinfhdr first. */
typedef struct VIDINFHDR {
    uint32_t width;
    uint32_t height;
    uint32_t bpp;    /* 8 or 16 in files; 32 for some algorithms */
    uint32_t ebitpp; /* significant bits, at most bpp */
    double scale;
    int32_t numframes;
    int32_t type; /* VIDINFHDR_TYPE_* */
    unsigned char** framebits;
    double* framescales;
} VIDINFHDR;

/* ---------------------------------------------------------------------------------------------- */
/* System list names                                                                               */
/* ---------------------------------------------------------------------------------------------- */

typedef struct NAME64 {
    char name[64]; /* NUL-terminated when shorter than 64 characters */
} NAME64;

typedef struct NAME64I {
    char name[64];
    uint32_t ID;
} NAME64I;

/* The control system's data container; defined by the control-system client library. */
struct DTYPE;

/* ---------------------------------------------------------------------------------------------- */
/* Library frame: verbosity and library information                                                */
/* ---------------------------------------------------------------------------------------------- */

QMV3_EXPORT int qmSetVerbose(int level);
QMV3_EXPORT int qmSetVerboseEx(int level, const char* logFile);
QMV3_EXPORT int qmGetVerbose(void);
QMV3_EXPORT int qmGetVerboseEx(int* level, char* logFile, int* logFileSize);
QMV3_EXPORT char* qmLibraryInfo(unsigned* major, unsigned* minor, char* text, unsigned* textSize);
QMV3_EXPORT char* qmLibraryInfoEx(unsigned* major, unsigned* minor, unsigned* third, char* text, unsigned* textSize);

/* ---------------------------------------------------------------------------------------------- */
/* Images and sequences                                                                            */
/* ---------------------------------------------------------------------------------------------- */

/* A record with a frame buffer of QMV3_MAX_TRANSPORT_SIZE bytes, header not initialised; null on failure.
 * Release it with qmFreeImage: 1 released, -1 released but its frameBuffer was null, 0 null record. */
QMV3_EXPORT DIMAGE* qmInitializeImage(void);
QMV3_EXPORT int qmFreeImage(DIMAGE* image);
/* Sequences: initialise a fresh structure (empty), create numFrames records each with its own buffer of
 * frameBufferSize bytes (none for 0; numFrames 0 leaves the structure as it is), free array and buffers.
 * 1 on success, 0 for a null structure or when an allocation failed (nothing is left allocated). */
QMV3_EXPORT int qmInitializeBunchStructure(QMBUNCHOFIMAGES* images);
QMV3_EXPORT int qmCreateBunchStructure(QMBUNCHOFIMAGES* images, unsigned numFrames, unsigned frameBufferSize);
QMV3_EXPORT int qmFreeBunch(QMBUNCHOFIMAGES* images);
/* 1 valid, 0 null image, -1 invalid; the reason goes to the log and, on failure, into errorText (may be null). */
QMV3_EXPORT int qmCheckImageValidity(const DIMAGE* image, char* errorText, size_t errorTextSize);
/* 1: all images valid and alike (source, geometry, formats, scales within 0.00001, rotation); 0: empty or
 * differing images; -1: null structure, null array or an invalid image. The complete form also needs frame
 * numbers that rise by one without a zero. Every negative decision is logged. */
QMV3_EXPORT int qmIsSequence(const QMBUNCHOFIMAGES* aImages);
QMV3_EXPORT int qmIsCompleteSequence(const QMBUNCHOFIMAGES* aImages);
/* Copies the GRAY (1 or 2 bytes) or RGB pixels of image, decompressed first when JPEG, into destination;
 * *destinationSize is the capacity on entry and the bytes copied on return. The other outputs may be null.
 * 0 done, 20 a required pointer is null, 23 destination too small, 103 invalid image or other pixel format,
 * 513 decompression failed. getFrameFromDIMAGE is the same call under its older name. */
QMV3_EXPORT int qmGetFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                     unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                     DIMAGE* headerCopy);
QMV3_EXPORT int getFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                   unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                   DIMAGE* headerCopy);

/* ---------------------------------------------------------------------------------------------- */
/* Grabbing                                                                                        */
/* ---------------------------------------------------------------------------------------------- */

QMV3_EXPORT int qmGrabFrame(DIMAGE* apInOutImage, struct DTYPE* apDOut, const char* asZantAddress,
                            const char* asZantPropertyName, int aiZantTimeoutMilliseconds, int aiZantMode,
                            int* apiOutZantReturnCode);
QMV3_EXPORT unsigned int qmEstimateMaxFrameSizeBytes(const char* asZantAddress, const char* asZantPropertyName);
QMV3_EXPORT int qmGrabFramesEx2(QMBUNCHOFIMAGES* aImages, struct DTYPE* aImagesDOut, const char* aZantAddress,
                                const char* aZantPropertyName, unsigned aNumFrames, int aZantTimeoutMilliseconds,
                                int aZantMode, int* apiOutError, int* apiOutZantError, int* apiInInterrupt,
                                double* apdOutPercentageFinished);
QMV3_EXPORT int qmGrabFramesEx(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                               unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode, int* apiOutError,
                               int* apiOutZantError, int* apiInInterrupt, double* apdOutPercentageFinished);
QMV3_EXPORT int qmGrabFrames(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                             unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode);

/* ---------------------------------------------------------------------------------------------- */
/* Decompression                                                                                   */
/* ---------------------------------------------------------------------------------------------- */

/* JPEG frames (imageFormat QMV3_FORMAT_JPEG) become GRAY or RGB with the record's geometry and bytesPerPixel.
 * qmDecompressImage overwrites outImage with a new malloc buffer (the caller frees it; what outImage held
 * before is not released). In place, the decoded frame must fit in the image's own frameBuffer; on failure
 * the compressed bytes are restored. The sequence call replaces each JPEG image, freeing its compressed
 * buffer when freeCompressedBuffers is 1, and stops at the first failure.
 * 1 decompressed, 0 not JPEG (or empty sequence), -1 out of memory (sequence: any failure), -2 the JPEG data
 * cannot be decoded into the frame, -3 null argument, -4 (in place) frameBufferSize too small. */
QMV3_EXPORT int qmDecompressImage(DIMAGE* outImage, const DIMAGE* inImage);
QMV3_EXPORT int qmDecompressImageInPlace(DIMAGE* image);
QMV3_EXPORT int qmDecompressSequence(QMBUNCHOFIMAGES* sequence, int freeCompressedBuffers);

/* ---------------------------------------------------------------------------------------------- */
/* Display helpers and texts                                                                       */
/* ---------------------------------------------------------------------------------------------- */

/* A colour table of 4-byte entries (red, green, blue, 0) for every value of 1 or 2 bytes per pixel; values above
 * the effective bits (8..16) are magenta. mode 0 grey, 1 black-blue-green-red-white, 2 blue-cyan-yellow-red.
 * Returns the entry count, -1 for bad arguments, -2 when *tableBytes (capacity in, bytes out) is too small.
 * The conversion writes 3 bytes per grey pixel (16-bit pixels in host byte order) through such a table:
 * 0 done, -1 bad arguments or grayBytes too short, -2 when *rgbBytes (capacity in, bytes out) is too small. */
QMV3_EXPORT int QMV3_INTERNAL_qmCreateColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel,
                                                  int effectiveBits);
QMV3_EXPORT int QMV3_INTERNAL_qmGrayToRGB24(const void* gray, int grayBytes, unsigned char* rgb, int* rgbBytes,
                                            const unsigned char* table, int bytesPerPixel, int pixelCount);
QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFormatAsString(int format, char* dst, size_t* size);
QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFlagsAsString(int flags, char* dst, size_t* size);
QMV3_EXPORT char* QMV3_INTERNAL_platformTimeToUTCString(int64_t seconds, uint32_t fraction, int microseconds,
                                                        int brackets, int twelveHour, char* buffer, unsigned size);
QMV3_EXPORT char* QMV3_INTERNAL_getTimeString(char* buffer, int size);

/* ---------------------------------------------------------------------------------------------- */
/* Access modes and completion codes of the control system                                         */
/* ---------------------------------------------------------------------------------------------- */

/* Text of the completion code |code| (empty when the control system has none), cut to *size - 2
 * characters; *size becomes the written length + 1. Returns 1, or 0 for a null buffer, a null size or
 * a size of 0. */
QMV3_EXPORT int qmZantCodeToString(int code, char* buffer, size_t* size);
/* Mode bits of a keyword list such as "CM_TIMER|CM_STREAM", or -1 (more than 200 characters), -2 (no
 * keyword), -3 (unknown keyword), -4 (repeated or conflicting keywords), -5 (neither EVENT nor TIMER). */
QMV3_EXPORT int QMV3_INTERNAL_zantDecodeModeStringCMnew(const char* text);
/* Stores the access bits a mode needs in *access (may be null) and returns 1; 0 when the mode combines
 * two of STREAM, MCAST and CONNECT. */
QMV3_EXPORT int QMV3_INTERNAL_zantCMtoCA(int mode, int* access);
/* The mode as keywords (shortNames non-zero: without the "CM_" prefix). Returns 1 with the text copied
 * and *size = length + 1; -1 with *size = length + 1 (when size is not null) if the buffer is null or
 * too small; 0 for a mode without a base name, size unchanged. */
QMV3_EXPORT int QMV3_INTERNAL_zantModeToString(int mode, int shortNames, char* buffer, size_t* size);

/* ---------------------------------------------------------------------------------------------- */
/* Image sequence files                                                                            */
/* ---------------------------------------------------------------------------------------------- */

QMV3_EXPORT int qmSaveImagesToFile(QMBUNCHOFIMAGES* apImages, const char* asFilePath);
QMV3_EXPORT int qmSaveImagesToFileEx(QMBUNCHOFIMAGES* apImages, const char* asFilePath, char* errorText,
                                     unsigned int errorTextSize, int* interrupt, double* percent);
QMV3_EXPORT int qmLoadImagesFromFile(const char* asFilePath, QMBUNCHOFIMAGES* apImages);
QMV3_EXPORT int qmLoadImagesFromFileEx(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int* interrupt,
                                       double* percent, char* errorText, unsigned int errorTextSize);
QMV3_EXPORT int qmCheckFileFormat(const char* path, char* errorText, size_t errorTextSize);

/* ---------------------------------------------------------------------------------------------- */
/* Older video data                                                                                */
/* ---------------------------------------------------------------------------------------------- */

QMV3_EXPORT int initialize_vidinfhdr(VIDINFHDR* rec);
QMV3_EXPORT int free_vidinfhdr(VIDINFHDR* rec);
QMV3_EXPORT int load_imm_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int load_bkg_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int load_bkg_file_arb(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int load_imc_bkc_file(const char* path, VIDINFHDR* rec, int type);
QMV3_EXPORT int load_imc_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int load_bkc_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int load_file(int type, const char* path, VIDINFHDR* rec);
QMV3_EXPORT const char* load_file__return_code_to_string(int code, char* buffer, size_t size);
QMV3_EXPORT int save_imm_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int save_imm_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
QMV3_EXPORT int save_bkg_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int save_imc_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int save_imc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
QMV3_EXPORT int save_bkc_file(const char* path, VIDINFHDR* rec);
QMV3_EXPORT int save_bkc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
QMV3_EXPORT int save_file(int type, const char* path, VIDINFHDR* rec);
QMV3_EXPORT int save_bmp_files(const char* prefix, VIDINFHDR* rec, int palette, int digits);
QMV3_EXPORT int load_bmp_file(const char* path, VIDINFHDR* rec, int grayIndices);

QMV3_EXPORT int qmBunchToVIDINFHDREx2(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, char* errorText,
                                      unsigned int errorTextSize, int aiLowMemoryConsumption, int* sequenceKept);
QMV3_EXPORT int qmBunchToVIDINFHDREx(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, int aiLowMemoryConsumption,
                                     int* sequenceKept);
QMV3_EXPORT int qmBunchToVIDINFHDR(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV);

QMV3_EXPORT int calculate_significance_map(VIDINFHDR* first, VIDINFHDR* second, VIDINFHDR* map, double factor);
QMV3_EXPORT int xrayfilter(VIDINFHDR* rec);
QMV3_EXPORT int normalizeframes_rect(VIDINFHDR* rec, unsigned x1, unsigned y1, unsigned x2, unsigned y2);
QMV3_EXPORT int normalizeframes(VIDINFHDR* rec);
QMV3_EXPORT int convert_format(VIDINFHDR* rec, int newType, int reductionMethod);

/* ---------------------------------------------------------------------------------------------- */
/* System list                                                                                     */
/* ---------------------------------------------------------------------------------------------- */

QMV3_EXPORT int qmGetAllRawVideoServerNames(const char* path, char* context, NAME64* names, unsigned int* count);
QMV3_EXPORT int qmGetAllImageSourceNames(const char* path, NAME64* names, NAME64I* ids, unsigned int* count);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: these records are exchanged with the control system and stored in files. */
#if defined(__cplusplus)
#define QMV3_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define QMV3_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define QMV3_STATIC_ASSERT_JOIN2(a, b) a##b
#define QMV3_STATIC_ASSERT_JOIN(a, b) QMV3_STATIC_ASSERT_JOIN2(a, b)
#define QMV3_STATIC_ASSERT(cond, msg) \
    typedef char QMV3_STATIC_ASSERT_JOIN(qmv3_static_assert_, __LINE__)[(cond) ? 1 : -1]
#endif

#define QMV3_OFFSET_IS(type, member, offset) QMV3_STATIC_ASSERT(offsetof(type, member) == (offset), #member)

QMV3_STATIC_ASSERT(sizeof(DIMAGE_SOURCEHEADER) == 88, "source header");
QMV3_STATIC_ASSERT(sizeof(DIMAGE_FRAMEHEADER) == 100, "frame header");
QMV3_STATIC_ASSERT(sizeof(DIMAGE) == 200, "DIMAGE");
QMV3_STATIC_ASSERT(sizeof(QMV2VIDHDR) == 88, "QMV2VIDHDR");
QMV3_STATIC_ASSERT(sizeof(NAME64) == 64, "NAME64");
QMV3_STATIC_ASSERT(sizeof(NAME64I) == 68, "NAME64I");
QMV3_OFFSET_IS(DIMAGE, sourceHeader.baseTag, 0);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.cameraPortId, 4);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.versionTag, 8);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.totalLength, 12);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.timestampSeconds, 16);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.timestampMicroseconds, 20);
QMV3_OFFSET_IS(DIMAGE, sourceHeader.cameraPortName, 24);
QMV3_OFFSET_IS(DIMAGE, frameHeader.sourceWidth, 88);
QMV3_OFFSET_IS(DIMAGE, frameHeader.sourceHeight, 92);
QMV3_OFFSET_IS(DIMAGE, frameHeader.aoiWidth, 96);
QMV3_OFFSET_IS(DIMAGE, frameHeader.aoiHeight, 100);
QMV3_OFFSET_IS(DIMAGE, frameHeader.xStart, 104);
QMV3_OFFSET_IS(DIMAGE, frameHeader.yStart, 108);
QMV3_OFFSET_IS(DIMAGE, frameHeader.bytesPerPixel, 112);
QMV3_OFFSET_IS(DIMAGE, frameHeader.effectiveBitsPerPixel, 116);
QMV3_OFFSET_IS(DIMAGE, frameHeader.horizontalBinning, 120);
QMV3_OFFSET_IS(DIMAGE, frameHeader.verticalBinning, 124);
QMV3_OFFSET_IS(DIMAGE, frameHeader.sourceFormat, 128);
QMV3_OFFSET_IS(DIMAGE, frameHeader.imageFormat, 132);
QMV3_OFFSET_IS(DIMAGE, frameHeader.frameNumber, 136);
QMV3_OFFSET_IS(DIMAGE, frameHeader.eventNumber, 140);
QMV3_OFFSET_IS(DIMAGE, frameHeader.xScale, 144);
QMV3_OFFSET_IS(DIMAGE, frameHeader.yScale, 148);
QMV3_OFFSET_IS(DIMAGE, frameHeader.imageRotation, 152);
QMV3_OFFSET_IS(DIMAGE, frameHeader.scale_x_offset, 156);
QMV3_OFFSET_IS(DIMAGE, frameHeader.scale_y_offset, 160);
QMV3_OFFSET_IS(DIMAGE, frameHeader.fspare3, 164);
QMV3_OFFSET_IS(DIMAGE, frameHeader.imageFlags, 168);
QMV3_OFFSET_IS(DIMAGE, frameHeader.ispare1, 172);
QMV3_OFFSET_IS(DIMAGE, frameHeader.ispare2, 176);
QMV3_OFFSET_IS(DIMAGE, frameHeader.ispare3, 180);
QMV3_OFFSET_IS(DIMAGE, frameHeader.appendedFrameSize, 184);
QMV3_OFFSET_IS(DIMAGE, frameBufferSize, 188);
QMV3_OFFSET_IS(DIMAGE, frameBuffer, 192);
QMV3_OFFSET_IS(QMV2VIDHDR, frameDataLength, 12);
QMV3_OFFSET_IS(QMV2VIDHDR, extraHeaderBytes, 16);
QMV3_OFFSET_IS(QMV2VIDHDR, frameNumber, 20);
QMV3_OFFSET_IS(QMV2VIDHDR, timestampSeconds, 24);
QMV3_OFFSET_IS(QMV2VIDHDR, timestampMilliseconds, 28);
QMV3_OFFSET_IS(QMV2VIDHDR, width, 40);
QMV3_OFFSET_IS(QMV2VIDHDR, height, 44);
QMV3_OFFSET_IS(QMV2VIDHDR, compressed, 48);
QMV3_OFFSET_IS(QMV2VIDHDR, scale, 64);
QMV3_OFFSET_IS(QMV2VIDHDR, bitsPerPixel, 72);
QMV3_OFFSET_IS(QMV2VIDHDR, effectiveBitsPerPixel, 76);
QMV3_OFFSET_IS(NAME64I, ID, 64);

#endif /* QMV3_QMV3_H */
