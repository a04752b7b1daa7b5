// Internal entry points of the image sequence file functions: the IMC2/BKC2 writer and reader, the
// conversion of an older VIDINFHDR record into a sequence, and the path shortening used for the port
// name of loaded images. All report failures through their results; none logs.
#ifndef QMV3_FILES_SEQUENCE_FILES_H
#define QMV3_FILES_SEQUENCE_FILES_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "qmv3/qmv3.h"

namespace deflate_engine {
class Compressor;
}

// How the IMC2/BKC2 writer deflates pixel blocks: as the environment chooses (zlib's default level, or
// the fast engine when asked for), with the fast engine, or not at all (blocks stored as they are).
enum class Imc2Compression { kDefault, kFast, kNone };

// Writes an IMC2/BKC2 file. True when written completely; false with code and errorText set, and then no
// file is left behind (an existing file is never touched). The sequence is only read.
bool _internal_save_image_file_imc2(QMBUNCHOFIMAGES* apImages, const char* asFilePath, int& code,
                                    std::string& errorText, int* interrupt, double* percent,
                                    Imc2Compression compression = Imc2Compression::kDefault);

// Saves through the older record; the extension (".imc", ".bkc", ".imm" or ".bkg", any case) picks the
// saver, which replaces an existing file. Returns QMV3_SAVE_OK or the failure code with errorText set.
int _internal_save_older_file(QMBUNCHOFIMAGES* apImages, const char* path, std::string& errorText, int* interrupt,
                              double* percent);

// Loads an older file of a detected kind (VIDINFHDR_TYPE_IMM, _BKG, or _IMC for IMC and BKC) through its
// loader and the conversion into the empty sequence. Returns QMV3_LOAD_OK or a QMV3_LOAD_* code.
// With headersOnly the images have their headers only (see qmLoadImagesFromFileEx2).
int _internal_load_older_file(int kind, const char* path, QMBUNCHOFIMAGES* apImages, std::string& errorText,
                              int* interrupt, double* percent, bool headersOnly = false);

// Reads an IMC2/BKC2 file into the empty sequence apImages. True with code 0; false with code and errorText
// set and the sequence untouched (nothing allocated is handed out).
bool _internal_load_imc2_file(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int& code, std::string& errorText,
                              int* interrupt, double* percent);

// What a load reads of an IMC2/BKC2 file: the images first..last (from 1, last 0: to the end), with or
// without pixels, the frames in separate buffers or in one block (see qmLoadImagesFromFileEx2).
struct Imc2LoadPlan {
    uint32_t first = 1;
    uint32_t last = 0;
    bool headersOnly = false;
    bool oneBlock = false;
};

// _internal_load_imc2_file for the images and the form of the plan. A first image beyond the file's
// images fails with QMV3_LOAD_PARAMETER_ERROR.
bool _internal_load_imc2_file_planned(const char* asFilePath, QMBUNCHOFIMAGES* apImages, const Imc2LoadPlan& plan,
                                      int& code, std::string& errorText, int* interrupt, double* percent);

// How the images get their pixels: copies, leaving the record as it was, or the record's own frame
// buffers, whose pointers in the record become null (a loader that frees the record afterwards saves a
// copy of every frame), or none at all for a record loaded without pixels (the images then have their
// headers only: frameBuffer null, frameBufferSize 0).
enum class FrameHandover { kCopy, kTake, kHeadersOnly };

// Turns a loaded older record into GRAY images appended to the empty sequence apOutImages. path may be
// null (no time stamp, no port name). On false the sequence stays empty; frames already taken are freed.
bool internal_transcode_vidinfhdr_to_qmbunchofimages(const char* path, VIDINFHDR* apInVinf,
                                                     QMBUNCHOFIMAGES* apOutImages, int* interrupt, double* percent,
                                                     double percentStart, std::string& errorText,
                                                     FrameHandover handover = FrameHandover::kCopy);

// Writes path into dst (capacity dstSize, zero-filled): whole when it fits with its NUL, otherwise the
// beginning and the end joined by "...". A null path gives an all-zero dst.
void CompactPath(char* dst, size_t dstSize, const char* path);

// "File \"<path>\"": the prefix of the file messages.
std::string _internal_filePrefix(const char* path);
// The detail after a message's "File \"NAME\" load error: " or "... save error: ", with NAME; null when the
// message does not begin so.
const char* _internal_fileMessageDetail(const char* message, std::string& name);

// Copies a message into a caller buffer: at most size - 2 characters, NUL in the last byte; nothing when
// buffer is null or size < 2.
void _internal_copyErrorText(char* buffer, size_t size, const std::string& text);

// The pieces of an IMC2/BKC2 file for a writer that appends images as they arrive (the recorder); each
// fails as the whole-file writer does, with code and errorText set, and writes through stream.
// The file header and the global sets of a file of numImages images that share first's header.
bool _internal_write_imc2_start(FILE* stream, const char* path, const DIMAGE& first, uint32_t numImages, int& code,
                                std::string& errorText);
// The image header and metadata sets of image k of n (n 0: "image k", the count not known yet) whose pixel
// block is blockLength bytes long.
bool _internal_write_imc2_image_head(FILE* stream, const char* path, const DIMAGE& image, uint64_t blockLength,
                                     uint32_t k, uint32_t n, int& code, std::string& errorText);
// The pixel block of image k: the stream in the compressor's buffer when it is shorter than the frame,
// else the frame bytes themselves; a null compressor always gives the frame bytes.
bool _internal_imc2_pixel_block(deflate_engine::Compressor* compressor, const DIMAGE& image, const char* path,
                                uint32_t k, const unsigned char** data, uint64_t* length, int& code,
                                std::string& errorText);

#endif
