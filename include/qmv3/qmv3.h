/**
 * @file qmv3.h
 * qmv3 — client library of the camera and video system.
 *
 * The whole exported interface: the records that cross it, the named result codes of every family and
 * every exported function. It compiles as C99 and as C++ and includes nothing of the library's own.
 *
 * Rules of the boundary, said once for every function below:
 *  - Every function has C linkage and reports failure through its result; no exception crosses it.
 *  - Each family has its own success value (see the main page): 1 for most calls, 0 for the file
 *    functions, a count for the multi-frame grab. Compare with the named constants, never with "> 0".
 *  - Text outputs go into caller buffers with an in/out size: the capacity on entry, the size needed
 *    (length + 1) on return. Message buffers are written only on failure, only when the pointer is not
 *    null and the size is at least 2, with at most size - 2 characters and a NUL in the last byte.
 *  - Frame buffers that cross the interface are malloc blocks, released with free (or by qmFreeImage,
 *    qmFreeBunch and free_vidinfhdr for the records those functions own).
 *  - The functions expect to be called from one application thread; only the delivery callback of a
 *    multi-frame grab runs on another. Functions marked "any thread" keep no shared state; the streams
 *    group says how its functions may be used from several threads.
 *  - Long file operations take an optional interrupt flag (the value 1 stops them at the next check) and
 *    an optional progress value rising from 0.0 to 1.0; another thread may set or watch either.
 */
#ifndef QMV3_QMV3_H
#define QMV3_QMV3_H

#include <stddef.h>
#include <stdint.h>

