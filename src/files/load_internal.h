// Pieces of the IMC2/BKC2 reader shared between its modules: the reading context, the take-over of
// metadata values into image headers, and the reading of one pixel block.
#ifndef QMV3_FILES_LOAD_INTERNAL_H
#define QMV3_FILES_LOAD_INTERNAL_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "qmv3/qmv3.h"
#include "util/byte_io.h"
#include "util/deflate_engine.h"
#include "util/load_limit.h"

namespace imc2load {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
template <typename T>
using FreePtr = std::unique_ptr<T, FreeDeleter>;

// The file being read and where its failures go.
class Reader {
  public:
    Reader(const char* path, int& code, std::string& errorText, double* percent);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // Opens the file and takes its size; false with the code and message.
    bool Open();
    // Sets the code and message; always false.
    bool Fail(int failCode, const std::string& text) const;
    void Progress(double value) const;
    // Bytes between the read position and the end of the file.
    uint64_t Remaining() const;
    // The buffer into which compressed blocks are read whole, grown to the largest block of the load (so
    // the load holds at most one such buffer beside its frames); null when memory is short.
    unsigned char* BlockBuffer(uint64_t size) const;
    // Inflates the blocks of every image of the load.
    deflate_engine::Inflater& inflater() const { return inflater_; }
    // Counts `bytes` of decoded frames against the load memory limit before they are allocated; false
    // with QMV3_LOAD_LIMIT_EXCEEDED and the one-line refusal once the load would pass the limit.
    bool TakeDecodedBytes(uint64_t bytes) const;

    const char* path;
    const std::string prefix;  // File "<path>"
    // The fields of the file, and the file itself for the metadata-set reader.
    byte_io::ByteReader& fields() const { return fields_; }
    FILE* file() const { return fields_.file(); }

  private:
    int& code_;
    std::string& errorText_;
    double* percent_;
    mutable byte_io::ByteReader fields_;
    mutable FreePtr<unsigned char> block_;
    mutable uint64_t blockCapacity_ = 0;
    mutable deflate_engine::Inflater inflater_;
    mutable load_limit::Budget budget_;
};

// Parameter checks common to the dispatch and the reader (code -1).
bool CheckLoadParameters(const char* asFilePath, QMBUNCHOFIMAGES* apImages, int& code, std::string& errorText);

// The header every image of the file at path starts from, before its metadata is read: the fixed
// tags, the file's modification time, the path as port name, every other field unset.
DIMAGE MakeTemplate(const char* path);

// Takes one global value over into the header template (or the image count).
bool ApplyGlobalValue(const Reader& reader, const std::string& key, const std::string& value, DIMAGE& tmpl,
                      uint32_t& numImages);

// Takes one per-image value over into the image k of n.
bool ApplyImageValue(const Reader& reader, const std::string& key, const std::string& value, DIMAGE& image, uint32_t k,
                     uint32_t n);

// Allocates the frame buffer of the image and reads its pixel block into it, inflating it when it is
// compressed. The frame buffer is attached to the image at once, so whoever frees the image frees it.
// With a slot (lenUncompressed bytes inside a block of the caller) the pixels go there instead.
bool ReadPixels(const Reader& reader, uint32_t k, uint32_t n, uint64_t lenUncompressed, uint64_t lenCompressed,
                DIMAGE& image, unsigned char* slot = nullptr);

// Moves over a pixel block of lenCompressed bytes without reading it; false (short read) when the file
// ends before.
bool SkipPixels(const Reader& reader, uint32_t k, uint32_t n, uint64_t lenCompressed);

}  // namespace imc2load

namespace load_options {

// The options' own checks (size, flags, range); false with the message.
bool CheckOptions(const char* path, const QMV3_LOAD_OPTIONS& options, std::string& errorText);
// A load with options of the files' kinds (IMC2/BKC2 and the older kinds; any other file is loaded whole
// and cut to the options): a load result code with errorText.
int LoadWithOptions(const char* path, QMBUNCHOFIMAGES* images, const QMV3_LOAD_OPTIONS& options, std::string& errorText,
                    int* interrupt, double* percent);

}  // namespace load_options

#endif