/** @cond QMV3_INTERNAL */
#if defined(__GNUC__)
#define QMV3_EXPORT __attribute__((visibility("default")))
#else
#define QMV3_EXPORT
#endif
/** @endcond */

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @defgroup records Image record and codes
 * The image record DIMAGE as the control system delivers it, its pixel-format codes and flag bits, and
 * the image sequence QMBUNCHOFIMAGES. All multi-byte fields are in host byte order.
 * @{
 */

/** @name Pixel-format codes of sourceFormat and imageFormat
 * Only GRAY (1 or 2 bytes per pixel) and RGB (3) are uncompressed formats the library processes; JPEG
 * frames are decompressed to them. Any value outside 0..12 makes a record invalid.
 * @{ */
#define QMV3_FORMAT_GRAY 0     /**< grey, 1 byte (8 bits) or 2 bytes (9 to 16 bits) per pixel */
#define QMV3_FORMAT_RGB 1      /**< red, green, blue, 3 bytes per pixel */
#define QMV3_FORMAT_RGBA 2     /**< RGBA */
#define QMV3_FORMAT_RGB15 3    /**< RGB15 */
#define QMV3_FORMAT_RGB16 4    /**< RGB16 */
#define QMV3_FORMAT_JPEG 5     /**< a JPEG stream; qmDecompressImage makes GRAY or RGB of it */
#define QMV3_FORMAT_TIFF 6     /**< TIFF */
#define QMV3_FORMAT_YUV411 7   /**< YUV411 */
#define QMV3_FORMAT_YUV422 8   /**< YUV422 */
#define QMV3_FORMAT_YUV444 9   /**< YUV444 */
#define QMV3_FORMAT_HUFFYUV 10 /**< HuffYUV-compressed older data */
#define QMV3_FORMAT_BMP 11     /**< BMP */
#define QMV3_FORMAT_BAYER 12   /**< raw Bayer pattern */
#define QMV3_FORMAT_MAX 12     /**< largest valid format code */
/** @} */

/** @name Flag bits of imageFlags
 * Bits above 0x200 have no name; every operation passes them through unchanged.
 * @{ */
#define QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER 0x001      /**< multi-byte pixels least significant byte first */
#define QMV3_FLAG_IMAGE_LOSSLESS 0x002                /**< raw or losslessly compressed frame bytes */
#define QMV3_FLAG_IMAGE_HORIZONTAL_FLIP_180 0x004     /**< mirrored horizontally */
#define QMV3_FLAG_IMAGE_VERTICAL_FLIP_180 0x008       /**< mirrored vertically */
#define QMV3_FLAG_XYSTART_ONE_BASED 0x010             /**< xStart and yStart count from 1 */
#define QMV3_FLAG_TIMESTAMP_IS_GLOBAL_TIMESTAMP 0x020 /**< a global, not a local, time stamp */
#define QMV3_FLAG_EVENTNUMBER_OUT_OF_SYNC 0x040       /**< eventNumber is out of sync */
#define QMV3_FLAG_TIMESTAMP_IS_EXTRAPOLATED 0x080     /**< the time stamp was extrapolated */
#define QMV3_FLAG_SCALE_OFFSET 0x100                  /**< scale_x_offset and scale_y_offset are valid */
#define QMV3_FLAG_SOFTWARE_ROI_APPLIED 0x200          /**< the area of interest was cut out in software */
/** @} */

/** @name Sizes
 * @{ */
#define QMV3_MAX_TRANSPORT_SIZE 27262976 /**< largest appendedFrameSize (26 MiB) */
#define QMV3_MAX_BUFFER_SIZE 27263176    /**< QMV3_MAX_TRANSPORT_SIZE plus the 200-byte record */
#define QMV3_IMAGE_HEADER_SIZE 188       /**< bytes of sourceHeader plus frameHeader ("sizeof(hdrImage)") */
/** @} */

/** Identity of the source; 88 bytes. */
typedef struct DIMAGE_SOURCEHEADER {
    char baseTag[4];                /**< always "QMV3" */
    uint32_t cameraPortId;          /**< number of the camera port on its server; 0: no port */
    uint32_t versionTag;            /**< layout version, 1 */
    uint32_t totalLength;           /**< 188 + appendedFrameSize when that is > 0, else 188 */
    uint32_t timestampSeconds;      /**< seconds since the Unix epoch, UTC */
    uint32_t timestampMicroseconds; /**< 0 .. 999999 */
    char cameraPortName[64];        /**< name of the camera port, NUL-terminated */
} DIMAGE_SOURCEHEADER;

/** Geometry, pixel format and numbering of the frame; 100 bytes. The frame bytes hold the appended
 * rectangle: aoiWidth x aoiHeight when those are > 0, else sourceWidth x sourceHeight, row after row
 * from the top, no padding. */
typedef struct DIMAGE_FRAMEHEADER {
    int32_t sourceWidth;           /**< width of the full source frame in pixels, >= 1 */
    int32_t sourceHeight;          /**< height of the full source frame in pixels, >= 1 */
    int32_t aoiWidth;              /**< width of the area of interest; -1 or 0: no area of interest */
    int32_t aoiHeight;             /**< height of the area of interest; -1 or 0: no area of interest */
    int32_t xStart;                /**< left edge of the area in the source frame (see XYSTART_ONE_BASED) */
    int32_t yStart;                /**< top edge of the area in the source frame */
    int32_t bytesPerPixel;         /**< 1 .. 4 */
    int32_t effectiveBitsPerPixel; /**< significant bits; -1: 8 * bytesPerPixel */
    int32_t horizontalBinning;     /**< source pixels merged into one horizontally */
    int32_t verticalBinning;       /**< source pixels merged into one vertically */
    int32_t sourceFormat;          /**< QMV3_FORMAT_* as delivered by the camera */
    int32_t imageFormat;           /**< QMV3_FORMAT_* of the frame bytes as they are now */
    uint32_t frameNumber;          /**< running number of the frame at its source */
    uint32_t eventNumber;          /**< event number of the frame */
    float xScale;                  /**< millimetres per pixel; <= 0: not set */
    float yScale;                  /**< millimetres per pixel; <= 0: not set */
    float imageRotation;           /**< degrees, positive clockwise */
    float scale_x_offset;          /**< offset of the horizontal scale, valid with QMV3_FLAG_SCALE_OFFSET */
    float scale_y_offset;          /**< offset of the vertical scale, valid with QMV3_FLAG_SCALE_OFFSET */
    float fspare3;                 /**< reserved, -1.0 */
    int32_t imageFlags;            /**< QMV3_FLAG_* */
    int32_t ispare1;               /**< reserved, -1 */
    int32_t ispare2;               /**< reserved, -1 */
    int32_t ispare3;               /**< reserved, -1 */
    int32_t appendedFrameSize;     /**< valid bytes in frameBuffer; <= 0: none */
} DIMAGE_FRAMEHEADER;

/** One image: the 188-byte header, then the frame buffer description; 200 bytes in this exact layout. */
typedef struct DIMAGE {
    DIMAGE_SOURCEHEADER sourceHeader; /**< identity of the source */
    DIMAGE_FRAMEHEADER frameHeader;   /**< geometry, format and numbering */
    uint32_t frameBufferSize;         /**< capacity of frameBuffer in bytes */
    unsigned char* frameBuffer;       /**< the frame bytes, a malloc block owned by the record's creator */
} DIMAGE;

/** An image sequence: numFrames consecutive records (not pointers). It owns the array and every
 * record's frame buffer; qmFreeBunch releases both. Empty: null array and 0 frames. */
typedef struct QMBUNCHOFIMAGES {
    DIMAGE* imageArray; /**< the first of numFrames records; null when empty */
    uint32_t numFrames; /**< number of records */
} QMBUNCHOFIMAGES;

/** The older per-frame transport header, 88 bytes, little-endian; only the named fields are read. */
typedef struct QMV2VIDHDR {
    uint32_t kennung;               /**< 0x11223344 */
    uint32_t reserved4[2];          /**< not read */
    uint32_t frameDataLength;       /**< frame bytes that follow */
    uint32_t extraHeaderBytes;      /**< bytes between this header and the frame data */
    uint32_t frameNumber;           /**< running frame number */
    uint32_t timestampSeconds;      /**< seconds since the Unix epoch */
    uint32_t timestampMilliseconds; /**< milliseconds */
    uint32_t reserved32[2];         /**< not read */
    uint32_t width;                 /**< pixels */
    uint32_t height;                /**< pixels */
    uint32_t compressed;            /**< non-zero: HUFFYUV */
    uint32_t reserved52[3];         /**< not read */
    float scale;                    /**< millimetres per pixel */
    uint32_t reserved68;            /**< not read */
    uint32_t bitsPerPixel;          /**< bits per pixel */
    uint32_t effectiveBitsPerPixel; /**< 0 or above bitsPerPixel: bitsPerPixel */
    uint32_t reserved80[2];         /**< not read */
} QMV2VIDHDR;

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Older video record                                                                              */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @addtogroup older Older video data
 * @{
 */

/** @name Kinds of VIDINFHDR data (the type field)
 * @{ */
#define VIDINFHDR_TYPE_EMPTY (-1)         /**< an empty record, as initialize_vidinfhdr leaves it */
#define VIDINFHDR_TYPE_IMM 1              /**< IMM, extension ".imm" */
#define VIDINFHDR_TYPE_IMC 2              /**< IMC, extension ".imc" */
#define VIDINFHDR_TYPE_BKG 3              /**< BKG, extension ".bkg" */
#define VIDINFHDR_TYPE_BKC 4              /**< BKC, extension ".bkc" */
#define VIDINFHDR_TYPE_SIGNIFICANCE_MAP 5 /**< a map made by calculate_significance_map */
#define VIDINFHDR_TYPE_BMP 6              /**< a BMP import, extension ".bmp" (loading only) */
/** @} */

/** The older multi-frame record; framebits, every frame buffer and framescales are malloc blocks owned
 * by the record and released by free_vidinfhdr. Pass every record through initialize_vidinfhdr first. */
typedef struct VIDINFHDR {
    uint32_t width;            /**< frame width in pixels */
    uint32_t height;           /**< frame height in pixels */
    uint32_t bpp;              /**< 8 or 16 in files; 32 for some algorithms */
    uint32_t ebitpp;           /**< significant bits, at most bpp */
    double scale;              /**< scale of the record: framescales[0] after a load */
    int32_t numframes;         /**< number of frames */
    int32_t type;              /**< VIDINFHDR_TYPE_* */
    unsigned char** framebits; /**< numframes frame buffers of width * height * bpp / 8 bytes, little-endian */
    double* framescales;       /**< numframes per-frame scales */
} VIDINFHDR;

/** @} */

/**
 * @addtogroup syslist System list
 * @{
 */

/** A name from the system list. */
typedef struct NAME64 {
    char name[64]; /**< NUL-terminated when shorter than 64 characters */
} NAME64;

/** A name from the system list with its number. */
typedef struct NAME64I {
    char name[64]; /**< NUL-terminated when shorter than 64 characters */
    uint32_t ID;   /**< the number after "=" in the list's NameID */
} NAME64I;

/** @} */

/** The control system's data container; defined by the control-system client library. */
struct DTYPE;

/* ---------------------------------------------------------------------------------------------- */
/* Library frame: verbosity and library information                                                */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup frame Library frame: log and library information
 * Every exported call logs through one writer. The verbosity chooses where its lines go; the
 * environment variable ORSEL_CLIENTLIB_LOGLEVEL (1 errors and warnings, 2 also call traces) chooses
 * how much, and ORSEL_CLIENTLIB_LOGGING_PATH the folder of the automatically named log file.
 * @{
 */

/** Verbosity levels: where the library's log lines go. */
enum QMV3_VERBOSITY {
    QMV3_VERBOSITY_SILENT = 0,  /**< nothing is written */
    QMV3_VERBOSITY_STDERR = 1,  /**< standard error */
    QMV3_VERBOSITY_STDOUT = 2,  /**< standard output */
    QMV3_VERBOSITY_LOG_FILE = 3 /**< a log file (the default) */
};

/** Results of the verbosity calls. */
enum QMV3_VERBOSE_RESULT {
    QMV3_VERBOSE_OK = 1,            /**< accepted, or the file name was copied */
    QMV3_VERBOSE_REFUSED = 0,       /**< a level outside 0..3, level 3 without a file, or a buffer too small */
    QMV3_VERBOSE_NULL_ARGUMENT = -1 /**< qmGetVerboseEx: a null pointer */
};

/** Sets the verbosity without naming a log file; the same as qmSetVerboseEx(level, NULL), so it cannot
 * select QMV3_VERBOSITY_LOG_FILE.
 * @param level a QMV3_VERBOSITY_* level
 * @return QMV3_VERBOSE_OK or QMV3_VERBOSE_REFUSED */
QMV3_EXPORT int qmSetVerbose(int level);
/** Sets the verbosity. The change is logged (under the old setting with "about to be", then under the new
 * one). At level 3 an empty file name composes the automatic name
 * orsel-sharedlib--DATE--p-PID--u-USER--h-HOST.log in ORSEL_CLIENTLIB_LOGGING_PATH (default /tmp), any
 * other name is used as given; the file is opened and closed for every line. A file that cannot be opened
 * sends the lines to standard error.
 * @param level a QMV3_VERBOSITY_* level
 * @param logFile the log file for level 3 (copied; at most 1023 characters); ignored for other levels
 * @return QMV3_VERBOSE_OK, or QMV3_VERBOSE_REFUSED for a level outside 0..3 or level 3 with a null file
 *         (nothing changes then) */
QMV3_EXPORT int qmSetVerboseEx(int level, const char* logFile);
/** @return the current QMV3_VERBOSITY_* level (3 after loading) */
QMV3_EXPORT int qmGetVerbose(void);
/** The current verbosity and, at level 3, the log file's path.
 * @param[out] level the current level
 * @param[out] logFile receives the path with its NUL at level 3, an empty text at other levels
 * @param[in,out] logFileSize capacity on entry; the size needed (length + 1) on return
 * @return QMV3_VERBOSE_OK; QMV3_VERBOSE_REFUSED when the buffer is too small (only the size is set);
 *         QMV3_VERBOSE_NULL_ARGUMENT when any pointer is null */
QMV3_EXPORT int qmGetVerboseEx(int* level, char* logFile, int* logFileSize);
/** The library's version (1.0) and information text; qmLibraryInfoEx without the third number.
 * @param[out] major 1 (may be null)
 * @param[out] minor 0 (may be null)
 * @param[out] text receives the information text (see qmLibraryInfoEx)
 * @param[in,out] textSize capacity on entry, 107 on return
 * @return text, or null when text or textSize is null or *textSize is 0 */
QMV3_EXPORT char* qmLibraryInfo(unsigned* major, unsigned* minor, char* text, unsigned* textSize);
/** The library's version (1.0.0) and information text: the build banner, " Zant # ", the control system's
 * version text and " ****", cut to *textSize - 2 characters. Any thread.
 * @param[out] major 1 (may be null)
 * @param[out] minor 0 (may be null)
 * @param[out] third 0 (may be null)
 * @param[out] text receives the text; with null only the size is reported
 * @param[in,out] textSize capacity on entry; on return always 107, the size the library asks for
 * @return text, or null when text or textSize is null or *textSize is 0 */
QMV3_EXPORT char* qmLibraryInfoEx(unsigned* major, unsigned* minor, unsigned* third, char* text, unsigned* textSize);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Images and sequences                                                                            */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup images Images and sequences
 * Creating, checking and releasing images and image sequences, and copying an image's pixels out.
 * A sequence made here, by a grab or by a load owns its array and every frame buffer; initialise a
 * fresh structure with qmInitializeBunchStructure and release it with qmFreeBunch.
 * @{
 */

/** Results of qmCheckImageValidity and qmFreeImage. */
enum QMV3_IMAGE_RESULT {
    QMV3_IMAGE_VALID = 1,                /**< qmCheckImageValidity: every rule holds */
    QMV3_IMAGE_FREED = 1,                /**< qmFreeImage: record and frame buffer released */
    QMV3_IMAGE_NULL = 0,                 /**< the image pointer is null */
    QMV3_IMAGE_INVALID = -1,             /**< qmCheckImageValidity: a rule failed */
    QMV3_IMAGE_FREED_WITHOUT_BUFFER = -1 /**< qmFreeImage: record released, its frameBuffer was null */
};

/** Results of qmInitializeBunchStructure, qmCreateBunchStructure and qmFreeBunch. */
enum QMV3_BUNCH_RESULT {
    QMV3_BUNCH_OK = 1,    /**< done */
    QMV3_BUNCH_FAILED = 0 /**< null structure, or an allocation failed */
};

/** Results of qmIsSequence and qmIsCompleteSequence. */
enum QMV3_SEQUENCE_RESULT {
    QMV3_SEQUENCE_YES = 1,     /**< all images valid and alike (complete form: frame numbers n, n+1, ...) */
    QMV3_SEQUENCE_NO = 0,      /**< empty, or the images differ (complete form: a gap or a frame number 0) */
    QMV3_SEQUENCE_INVALID = -1 /**< null structure, null array, or an invalid image */
};

/** Results of qmGetFrameFromDIMAGE: the numbers of the control system's completion codes, so that
 * qmZantCodeToString gives their text. */
enum QMV3_FRAME_COPY_RESULT {
    QMV3_FRAME_COPY_OK = 0,                    /**< copied */
    QMV3_FRAME_COPY_NULL_ARGUMENT = 20,        /**< destination, destinationSize or image is null */
    QMV3_FRAME_COPY_TOO_SMALL = 23,            /**< the destination is smaller than the pixels */
    QMV3_FRAME_COPY_INVALID_IMAGE = 103,       /**< invalid image, or not GRAY 1/2 or RGB 3 bytes per pixel */
    QMV3_FRAME_COPY_DECOMPRESSION_FAILED = 513 /**< a JPEG frame could not be decompressed */
};

/** Colour types that qmGetFrameFromDIMAGE reports; they differ from the QMV3_FORMAT_* codes. */
enum QMV3_COLOUR_TYPE {
    QMV3_COLOUR_TYPE_GRAY8 = 0,  /**< GRAY, 1 byte per pixel */
    QMV3_COLOUR_TYPE_GRAY16 = 1, /**< GRAY, 2 bytes per pixel */
    QMV3_COLOUR_TYPE_RGB24 = 2   /**< RGB, 3 bytes per pixel */
};

/** A record with a frame buffer of QMV3_MAX_TRANSPORT_SIZE bytes for qmGrabFrame; its header is not
 * initialised. Release it with qmFreeImage.
 * @return the record, or null when memory runs out (logged) */
QMV3_EXPORT DIMAGE* qmInitializeImage(void);
/** Releases a record made by qmInitializeImage and its frame buffer (with free).
 * @param image the record; null is refused with a logged warning
 * @return QMV3_IMAGE_FREED, QMV3_IMAGE_FREED_WITHOUT_BUFFER (record released, warning logged), or
 *         QMV3_IMAGE_NULL */
QMV3_EXPORT int qmFreeImage(DIMAGE* image);
/** Makes a fresh structure empty (null array, 0 frames); releases nothing.
 * @param images the structure
 * @return QMV3_BUNCH_OK, or QMV3_BUNCH_FAILED for null */
QMV3_EXPORT int qmInitializeBunchStructure(QMBUNCHOFIMAGES* images);
/** Creates numFrames zero-filled records, each with its own malloc frame buffer of frameBufferSize bytes
 * (no buffers for 0). numFrames 0 leaves the structure as it is. On a failed allocation everything made
 * is released, imageArray is null and numFrames keeps the count.
 * @param images an empty structure
 * @param numFrames number of records
 * @param frameBufferSize bytes of each frame buffer
 * @return QMV3_BUNCH_OK, or QMV3_BUNCH_FAILED for a null structure or a failed allocation */
QMV3_EXPORT int qmCreateBunchStructure(QMBUNCHOFIMAGES* images, unsigned numFrames, unsigned frameBufferSize);
/** Releases every frame buffer and the array, and leaves the structure empty. For a sequence loaded with
 * QMV3_LOAD_FLAG_ONE_BLOCK it releases the one block of its frames once, and every frame buffer that has
 * replaced one of the block since.
 * @param images the sequence
 * @return QMV3_BUNCH_OK, or QMV3_BUNCH_FAILED for null */
QMV3_EXPORT int qmFreeBunch(QMBUNCHOFIMAGES* images);
/** Releases an image's frame buffer the way the library allocated it: with free for a buffer of its own,
 * not at all for a frame inside the block of a sequence loaded with QMV3_LOAD_FLAG_ONE_BLOCK (qmFreeBunch
 * releases that block). Use it instead of free wherever a frame buffer of a loaded sequence is replaced.
 * @param image the image (null: nothing happens); frameBuffer becomes null and frameBufferSize 0 */
QMV3_EXPORT void qmReleaseFrameBuffer(DIMAGE* image);
/** Checks an image against the validity rules (tag, geometry, area of interest, start position, bytes per
 * pixel, formats, frame size against the buffer and QMV3_MAX_TRANSPORT_SIZE, totalLength, and enough
 * frame bytes for GRAY and RGB). The first failed rule's sentence is logged and, on failure, copied into
 * errorText. Any thread, apart from the log.
 * @param image the image
 * @param[out] errorText the reason on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_IMAGE_VALID, QMV3_IMAGE_NULL or QMV3_IMAGE_INVALID */
QMV3_EXPORT int qmCheckImageValidity(const DIMAGE* image, char* errorText, size_t errorTextSize);

/** Results of qmCountValuesAboveEffectiveBits below 0. */
enum QMV3_VALUE_COUNT_RESULT {
    QMV3_VALUE_COUNT_REFUSED = -1 /**< null image, an image that fails the validity rules, or not uncompressed
                                       GRAY of 1 or 2 bytes or RGB of 3 (a JPEG frame) */
};

/** Counts the pixel values of a GRAY image above the largest value its effective bits allow
 * (2^effectiveBitsPerPixel - 1), such as 5000 in a 16-bit frame of 12 effective bits. The validity rules
 * read the header only, so a valid image may hold such values, which programs that scale by the effective
 * bits clip. RGB frames, and effective bits of -1 or of at least 8 * bytesPerPixel, leave no room above
 * and count 0. Reads every pixel (16-bit values in host byte order); logs nothing. Any thread.
 * @param image the image
 * @param[out] firstValue the first such value, row after row; unchanged when there is none (may be null)
 * @return the number of such values, 0 when every value fits, or QMV3_VALUE_COUNT_REFUSED */
QMV3_EXPORT int qmCountValuesAboveEffectiveBits(const DIMAGE* image, unsigned int* firstValue);
/** Whether the images form one sequence: all valid and alike in camera port id and name, geometry, area of
 * interest, bytes per pixel, effective bits, both formats, scales (within 0.00001) and rotation. Time
 * stamps, flags and numbers may differ. Every negative decision is logged.
 * @param aImages the sequence
 * @return QMV3_SEQUENCE_YES, QMV3_SEQUENCE_NO (also for 0 frames) or QMV3_SEQUENCE_INVALID */
QMV3_EXPORT int qmIsSequence(const QMBUNCHOFIMAGES* aImages);
/** Whether the images form a sequence (qmIsSequence) whose frame numbers rise by exactly one from image to
 * image, none of them 0. Every negative decision is logged.
 * @param aImages the sequence
 * @return QMV3_SEQUENCE_YES, QMV3_SEQUENCE_NO or QMV3_SEQUENCE_INVALID */
QMV3_EXPORT int qmIsCompleteSequence(const QMBUNCHOFIMAGES* aImages);

/** @name Flags of qmCheckImageValidityEx and qmGetSequenceVerdict
 * @{ */
#define QMV3_CHECK_FLAG_HEADERS_ONLY 0x1 /**< an image without its pixels (frameBuffer null, appendedFrameSize
                                              above 0, as QMV3_LOAD_FLAG_HEADERS_ONLY loads it) is judged as
                                              its full load would be: as if a buffer held the bytes its
                                              header announces */
/** @} */

/** Verdicts of qmGetSequenceVerdict. */
enum QMV3_SEQUENCE_VERDICT {
    QMV3_VERDICT_COMPLETE = 2, /**< a sequence (qmIsSequence) whose frame numbers rise by one (qmIsCompleteSequence) */
    QMV3_VERDICT_GAPS = 1,     /**< a sequence whose frame numbers have gaps or repeats, or hold a 0 */
    QMV3_VERDICT_NOT_ONE = 0,  /**< no images, or images that differ */
    QMV3_VERDICT_INVALID = -1  /**< null structure, null array, an invalid image, or unknown flags */
};

/** qmCheckImageValidity with flags: with QMV3_CHECK_FLAG_HEADERS_ONLY an image loaded without its
 * pixels passes the buffer rules as its full load would (the rules read the header only, never the
 * pixels). Logs as qmCheckImageValidity. Any thread, apart from the log.
 * @param image the image (never changed)
 * @param flags 0 or QMV3_CHECK_FLAG_HEADERS_ONLY; other bits are refused with QMV3_IMAGE_INVALID
 * @param[out] errorText the reason on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_IMAGE_VALID, QMV3_IMAGE_NULL or QMV3_IMAGE_INVALID */
QMV3_EXPORT int qmCheckImageValidityEx(const DIMAGE* image, unsigned int flags, char* errorText,
                                       size_t errorTextSize);
/** The verdict of qmIsSequence and qmIsCompleteSequence in one call, with flags: with
 * QMV3_CHECK_FLAG_HEADERS_ONLY also for a sequence loaded with QMV3_LOAD_FLAG_HEADERS_ONLY. Every
 * negative decision is logged as those calls log it.
 * @param images the sequence (never changed)
 * @param flags 0 or QMV3_CHECK_FLAG_HEADERS_ONLY
 * @return a QMV3_VERDICT_* */
QMV3_EXPORT int qmGetSequenceVerdict(const QMBUNCHOFIMAGES* images, unsigned int flags);
/** Whether an uncompressed GRAY or RGB image holds fewer frame bytes (appendedFrameSize) than its appended
 * width * height * bytesPerPixel need, as in a damaged or crafted file. The validity rules refuse such a
 * frame of 1 or 2 bytes per GRAY pixel or 3 per RGB pixel, but let the other pixel widths pass; a check
 * of a file warns of them with this call. Reads the header only, so an image loaded without its pixels
 * is judged as its full load. Any thread.
 * @param image the image
 * @param[out] heldBytes the frame bytes it holds, set only for a short frame (may be null)
 * @param[out] neededBytes the bytes its pixels need, set only for a short frame (may be null)
 * @return 1 for a short frame, 0 otherwise (also for other formats and a size below 1), -1 for a null
 *         image */
QMV3_EXPORT int qmIsShortFrame(const DIMAGE* image, uint64_t* heldBytes, uint64_t* neededBytes);
/** Copies the GRAY (1 or 2 bytes) or RGB pixels of an image, decompressed first when JPEG, into a buffer
 * of the caller. The optional outputs are filled only on success.
 * @param[out] destination receives width * height * bytesPerPixel bytes, rows from the top
 * @param[in,out] destinationSize capacity on entry, the bytes copied on return
 * @param image the image; it is not changed
 * @param[out] width appended width (may be null)
 * @param[out] height appended height (may be null)
 * @param[out] colourType a QMV3_COLOUR_TYPE_* (may be null)
 * @param[out] bytesPerPixel bytes per pixel (may be null)
 * @param[out] effectiveBitsPerPixel the header's effective bits, -1 included (may be null)
 * @param[out] headerCopy the record without its frame: appendedFrameSize and frameBufferSize 0,
 *             frameBuffer null (may be null)
 * @return a QMV3_FRAME_COPY_* code; QMV3_FRAME_COPY_OK (0) on success */
QMV3_EXPORT int qmGetFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                     unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                     DIMAGE* headerCopy);
/** qmGetFrameFromDIMAGE under its older name.
 * @param[out] destination as qmGetFrameFromDIMAGE
 * @param[in,out] destinationSize as qmGetFrameFromDIMAGE
 * @param image as qmGetFrameFromDIMAGE
 * @param[out] width as qmGetFrameFromDIMAGE
 * @param[out] height as qmGetFrameFromDIMAGE
 * @param[out] colourType as qmGetFrameFromDIMAGE
 * @param[out] bytesPerPixel as qmGetFrameFromDIMAGE
 * @param[out] effectiveBitsPerPixel as qmGetFrameFromDIMAGE
 * @param[out] headerCopy as qmGetFrameFromDIMAGE
 * @return as qmGetFrameFromDIMAGE */
QMV3_EXPORT int getFrameFromDIMAGE(void* destination, int* destinationSize, const DIMAGE* image, unsigned* width,
                                   unsigned* height, int* colourType, int* bytesPerPixel, int* effectiveBitsPerPixel,
                                   DIMAGE* headerCopy);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Header helpers                                                                                  */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup helpers Header helpers
 * What every program around the library needs of image headers, once: a valid header from geometry and
 * format, the pixel layout of an image, UTC time text, the texts of the grab results, access-mode
 * decoding with the reason for a refusal, and the names of formats and flags. Any thread.
 * @{
 */

/** Results of qmInitializeImageHeader. */
enum QMV3_HEADER_RESULT {
    QMV3_HEADER_OK = 0,          /**< the header is filled */
    QMV3_HEADER_BAD_ARGUMENT = -1 /**< null image, no pixels, a format and size that do not fit, too large */
};

/** Results of qmGetPixelLayout. */
enum QMV3_LAYOUT_RESULT {
    QMV3_LAYOUT_OK = 0,              /**< the layout is filled and the frame bytes hold the pixels */
    QMV3_LAYOUT_NULL_ARGUMENT = -1,  /**< image or layout is null */
    QMV3_LAYOUT_COMPRESSED = -2,     /**< JPEG data: decompress first (qmDecompressImage) */
    QMV3_LAYOUT_NO_ARRAY_FORM = -3,  /**< neither GRAY with 1 or 2 nor RGB with 3 bytes per pixel */
    QMV3_LAYOUT_BAD_GEOMETRY = -4,   /**< a source size below 1 or an area size below -1 */
    QMV3_LAYOUT_TOO_FEW_BYTES = -5   /**< the layout is filled, but appendedFrameSize (or the buffer) is smaller */
};

/** The pixel rectangle of an uncompressed GRAY or RGB image, as qmGetPixelLayout gives it. */
typedef struct QMV3_PIXEL_LAYOUT {
    uint32_t width;          /**< pixels per row: aoiWidth when > 0, else sourceWidth */
    uint32_t height;         /**< rows: aoiHeight when > 0, else sourceHeight */
    uint32_t bytesPerPixel;  /**< 1 or 2 (GRAY), 3 (RGB) */
    uint32_t channels;       /**< 1 (GRAY) or 3 (RGB) */
    uint32_t bytesPerSample; /**< bytesPerPixel / channels */
    int32_t effectiveBits;   /**< significant bits; the header's -1 becomes 8 * bytesPerPixel */
    uint64_t frameBytes;     /**< width * height * bytesPerPixel, rows back to back from the top */
} QMV3_PIXEL_LAYOUT;

/** @name Styles of qmFormatUTCTime
 * @{ */
#define QMV3_TIME_TWELVE_HOUR 0x1  /**< hour 1..12 with AM or PM */
#define QMV3_TIME_BRACKETS 0x2     /**< the text in [ ] */
#define QMV3_TIME_MILLISECONDS 0x4 /**< milliseconds instead of microseconds */
#define QMV3_TIME_ISO8601 0x8      /**< "2023-07-27T15:04:05.000123Z", as the exports' metadata holds it;
                                        the other bits are ignored */
/** @} */

/** @name Flags of qmInitializeImageHeaderEx
 * @{ */
#define QMV3_HEADER_FLAG_ANY_SIZE 0x1 /**< allow frames up to INT32_MAX bytes, for pixels that never travel */
/** @} */

/** Fills the 188 header bytes of a valid uncompressed image: tag "QMV3", version 1, the geometry without
 * an area of interest, binning 1, both formats, the effective bits, the flags LOSSLESS and (on a
 * little-endian host) LITTLE_ENDIAN, appendedFrameSize and totalLength for width * height * bytesPerPixel
 * bytes, the reserved fields -1; frame number, time stamp, scales, port name and id 0. frameBufferSize and
 * frameBuffer are not touched.
 * @param image the record
 * @param width pixels per row, >= 1
 * @param height rows, >= 1
 * @param bytesPerPixel 1 or 2 for QMV3_FORMAT_GRAY, 3 for QMV3_FORMAT_RGB
 * @param effectiveBits -1 (all bits), 8 (GRAY 1 byte), 9 .. 16 (GRAY 2 bytes) or 24 (RGB)
 * @param format QMV3_FORMAT_GRAY or QMV3_FORMAT_RGB
 * @return QMV3_HEADER_OK, or QMV3_HEADER_BAD_ARGUMENT (also for more than QMV3_MAX_TRANSPORT_SIZE bytes;
 *         the record is then unchanged) */
QMV3_EXPORT int qmInitializeImageHeader(DIMAGE* image, int width, int height, int bytesPerPixel, int effectiveBits,
                                        int format);
/** qmInitializeImageHeader with flags: a header over pixels of the caller's own (an array, a picture)
 * that may be larger than a transport carries.
 * @param image the record
 * @param width pixels per row, >= 1
 * @param height rows, >= 1
 * @param bytesPerPixel as qmInitializeImageHeader
 * @param effectiveBits as qmInitializeImageHeader
 * @param format QMV3_FORMAT_GRAY or QMV3_FORMAT_RGB
 * @param flags 0 or QMV3_HEADER_FLAG_ANY_SIZE
 * @return QMV3_HEADER_OK, or QMV3_HEADER_BAD_ARGUMENT (also for an unknown flag and for more than
 *         QMV3_MAX_TRANSPORT_SIZE bytes, or INT32_MAX bytes with QMV3_HEADER_FLAG_ANY_SIZE; the record is
 *         then unchanged) */
QMV3_EXPORT int qmInitializeImageHeaderEx(DIMAGE* image, int width, int height, int bytesPerPixel,
                                          int effectiveBits, int format, unsigned int flags);
/** The pixel layout of an uncompressed GRAY (1 or 2 bytes per pixel) or RGB image, from its header; works
 * on a header without pixels (frameBuffer null) too.
 * @param image the image
 * @param[out] layout the layout, filled for QMV3_LAYOUT_OK and QMV3_LAYOUT_TOO_FEW_BYTES
 * @return a QMV3_LAYOUT_* code */
QMV3_EXPORT int qmGetPixelLayout(const DIMAGE* image, QMV3_PIXEL_LAYOUT* layout);
/** The significant bits per pixel of an image of any format (JPEG included), from its header: the
 * header's effective bits when at least 1, else (unset) 8 * bytesPerPixel.
 * @param image the image
 * @return the bits, or -1 for a null image */
QMV3_EXPORT int qmGetEffectiveBits(const DIMAGE* image);
/** The appended width and height of an image of any format (JPEG included), from its header: the area of
 * interest where it is set (above 0), else the source size.
 * @param image the image
 * @param[out] width pixels per row (may be null)
 * @param[out] height rows (may be null)
 * @return 0, or -1 for a null image (outputs unchanged) */
QMV3_EXPORT int qmGetAppendedSize(const DIMAGE* image, int* width, int* height);
/** A time stamp as UTC text, "2023-07-27 15:04:05.000123 UTC" by default.
 * @param seconds seconds since the Unix epoch
 * @param microseconds 0 .. 999999
 * @param style QMV3_TIME_* bits (0: the default)
 * @param[out] buffer receives the text, cut to size - 2 characters
 * @param size capacity of buffer, >= 2
 * @return buffer, or null for a bad argument or a time that cannot be converted */
QMV3_EXPORT char* qmFormatUTCTime(uint32_t seconds, uint32_t microseconds, unsigned int style, char* buffer,
                                  size_t size);
/** The text of a multi-frame grab's apiOutError, such as "inactivity timeout: no frame for more than 5
 * seconds"; "failed" for any other value.
 * @param error a QMV3_GRAB_* code
 * @return a static text */
QMV3_EXPORT const char* qmGrabErrorText(int error);
/** The text of a single grab's failure result, such as "no frame within the time limit".
 * @param result a QMV3_GRAB_FRAME_* code; other values give "out of memory"
 * @return a static text */
QMV3_EXPORT const char* qmGrabFrameErrorText(int result);
/** The mode bits of an access-mode text (see QMV3_INTERNAL_zantDecodeModeStringCMnew), and for a refused
 * text the reason, such as "'FOO' is not an access-mode keyword (known: ...)" or "'STREAM' and 'MCAST'
 * exclude each other".
 * @param text the keyword list
 * @param[out] reason the reason on a refusal, empty on success (may be null)
 * @param reasonSize capacity of reason
 * @return the mode bits (>= 0), or a QMV3_MODE_DECODE_* code */
QMV3_EXPORT int qmDecodeAccessMode(const char* text, char* reason, size_t reasonSize);
/** The name of a pixel-format code: "GRAY" ... "BAYER", or "UNKNOWN FORMAT(n)".
 * @param format the code
 * @param[out] text receives the name when it fits whole
 * @param size capacity of text
 * @return text, or null when text is null or too small */
QMV3_EXPORT char* qmGetFormatName(int format, char* text, size_t size);
/** The words of the flag bits, such as "LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP" (a word
 * for each named bit, set or clear); cut to size - 2 characters.
 * @param flags QMV3_FLAG_* bits
 * @param[out] text receives the words
 * @param size capacity of text, >= 2
 * @return text, or null when text is null or size below 2 */
QMV3_EXPORT char* qmGetFlagNames(int flags, char* text, size_t size);
/** @name Flags of qmGetImageHeaderText
 * @{ */
#define QMV3_HEADER_TEXT_HEX 0x1u     /**< the 188 header bytes as a hex dump instead of labelled text */
#define QMV3_HEADER_TEXT_ESCAPED 0x2u /**< the camera port name escaped as qmEscapeText escapes it */
/** @} */

/** The header of an image as the library's dumps write it: "Information of qmv3 image header", then
 * every field of the source and frame headers on labelled lines (the formats and flags named, the time
 * stamp also in local time), ending with the line "   appendedFrameSize = N (bytes)"; or with QMV3_HEADER_TEXT_HEX
 * the 188 header bytes as a hex dump, ".xx" per byte, 16 to a line with their characters, each line
 * labelled with the running count in hexadecimal. Reads the header only. Any thread.
 * @param image the image
 * @param flags QMV3_HEADER_TEXT_* bits
 * @param[out] text receives the text, cut to size - 1 bytes (may be null when size is 0)
 * @param size capacity of text
 * @return the text's length in bytes, also when size is too small for it; -1 for a null image, unknown
 *         flags or out of memory */
QMV3_EXPORT int qmGetImageHeaderText(const DIMAGE* image, unsigned int flags, char* text, size_t size);
/** A text from a file or a list (a camera port name, a name in a system list, a message quoting a
 * file's values) made safe to show: control characters become C escapes (a backslash and n, r or t for
 * newline, return and tab, a backslash, x and two hexadecimal digits for the others), a backslash is
 * doubled, and each byte that is not part of valid UTF-8 (and the C1 controls) becomes a backslash, x
 * and its two digits; printable ASCII and valid UTF-8 stay. So such a text cannot forge lines of an
 * output or drive a terminal. At most four times as long as the text (a text of more than 500 million
 * bytes is refused). Any thread.
 * @param text the text; it ends at size or at its first zero byte
 * @param size the most bytes of text to read
 * @param[out] escaped receives the escaped text, cut to escapedSize - 1 bytes (may be null when
 *             escapedSize is 0)
 * @param escapedSize capacity of escaped
 * @return the escaped text's length in bytes, also when escapedSize is too small for it; -1 for a null
 *         text or out of memory */
QMV3_EXPORT int qmEscapeText(const char* text, size_t size, char* escaped, size_t escapedSize);
/** QMV3_INTERNAL_qmCreateColourTable under its public name: a colour table of 4-byte entries (red,
 * green, blue, 0) for every value of 1 or 2 bytes per pixel; values above the effective bits are magenta.
 * @param[out] table receives 256 or 65536 entries
 * @param[in,out] tableBytes capacity on entry; the bytes written, or needed, on return
 * @param mode a QMV3_COLOUR_MAP_*
 * @param bytesPerPixel 1 or 2
 * @param effectiveBits 8 .. 16, at most 8 * bytesPerPixel
 * @return the entry count, QMV3_COLOUR_BAD_ARGUMENT or QMV3_COLOUR_TOO_SMALL (nothing written) */
QMV3_EXPORT int qmCreateColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel,
                                    int effectiveBits);

/** Results of qmGetDisplayPictureSize and qmMakeDisplayPicture. */
enum QMV3_PICTURE_RESULT {
    QMV3_PICTURE_OK = 0,                 /**< done */
    QMV3_PICTURE_BAD_ARGUMENT = -1,      /**< a null pointer, maxSide 0, an unknown palette, too small a buffer */
    QMV3_PICTURE_UNSUPPORTED_IMAGE = -2, /**< not uncompressed GRAY 1 or 2 or RGB 3 bytes per pixel, or fewer
                                              frame bytes than its geometry needs (qmGetPixelLayout) */
    QMV3_PICTURE_OUT_OF_MEMORY = -3      /**< out of memory */
};

/** The size of a picture of qmMakeDisplayPicture. */
typedef struct QMV3_PICTURE_SIZE {
    uint32_t width;    /**< pixels per row */
    uint32_t height;   /**< rows */
    uint32_t channels; /**< 1 (grey) or 3 (red, green, blue) */
    uint64_t bytes;    /**< width * height * channels: rows back to back, no padding */
} QMV3_PICTURE_SIZE;

/** The size of the picture qmMakeDisplayPicture makes of an image: the image's rectangle divided by
 * f = ceil(longest side / maxSide), each side rounded down but at least 1; 3 channels for an RGB image
 * or a palette other than grey, else 1.
 * @param image an uncompressed GRAY or RGB image with its frame bytes
 * @param maxSide the longest side allowed, >= 1
 * @param palette a QMV3_COLOUR_MAP_*
 * @param[out] size the size
 * @return a QMV3_PICTURE_* code */
QMV3_EXPORT int qmGetDisplayPictureSize(const DIMAGE* image, unsigned int maxSide, int palette,
                                        QMV3_PICTURE_SIZE* size);
/** A small picture of an image for display, of the size qmGetDisplayPictureSize gives: each pixel the mean
 * of a block of the frame f pixels square (f as there, but at most the frame's shorter side; the frame's
 * last columns and rows that make no whole block are left out). A GRAY mean m becomes
 * (m - low) * 255 / (high - low) + 0.5 (high - low taken as 1 when high <= low), cut to 0 .. 255, and
 * for a palette other than grey the colour of that value in qmCreateColourTable's table for 8 bits; the
 * means of an RGB image's channels are rounded and not stretched. Any thread.
 * @param image an uncompressed GRAY or RGB image with its frame bytes
 * @param maxSide the longest side allowed, >= 1
 * @param low the grey value shown black (the palette's first colour)
 * @param high the grey value shown white (the palette's last colour)
 * @param palette a QMV3_COLOUR_MAP_*
 * @param[out] pixels receives the picture, rows from the top, without padding
 * @param pixelsSize capacity of pixels, at least the size's bytes
 * @return a QMV3_PICTURE_* code; nothing is written on failure */
QMV3_EXPORT int qmMakeDisplayPicture(const DIMAGE* image, unsigned int maxSide, uint32_t low, uint32_t high,
                                     int palette, unsigned char* pixels, size_t pixelsSize);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Grabbing                                                                                        */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup grab Grabbing
 * Frames from an image property of a video server. The address has the form /CONTEXT/SERVER/DEVICE
 * (4 < length < 133); a missing leading slash is added and a fourth part cut off, with a warning. The
 * property name has 1 to 63 characters without '/', '[' or ']'. The first grab starts the control-system
 * client, once per process. Every call blocks the calling thread.
 * @{
 */

/** @name Recommended access rates of a multi-frame grab; outside them the grab logs a warning.
 * @{ */
#define QMV3_GRAB_RATE_MIN_RECOMMENDED 300  /**< milliseconds */
#define QMV3_GRAB_RATE_MAX_RECOMMENDED 4000 /**< milliseconds */
/** @} */

/** Results of qmGrabFrame. */
enum QMV3_GRAB_FRAME_RESULT {
    QMV3_GRAB_FRAME_OK = 1,               /**< the frame arrived and the image is valid */
    QMV3_GRAB_FRAME_REFUSED = 0,          /**< null argument, no frame buffer, malformed address or bad property */
    QMV3_GRAB_FRAME_TIMEOUT = -1,         /**< no success within the time limit */
    QMV3_GRAB_FRAME_INVALID_IMAGE = -2,   /**< the frame arrived but fails the validity rules */
    QMV3_GRAB_FRAME_PROPERTY_FAILED = -3, /**< the property's size and format could not be read */
    QMV3_GRAB_FRAME_ADDRESS_LENGTH = -4   /**< the address has 4 or fewer, or 133 or more characters */
};

/** Values of *apiOutError of qmGrabFramesEx2 and qmGrabFramesEx. */
enum QMV3_GRAB_ERROR {
    QMV3_GRAB_OK = 0,                   /**< all requested frames were received */
    QMV3_GRAB_REFUSED = -1,             /**< no frames asked for, null argument, bad address or property, frames above the largest */
    QMV3_GRAB_TIMEOUT = -2,             /**< more than 5 seconds without a frame */
    QMV3_GRAB_OUT_OF_MEMORY = -3,       /**< receive buffer, record array or a frame copy */
    QMV3_GRAB_SUBSCRIPTION_FAILED = -6, /**< the subscription was refused; see *apiOutZantError */
    QMV3_GRAB_INTERRUPTED = -7          /**< stopped through *apiInInterrupt */
};

/** Results of qmGrabFrames: the QMV3_GRAB_ERROR value + 1. */
enum QMV3_GRAB_FRAMES_RESULT {
    QMV3_GRAB_FRAMES_OK = 1,                  /**< all requested frames were received */
    QMV3_GRAB_FRAMES_REFUSED = 0,             /**< QMV3_GRAB_REFUSED */
    QMV3_GRAB_FRAMES_TIMEOUT = -1,            /**< QMV3_GRAB_TIMEOUT */
    QMV3_GRAB_FRAMES_OUT_OF_MEMORY = -2,      /**< QMV3_GRAB_OUT_OF_MEMORY */
    QMV3_GRAB_FRAMES_SUBSCRIPTION_FAILED = -5 /**< QMV3_GRAB_SUBSCRIPTION_FAILED */
};

/** Reads one frame synchronously into image, retrying every 10 ms until success or the time limit.
 * The request asks for the property's element count, at most image->frameBufferSize (warning logged).
 * Failures of the control system are logged once per distinct code. Completion code 23 here means that
 * the frame buffer is smaller than the property's frames: every read fails alike, so the call gives
 * QMV3_GRAB_FRAME_TIMEOUT with *apiOutZantReturnCode 23 only once its time limit has passed. Size the
 * buffer with qmEstimateMaxFrameSizeBytes (qmInitializeImage's buffer holds any frame).
 * @param apInOutImage a record with a frame buffer (qmInitializeImage); the control system fills its header
 *        and frame; a frame that fails the rules is left in it
 * @param[out] apDOut receives the request's data container as the control system left it (may be null)
 * @param asZantAddress device address
 * @param asZantPropertyName image property
 * @param aiZantTimeoutMilliseconds time limit of the whole call and of each read
 * @param aiZantMode access mode of each read (QMV3_CM_*)
 * @param[out] apiOutZantReturnCode the last completion code, 0 on success (may be null; unchanged for
 *        QMV3_GRAB_FRAME_REFUSED and QMV3_GRAB_FRAME_ADDRESS_LENGTH)
 * @return a QMV3_GRAB_FRAME_* code; QMV3_GRAB_FRAME_OK (1) on success */
QMV3_EXPORT int qmGrabFrame(DIMAGE* apInOutImage, struct DTYPE* apDOut, const char* asZantAddress,
                            const char* asZantPropertyName, int aiZantTimeoutMilliseconds, int aiZantMode,
                            int* apiOutZantReturnCode);
/** The largest frame of a property in bytes, to size frame buffers; asks the control system (up to
 * 500 ms). Never fails: every problem gives QMV3_MAX_TRANSPORT_SIZE and one log line.
 * @param asZantAddress device address
 * @param asZantPropertyName image property; null stands for "Frame"
 * @return the property's element count when it is a CF_IMAGE of 1 to 104857600 bytes, else
 *         QMV3_MAX_TRANSPORT_SIZE */
QMV3_EXPORT unsigned int qmEstimateMaxFrameSizeBytes(const char* asZantAddress, const char* asZantPropertyName);

/** Results of qmListDeviceProperties below 0. */
enum QMV3_PROPERTY_LIST_RESULT {
    QMV3_PROPERTY_LIST_REFUSED = -1, /**< null or malformed address, or asOutNames null with auiNamesSize > 0 */
    QMV3_PROPERTY_LIST_UNKNOWN = -2  /**< the control system cannot tell; see *apiOutZantReturnCode */
};

/** The names of a device's properties as the control system tells them, for example to suggest the right
 * name when a property is unknown. Asks the device's "PROPS" property without a property name (up to
 * 500 ms); a control system that cannot answer such a query gives QMV3_PROPERTY_LIST_UNKNOWN. Errors of
 * the address check are logged as for a grab; nothing else is logged.
 * @param asZantAddress device address, checked and corrected as for a grab
 * @param[out] asOutNames receives the names in the device's order, each ended by '\n', the whole text
 *        NUL-terminated; only whole names are written, so a short buffer holds the first names (may be
 *        null when auiNamesSize is 0)
 * @param auiNamesSize bytes at asOutNames
 * @param[out] apiOutZantReturnCode the control system's completion code, 0 on success (may be null;
 *        unchanged when the request is refused)
 * @return like snprintf: the length of the whole list without its NUL (a result of auiNamesSize or more
 *         means the list was cut), or a QMV3_PROPERTY_LIST_* code */
QMV3_EXPORT int qmListDeviceProperties(const char* asZantAddress, char* asOutNames, unsigned int auiNamesSize,
                                       int* apiOutZantReturnCode);
/** Collects aNumFrames consecutive frames by subscription. Each delivery is copied on the control system's
 * thread into the next record, each with a frame buffer of exactly appendedFrameSize bytes; repeated
 * frame numbers are dropped. The calling thread polls every millisecond and ends the grab after more than
 * 5 seconds without a frame. Only one multi-frame grab may run in a process at a time. The environment
 * variables ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE and
 * ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE override the rate and the mode (logged).
 * Frames are handed over as received: check them with qmIsCompleteSequence.
 * @param aImages receives the frames received, also when the grab ends early; frames it holds on entry are
 *        freed first (warning logged)
 * @param[out] aImagesDOut null, or an array of aNumFrames data containers filled per frame
 * @param aZantAddress device address
 * @param aZantPropertyName image property
 * @param aNumFrames frames wanted, > 0
 * @param aZantTimeoutMilliseconds access rate of the subscription in milliseconds (not a time limit)
 * @param aZantMode access mode, for example QMV3_CM_TIMER
 * @param[out] apiOutError a QMV3_GRAB_ERROR value; must not be null
 * @param[out] apiOutZantError the last completion code of the control system (may be null)
 * @param apiInInterrupt the value 1 stops the grab (may be null; another thread may set it)
 * @param[out] apdOutPercentageFinished frames received / aNumFrames, 0.0 to 1.0 (may be null)
 * @return the number of frames received */
QMV3_EXPORT int qmGrabFramesEx2(QMBUNCHOFIMAGES* aImages, struct DTYPE* aImagesDOut, const char* aZantAddress,
                                const char* aZantPropertyName, unsigned aNumFrames, int aZantTimeoutMilliseconds,
                                int aZantMode, int* apiOutError, int* apiOutZantError, int* apiInInterrupt,
                                double* apdOutPercentageFinished);
/** qmGrabFramesEx2 without the data containers.
 * @param aImages as qmGrabFramesEx2
 * @param aZantAddress as qmGrabFramesEx2
 * @param aZantPropertyName as qmGrabFramesEx2
 * @param aNumFrames as qmGrabFramesEx2
 * @param aZantTimeoutMilliseconds as qmGrabFramesEx2
 * @param aZantMode as qmGrabFramesEx2
 * @param[out] apiOutError as qmGrabFramesEx2
 * @param[out] apiOutZantError as qmGrabFramesEx2
 * @param apiInInterrupt as qmGrabFramesEx2
 * @param[out] apdOutPercentageFinished as qmGrabFramesEx2
 * @return the number of frames received */
QMV3_EXPORT int qmGrabFramesEx(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                               unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode, int* apiOutError,
                               int* apiOutZantError, int* apiInInterrupt, double* apdOutPercentageFinished);
/** qmGrabFramesEx without interrupt and progress, all or nothing: when fewer than aNumFrames frames
 * arrive, the sequence is freed.
 * @param aImages receives the frames
 * @param aZantAddress device address
 * @param aZantPropertyName image property
 * @param aNumFrames frames wanted
 * @param aZantTimeoutMilliseconds access rate in milliseconds
 * @param aZantMode access mode
 * @return QMV3_GRAB_FRAMES_OK (1) when all frames arrived, else a QMV3_GRAB_FRAMES_* code */
QMV3_EXPORT int qmGrabFrames(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                             unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Decompression                                                                                   */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup decompression Decompression
 * JPEG frames (imageFormat QMV3_FORMAT_JPEG) become GRAY or RGB with the record's geometry and
 * bytesPerPixel, which must be those of the decoded pixels (1 grey, 3 colour). Decompression clears
 * QMV3_FLAG_IMAGE_LOSSLESS and changes imageFormat, appendedFrameSize and totalLength only. Other formats
 * are left as they are. Any thread, each with its own images.
 * @{
 */

/** Results of the decompression calls. */
enum QMV3_DECOMPRESS_RESULT {
    QMV3_DECOMPRESS_DONE = 1,             /**< decompressed */
    QMV3_DECOMPRESS_NOT_JPEG = 0,         /**< nothing to do (sequence call: also null or empty) */
    QMV3_DECOMPRESS_OUT_OF_MEMORY = -1,   /**< out of memory */
    QMV3_DECOMPRESS_SEQUENCE_FAILED = -1, /**< qmDecompressSequence: an image failed */
    QMV3_DECOMPRESS_DECODE_FAILED = -2,   /**< the JPEG data cannot be decoded into the frame */
    QMV3_DECOMPRESS_NULL_ARGUMENT = -3,   /**< a required pointer is null */
    QMV3_DECOMPRESS_BUFFER_TOO_SMALL = -4 /**< in place: frameBufferSize is smaller than the decoded frame */
};

/** Decodes inImage into a new malloc buffer described by outImage.
 * @param[out] outImage overwritten wholesale: inImage's header with the decoded frame; what it held
 *             before is not released; the caller frees its new frameBuffer
 * @param inImage the compressed image; not changed
 * @return a QMV3_DECOMPRESS_* code (not QMV3_DECOMPRESS_BUFFER_TOO_SMALL) */
QMV3_EXPORT int qmDecompressImage(DIMAGE* outImage, const DIMAGE* inImage);
/** Decodes into the image's own frameBuffer; on failure the compressed bytes are restored.
 * @param image the image
 * @return a QMV3_DECOMPRESS_* code */
QMV3_EXPORT int qmDecompressImageInPlace(DIMAGE* image);
/** Replaces each JPEG image of the sequence by its decoded form (qmDecompressImage) and stops at the first
 * failure: images before it stay decoded, it and those after it stay as they were.
 * @param sequence the sequence
 * @param freeCompressedBuffers 1: free each replaced compressed buffer; any other value: the caller keeps
 *        a pointer to it and frees it
 * @return QMV3_DECOMPRESS_DONE, QMV3_DECOMPRESS_NOT_JPEG for a null or empty sequence, or
 *         QMV3_DECOMPRESS_SEQUENCE_FAILED */
QMV3_EXPORT int qmDecompressSequence(QMBUNCHOFIMAGES* sequence, int freeCompressedBuffers);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Streams                                                                                         */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup streams Streams
 * A stream is a subscription to an image property that hands the frames over one by one, in arrival
 * order, in a fixed pool of buffers allocated (and their pages touched) at open and reused for every
 * frame: it runs for hours with bounded memory. Each delivery is copied once, on the control system's
 * delivery thread, from the subscription's receive buffer into a free buffer of the pool and queued;
 * qmStreamNext lends the oldest queued frame to the caller until qmStreamRelease. When the queue is full
 * the stream's policy decides which frame is dropped; every drop is counted.
 *
 * Faults are never silent: a delivery with a failing completion code (other than 516 and 517, which are
 * informational) or a link without a frame for longer than the silence limit counts as a lost link. It
 * is logged, counted and reported once by qmStreamNext (QMV3_STREAM_LINK_LOST); qmStreamNext then closes
 * the link and subscribes again, after a pause that starts at 100 ms and doubles with every attempt that
 * brings no frame, up to 5 seconds. Resubscription happens only inside qmStreamNext (the library starts
 * no thread of its own), so a consumer that stops calling it also stops the retries.
 *
 * Threads: any number of streams may be open in a process, on the same or different properties, next to
 * a multi-frame grab (streams share none of its state); the functions of different streams may run at the
 * same time on different threads, and the functions of one stream may be called from any thread. A
 * handle stays recognisable after it is closed: using it then gives QMV3_STREAM_CLOSED, never a crash.
 * @{
 */

/** A stream; opaque. */
typedef struct QMV3_STREAM QMV3_STREAM;

/** Results of the stream functions. */
enum QMV3_STREAM_RESULT {
    QMV3_STREAM_OK = 1,                  /**< done; qmStreamNext: a frame is lent to the caller */
    QMV3_STREAM_TIMEOUT = 0,             /**< qmStreamNext: no frame within the time asked */
    QMV3_STREAM_LINK_LOST = -1,          /**< qmStreamNext: the link is lost and being resubscribed */
    QMV3_STREAM_CLOSED = -2,             /**< the stream has been closed */
    QMV3_STREAM_REFUSED = -3,            /**< null or invalid argument, unknown handle, bad address or property */
    QMV3_STREAM_NOT_BORROWED = -4,       /**< qmStreamRelease: the frame is not lent by this stream */
    QMV3_STREAM_OUT_OF_MEMORY = -5,      /**< the pool or the stream could not be allocated */
    QMV3_STREAM_SUBSCRIPTION_FAILED = -6 /**< qmStreamOpen: the control system refused; see *zantCode */
};

/** What a stream drops when a frame arrives and its queue is full. */
enum QMV3_STREAM_POLICY {
    QMV3_STREAM_KEEP_NEWEST = 0, /**< drop the oldest queued frame: a viewer sees the newest */
    QMV3_STREAM_KEEP_OLDEST = 1  /**< drop the arriving frame: a recorder keeps continuity */
};

/** Options of qmStreamOpen. Zero fields take their defaults, so a cleared record with its size set is
 * the default stream. Fields beyond `size` bytes are taken as zero, so the record can grow. */
typedef struct QMV3_STREAM_OPTIONS {
    unsigned int size;        /**< sizeof(QMV3_STREAM_OPTIONS), set by the caller */
    int rateMilliseconds;     /**< access rate of the subscription; 0: 300 */
    int mode;                 /**< access mode; 0 (QMV3_CM_CANCEL, meaningless here): QMV3_CM_TIMER */
    unsigned int queueLength; /**< frames the queue holds, 1 to 4096; 0: 16 */
    int policy;               /**< a QMV3_STREAM_POLICY */
    int decompress;           /**< 1: JPEG frames are decompressed to GRAY or RGB before they are queued */
    unsigned int spareBuffers; /**< buffers beyond the queue for frames the caller holds, 1 to 4096; 0: 2 */
    int silenceMilliseconds;  /**< a link without a frame this long counts as lost; 0: 4 x the rate, at least
                                   5000 */
} QMV3_STREAM_OPTIONS;

/** Counts of a stream since it was opened (qmStreamGetStatistics). Every delivery with a frame is counted
 * once as repeated, dropped, handed out, queued or in transit. */
typedef struct QMV3_STREAM_STATISTICS {
    unsigned int size;                   /**< sizeof(QMV3_STREAM_STATISTICS), set by the caller */
    unsigned int queueLength;            /**< the queue's length */
    unsigned long long delivered;        /**< deliveries with a frame (completion code 0), repetitions included */
    unsigned long long handedOut;        /**< frames lent to the caller by qmStreamNext */
    unsigned long long droppedQueueFull; /**< frames dropped by the policy: queue full, or no free buffer */
    unsigned long long gaps;             /**< frame numbers the server skipped */
    unsigned long long repeats;          /**< deliveries of the previous frame number again, dropped */
    unsigned long long linkLosses;       /**< lost links: failing deliveries or silence */
    unsigned long long resubscriptions; /**< subscriptions made again after a lost link (attempts) */
    unsigned long long poolGrowths;      /**< times the pool's buffers had to grow for a larger frame */
    unsigned long long decodeFailures;   /**< JPEG frames that could not be decompressed (queued compressed) */
    unsigned int queueHighWater;         /**< the most frames ever queued at once */
    unsigned int queued;                 /**< frames queued now */
    unsigned int borrowed;               /**< frames lent to the caller now */
    unsigned int lastFrameNumber;        /**< frameNumber of the last frame delivered, 0 before the first */
    int lastZantCode;                    /**< the last completion code of the control system (0: success) */
    int linkUp;                          /**< 1 while subscribed and not lost, else 0 */
} QMV3_STREAM_STATISTICS;

/** Subscribes to an image property. The address is checked and corrected as for a grab; the pool (queue
 * length + spare buffers) is sized by qmEstimateMaxFrameSizeBytes and its pages are touched now, so the
 * delivery path allocates nothing and meets no page fault. A frame larger than the buffers (a decoded
 * JPEG frame) grows them once, logged and counted in poolGrowths. Blocks up to about a second.
 * @param[out] stream receives the new stream; null on failure
 * @param address device address
 * @param property image property
 * @param options the options, or null for the defaults
 * @param[out] zantCode the completion code of the control system, 0 on success (may be null)
 * @return QMV3_STREAM_OK, QMV3_STREAM_REFUSED, QMV3_STREAM_OUT_OF_MEMORY or QMV3_STREAM_SUBSCRIPTION_FAILED */
QMV3_EXPORT int qmStreamOpen(QMV3_STREAM** stream, const char* address, const char* property,
                             const QMV3_STREAM_OPTIONS* options, int* zantCode);
/** Lends the next frame in arrival order: a valid DIMAGE whose frame buffer belongs to the stream's pool
 * (frameBufferSize = appendedFrameSize) until qmStreamRelease. Waits up to timeoutMs for one. Queued frames
 * come first; then a lost link is reported once as soon as it is seen, and while the link stays down a
 * wait that ends without a frame gives QMV3_STREAM_LINK_LOST instead of QMV3_STREAM_TIMEOUT.
 * @param stream the stream
 * @param timeoutMs milliseconds to wait; 0 does not wait; negative waits until a frame, a lost link or close
 * @param[out] frame receives the frame, or null when the result is not QMV3_STREAM_OK
 * @return QMV3_STREAM_OK, QMV3_STREAM_TIMEOUT, QMV3_STREAM_LINK_LOST, QMV3_STREAM_CLOSED (also when another
 *         thread closes the stream during the wait) or QMV3_STREAM_REFUSED */
QMV3_EXPORT int qmStreamNext(QMV3_STREAM* stream, int timeoutMs, DIMAGE** frame);
/** Gives a frame lent by qmStreamNext back to the pool. After qmStreamClose, a frame still lent is freed
 * here; the stream's last memory goes with the last of them.
 * @param stream the stream that lent the frame
 * @param frame the frame as qmStreamNext gave it (its header and frameBuffer may have been changed)
 * @return QMV3_STREAM_OK, QMV3_STREAM_NOT_BORROWED (a frame of another stream, one given back already, or
 *         any other pointer), QMV3_STREAM_CLOSED (closed and every frame given back) or QMV3_STREAM_REFUSED */
QMV3_EXPORT int qmStreamRelease(QMV3_STREAM* stream, DIMAGE* frame);
/** Copies the stream's counts.
 * @param stream the stream
 * @param[in,out] statistics size set by the caller; at most that many bytes are written
 * @return QMV3_STREAM_OK, QMV3_STREAM_CLOSED or QMV3_STREAM_REFUSED */
QMV3_EXPORT int qmStreamGetStatistics(QMV3_STREAM* stream, QMV3_STREAM_STATISTICS* statistics);
/** Ends the subscription, waits until no delivery into the stream is running, wakes waiting qmStreamNext
 * calls (QMV3_STREAM_CLOSED) and frees the pool. Frames still lent stay valid until each is given back
 * with qmStreamRelease, which frees it. Closing twice gives QMV3_STREAM_CLOSED.
 * @param stream the stream
 * @return QMV3_STREAM_OK, QMV3_STREAM_CLOSED or QMV3_STREAM_REFUSED */
QMV3_EXPORT int qmStreamClose(QMV3_STREAM* stream);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Display helpers and texts                                                                       */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup display Display helpers and texts
 * Colour tables for grey frames, grey to 24-bit colour, and the texts of format codes, flags and times.
 * Any thread, except QMV3_INTERNAL_getTimeString.
 * @{
 */

/** Colour maps of QMV3_INTERNAL_qmCreateColourTable. */
enum QMV3_COLOUR_MAP {
    QMV3_COLOUR_MAP_GRAY = 0,         /**< black to white */
    QMV3_COLOUR_MAP_FALSE_COLOUR = 1, /**< black, blue, green, red, white */
    QMV3_COLOUR_MAP_JET = 2           /**< dark blue, cyan, yellow, red, dark red; white at the top */
};

/** Failure results of the colour helpers. */
enum QMV3_COLOUR_RESULT {
    QMV3_COLOUR_OK = 0,            /**< QMV3_INTERNAL_qmGrayToRGB24: converted */
    QMV3_COLOUR_BAD_ARGUMENT = -1, /**< a null pointer, an unknown mode or pixel size, too few grey bytes */
    QMV3_COLOUR_TOO_SMALL = -2     /**< the output capacity is too small; the size needed is reported */
};

/** A colour table of 4-byte entries (red, green, blue, 0) for every value of 1 or 2 bytes per pixel;
 * values above the effective bits are magenta.
 * @param[out] table receives 256 or 65536 entries
 * @param[in,out] tableBytes capacity on entry; the bytes written, or needed, on return
 * @param mode a QMV3_COLOUR_MAP_*
 * @param bytesPerPixel 1 or 2
 * @param effectiveBits 8 .. 16, at most 8 * bytesPerPixel
 * @return the entry count, QMV3_COLOUR_BAD_ARGUMENT or QMV3_COLOUR_TOO_SMALL (nothing written) */
QMV3_EXPORT int QMV3_INTERNAL_qmCreateColourTable(unsigned char* table, int* tableBytes, int mode, int bytesPerPixel,
                                                  int effectiveBits);
/** Writes 3 bytes (red, green, blue) per grey pixel through a colour table; 16-bit pixels are read in
 * host byte order.
 * @param gray the grey pixels
 * @param grayBytes bytes available at gray, at least bytesPerPixel * pixelCount
 * @param[out] rgb receives 3 * pixelCount bytes
 * @param[in,out] rgbBytes capacity on entry; 3 * pixelCount on return
 * @param table a table of QMV3_INTERNAL_qmCreateColourTable for the same bytesPerPixel
 * @param bytesPerPixel 1 or 2
 * @param pixelCount >= 1
 * @return QMV3_COLOUR_OK, QMV3_COLOUR_BAD_ARGUMENT or QMV3_COLOUR_TOO_SMALL (nothing written) */
QMV3_EXPORT int QMV3_INTERNAL_qmGrayToRGB24(const void* gray, int grayBytes, unsigned char* rgb, int* rgbBytes,
                                            const unsigned char* table, int bytesPerPixel, int pixelCount);
/** The name of a format code ("GRAY" ... "BAYER"), or "UNKNOWN FORMAT(n)".
 * @param format a QMV3_FORMAT_* code
 * @param[out] dst receives the text when it fits whole
 * @param[in,out] size capacity; set to the size needed only when the text does not fit (null: capacity 0)
 * @return dst, or null when dst is null or the text does not fit (nothing written) */
QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFormatAsString(int format, char* dst, size_t* size);
/** The flag words of imageFlags, for example "LITTLE_ENDIAN LOSSLESS XYSTART_ZERO_BASED LOCAL_TIMESTAMP";
 * always written, cut to *size - 2 characters.
 * @param flags QMV3_FLAG_* bits
 * @param[out] dst receives the text
 * @param[in,out] size capacity on entry, the full length + 1 on return (null: capacity 0)
 * @return dst, or null when dst is null */
QMV3_EXPORT char* QMV3_INTERNAL_CDIMAGE_getFlagsAsString(int flags, char* dst, size_t* size);
/** A time as UTC text, for example "2023-07-27  3:04:05.000123 PM UTC" (twelve-hour, microseconds) or
 * "[2023-07-27 15:04:05.123 UTC]"; at most size - 2 characters.
 * @param seconds seconds since the Unix epoch
 * @param fraction microseconds (0..999999) or milliseconds (0..999)
 * @param microseconds non-zero: fraction counts microseconds
 * @param brackets non-zero: enclose the text in [ ]
 * @param twelveHour non-zero: hour 1..12 with AM or PM
 * @param[out] buffer receives the text
 * @param size capacity of buffer, >= 2
 * @return buffer, or null for a bad argument or a time that cannot be converted */
QMV3_EXPORT char* QMV3_INTERNAL_platformTimeToUTCString(int64_t seconds, uint32_t fraction, int microseconds,
                                                        int brackets, int twelveHour, char* buffer, unsigned size);
/** The current local time as "DD.MM.YY hh:mm:ss.mmm LTM", at most size - 2 characters. Uses the
 * process-wide local-time conversion: not safe against other threads converting local times.
 * @param[out] buffer receives the text
 * @param size capacity, >= 26
 * @return buffer, or null when size is below 26 */
QMV3_EXPORT char* QMV3_INTERNAL_getTimeString(char* buffer, int size);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Spot and region statistics                                                                      */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup statistics Spot and region statistics
 * The figures of a beam spot or any region of a frame: extremes, mean, spread, totals with a background
 * taken off, centroid, widths, orientation and profiles, for one image or every image of a sequence.
 *
 * Definitions, exactly as every face reports them:
 *  - Region: x, y, width, height in pixels from the top left of the frame (the appended rectangle);
 *    the whole frame by default. Pixel (i, j) is column i and row j of the frame, its centre at (i, j).
 *  - Value v(i, j): the stored value of a GRAY pixel; of an RGB pixel (299 R + 587 G + 114 B) / 1000,
 *    or one channel when one is chosen.
 *  - Background b(i, j): none (0); a constant; the median of the pixels in the region's outer ring
 *    `border` pixels wide (the mean of the two middle values for an even count); or a background frame
 *    of the same size and pixel layout, pixel by pixel.
 *  - Weight w(i, j) = v - b where v - b > threshold, else 0.
 *  - total = sum of v; net = sum of w; mean and sigma = mean and population standard deviation of v;
 *    min and max of v at the first position in row order (min_x, min_y, max_x, max_y); saturated =
 *    the count of v at or above 2^effective bits - 1 (255 for RGB).
 *  - centroid_x = sum w i / sum w, centroid_y = sum w j / sum w (frame coordinates);
 *    sigma_x = sqrt(sum w (i - centroid_x)^2 / sum w), sigma_y likewise;
 *    sigma_xy = sum w (i - centroid_x)(j - centroid_y) / sum w;
 *    orientation_deg = atan2(2 sigma_xy, sigma_x^2 - sigma_y^2) / 2 in degrees (rows grow downward,
 *    so positive angles turn clockwise on the screen); eccentricity = sqrt(1 - l_min / l_max) of the
 *    eigenvalues of [[sigma_x^2, sigma_xy], [sigma_xy, sigma_y^2]]. With sum w = 0 these are NaN.
 *  - With the image's xScale and yScale > 0 (millimetres per pixel): centroid_x_mm = centroid_x *
 *    xScale, sigma_x_mm = sigma_x * xScale, and likewise in y with yScale; else NaN.
 *  - Profiles: the column sums and the row sums of w over the region.
 *
 * Images must hold uncompressed GRAY frames of 1 or 2 bytes per pixel or RGB frames of 3 (decompress
 * JPEG frames first); only the geometry, the pixel layout, the effective bits, the scales and the frame
 * bytes are read. Any thread, each call with its own records.
 * @{
 */

/** Results of the statistics calls. */
enum QMV3_STATISTICS_RESULT {
    QMV3_STATISTICS_OK = 1,                   /**< computed */
    QMV3_STATISTICS_BAD_ARGUMENT = 0,         /**< a null pointer, a size member too small, an unknown
                                                   background kind or channel, a border below 1, or a
                                                   threshold or constant that is not finite */
    QMV3_STATISTICS_UNSUPPORTED_IMAGE = -1,   /**< not uncompressed GRAY 1 or 2 or RGB 3 bytes per pixel,
                                                   or fewer frame bytes than its geometry needs */
    QMV3_STATISTICS_BAD_REGION = -2,          /**< the region is empty or reaches outside the frame */
    QMV3_STATISTICS_BACKGROUND_MISMATCH = -3, /**< the background frame differs in size or pixel layout,
                                                   or is itself unsupported */
    QMV3_STATISTICS_TOO_SMALL = -4,           /**< qmImageProfiles: a buffer is null or too small; the
                                                   sizes needed are reported */
    QMV3_STATISTICS_OUT_OF_MEMORY = -5,       /**< out of memory */
    QMV3_STATISTICS_FAILED = -6               /**< an unexpected internal failure */
};

/** Kinds of background b(i, j). */
enum QMV3_BACKGROUND_KIND {
    QMV3_BACKGROUND_NONE = 0,     /**< b = 0 */
    QMV3_BACKGROUND_CONSTANT = 1, /**< b = backgroundValue */
    QMV3_BACKGROUND_BORDER = 2,   /**< b = the median of the region's outer ring, border pixels wide */
    QMV3_BACKGROUND_FRAME = 3     /**< b(i, j) = the value of backgroundFrame at (i, j) */
};

/** The value v of an RGB pixel; GRAY pixels ignore the choice. */
enum QMV3_CHANNEL {
    QMV3_CHANNEL_LUMINANCE = 0, /**< (299 R + 587 G + 114 B) / 1000 */
    QMV3_CHANNEL_RED = 1,       /**< R */
    QMV3_CHANNEL_GREEN = 2,     /**< G */
    QMV3_CHANNEL_BLUE = 3       /**< B */
};

/** What to measure. Zero it and set size: all zero means the whole frame, no background, threshold 0
 * and luminance. */
typedef struct QMV3_STATISTICS_OPTIONS {
    unsigned int size;             /**< sizeof(QMV3_STATISTICS_OPTIONS) */
    int x;                         /**< left column of the region */
    int y;                         /**< top row of the region */
    int width;                     /**< columns of the region; width and height 0: the whole frame */
    int height;                    /**< rows of the region */
    int background;                /**< a QMV3_BACKGROUND_* kind */
    int border;                    /**< QMV3_BACKGROUND_BORDER: width of the ring in pixels, >= 1 (a ring
                                        as wide as half the region covers all of it) */
    int channel;                   /**< a QMV3_CHANNEL_* for RGB frames */
    double backgroundValue;        /**< QMV3_BACKGROUND_CONSTANT: b */
    double threshold;              /**< w counts where v - b > threshold */
    const DIMAGE* backgroundFrame; /**< QMV3_BACKGROUND_FRAME: a frame of the image's size and layout */
} QMV3_STATISTICS_OPTIONS;

/** The figures of one image's region (see the definitions above). */
typedef struct QMV3_STATISTICS {
    double min;             /**< smallest v */
    double max;             /**< largest v */
    int32_t min_x;          /**< column of the first smallest v in row order */
    int32_t min_y;          /**< its row */
    int32_t max_x;          /**< column of the first largest v in row order */
    int32_t max_y;          /**< its row */
    double mean;            /**< mean of v */
    double sigma;           /**< population standard deviation of v */
    double total;           /**< sum of v */
    double net;             /**< sum of w */
    uint64_t saturated;     /**< count of v at or above 2^effective bits - 1 */
    double centroid_x;      /**< sum w i / sum w, frame columns */
    double centroid_y;      /**< sum w j / sum w, frame rows */
    double sigma_x;         /**< weighted standard deviation of i */
    double sigma_y;         /**< weighted standard deviation of j */
    double sigma_xy;        /**< weighted covariance of i and j */
    double orientation_deg; /**< angle of the major axis from the rows, degrees, -90 .. 90 */
    double eccentricity;    /**< 0 round .. 1 a line */
    double centroid_x_mm;   /**< centroid_x * xScale, NaN without a scale */
    double centroid_y_mm;   /**< centroid_y * yScale, NaN without a scale */
    double sigma_x_mm;      /**< sigma_x * xScale, NaN without a scale */
    double sigma_y_mm;      /**< sigma_y * yScale, NaN without a scale */
    double background;      /**< the constant or border median b used; 0 without, NaN for a frame */
    uint64_t pixels;        /**< pixels in the region */
    int32_t x;              /**< the region measured: left column */
    int32_t y;              /**< top row */
    int32_t width;          /**< columns */
    int32_t height;         /**< rows */
} QMV3_STATISTICS;

/** The figures of a region of one image in one pass over its pixels.
 * @param image the image
 * @param options what to measure; null: the whole frame, no background, threshold 0
 * @param[out] result receives every figure; untouched on failure
 * @return a QMV3_STATISTICS_* code */
QMV3_EXPORT int qmImageStatistics(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options,
                                  QMV3_STATISTICS* result);
/** The profiles of a region: the column sums and the row sums of w.
 * @param image the image
 * @param options what to measure, as qmImageStatistics (null: the defaults)
 * @param[out] columns receives one sum per column of the region, left to right (may be null)
 * @param[in,out] columnCount room in columns on entry; the region's width on return
 * @param[out] rows receives one sum per row of the region, top to bottom (may be null)
 * @param[in,out] rowCount room in rows on entry; the region's height on return
 * @return a QMV3_STATISTICS_* code; QMV3_STATISTICS_TOO_SMALL (nothing written, the counts set) when
 *         a buffer is null or too small */
QMV3_EXPORT int qmImageProfiles(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options, double* columns,
                                unsigned int* columnCount, double* rows, unsigned int* rowCount);
/** The histogram of an image's stored values: the count of each value over every step-th sample, from
 * the first, in the order qmGetPixelLayout lays them out (an RGB image's three channels alike); 16-bit
 * samples in host byte order. Only the layout and the frame bytes are read.
 * @param image an uncompressed GRAY (1 or 2 bytes per pixel) or RGB (3) image with its frame bytes
 * @param step 1 counts every sample; larger steps sample the frame (>= 1)
 * @param[out] counts receives the count of value v at counts[v]; every one of countsSize entries is set
 * @param countsSize entries in counts: at least 256 for 1 byte per sample, 65536 for 2
 * @param[out] counted receives the number of samples counted (may be null)
 * @return QMV3_STATISTICS_OK; QMV3_STATISTICS_BAD_ARGUMENT for a null argument, a step of 0 or too few
 *         entries; QMV3_STATISTICS_UNSUPPORTED_IMAGE (as for qmImageStatistics, also without frame bytes) */
QMV3_EXPORT int qmImageHistogram(const DIMAGE* image, unsigned int step, uint32_t* counts, size_t countsSize,
                                 uint64_t* counted);
/** A percentile of a histogram by the nearest rank: the smallest value v such that at least fraction of
 * all counted values, and at least one, lie at or below v. Any thread.
 * @param counts the count of value v at counts[v]
 * @param countsSize entries in counts (at most 2^32)
 * @param fraction 0 .. 1 (0.005 for the 0.5th percentile); at or below 0 gives the smallest value counted,
 *        1 the largest
 * @return the value; 0 for null counts or when nothing is counted */
QMV3_EXPORT uint32_t qmHistogramPercentile(const uint64_t* counts, size_t countsSize, double fraction);
/** The figures of every image of a sequence with the same options, image by image.
 * @param images the sequence
 * @param options what to measure, as qmImageStatistics (null: the defaults)
 * @param[out] results receives numFrames records, in order
 * @param resultCount room in results, at least numFrames
 * @param[out] failedImage the index (from 0) of the image that failed, numFrames on success (may be null)
 * @return a QMV3_STATISTICS_* code: the first failure stops, earlier results stay written;
 *         QMV3_STATISTICS_BAD_ARGUMENT also for too little room */
QMV3_EXPORT int qmSequenceStatistics(const QMBUNCHOFIMAGES* images, const QMV3_STATISTICS_OPTIONS* options,
                                     QMV3_STATISTICS* results, unsigned int resultCount, unsigned int* failedImage);
/** The text of a statistics result, for a message after the name of what was measured: "computed",
 * "the options were refused", "holds no uncompressed GRAY or RGB frame", "the region is empty or reaches
 * outside the frame", "the background frame differs in size or pixel layout", "a buffer is null or too
 * small", "out of memory".
 * @param code a QMV3_STATISTICS_* code
 * @return a static text, never null: "the statistics could not be computed" for QMV3_STATISTICS_FAILED and
 *         every unknown code */
QMV3_EXPORT const char* qmGetStatisticsResultText(int code);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Access modes and completion codes of the control system                                         */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup modes Access modes and completion codes
 * A grab's access mode is one base mode (the low four bits) plus flags; as text it is a keyword list such
 * as "CM_TIMER|CM_STREAM" or "timer stream". Completion codes of the control system are 0 for success.
 * Any thread.
 * @{
 */

/** Access-mode bits of the grab functions and the mode texts. */
enum QMV3_ACCESS_MODE {
    QMV3_CM_CANCEL = 0,        /**< base mode CANCEL */
    QMV3_CM_SINGLE = 1,        /**< base mode SINGLE */
    QMV3_CM_DATACHANGE = 2,    /**< base mode DATACHANGE */
    QMV3_CM_TIMER = 3,         /**< base mode TIMER: a frame every access-rate period */
    QMV3_CM_REGISTER = 4,      /**< base mode REGISTER */
    QMV3_CM_RECEIVE = 5,       /**< base mode RECEIVE */
    QMV3_CM_EVENT = 6,         /**< base mode EVENT */
    QMV3_CM_BASE_MASK = 0xF,   /**< the bits of the base mode */
    QMV3_CM_NODUPLICATES = 16, /**< flag NODUPLICATES */
    QMV3_CM_SEEKPATTERN = 32,  /**< flag SEEKPATTERN */
    QMV3_CM_MISSPATTERN = 64,  /**< flag MISSPATTERN */
    QMV3_CM_STREAM = 128,      /**< flag STREAM */
    QMV3_CM_BCAST = 512,       /**< flag BCAST, the same bit as MCAST */
    QMV3_CM_MCAST = 512,       /**< flag MCAST */
    QMV3_CM_NETWORK = 512,     /**< keyword NETWORK, the same bit as MCAST */
    QMV3_CM_USEONERROR = 1024, /**< flag USEONERROR */
    QMV3_CM_RETRY = 2048,      /**< flag RETRY */
    QMV3_CM_GROUPED = 4096,    /**< flag GROUPED */
    QMV3_CM_CONNECT = 8192,    /**< flag CONNECT */
    QMV3_CM_WAIT = 16384,      /**< flag WAIT */
    QMV3_CM_SYNCNOTIFY = 32768 /**< flag SYNCNOTIFY */
};

/** Access bits that QMV3_INTERNAL_zantCMtoCA derives from a mode. */
enum QMV3_ACCESS_BITS {
    QMV3_CA_READ = 1,      /**< read: any of the three lowest mode bits */
    QMV3_CA_WRITE = 2,     /**< write */
    QMV3_CA_MCAST = 512,   /**< with QMV3_CM_MCAST */
    QMV3_CA_STREAM = 2048, /**< with QMV3_CM_STREAM */
    QMV3_CA_CONNECT = 8192 /**< with QMV3_CM_CONNECT */
};

/** Failure results of QMV3_INTERNAL_zantDecodeModeStringCMnew. */
enum QMV3_MODE_DECODE_RESULT {
    QMV3_MODE_DECODE_TOO_LONG = -1,        /**< more than 200 characters */
    QMV3_MODE_DECODE_NO_KEYWORD = -2,      /**< empty, or separators only */
    QMV3_MODE_DECODE_UNKNOWN_KEYWORD = -3, /**< a word that names no mode */
    QMV3_MODE_DECODE_CONFLICT = -4,        /**< a repeated keyword, or two of one group */
    QMV3_MODE_DECODE_NO_BASE_MODE = -5     /**< neither EVENT nor TIMER */
};

/** Results of the other mode and code helpers. */
enum QMV3_MODE_RESULT {
    QMV3_MODE_OK = 1,        /**< done */
    QMV3_MODE_REFUSED = 0,   /**< an invalid mode, forbidden combination, or a null or empty buffer */
    QMV3_MODE_TOO_SMALL = -1 /**< QMV3_INTERNAL_zantModeToString: null or too small a buffer; size set */
};

/** Text of the completion code |code|, empty when the control system has none; cut to *size - 2
 * characters.
 * @param code a completion code; its sign is ignored
 * @param[out] buffer receives the text
 * @param[in,out] size capacity on entry; the written length + 1 on return
 * @return QMV3_MODE_OK, or QMV3_MODE_REFUSED for a null buffer, a null size or a size of 0 */
QMV3_EXPORT int qmZantCodeToString(int code, char* buffer, size_t* size);
/** Mode bits of a keyword list such as "CM_TIMER|CM_STREAM": keywords with or without "CM_", in any
 * case and order, separated by '|', blanks, commas, tabs or newlines. A valid list names exactly one of
 * EVENT and TIMER, at most one of STREAM, MCAST, NETWORK and CONNECT, and optionally SYNCNOTIFY.
 * @param text the keyword list
 * @return the mode bits (>= 0), or a QMV3_MODE_DECODE_* code */
QMV3_EXPORT int QMV3_INTERNAL_zantDecodeModeStringCMnew(const char* text);
/** The access bits a mode needs (QMV3_CA_*).
 * @param mode mode bits
 * @param[out] access receives the bits (may be null)
 * @return QMV3_MODE_OK, or QMV3_MODE_REFUSED when the mode combines two of STREAM, MCAST and CONNECT
 *         (access unchanged) */
QMV3_EXPORT int QMV3_INTERNAL_zantCMtoCA(int mode, int* access);
/** The mode as keywords: the base mode, then "|" and each flag that is set, for example
 * "CM_TIMER|CM_STREAM".
 * @param mode mode bits
 * @param shortNames non-zero: without the "CM_" prefix
 * @param[out] buffer receives the text when it fits
 * @param[in,out] size capacity on entry; length + 1 on return (unchanged for QMV3_MODE_REFUSED)
 * @return QMV3_MODE_OK, QMV3_MODE_TOO_SMALL, or QMV3_MODE_REFUSED for a base mode above 6 */
QMV3_EXPORT int QMV3_INTERNAL_zantModeToString(int mode, int shortNames, char* buffer, size_t* size);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Salvage of damaged files                                                                        */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup salvage Salvage of damaged files
 * Reading what is intact in a sequence file that is cut short (a full disk, a crash, a killed
 * recording) or has damaged bytes. An IMC2/BKC2 file is walked by its structure, never by the image
 * count of its header (which a file still being written may not have yet): an image whose header,
 * metadata or compressed pixel block is damaged is dropped, and the images after it are found again
 * by their structure and kept. IMM, IMC and BKC files keep every whole frame before the point where
 * they are cut, and IMC/BKC frames whose streams are damaged are dropped one by one. Any thread, each
 * call with its own sequence and file.
 * @{
 */

/** What qmRecoverImagesFromFile found in a file. */
typedef struct QMV3_RECOVER_REPORT {
    unsigned int size;                 /**< sizeof(QMV3_RECOVER_REPORT), set by the caller */
    int fileKind;                      /**< the QMV3_FILE_* kind the file was read as; QMV3_FILE_UNKNOWN for none */
    unsigned int kept;                 /**< images recovered into the sequence */
    unsigned int dropped;              /**< images found, or known to be missing, that could not be kept */
    unsigned int announced;            /**< images the file's header announces; 0 when it does not tell */
    unsigned int reserved;             /**< 0 */
    unsigned long long skippedBytes;   /**< bytes of the file that no kept or dropped image accounts for */
} QMV3_RECOVER_REPORT;

/** Told about every dropped image, in file order, and about damage that belongs to no image.
 * @param context the caller's pointer, as given to qmRecoverImagesFromFile
 * @param image the image's position in the file, counted from 1; 0 for damage that belongs to no image
 *        (the global metadata, or bytes between images in which no image could be found)
 * @param offset where the image's section (or the damage) starts, in bytes from the start of the file
 * @param code why: QMV3_LOAD_SHORT_READ (the file ends inside it), QMV3_LOAD_INVALID_FILE (its header or
 *        metadata is damaged), QMV3_LOAD_DECOMPRESSION_FAILED (its compressed pixel block is damaged),
 *        QMV3_LOAD_INVALID_IMAGE (it fails the image validity rules)
 * @param reason one English sentence, valid during the call only */
typedef void (*QMV3_RECOVER_CALLBACK)(void* context, unsigned int image, unsigned long long offset, int code,
                                      const char* reason);

/** Reads every intact image of a damaged (or intact) IMC2/BKC2, IMM, BKG, IMC or BKC file into an empty
 * sequence; the file's kind is decided by its content. Kept images are as qmLoadImagesFromFileEx gives
 * them, except that an older file's frames keep their position in the file as frame number (so dropped
 * frames show as gaps). An intact file gives the images qmLoadImagesFromFileEx gives.
 * @param path the file
 * @param images an empty sequence (qmInitializeBunchStructure); on QMV3_LOAD_OK it holds the kept images
 *        and the caller frees it with qmFreeBunch; on failure it stays empty
 * @param[out] report what was found (may be null; when not null its size member must be set); filled
 *        also when no image could be kept
 * @param onDropped called for every dropped image and every damaged part (may be null)
 * @param context handed to onDropped
 * @param interrupt the value 1 stops the salvage (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_LOAD_OK (0) when at least one image was kept; QMV3_LOAD_INVALID_FILE when none could
 *         be (the message says why); QMV3_LOAD_PARAMETER_ERROR (also for a report whose size is too
 *         small), QMV3_LOAD_OPEN_FAILED, QMV3_LOAD_OUT_OF_MEMORY or QMV3_LOAD_INTERRUPTED */
QMV3_EXPORT int qmRecoverImagesFromFile(const char* path, QMBUNCHOFIMAGES* images, QMV3_RECOVER_REPORT* report,
                                        QMV3_RECOVER_CALLBACK onDropped, void* context, int* interrupt,
                                        double* percent, char* errorText, unsigned int errorTextSize);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Image sequence files                                                                            */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup files Image sequence files
 * Saving and loading sequences in the IMC2/BKC2 format, in the older IMM, BKG, IMC and BKC files and in
 * the interchange formats TIFF, PNG and HDF5 (docs/formats.md). The name's extension chooses the saved
 * format: ".imc", ".bkc", ".imm" and ".bkg" (any case) the older ones, ".tif" and ".tiff" TIFF, ".png"
 * PNG, ".h5" and ".hdf5" HDF5, every other name IMC2/BKC2. Loading and checking go by content, trying
 * the kinds in one order: IMC2/BKC2, IMC/BKC, IMM, BKG, TIFF, PNG, HDF5. Messages begin with "File", the
 * path in double quotes and the kind of error.
 *
 * Every save writes into a hidden folder ".qmv3-partial-XXXXXX" beside the name and renames the file into
 * place only when it is complete, so no failure, interruption or crash leaves a half file under the
 * name; a replaced file keeps its permissions. A process killed outright leaves its hidden folder (it
 * holds the owner's process id); the next save into that folder removes those of ended processes and
 * writes one line to the log. Any thread, each call with its own sequence and file.
 *
 * The HDF5 C library is not hardened against hostile files: loading and checking a file from an
 * untrusted source may crash or hang the process inside that library. Before a frame is read the
 * library checks the dataset's rank, extent, element type, chunk size and filters (only the built-in
 * deflate, shuffle and checksum; no filter plugin is ever loaded), but the file's own structures are
 * parsed by the HDF5 library.
 * @{
 */

/** Results of qmSaveImagesToFileEx; the older savers' QMV3_LEGACY_SAVE_* codes -1 .. -9 pass through
 * for the older formats. */
enum QMV3_SAVE_RESULT {
    QMV3_SAVE_OK = 0,                  /**< saved */
    QMV3_SAVE_OPEN_FAILED = -4,        /**< the file could not be created */
    QMV3_SAVE_WRITE_FAILED = -5,       /**< a write failed */
    QMV3_SAVE_OUT_OF_MEMORY = -6,      /**< out of memory */
    QMV3_SAVE_COMPRESSION_FAILED = -7, /**< zlib compression failed */
    QMV3_SAVE_INTERRUPTED = -9,        /**< stopped through the interrupt flag */
    QMV3_SAVE_PARAMETER_ERROR = -12,   /**< null or empty path, no images, more than 10000 images */
    QMV3_SAVE_NOT_A_SEQUENCE = -13,    /**< qmIsSequence did not return 1, or neither GRAY nor RGB */
    QMV3_SAVE_FILE_EXISTS = -14,       /**< IMC2/BKC2: the file exists already; it is left untouched */
    QMV3_SAVE_METADATA_ERROR = -15,    /**< a metadata value could not be composed or is too long */
    QMV3_SAVE_TRANSCODING_FAILED = -16 /**< older formats: the conversion to VIDINFHDR failed */
};

/** Results of qmLoadImagesFromFileEx. */
enum QMV3_LOAD_RESULT {
    QMV3_LOAD_OK = 0,                    /**< loaded */
    QMV3_LOAD_PARAMETER_ERROR = -1,      /**< null or empty path, null or non-empty sequence */
    QMV3_LOAD_INVALID_IMAGE = -2,        /**< an image fails the validity rules */
    QMV3_LOAD_INVALID_FILE = -3,         /**< not a valid IMC2/BKC2 file (header, metadata, lengths) */
    QMV3_LOAD_OPEN_FAILED = -4,          /**< the file could not be opened */
    QMV3_LOAD_SHORT_READ = -5,           /**< a read came back short */
    QMV3_LOAD_MALFORMED_SET = -6,        /**< a metadata set is malformed, or its tables got no memory */
    QMV3_LOAD_OUT_OF_MEMORY = -7,        /**< out of memory for images or pixels */
    QMV3_LOAD_DECOMPRESSION_FAILED = -8, /**< zlib decompression failed */
    QMV3_LOAD_INTERRUPTED = -9,          /**< stopped through the interrupt flag */
    QMV3_LOAD_LENGTH_TOO_LARGE = -11,    /**< a length field exceeds 2147483647 */
    QMV3_LOAD_IMM_FAILED = -12,          /**< an IMM file could not be loaded */
    QMV3_LOAD_BKG_FAILED = -13,          /**< a BKG file could not be loaded */
    QMV3_LOAD_IMC_BKC_FAILED = -14,      /**< an IMC or BKC file could not be loaded */
    QMV3_LOAD_TRANSCODING_FAILED = -15,  /**< an older record could not become a sequence */
    QMV3_LOAD_LIMIT_EXCEEDED = -16       /**< the images would decode to more than qmGetLoadMemoryLimit() */
};

/** Results of qmCheckFileFormat. */
enum QMV3_FILE_KIND {
    QMV3_FILE_IMM = 0,       /**< IMM */
    QMV3_FILE_BKG = 1,       /**< BKG */
    QMV3_FILE_IMC_BKC = 2,   /**< IMC or BKC */
    QMV3_FILE_IMC2_BKC2 = 3, /**< IMC2 or BKC2 */
    QMV3_FILE_TIFF = 4,      /**< TIFF (one or more pages of 8- or 16-bit grey or 8-bit RGB) */
    QMV3_FILE_PNG = 5,       /**< PNG (one frame) */
    QMV3_FILE_HDF5 = 6,      /**< HDF5 with an image stack of uint8 or uint16 values */
    QMV3_FILE_UNKNOWN = -1   /**< none of them, or the file cannot be opened */
};

/** Flags of qmSaveImagesToFileEx2 and qmExportImagesToFile. */
#define QMV3_SAVE_FLAG_REPLACE 0x1u        /**< replace an existing file (atomically, keeping its permissions) */
#define QMV3_SAVE_FLAG_CHECK_ONLY 0x2u     /**< check the name as a save would (folder, existing file), write nothing */
#define QMV3_SAVE_FLAG_COMPRESS_FAST 0x10u /**< IMC2/BKC2: deflate with the fast engine (ordinary zlib streams) */
#define QMV3_SAVE_FLAG_COMPRESS_NONE 0x20u /**< IMC2/BKC2: store the pixel blocks without deflating them */
#define QMV3_EXPORT_FLAG_COMPRESS 0x100u   /**< qmExportImagesToFile: deflate TIFF and HDF5; PNG: strongest level */

/** Options of qmExportImagesToFile. */
typedef struct QMV3_EXPORT_OPTIONS {
    unsigned int size;       /**< sizeof(QMV3_EXPORT_OPTIONS), for later growth */
    unsigned int flags;      /**< QMV3_SAVE_FLAG_* and QMV3_EXPORT_FLAG_COMPRESS */
    unsigned int firstImage; /**< first image to write, counted from 1; 0: the first */
    unsigned int lastImage;  /**< last image to write, counted from 1; 0: the last */
} QMV3_EXPORT_OPTIONS;

/** The name of the file that a PNG export of several images writes for one of them: the image at
 * position of a sequence of imageCount images goes to "STEM-NN.png", the position zero-padded to the
 * width of imageCount. Every other export, and a PNG export of one image, writes path itself.
 * @param path the export's name
 * @param position the image's position in the sequence, counted from 1
 * @param imageCount the number of images in the sequence (1: path itself)
 * @param[out] name the file name
 * @param nameSize capacity of name
 * @return 0, or -1 for a null argument or a name longer than nameSize - 1 */
QMV3_EXPORT int qmGetExportFileName(const char* path, unsigned int position, unsigned int imageCount, char* name,
                                    size_t nameSize);
/** Encodes one 8- or 16-bit GRAY or 8-bit RGB image as a PNG in memory, as qmExportImagesToFile writes it.
 * @param image the image (only read)
 * @param flags QMV3_EXPORT_FLAG_COMPRESS (the strongest deflate level), else 0 (the fastest)
 * @param[out] png a buffer the caller releases with free
 * @param[out] pngSize its length in bytes
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_SAVE_OK (0), QMV3_SAVE_PARAMETER_ERROR, QMV3_SAVE_NOT_A_SEQUENCE (an image of another
 *         format), QMV3_SAVE_OUT_OF_MEMORY or QMV3_SAVE_COMPRESSION_FAILED */
QMV3_EXPORT int qmEncodeImageAsPng(const DIMAGE* image, unsigned int flags, unsigned char** png, size_t* pngSize,
                                   char* errorText, unsigned int errorTextSize);
/** qmSaveImagesToFileEx without message, interrupt and progress.
 * @param apImages the sequence
 * @param asFilePath the file
 * @return QMV3_SAVE_OK (0) or a negative code */
QMV3_EXPORT int qmSaveImagesToFile(QMBUNCHOFIMAGES* apImages, const char* asFilePath);
/** Saves a sequence (qmIsSequence must give 1) of GRAY or RGB images; the older formats take GRAY only,
 * all with one scale, and BKG one frame. IMC2/BKC2 keeps every header field but the spares and the buffer
 * size; the older files keep geometry, bits and scale only. The sequence is only read.
 * @param apImages the sequence
 * @param asFilePath the file
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @param interrupt the value 1 stops the save, before the first and after every image (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * An existing file is refused with QMV3_SAVE_FILE_EXISTS for every kind but the older ones, which replace
 * it (atomically); TIFF, PNG and HDF5 are written as qmExportImagesToFile writes them, uncompressed.
 * @return QMV3_SAVE_OK (0) or a QMV3_SAVE_* or QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int qmSaveImagesToFileEx(QMBUNCHOFIMAGES* apImages, const char* asFilePath, char* errorText,
                                     unsigned int errorTextSize, int* interrupt, double* percent);
/** qmSaveImagesToFileEx with flags: the name's extension chooses the kind as for every save; an existing
 * file of any kind is refused with QMV3_SAVE_FILE_EXISTS unless QMV3_SAVE_FLAG_REPLACE is given, which
 * replaces it only once the new file is complete. QMV3_SAVE_FLAG_COMPRESS_FAST or _NONE choose how
 * IMC2/BKC2 pixel blocks are deflated (default: zlib's default level, or the fast engine when the
 * environment asks for it); both make files every reader inflates. With QMV3_SAVE_FLAG_CHECK_ONLY
 * nothing is written and apImages may be null: the result says whether a save could start (the folder
 * exists and can be written, the name is free or may be replaced).
 * @param apImages the sequence (only read)
 * @param path the file; a PNG of several images becomes one file per image, "STEM-01.png" ...
 * @param flags QMV3_SAVE_FLAG_* values
 * @param[out] errorText the message on failure (may be null); an open failure names the folder and the
 *             system's reason
 * @param errorTextSize capacity of errorText
 * @param interrupt the value 1 stops the save (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * @return QMV3_SAVE_OK (0) or a QMV3_SAVE_* or QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int qmSaveImagesToFileEx2(QMBUNCHOFIMAGES* apImages, const char* path, unsigned int flags,
                                      char* errorText, unsigned int errorTextSize, int* interrupt, double* percent);
/** Writes images of a sequence as TIFF (one multi-page file), PNG (one file per image, "STEM-01.png" ...
 * numbered by the image's position and padded to the width of the sequence's length; exactly path for
 * one image) or HDF5 (/entry/data/data with frame numbers, event numbers and time stamps beside it),
 * chosen by the extension of path; docs/formats.md gives the layouts. 8- and 16-bit GRAY and 8-bit RGB
 * images keep their stored values; JPEG images must be decompressed first. The save policy is that of
 * qmSaveImagesToFileEx2: a series appears complete or not at all.
 * @param images the sequence (only read)
 * @param path a name ending in .tif, .tiff, .png, .h5 or .hdf5 (any case)
 * @param options flags and image range (may be null: every image, no flags)
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @param interrupt the value 1 stops the export (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * @return QMV3_SAVE_OK (0), QMV3_SAVE_PARAMETER_ERROR (no images, bad range or options, another
 *         extension), QMV3_SAVE_NOT_A_SEQUENCE (an image of another format or too few frame bytes,
 *         or HDF5 images of different shapes), QMV3_SAVE_FILE_EXISTS, QMV3_SAVE_OPEN_FAILED,
 *         QMV3_SAVE_WRITE_FAILED or QMV3_SAVE_INTERRUPTED */
QMV3_EXPORT int qmExportImagesToFile(QMBUNCHOFIMAGES* images, const char* path, const QMV3_EXPORT_OPTIONS* options,
                                     char* errorText, unsigned int errorTextSize, int* interrupt, double* percent);
/** Files an application writes itself, under the policy of every save of the library: an existing name
 * is refused unless replacing is asked for; each file is written under a temporary name in a hidden
 * folder beside its final name and moved onto that name only by qmCommitOutputFiles, a replacement
 * keeping the permissions of the file it replaces; whatever was not committed is removed by
 * qmCloseOutputFiles (or qmDiscardOutputFiles). So no failure or interruption leaves a half file under
 * a final name. A process killed outright leaves its hidden folder; the next save into that folder
 * removes it. One object belongs to one thread. */
typedef struct QMV3_OUTPUT_FILES QMV3_OUTPUT_FILES;
/** Checks the final names (each folder exists and can be written, no name is a folder, no name exists
 * unless QMV3_SAVE_FLAG_REPLACE, an existing name is a regular file) and, unless
 * QMV3_SAVE_FLAG_CHECK_ONLY, creates the hidden folders.
 * @param[out] files the new object, or null on failure and with QMV3_SAVE_FLAG_CHECK_ONLY (may be null
 *             with QMV3_SAVE_FLAG_CHECK_ONLY)
 * @param paths the final names
 * @param count the number of names, >= 1
 * @param flags QMV3_SAVE_FLAG_REPLACE and QMV3_SAVE_FLAG_CHECK_ONLY
 * @param[out] errorText the message on failure, "File \"NAME\" save error: " and why (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_SAVE_OK (0), QMV3_SAVE_PARAMETER_ERROR (a null or empty name, no names), QMV3_SAVE_FILE_EXISTS,
 *         QMV3_SAVE_OPEN_FAILED or QMV3_SAVE_OUT_OF_MEMORY */
QMV3_EXPORT int qmOpenOutputFiles(QMV3_OUTPUT_FILES** files, const char* const* paths, unsigned int count,
                                  unsigned int flags, char* errorText, unsigned int errorTextSize);
/** Where the file of a final name is to be written until it is committed: the hidden folder and the
 * final file name, so that a writer that chooses the kind by the extension chooses the same kind.
 * @param files the object
 * @param index the name's position in the paths given to qmOpenOutputFiles, from 0
 * @return the path, valid until qmCloseOutputFiles; null for a null object or an index out of range */
QMV3_EXPORT const char* qmGetOutputFileWritePath(const QMV3_OUTPUT_FILES* files, unsigned int index);
/** Moves every written file onto its final name: over an existing file with QMV3_SAVE_FLAG_REPLACE, else
 * only while the name is still free. Files already moved stay moved; on a failure the rest stay at their
 * write paths until qmCloseOutputFiles.
 * @param files the object
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_SAVE_OK (0), QMV3_SAVE_PARAMETER_ERROR (null object), QMV3_SAVE_FILE_EXISTS (a name was taken
 *         meanwhile; that file is left as it is) or QMV3_SAVE_WRITE_FAILED */
QMV3_EXPORT int qmCommitOutputFiles(QMV3_OUTPUT_FILES* files, char* errorText, unsigned int errorTextSize);
/** Removes every file not committed and the hidden folders, with system calls only: async-signal-safe,
 * for a signal handler that ends the process. The object stays valid and is still to be closed.
 * @param files the object (may be null) */
QMV3_EXPORT void qmDiscardOutputFiles(const QMV3_OUTPUT_FILES* files);
/** Removes every file not committed and the hidden folders, and releases the object.
 * @param files the object (may be null) */
QMV3_EXPORT void qmCloseOutputFiles(QMV3_OUTPUT_FILES* files);
/** qmLoadImagesFromFileEx without interrupt, progress and message.
 * @param asFilePath the file
 * @param apImages an empty sequence
 * @return QMV3_LOAD_OK (0) or a negative code */
QMV3_EXPORT int qmLoadImagesFromFile(const char* asFilePath, QMBUNCHOFIMAGES* apImages);
/** Loads any IMC2/BKC2, IMM, BKG, IMC or BKC file into an empty sequence; older files become GRAY images
 * numbered 1..n, time-stamped with the file's modification time and named after the path. TIFF, PNG and
 * HDF5 files become GRAY or RGB images with the facts the library's exports keep (frame numbers, time
 * stamps, scale, port); pages or datasets of other sample types are refused with
 * QMV3_LOAD_INVALID_FILE and the reason. Every image passes the validity rules. On failure the sequence
 * stays empty.
 * @param asFilePath the file
 * @param apImages an empty sequence (qmInitializeBunchStructure); the caller frees the result with
 *        qmFreeBunch
 * @param interrupt the value 1 stops the load (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_LOAD_OK (0) or a QMV3_LOAD_* code */
QMV3_EXPORT int qmLoadImagesFromFileEx(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int* interrupt,
                                       double* percent, char* errorText, unsigned int errorTextSize);

/** @name Flags of QMV3_LOAD_OPTIONS
 * @{ */
#define QMV3_LOAD_FLAG_HEADERS_ONLY 0x1 /**< headers without pixels: frameBuffer null, frameBufferSize 0 */
#define QMV3_LOAD_FLAG_ONE_BLOCK 0x2    /**< all frames of an IMC2/BKC2 file in one block */
/** a file of no kind that comes closest to IMC/BKC, IMM or BKG (see qmCheckFileFormatEx) fails with that
 * kind's reason, "File "NAME" is no IMM file: REASON" (the reason escaped as by qmEscapeText), instead of
 * the complaint of the IMC2/BKC2 reader that every file of no kind goes to; the code is unchanged */
#define QMV3_LOAD_FLAG_CLOSEST_REASON 0x4
/** @} */

/** What qmLoadImagesFromFileEx2 loads. Clear it and set size to sizeof(QMV3_LOAD_OPTIONS). */
typedef struct QMV3_LOAD_OPTIONS {
    unsigned int size;       /**< sizeof(QMV3_LOAD_OPTIONS): later versions may append members */
    unsigned int flags;      /**< QMV3_LOAD_FLAG_* bits */
    unsigned int firstImage; /**< first image to load, counted from 1; 0: from the first */
    unsigned int lastImage;  /**< last image to load, counted from 1; 0 or beyond the file's images: to the last */
} QMV3_LOAD_OPTIONS;

/** qmLoadImagesFromFileEx with options: only the images firstImage..lastImage of the file (their frame
 * numbers as the file gives them), only their headers, or all frames in one block.
 *
 * With QMV3_LOAD_FLAG_HEADERS_ONLY every image has its header as a full load gives it (appendedFrameSize
 * and totalLength as in the file) but frameBuffer null and frameBufferSize 0; IMC2/BKC2 files skip each
 * pixel block by its length without reading it, and IMC/BKC, IMM and BKG files pass over each frame by
 * its size (IMC/BKC by its stored stream length, never inflated), so neither the time nor the memory
 * needed grows with the pixels, and the load memory limit does not apply. TIFF and HDF5 files read
 * their pages' tags or their frame numbers and time stamps without decoding a pixel, PNG files pass
 * their rows through one row's buffer (text chunks may follow the image data).
 *
 * TIFF and HDF5 files decode only the images of the range (the load memory limit counts those): the
 * pages before it are passed over by their directories, the frames of an HDF5 stack are read one by one.
 *
 * With QMV3_LOAD_FLAG_ONE_BLOCK the frames of an IMC2/BKC2 file lie back to back in one malloc block
 * (huge pages where the system offers them) that belongs to the sequence: qmFreeBunch releases it once.
 * Never free a single frame buffer of such a sequence: replace one through qmReleaseFrameBuffer, as
 * qmDecompressSequence and qmFreeImage do. Other kinds, and a frame whose size differs from the first
 * frame's, get frame buffers of their own; the flag is then without effect.
 * @param asFilePath the file
 * @param apImages an empty sequence; the caller frees the result with qmFreeBunch
 * @param options the options (null: as qmLoadImagesFromFileEx)
 * @param interrupt the value 1 stops the load (may be null)
 * @param[out] percent progress 0.0 .. 1.0 (may be null)
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_LOAD_OK (0) or a QMV3_LOAD_* code; QMV3_LOAD_PARAMETER_ERROR also for a size below
 *         sizeof(QMV3_LOAD_OPTIONS), unknown flags, lastImage below firstImage, or a firstImage beyond the
 *         file's images */
QMV3_EXPORT int qmLoadImagesFromFileEx2(const char* asFilePath, QMBUNCHOFIMAGES* apImages,
                                        const QMV3_LOAD_OPTIONS* options, int* interrupt, double* percent,
                                        char* errorText, unsigned int errorTextSize);
/** Which kind of file path is, by content only: the IMC2/BKC2 walk (every section, the file ending after
 * the last pixel block), then IMC/BKC, IMM and BKG (sizes agreeing exactly with their headers), then
 * TIFF and PNG (their signatures) and HDF5 (its signature and an image stack in it).
 * @param path the file
 * @param[out] errorText on QMV3_FILE_UNKNOWN: "File (path) is either no IMC2 or BKC2 or IMC or BKC or IMM or
 *             BKG or could not be found or opened." (may be null)
 * @param errorTextSize capacity of errorText
 * @return a QMV3_FILE_* kind */
QMV3_EXPORT int qmCheckFileFormat(const char* path, char* errorText, size_t errorTextSize);
/** qmCheckFileFormat with the diagnosis of a file of no kind: the kind it comes closest to and why that
 * kind refused it. The closest is the kind whose header fits (for TIFF, PNG and HDF5: whose signature
 * the file carries), the one the name's extension suggests breaking ties, else IMC2/BKC2.
 * @param path the file
 * @param[out] kind the kind, or for a file of no kind the closest kind; QMV3_FILE_UNKNOWN when the file
 *             cannot be opened (may be null)
 * @param[out] reason empty on success; else why the closest kind refused the file, or the system's
 *             reason when the file cannot be opened (may be null)
 * @param reasonSize capacity of reason
 * @return the QMV3_FILE_* kind, or QMV3_FILE_UNKNOWN */
QMV3_EXPORT int qmCheckFileFormatEx(const char* path, int* kind, char* reason, size_t reasonSize);
/** The kind a save chooses for a name by its extension (any case).
 * @param path the file name (may be null)
 * @return a QMV3_FILE_* kind, or QMV3_FILE_UNKNOWN for every other name (saved as IMC2/BKC2) */
QMV3_EXPORT int qmGetFileKindOfName(const char* path);
/** The name of a file kind ("IMC2/BKC2", "IMC/BKC", "IMM", "BKG", "TIFF", "PNG", "HDF5") and its
 * extensions.
 * @param kind a QMV3_FILE_* kind
 * @param[out] extensions the kind's extensions in lower case, separated by one space (".tif .tiff"),
 *             a static text (may be null)
 * @return a static text, or null for an unknown kind */
QMV3_EXPORT const char* qmGetFileKindName(int kind, const char** extensions);
/** Whether qmExportImagesToFile writes a file kind (TIFF, PNG, HDF5): the kinds analysis programs read,
 * which a save writes as an export does. Any thread.
 * @param kind a QMV3_FILE_* kind
 * @return 1 for such a kind, 0 for every other value */
QMV3_EXPORT int qmIsExportFileKind(int kind);
/** The parts of a file call's message: for a text of the form File "NAME" load error: DETAIL (or save
 * error), as the load, save, export and output-file calls write them, the detail after the name, and the
 * name. For a face that shows the detail after a name of its own. Any thread.
 * @param message a message of the library (may be null)
 * @param[out] name receives NAME, cut to nameSize - 1 bytes; empty when the message has no such form
 *             (may be null)
 * @param nameSize capacity of name
 * @return a pointer to DETAIL inside message, or null when the message has no such form */
QMV3_EXPORT const char* qmGetFileMessageDetail(const char* message, char* name, size_t nameSize);
/** The kinds in the order in which loading and checking try them (qmCheckFileFormat): IMC2/BKC2, IMC/BKC,
 * IMM, BKG, TIFF, PNG, HDF5. Any thread.
 * @param index the position, from 0
 * @return the QMV3_FILE_* kind at index, or QMV3_FILE_UNKNOWN beyond the last */
QMV3_EXPORT int qmGetFileKindInOrder(unsigned int index);
/** The most images one save under a name of the kind takes: 1 for BKG, 10000 for IMC2/BKC2 (also every
 * name no other kind claims); a save of more is refused. Any thread.
 * @param kind a QMV3_FILE_* kind
 * @return the number, or 0 for a kind without a limit of its own and for an unknown kind */
QMV3_EXPORT unsigned int qmGetFileKindMaxImages(int kind);
/** Whether a save's compression flags (QMV3_SAVE_FLAG_COMPRESS_FAST, QMV3_SAVE_FLAG_COMPRESS_NONE) choose
 * how a kind's frames are stored: only IMC2/BKC2, also written for every name no other kind claims; the
 * other kinds ignore them. Any thread.
 * @param kind a QMV3_FILE_* kind, or QMV3_FILE_UNKNOWN for a name no kind claims
 * @return 1 for such a kind, else 0 */
QMV3_EXPORT int qmFileKindTakesCompression(int kind);
/** What the system tells of reading a file, for a message about a file that did not load: the system's
 * reason when it cannot be opened ("No such file or directory"), "it is a folder", "it is not a regular
 * file", "the file is empty", else "file is N bytes", with ", shorter than one header" appended when the
 * file is shorter than the fixed start of the kind its name suggests (IMC/BKC 16 bytes, IMM and BKG 8,
 * IMC2/BKC2 and every other name 14). Any thread.
 * @param path the file
 * @param[out] text receives the text, cut to size - 1 characters
 * @param size capacity of text, >= 1
 * @return 0, or -1 for a null path or text or a size of 0 (text unchanged) */
QMV3_EXPORT int qmDescribeFileProblem(const char* path, char* text, size_t size);
/** Whether an output name chooses a file kind by its extension, as the conversions of the tool and of
 * Python require: they refuse every other name, which a save would write as IMC2/BKC2.
 * @param path the output name
 * @param[out] kind the kind the name chooses, QMV3_FILE_UNKNOWN when it chooses none (may be null)
 * @param[out] errorText on refusal "'NAME': the name of OUT must end in one of .imc2, .bkc2, .imm, .imc,
 *             .bkc, .bkg, .tif, .tiff, .png, .h5, .hdf5" (OUT: the output), "" otherwise (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_SAVE_OK (0), or QMV3_SAVE_PARAMETER_ERROR for a null name or a name of no kind */
QMV3_EXPORT int qmCheckOutputName(const char* path, int* kind, char* errorText, size_t errorTextSize);
/** Whether an output name chooses a kind the export writes (qmIsExportFileKind), as the exports of the
 * tool and of Python require.
 * @param path the output name
 * @param[out] kind the kind the name chooses, QMV3_FILE_UNKNOWN when it chooses none the export writes
 *             (may be null)
 * @param[out] errorText on refusal "'NAME': export writes .tif, .tiff, .png, .h5 and .hdf5 files", ""
 *             otherwise (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_SAVE_OK (0), or QMV3_SAVE_PARAMETER_ERROR for a null name or a name of another kind */
QMV3_EXPORT int qmCheckExportName(const char* path, int* kind, char* errorText, size_t errorTextSize);
/** What saving a sequence under a name loses of its metadata, as the one sentence the tool and Python
 * warn with. The older kinds (IMM, BKG, IMC/BKC, chosen by the name as for every save) keep pixels and
 * geometry only; loading one makes the rest up. The sentence names only what the sequence holds and
 * what it becomes: "t.imm keeps no frame numbers, time stamps, camera port name or scale: they become
 * 1..5, the conversion time, the file name and 1 mm per pixel". Frame numbers count as held unless
 * they are 1..n, time stamps when set, the port when named or numbered, the scale when set and not 1.
 * Other kinds keep everything, and a sequence loaded from an older file has nothing of its own to lose.
 * @param images the sequence (only read)
 * @param sourcePath the file the sequence was loaded from, detected by content (null: not loaded from
 *        a file, e.g. grabbed)
 * @param path the output name
 * @param timeName what the time stamps become, e.g. "the conversion time" (null: "the time of saving")
 * @param[out] text the sentence, "" when nothing is lost or textSize is too small for it
 * @param textSize capacity of text
 * @return the sentence's length in bytes (0: nothing is lost), also when textSize is too small (a
 *         buffer of the length + 1 bytes takes it); -1 for a null images, path or text, a textSize of 0,
 *         or when memory runs out */
QMV3_EXPORT int qmDescribeSaveLoss(const QMBUNCHOFIMAGES* images, const char* sourcePath, const char* path,
                                   const char* timeName, char* text, size_t textSize);
/** The load memory limit: the most bytes of decoded frames one load may allocate. Every load (IMC2/BKC2,
 * IMC/BKC, IMM, BKG, TIFF, PNG and HDF5) adds up the frame bytes it is about to allocate
 * and, before allocating, refuses a file that would pass the limit with QMV3_LOAD_LIMIT_EXCEEDED
 * (QMV3_LEGACY_LOAD_LIMIT_EXCEEDED from the older loaders) and one line naming the file, the bytes and the
 * limit. The limit is set from the environment variable QMV3_LOAD_MEMORY_LIMIT (a decimal number of bytes)
 * when the library is loaded, else it is half of the physical memory: a load has to fit beside the rest of
 * the process and its neighbours. Any thread.
 * @return the limit in bytes (never 0) */
QMV3_EXPORT unsigned long long qmGetLoadMemoryLimit(void);
/** Sets the load memory limit for every load that starts afterwards, in any thread.
 * @param bytes the limit in bytes; 0 restores the limit the library started with (QMV3_LOAD_MEMORY_LIMIT
 *        or half of the physical memory)
 * @return 0 */
QMV3_EXPORT int qmSetLoadMemoryLimit(unsigned long long bytes);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Recording                                                                                       */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @defgroup recorder Recording
 * Frames to files as they arrive, for runs of any length in bounded memory. The application hands the
 * recorder frames (from a stream loop or from anywhere else); the recorder copies each into one buffer
 * of its queue and returns, compresses on worker threads of its own and writes the frames in the order
 * received on a writer thread of its own. Memory stays at the queue's buffers whatever the run's length.
 *
 * IMC2/BKC2 (every name but those ending in ".h5" or ".hdf5"): files of at most `split` images, the
 * first at the path given, then STEM-0002.EXT, STEM-0003.EXT, ... beside it (STEM the path without its
 * extension EXT). A frame whose header differs from the first of its file (qmIsSequence's rule) begins
 * the next file. Every completed file is an IMC2/BKC2 file every reader loads. While a file grows, the
 * image count in its header follows the images that have reached the disk, at most half a second
 * behind, and each image is self-contained; so a file left by a killed process or a power cut loads
 * with every image written more than a second before the end, and the salvage reader finds the rest.
 *
 * HDF5 (names ending in ".h5" or ".hdf5", any case): one file of any length in the layout of
 * qmExportImagesToFile (/entry/data/data with frame_number, event_number and timestamp beside it),
 * extendible along the frame axis, one frame per chunk, deflated by the workers unless the compression
 * is QMV3_RECORDER_COMPRESS_NONE; `split` does not apply, and every frame must have the first frame's
 * size and pixel format (others are refused with QMV3_RECORDER_INVALID_FRAME). The file is written in
 * single-writer/multiple-reader mode and flushed at least twice a second, so readers open it while it
 * grows (and a file left by a killed process loads with every frame flushed). Before each frame the
 * recorder checks that the disk and the file size limit leave room for it and stops with
 * QMV3_RECORDER_WRITE_FAILED, closing a whole file, when they do not. A write that fails all the same
 * (an I/O error, a disk filled meanwhile) stops it too: the file then holds every frame before the
 * failure or, when even its index could not be written, the frames of its last flush, and the
 * statistics count only the frames the file holds as written.
 *
 * Thread rules: qmRecorderWrite and qmRecorderClose from one thread at a time (not necessarily the
 * opening one); qmRecorderGetStatistics, qmRecorderGetFileName and qmRecorderGetError from any thread
 * while the recorder is open. Recorders are independent of each other and of streams and grabs.
 * @{
 */

/** Results of the recorder functions; the failures have the numbers of the QMV3_SAVE_* codes of the
 * same meaning. */
enum QMV3_RECORDER_RESULT {
    QMV3_RECORDER_OK = 0,                  /**< done */
    QMV3_RECORDER_DROPPED = 1,             /**< qmRecorderWrite: the queue was full and the recorder drops
                                                when full; the frame is counted, the recording goes on */
    QMV3_RECORDER_OPEN_FAILED = -4,        /**< a file could not be created */
    QMV3_RECORDER_WRITE_FAILED = -5,       /**< a write failed (a full disk, an I/O error); the recording
                                                stopped, its files hold every frame before the failure */
    QMV3_RECORDER_OUT_OF_MEMORY = -6,      /**< out of memory */
    QMV3_RECORDER_COMPRESSION_FAILED = -7, /**< compressing a frame failed; the recording stopped */
    QMV3_RECORDER_INTERRUPTED = -9,        /**< qmRecordStream: stopped through the interrupt flag; what was
                                                received is written */
    QMV3_RECORDER_PARAMETER_ERROR = -12,   /**< a null or invalid argument or option */
    QMV3_RECORDER_INVALID_FRAME = -13,     /**< a frame that fails the validity rules or that the output
                                                cannot hold (IMC2/BKC2: GRAY and RGB only; HDF5: GRAY
                                                or RGB of the first frame's shape); not taken, the
                                                recording goes on */
    QMV3_RECORDER_FILE_EXISTS = -14,       /**< a name the recording would write exists (without
                                                QMV3_RECORDER_FLAG_REPLACE) */
    QMV3_RECORDER_METADATA_ERROR = -15,    /**< a header field could not be written as metadata */
    QMV3_RECORDER_STREAM_ENDED = -20       /**< qmRecordStream: the stream was closed or refused a frame */
};

/** Compression of the pixel blocks (QMV3_RECORDER_OPTIONS::compression). Each is a standard zlib stream
 * every reader inflates, stored raw when it would not be smaller. */
enum QMV3_RECORDER_COMPRESSION {
    QMV3_RECORDER_COMPRESS_FAST = 0,    /**< the fast engine at its level 1 (zlib's default where the
                                             library was built without it) */
    QMV3_RECORDER_COMPRESS_DEFAULT = 1, /**< zlib at its default level: smaller, several times slower */
    QMV3_RECORDER_COMPRESS_NONE = 2     /**< frame bytes as they are */
};

/** The compression a name chooses, the word every face takes for it: "fast" (the fast engine), "default"
 * (zlib's default level) or "none" (stored as they are), for a save and for a recording alike.
 * @param name the name, exactly as above
 * @param[out] saveFlags the bits for qmSaveImagesToFileEx2: QMV3_SAVE_FLAG_COMPRESS_FAST, 0 or
 *             QMV3_SAVE_FLAG_COMPRESS_NONE (may be null)
 * @param[out] recorderCompression the QMV3_RECORDER_COMPRESSION value (may be null)
 * @return 0, or -1 for a null or another name (outputs unchanged) */
QMV3_EXPORT int qmGetCompressionOfName(const char* name, unsigned int* saveFlags, int* recorderCompression);

/** Flags of QMV3_RECORDER_OPTIONS. */
enum QMV3_RECORDER_FLAG {
    QMV3_RECORDER_FLAG_REPLACE = 0x1,       /**< replace files that exist: each is written under a hidden
                                                 name beside it and renamed over the old one when complete,
                                                 keeping its permissions; until then the old file stays */
    QMV3_RECORDER_FLAG_DROP_WHEN_FULL = 0x2 /**< qmRecorderWrite drops a frame at once when the queue is
                                                 full (for a caller that must not wait, such as a
                                                 delivery callback) instead of waiting for room */
};

/** The largest and default number of images in one IMC2/BKC2 file of a recording. */
#define QMV3_RECORDER_MAX_SPLIT 10000

/** Options of qmRecorderOpen; a zero member takes its default. */
typedef struct QMV3_RECORDER_OPTIONS {
    unsigned int size;        /**< sizeof(QMV3_RECORDER_OPTIONS), so that the record can grow */
    unsigned int flags;       /**< QMV3_RECORDER_FLAG_* bits */
    int compression;          /**< a QMV3_RECORDER_COMPRESSION value; default FAST */
    unsigned int split;       /**< images per IMC2/BKC2 file, 1 .. QMV3_RECORDER_MAX_SPLIT (the default);
                                   not used for HDF5 */
    unsigned int workers;     /**< compression threads, 1 .. 64; default one per core */
    unsigned int queueFrames; /**< frame buffers of the queue, 2 .. 1024; default workers + 2 */
} QMV3_RECORDER_OPTIONS;

/** Counters of a recorder (qmRecorderGetStatistics, qmRecorderClose). */
typedef struct QMV3_RECORDER_STATISTICS {
    unsigned int size;               /**< sizeof(QMV3_RECORDER_STATISTICS), set by the caller; at most that
                                          many bytes are written */
    unsigned int queued;             /**< frames in the queue now (copied, not yet written) */
    unsigned int queueFrames;        /**< the queue's length */
    unsigned int queueHighWater;     /**< the most frames the queue held at once */
    unsigned long long received;     /**< frames handed to qmRecorderWrite and taken (valid) */
    unsigned long long written;      /**< frames in the files */
    unsigned long long dropped;      /**< frames dropped because the queue was full */
    unsigned long long lost;         /**< frames taken but not written because the recording failed */
    unsigned long long gaps;         /**< frame numbers missing between consecutive frames received */
    unsigned long long files;        /**< files holding frames */
    unsigned long long bytes;        /**< bytes in those files */
    unsigned long long fileBytes;    /**< bytes of the file being written (or written last) */
    unsigned long long rejected;     /**< frames refused with QMV3_RECORDER_INVALID_FRAME */
} QMV3_RECORDER_STATISTICS;

/** A recorder (opaque). */
typedef struct QMV3_RECORDER QMV3_RECORDER;

/** Opens a recorder on path and starts its threads. The extension chooses the output (".h5" and ".hdf5"
 * in any case HDF5, every other name IMC2/BKC2). The first file is created at once, so a name that cannot
 * be written fails here; it is removed again when the recorder closes without frames.
 * @param[out] recorder receives the recorder; set to null on failure
 * @param path the first file
 * @param options the options (may be null: every default)
 * @param[out] errorText the message on failure, naming the file and the system's reason (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_RECORDER_OK, or QMV3_RECORDER_PARAMETER_ERROR, QMV3_RECORDER_FILE_EXISTS,
 *         QMV3_RECORDER_OPEN_FAILED, QMV3_RECORDER_OUT_OF_MEMORY */
QMV3_EXPORT int qmRecorderOpen(QMV3_RECORDER** recorder, const char* path, const QMV3_RECORDER_OPTIONS* options,
                               char* errorText, unsigned int errorTextSize);
/** Hands one frame to the recorder, which copies it before returning (the caller keeps the frame, for
 * example a stream's borrowed frame, released right after). When the queue is full it waits for room,
 * or with QMV3_RECORDER_FLAG_DROP_WHEN_FULL drops the frame.
 * @param recorder an open recorder
 * @param frame a valid image (its frameBuffer holds appendedFrameSize bytes)
 * @return QMV3_RECORDER_OK (queued), QMV3_RECORDER_DROPPED, QMV3_RECORDER_INVALID_FRAME (not taken),
 *         QMV3_RECORDER_PARAMETER_ERROR, QMV3_RECORDER_OUT_OF_MEMORY (not taken, counted as dropped), or
 *         the code of the failure that stopped the recording (qmRecorderGetError has its message) */
QMV3_EXPORT int qmRecorderWrite(QMV3_RECORDER* recorder, const DIMAGE* frame);
/** The recorder's counters now.
 * @param recorder an open recorder
 * @param[in,out] statistics receives the counters; its size member must be set
 * @return QMV3_RECORDER_OK, or QMV3_RECORDER_PARAMETER_ERROR */
QMV3_EXPORT int qmRecorderGetStatistics(QMV3_RECORDER* recorder, QMV3_RECORDER_STATISTICS* statistics);
/** The name of one of the recording's files.
 * @param recorder an open recorder
 * @param index 1 for the first file, 2 for the second ...; 0 for the file being written (or written last)
 * @param[out] buffer receives the name when it fits
 * @param[in,out] size capacity on entry; length + 1 on return
 * @return QMV3_RECORDER_OK, or QMV3_RECORDER_PARAMETER_ERROR (null arguments, a buffer too small: size
 *         set to what is needed) */
QMV3_EXPORT int qmRecorderGetFileName(QMV3_RECORDER* recorder, unsigned int index, char* buffer, size_t* size);
/** The failure that stopped the recording, if any.
 * @param recorder an open recorder
 * @param[out] errorText its message, naming the file and the system's reason (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_RECORDER_OK when the recording has not failed, else the failure's code */
QMV3_EXPORT int qmRecorderGetError(QMV3_RECORDER* recorder, char* errorText, unsigned int errorTextSize);
/** Takes no more frames (qmRecorderWrite then gives QMV3_RECORDER_PARAMETER_ERROR), writes every frame
 * queued, completes the files and joins the threads; the statistics, file names and error stay readable
 * until qmRecorderClose. Finishing again does nothing more.
 * @param recorder an open recorder
 * @param[out] errorText the message of the first failure of the recording (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_RECORDER_OK, QMV3_RECORDER_PARAMETER_ERROR, or the code of the first failure */
QMV3_EXPORT int qmRecorderFinish(QMV3_RECORDER* recorder, char* errorText, unsigned int errorTextSize);
/** Counts of a recording from a stream (qmRecordStream): the stream's and the recorder's together. */
typedef struct QMV3_RECORD_PROGRESS {
    unsigned int size;            /**< sizeof(QMV3_RECORD_PROGRESS), set by the caller; at most that many
                                       bytes are written */
    unsigned int queued;          /**< frames waiting in the stream's queue and the recorder's */
    unsigned int queueFrames;     /**< both queues' lengths together */
    unsigned int linkLosses;      /**< lost links of the stream (each subscribed again) */
    double seconds;               /**< since the recording from the stream began */
    unsigned long long received;  /**< frames received from the stream (repetitions not counted) */
    unsigned long long written;   /**< frames in the files */
    unsigned long long dropped;   /**< frames not written: the stream's queue or the recorder's was full
                                       (the disk or the compressor could not keep up), a failed write
                                       lost them, or the recorder refused them as invalid */
    unsigned long long gaps;      /**< frame numbers the camera skipped */
    unsigned long long files;     /**< files holding frames */
    unsigned long long bytes;     /**< bytes in those files */
    unsigned long long fileBytes; /**< bytes of the file being written (or written last) */
} QMV3_RECORD_PROGRESS;

/** Called by qmRecordStream about twice a second on its thread, with the counts so far. */
typedef void (*QMV3_RECORD_CALLBACK)(const QMV3_RECORD_PROGRESS* progress, void* context);

/** Records a stream to the end: hands every frame of stream to recorder (waiting for room, so that a
 * stream with QMV3_STREAM_KEEP_OLDEST drops the frames that come while the disk or the compressor is
 * behind) until `frames` frames were taken, `milliseconds` passed, *interrupt became 1, the stream ended
 * or the recording failed. A stop by time or by the flag also writes the frames the stream had queued
 * at that moment. Then finishes the recorder (qmRecorderFinish); the caller still closes both.
 * @param recorder an open recorder
 * @param stream an open stream
 * @param frames frames to take; 0: no limit
 * @param milliseconds how long to record; 0: no limit
 * @param interrupt the value 1 stops the recording (may be null; another thread or a signal handler may
 *        set it)
 * @param callback called with the counts about twice a second (may be null)
 * @param context passed to callback
 * @param[in,out] result the final counts (may be null; its size member must be set)
 * @return QMV3_RECORDER_OK (the count or the time was reached), QMV3_RECORDER_INTERRUPTED,
 *         QMV3_RECORDER_STREAM_ENDED, QMV3_RECORDER_PARAMETER_ERROR, or the code of the failure that
 *         stopped the recording (qmRecorderGetError has its message) */
QMV3_EXPORT int qmRecordStream(QMV3_RECORDER* recorder, QMV3_STREAM* stream, unsigned long long frames,
                               unsigned long long milliseconds, volatile int* interrupt,
                               QMV3_RECORD_CALLBACK callback, void* context, QMV3_RECORD_PROGRESS* result);
/** Finishes the recorder as qmRecorderFinish does (when it was not finished) and frees it, whatever the
 * result.
 * @param recorder an open recorder (may be null: nothing to do)
 * @param[out] statistics the final counters (may be null; its size member must be set)
 * @param[out] errorText the message of the first failure of the recording (may be null)
 * @param errorTextSize capacity of errorText
 * @return QMV3_RECORDER_OK, or the code of the first failure */
QMV3_EXPORT int qmRecorderClose(QMV3_RECORDER* recorder, QMV3_RECORDER_STATISTICS* statistics, char* errorText,
                                unsigned int errorTextSize);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* Older video data                                                                                */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @addtogroup older Older video data
 * The older multi-frame record VIDINFHDR, its IMM, BKG, IMC and BKC files, BMP export and import,
 * conversion from image sequences and the analysis algorithms. Nothing is logged (but the BMP import's
 * traces at log level 2); every loader fills only an empty record and leaves it unchanged or empty on
 * failure; a saver that fails after creating its file removes it. Any thread, each call with its own
 * records.
 * @{
 */

/** Results of the older loaders. */
enum QMV3_LEGACY_LOAD_RESULT {
    QMV3_LEGACY_LOAD_OK = 0,                    /**< loaded */
    QMV3_LEGACY_LOAD_NO_EXTENSION = -1,         /**< load_file: no known extension */
    QMV3_LEGACY_LOAD_UNKNOWN_TYPE = -2,         /**< load_file: type 5 or above 6 */
    QMV3_LEGACY_LOAD_OPEN_FAILED = -3,          /**< the file could not be opened */
    QMV3_LEGACY_LOAD_BAD_CONTENT = -4,          /**< unexpected content */
    QMV3_LEGACY_LOAD_SHORT_READ = -5,           /**< a read came back short */
    QMV3_LEGACY_LOAD_NOT_EMPTY = -6,            /**< the record is null or holds frames */
    QMV3_LEGACY_LOAD_OUT_OF_MEMORY = -7,        /**< out of memory */
    QMV3_LEGACY_LOAD_DECOMPRESSION_FAILED = -8, /**< zlib failed; load_bmp_file: a kind it does not read */
    QMV3_LEGACY_LOAD_INTERRUPTED = -9,          /**< stopped through the cancel flag */
    QMV3_LEGACY_LOAD_NULL_ARGUMENT = -10,       /**< load_bmp_file: null record or path */
    QMV3_LEGACY_LOAD_LIMIT_EXCEEDED = -11       /**< the frames would pass qmGetLoadMemoryLimit() */
};

/** Results of the older savers. */
enum QMV3_LEGACY_SAVE_RESULT {
    QMV3_LEGACY_SAVE_OK = 0,                  /**< saved */
    QMV3_LEGACY_SAVE_FRAME_COUNT = -1,        /**< a BKG file takes exactly one frame */
    QMV3_LEGACY_SAVE_BAD_TYPE = -2,           /**< record type not 1..4 or 6 (save_file: unknown type) */
    QMV3_LEGACY_SAVE_NO_FRAMES = -3,          /**< null record or numframes 0 */
    QMV3_LEGACY_SAVE_CREATE_FAILED = -4,      /**< the file could not be created */
    QMV3_LEGACY_SAVE_WRITE_FAILED = -5,       /**< a write failed */
    QMV3_LEGACY_SAVE_OUT_OF_MEMORY = -6,      /**< no compression buffer */
    QMV3_LEGACY_SAVE_COMPRESSION_FAILED = -7, /**< zlib compression failed */
    QMV3_LEGACY_SAVE_PATH_TOO_LONG = -8,      /**< save_file: more than 1019 characters */
    QMV3_LEGACY_SAVE_INTERRUPTED = -9,        /**< stopped through the cancel flag; save_bmp_files: bad argument */
    QMV3_LEGACY_SAVE_NOT_8_BIT = -10          /**< save_bmp_files: bpp is not 8 */
};

/** Palettes of save_bmp_files, and BMP-specific names of shared codes. */
enum QMV3_BMP {
    QMV3_BMP_PALETTE_GRAY = 0,         /**< (i, i, i) */
    QMV3_BMP_PALETTE_FALSE_COLOUR = 1, /**< black, blue, green, red, white */
    QMV3_BMP_PALETTE_JET = 2,          /**< dark blue to dark red, white at 255 */
    QMV3_BMP_PARAMETER_ERROR = -9,     /**< save_bmp_files: palette, digits or prefix refused */
    QMV3_BMP_UNSUPPORTED = -8          /**< load_bmp_file: compressed, or neither 8 nor 24 bits */
};

/** Contrasts of qmMapFramesTo8Bits. */
enum QMV3_CONTRAST {
    QMV3_CONTRAST_BITS = 0,     /**< 0 .. 2^ebitpp - 1 spread over 0 .. 255 */
    QMV3_CONTRAST_AUTOMATIC = 1 /**< the 0.5 and 99.5 percentiles of all frames together onto 0 and 255 */
};

/** Results of qmMapFramesTo8Bits. */
enum QMV3_MAP_RESULT {
    QMV3_MAP_OK = 0,            /**< every frame holds 8 bits */
    QMV3_MAP_REFUSED = -1,      /**< null or empty record, bpp not 8 or 16, no pixels, a null frame, an
                                     unknown contrast */
    QMV3_MAP_OUT_OF_MEMORY = -2 /**< out of memory; the record is unchanged */
};

/** Results of qmBunchToVIDINFHDREx2 and its shorter forms. */
enum QMV3_BUNCH_CONVERT_RESULT {
    QMV3_BUNCH_CONVERT_OK = 1,               /**< converted */
    QMV3_BUNCH_CONVERT_PARAMETER_ERROR = 0,  /**< null record or sequence, no images, mode not 0 or 1 */
    QMV3_BUNCH_CONVERT_NOT_A_SEQUENCE = -1,  /**< qmIsSequence did not return 1 */
    QMV3_BUNCH_CONVERT_NOT_CONVERTIBLE = -2, /**< not GRAY, not 1 or 2 bytes per pixel, or x and y scales differ */
    QMV3_BUNCH_CONVERT_OUT_OF_MEMORY = -3    /**< out of memory */
};

/** Results of calculate_significance_map. */
enum QMV3_SIGNIFICANCE_RESULT {
    QMV3_SIGNIFICANCE_OK = 0,                   /**< the map was made */
    QMV3_SIGNIFICANCE_MAP_NOT_EMPTY = -1,       /**< the map record's type is not -1 */
    QMV3_SIGNIFICANCE_FIRST_TOO_SHORT = -2,     /**< the first record has fewer than 2 frames */
    QMV3_SIGNIFICANCE_SECOND_TOO_SHORT = -3,    /**< the second record has fewer than 2 frames */
    QMV3_SIGNIFICANCE_FRAME_COUNTS_DIFFER = -4, /**< the frame counts differ */
    QMV3_SIGNIFICANCE_RECORDS_DIFFER = -5,      /**< width, height, bpp or ebitpp differ */
    QMV3_SIGNIFICANCE_OUT_OF_MEMORY = -6,       /**< out of memory */
    QMV3_SIGNIFICANCE_BAD_BITS = -7             /**< bpp is 0 or above 32 */
};

/** Results of xrayfilter, normalizeframes and normalizeframes_rect. */
enum QMV3_FILTER_RESULT {
    QMV3_FILTER_OK = 0,      /**< done (also for a record without frames) */
    QMV3_FILTER_REFUSED = -1 /**< empty record, too small a frame, a bad rectangle or bpp */
};

/** Results of convert_format. */
enum QMV3_CONVERT_FORMAT_RESULT {
    QMV3_CONVERT_FORMAT_OK = 0,            /**< type is now the new type */
    QMV3_CONVERT_FORMAT_BAD_TYPE = -1,     /**< the record's type is not 1..4 */
    QMV3_CONVERT_FORMAT_BAD_NEW_TYPE = -2, /**< the new type is not 1..4 */
    QMV3_CONVERT_FORMAT_BAD_METHOD = -3,   /**< the method does not fit the conversion */
    QMV3_CONVERT_FORMAT_NEEDS_METHOD = -4, /**< several frames to BKG without a method */
    QMV3_CONVERT_FORMAT_BAD_BITS = -5,     /**< reduction: bpp above 32 */
    QMV3_CONVERT_FORMAT_OUT_OF_MEMORY = -6 /**< reduction: out of memory */
};

/** Methods of convert_format that reduce several frames to one background frame. */
enum QMV3_REDUCTION {
    QMV3_REDUCE_NONE = 0,    /**< no reduction */
    QMV3_REDUCE_AVERAGE = 1, /**< per-pixel mean, truncated */
    QMV3_REDUCE_ENVELOPE = 2 /**< per-pixel maximum */
};

/** Makes a record empty for its first load: type -1, null framebits and framescales; nothing else.
 * @param rec the record
 * @return 0, or -1 for null */
QMV3_EXPORT int initialize_vidinfhdr(VIDINFHDR* rec);
/** For types 1..6: releases every frame, framebits and framescales, sets type to -1 and both pointers to
 * null; other types are left alone. Geometry fields keep their values.
 * @param rec the record
 * @return 0 */
QMV3_EXPORT int free_vidinfhdr(VIDINFHDR* rec);
/** Loads an IMM file (frames of two header words, pixels and a scale; bytes after the last whole frame
 * are ignored).
 * @param path the file
 * @param rec an empty record; receives type VIDINFHDR_TYPE_IMM
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_imm_file(const char* path, VIDINFHDR* rec);
/** Loads a BKG file: one frame, scale 1.0.
 * @param path the file
 * @param rec an empty record; receives type VIDINFHDR_TYPE_BKG
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_bkg_file(const char* path, VIDINFHDR* rec);
/** Loads a file of repeated 8-bit BKG frames (the second header word is taken whole as the height).
 * @param path the file
 * @param rec an empty record; receives type VIDINFHDR_TYPE_BKC and scale 1.0; ebitpp is not set
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_bkg_file_arb(const char* path, VIDINFHDR* rec);
/** Loads an IMC or BKC file (the same layout).
 * @param path the file
 * @param rec an empty record
 * @param type the type the record receives, VIDINFHDR_TYPE_IMC or VIDINFHDR_TYPE_BKC
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_imc_bkc_file(const char* path, VIDINFHDR* rec, int type);
/** load_imc_bkc_file with VIDINFHDR_TYPE_IMC.
 * @param path the file
 * @param rec an empty record
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_imc_file(const char* path, VIDINFHDR* rec);
/** load_imc_bkc_file with VIDINFHDR_TYPE_BKC.
 * @param path the file
 * @param rec an empty record
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_bkc_file(const char* path, VIDINFHDR* rec);
/** Loads by type, or for type 0 by the path's extension (".imm", ".imc", ".bkg", ".bkc", ".bmp", any case).
 * @param type 0 or a VIDINFHDR_TYPE_* other than the significance map
 * @param path the file
 * @param rec an empty record
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_file(int type, const char* path, VIDINFHDR* rec);
/** Text of a QMV3_LEGACY_LOAD_* code, for example "Out of memory."; unknown codes give
 * "Return code N is unknown.". Any thread.
 * @param code the code
 * @param[out] buffer receives the text, cut to size - 2 characters
 * @param size capacity of buffer
 * @return buffer, or the static text "Error translating return code." for a null buffer or a size below 2 */
QMV3_EXPORT const char* load_file__return_code_to_string(int code, char* buffer, size_t size);
/** Saves every frame as an IMM file.
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_imm_file(const char* path, VIDINFHDR* rec);
/** save_imm_file with a cancel flag and progress.
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @param cancel the value 1 stops the save and removes the file (may be null)
 * @param[out] progress 0.0 .. 1.0 (may be null)
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_imm_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
/** Saves the one frame of a record as a BKG file (no scale is stored).
 * @param path the file
 * @param rec a record of type 1..4 or 6 with one frame
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_bkg_file(const char* path, VIDINFHDR* rec);
/** Saves every frame, zlib-compressed, as an IMC file.
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_imc_file(const char* path, VIDINFHDR* rec);
/** save_imc_file with a cancel flag and progress.
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @param cancel the value 1 stops the save and removes the file (may be null)
 * @param[out] progress 0.0 .. 1.0 (may be null)
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_imc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
/** Saves as a BKC file (the IMC layout).
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_bkc_file(const char* path, VIDINFHDR* rec);
/** save_bkc_file with a cancel flag and progress.
 * @param path the file
 * @param rec a record of type 1..4 or 6
 * @param cancel the value 1 stops the save and removes the file (may be null)
 * @param[out] progress 0.0 .. 1.0 (may be null)
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_bkc_fileEx(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
/** Saves by type under the path as given, or for type 0 by the record's type with its extension appended
 * to the path (always, even when the path already ends with it).
 * @param type 0, or VIDINFHDR_TYPE_IMM .. VIDINFHDR_TYPE_BKC
 * @param path the file, at most 1019 characters
 * @param rec the record
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_file(int type, const char* path, VIDINFHDR* rec);
/** Writes one 8-bit bitmap per frame, named prefix + frame number (from 1) + ".bmp" (qmGetBitmapFileName),
 * each of qmGetBitmapFileSize bytes. Files written before a failure stay.
 * @param prefix start of the file names, not empty
 * @param rec a record of type 1..4 or 6 with bpp 8
 * @param palette a QMV3_BMP_PALETTE_*
 * @param digits 0: "1", 1: "01", 2: "001", 3: "0001"
 * @return a QMV3_LEGACY_SAVE_* code */
QMV3_EXPORT int save_bmp_files(const char* prefix, VIDINFHDR* rec, int palette, int digits);
/** The name save_bmp_files gives the bitmap of a frame: prefix, the number with at least digits + 1
 * places (zeros in front), ".bmp"; "run007.bmp" for prefix "run", number 7, digits 2. Any thread.
 * @param prefix start of the name (may be empty)
 * @param number the frame's number, from 1 (>= 0)
 * @param digits 0 .. 3, as for save_bmp_files
 * @param[out] name receives the name
 * @param nameSize capacity of name
 * @return 0, or -1 for a null argument, a negative number, digits outside 0 .. 3 or a name longer than
 *         nameSize - 1 */
QMV3_EXPORT int qmGetBitmapFileName(const char* prefix, int number, int digits, char* name, size_t nameSize);
/** The size of a bitmap save_bmp_files writes for a frame: 1078 bytes of headers and palette, then the
 * rows, each padded to a multiple of 4 bytes. Any thread.
 * @param width pixels per row
 * @param height rows
 * @return the size in bytes, or 0 when it exceeds the format's 32-bit size field (save_bmp_files refuses
 *         such frames) */
QMV3_EXPORT uint64_t qmGetBitmapFileSize(unsigned int width, unsigned int height);
/** Maps every frame of a record onto 8 bits for save_bmp_files, in place: each value v becomes
 * (v - low) * 255 / (high - low) + 0.5, cut to 0 .. 255. QMV3_CONTRAST_BITS takes low 0 and high
 * 2^ebitpp - 1 (ebitpp outside 1 .. bpp counts as bpp); QMV3_CONTRAST_AUTOMATIC counts the values of all
 * frames together and, with n of them, sets n / 200 aside at either end: low is the smallest value left,
 * high the largest (at least low + 1). bpp and ebitpp become 8; each frame keeps its block, of which the
 * first width * height bytes now hold the pixels. Any thread, each call with its own record.
 * @param rec a loaded record of bpp 8 or 16 (values in host byte order)
 * @param contrast a QMV3_CONTRAST_*
 * @return a QMV3_MAP_* code; on failure the record is unchanged */
QMV3_EXPORT int qmMapFramesTo8Bits(VIDINFHDR* rec, int contrast);
/** A short text for a result of save_bmp_files, as a message can go on with it: "a file could not be
 * written" for QMV3_LEGACY_SAVE_WRITE_FAILED; the texts of QMV3_LEGACY_SAVE_BAD_TYPE, NO_FRAMES,
 * CREATE_FAILED, NOT_8_BIT and QMV3_BMP_PARAMETER_ERROR likewise; "export failed" for any other code.
 * Any thread.
 * @param code the code
 * @return a static text, never null */
QMV3_EXPORT const char* qmGetBitmapSaveText(int code);
/** Imports an uncompressed 8- or 24-bit bitmap as one 8-bit grey frame (0.299 R + 0.587 G + 0.114 B).
 * @param path the file
 * @param rec an empty record; receives type VIDINFHDR_TYPE_BMP and scale 1.0
 * @param grayIndices non-zero: an 8-bit file's palette indices are taken as grey values
 * @return a QMV3_LEGACY_LOAD_* code */
QMV3_EXPORT int load_bmp_file(const char* path, VIDINFHDR* rec, int grayIndices);

/** Converts a sequence of GRAY images of 1 or 2 bytes per pixel with equal x and y scales into a record of
 * type VIDINFHDR_TYPE_IMM (width and height of the appended rectangle, scale the x scale or 1.0).
 * @param aImages the sequence (qmIsSequence must give 1)
 * @param[out] aV the record; overwritten without being released, untouched on failure
 * @param[out] errorText the message on failure (may be null)
 * @param errorTextSize capacity of errorText
 * @param aiLowMemoryConsumption 0: copy the frames; 1: move them and free the sequence, so that at most one
 *        frame exists twice
 * @param[out] sequenceKept 1 when the sequence is unchanged, 0 when it was consumed (may be null)
 * @return a QMV3_BUNCH_CONVERT_* code; QMV3_BUNCH_CONVERT_OK (1) on success */
QMV3_EXPORT int qmBunchToVIDINFHDREx2(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, char* errorText,
                                      unsigned int errorTextSize, int aiLowMemoryConsumption, int* sequenceKept);
/** qmBunchToVIDINFHDREx2 without a message.
 * @param aImages the sequence
 * @param[out] aV the record
 * @param aiLowMemoryConsumption 0 copy, 1 move
 * @param[out] sequenceKept (may be null)
 * @return a QMV3_BUNCH_CONVERT_* code */
QMV3_EXPORT int qmBunchToVIDINFHDREx(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, int aiLowMemoryConsumption,
                                     int* sequenceKept);
/** qmBunchToVIDINFHDREx2 copying the frames, without a message.
 * @param aImages the sequence
 * @param[out] aV the record
 * @return a QMV3_BUNCH_CONVERT_* code */
QMV3_EXPORT int qmBunchToVIDINFHDR(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV);

/** Marks the pixels where the first record's mean exceeds the second's by no more than factor times the
 * second's sample standard deviation: map pixel 1 when factor * s >= mean1 - mean2, else 0.
 * @param first a record of at least 2 frames
 * @param second a record of as many frames and the same width, height, bpp and ebitpp
 * @param[out] map an empty record; receives one frame of type VIDINFHDR_TYPE_SIGNIFICANCE_MAP
 * @param factor the factor
 * @return a QMV3_SIGNIFICANCE_* code; the inputs are never changed, the map stays empty on failure */
QMV3_EXPORT int calculate_significance_map(VIDINFHDR* first, VIDINFHDR* second, VIDINFHDR* map, double factor);
/** Removes isolated bright pixels in place: an interior pixel with more than 3 of its 8 neighbours below
 * 2/3 of its value becomes their mean.
 * @param rec a loaded record of at least 4 x 4 pixels and bpp 8, 16 or 32
 * @return a QMV3_FILTER_* code */
QMV3_EXPORT int xrayfilter(VIDINFHDR* rec);
/** Stretches each frame inside a rectangle (corners inclusive, in any order) so that its largest value
 * becomes 2^ebitpp - 1; pixels outside are unchanged.
 * @param rec a loaded record of bpp 8, 16 or 32
 * @param x1 a corner column
 * @param y1 a corner row
 * @param x2 the other corner column
 * @param y2 the other corner row
 * @return a QMV3_FILTER_* code; a rectangle reaching outside the frame is refused */
QMV3_EXPORT int normalizeframes_rect(VIDINFHDR* rec, unsigned x1, unsigned y1, unsigned x2, unsigned y2);
/** normalizeframes_rect over the whole frame.
 * @param rec a loaded record
 * @return a QMV3_FILTER_* code */
QMV3_EXPORT int normalizeframes(VIDINFHDR* rec);
/** Changes a record's type among IMM, IMC, BKG and BKC; several frames become one BKG frame by a reduction.
 * @param rec a record of type 1..4
 * @param newType VIDINFHDR_TYPE_IMM .. VIDINFHDR_TYPE_BKC
 * @param reductionMethod a QMV3_REDUCE_*: required for several frames to BKG, else QMV3_REDUCE_NONE
 * @return a QMV3_CONVERT_FORMAT_* code */
QMV3_EXPORT int convert_format(VIDINFHDR* rec, int newType, int reductionMethod);

/** @} */

/* ---------------------------------------------------------------------------------------------- */
/* System list                                                                                     */
/* ---------------------------------------------------------------------------------------------- */

/**
 * @addtogroup syslist System list
 * Names from the system's XML system list. Each call loads and validates the file, answers and forgets
 * it; problems of the file are written to standard error. Call first with null arrays to learn the
 * count, then again with arrays of that many records and *count set to their number. Any thread.
 * @{
 */

/** Results of the system-list calls. */
enum QMV3_SYSLIST_RESULT {
    QMV3_SYSLIST_OK = 1,            /**< answered */
    QMV3_SYSLIST_NULL_ARGUMENT = 0, /**< path or count is null */
    QMV3_SYSLIST_LOAD_FAILED = -1,  /**< the list could not be opened, parsed or validated */
    QMV3_SYSLIST_QUERY_FAILED = -2  /**< a query on the loaded list failed */
};

/** The frame-grabber servers (SGPs) of a system list and its control-system context.
 * @param path the system list file
 * @param[out] context receives the context, at most 63 characters (64 bytes; may be null)
 * @param[out] names receives the server names in file order (may be null)
 * @param[in,out] count room in names on entry; the number of names (written, or in the list when names
 *        is null) on return
 * @return a QMV3_SYSLIST_* code */
QMV3_EXPORT int qmGetAllRawVideoServerNames(const char* path, char* context, NAME64* names, unsigned int* count);
/** The image sources of a system list, with or without their numbers.
 * @param path the system list file
 * @param[out] names receives the source names in file order (may be null)
 * @param[out] ids receives names and numbers (may be null)
 * @param[in,out] count room in the arrays on entry; the number of entries on return
 * @return a QMV3_SYSLIST_* code */
QMV3_EXPORT int qmGetAllImageSourceNames(const char* path, NAME64* names, NAME64I* ids, unsigned int* count);

/** @} */

#ifdef __cplusplus
} /* extern "C" */
#endif

/** @cond QMV3_INTERNAL */
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
QMV3_STATIC_ASSERT(sizeof(QMV3_STATISTICS) == 192, "QMV3_STATISTICS");
QMV3_OFFSET_IS(QMV3_STATISTICS, saturated, 64);
QMV3_OFFSET_IS(QMV3_STATISTICS, pixels, 168);
QMV3_OFFSET_IS(QMV3_STATISTICS_OPTIONS, backgroundValue, 32);
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

/** @endcond */

#endif /* QMV3_QMV3_H */
