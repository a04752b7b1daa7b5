// The zlib and libdeflate engines behind the deflate seam. The zlib compressor keeps one deflate state and
// resets it per block: with the parameters compress() uses (default level, 15-bit window, memory level 8,
// default strategy) and the whole block in one Z_FINISH call, the stream is byte for byte what compress()
// writes, without compress()'s allocation of a fresh state for every block.
#include "util/deflate_engine.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#ifdef QMV3_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "util/frame_memory.h"

namespace deflate_engine {

namespace {

// zlib counts in 32-bit units and refuses a null pointer even for an empty buffer.
bool FitsZlib(size_t length) { return length <= UINT32_MAX; }

unsigned char emptyBlock[1];

Bytef* NonNull(const void* pointer) {
    return pointer != nullptr ? static_cast<Bytef*>(const_cast<void*>(pointer)) : emptyBlock;
}

z_stream* NewDeflateState() {
    auto* stream = static_cast<z_stream*>(std::calloc(1, sizeof(z_stream)));
    if (stream == nullptr) return nullptr;
    if (deflateInit(stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        std::free(stream);
        return nullptr;
    }
    return stream;
}

#ifndef QMV3_HAVE_LIBDEFLATE
z_stream* NewInflateState() {
    auto* stream = static_cast<z_stream*>(std::calloc(1, sizeof(z_stream)));
    if (stream == nullptr) return nullptr;
    if (inflateInit(stream) != Z_OK) {
        std::free(stream);
        return nullptr;
    }
    return stream;
}

bool InflateZlib(z_stream* stream, const void* input, size_t inputLength, void* output, size_t expectedLength) {
    if (!FitsZlib(inputLength) || !FitsZlib(expectedLength) || inflateReset(stream) != Z_OK) return false;
    stream->next_in = NonNull(input);
    stream->avail_in = static_cast<uInt>(inputLength);
    stream->next_out = NonNull(output);
    stream->avail_out = static_cast<uInt>(expectedLength);
    // All of the output space at once: a stream that would give more stops with Z_BUF_ERROR.
    return inflate(stream, Z_FINISH) == Z_STREAM_END && stream->total_out == expectedLength;
}
#endif

}  // namespace

bool LibdeflateAvailable() {
#ifdef QMV3_HAVE_LIBDEFLATE
    return true;
#else
    return false;
#endif
}

namespace {

// The level the variable names: 1 (the default level) to 12; 0 for anything else.
int NamedLevel() {
    const char* value = std::getenv(kFastCompressionVariable);
    if (value == nullptr || value[0] == '0') return 0;
    int level = 0;
    for (const char* digit = value; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9' || digit - value >= 2) return 0;
        level = 10 * level + (*digit - '0');
    }
    return level <= 12 ? level : 0;
}

}  // namespace

Engine WriteEngineFromEnvironment() {
    if (NamedLevel() != 0 && LibdeflateAvailable()) return Engine::kLibdeflate;
    return Engine::kZlib;
}

int FastLevelFromEnvironment() {
    const int level = NamedLevel();
    return level >= 2 ? level : kDefaultFastLevel;
}

// ---- Compressor ------------------------------------------------------------------------------------------

Compressor::Compressor(Engine engine, int level)
    : engine_(LibdeflateAvailable() ? engine : Engine::kZlib),
      level_(level >= 1 && level <= 12 ? level : kDefaultFastLevel) {}

Compressor::~Compressor() {
    if (state_ != nullptr) {
        if (engine_ == Engine::kZlib) {
            deflateEnd(static_cast<z_stream*>(state_));
            std::free(state_);
        } else {
#ifdef QMV3_HAVE_LIBDEFLATE
            libdeflate_free_compressor(static_cast<libdeflate_compressor*>(state_));
#endif
        }
    }
    std::free(buffer_);
}

bool Compressor::EnsureCapacity(size_t capacity) {
    if (capacity <= capacity_) return true;
    // The old contents are not needed, so a fresh block avoids realloc's copy.
    std::free(buffer_);
    buffer_ = static_cast<unsigned char*>(frame_memory::AllocateFrame(capacity));
    capacity_ = buffer_ != nullptr ? capacity : 0;
    return buffer_ != nullptr;
}

size_t Compressor::Bound(size_t inputLength) {
    if (engine_ == Engine::kZlib) {
        if (state_ == nullptr) state_ = NewDeflateState();
        if (state_ == nullptr || !FitsZlib(inputLength)) return 0;
        const size_t bound = compressBound(static_cast<uLong>(inputLength));
        return FitsZlib(bound) ? bound : 0;
    }
#ifdef QMV3_HAVE_LIBDEFLATE
    if (state_ == nullptr) state_ = libdeflate_alloc_compressor(level_);
    if (state_ == nullptr) return 0;
    return libdeflate_zlib_compress_bound(static_cast<libdeflate_compressor*>(state_), inputLength);
#else
    return 0;
#endif
}

bool Compressor::Reserve(size_t inputLength) {
    const size_t bound = Bound(inputLength);
    return bound != 0 && EnsureCapacity(bound);
}

bool Compressor::Compress(const void* input, size_t inputLength, const unsigned char** output, size_t* outputLength) {
    if ((input == nullptr && inputLength != 0) || output == nullptr || outputLength == nullptr) return false;
    if (!Reserve(inputLength)) return false;
    const bool done = engine_ == Engine::kZlib ? CompressZlib(input, inputLength, outputLength)
                                               : CompressLibdeflate(input, inputLength, outputLength);
    if (done) *output = buffer_;
    return done;
}

// The whole block in one call with all of the bound as room: deflate finishes in that call.
bool Compressor::CompressZlib(const void* input, size_t inputLength, size_t* outputLength) {
    auto* stream = static_cast<z_stream*>(state_);
    if (deflateReset(stream) != Z_OK) return false;
    stream->next_in = NonNull(input);
    stream->avail_in = static_cast<uInt>(inputLength);
    stream->next_out = buffer_;
    stream->avail_out = static_cast<uInt>(capacity_);
    if (deflate(stream, Z_FINISH) != Z_STREAM_END) return false;
    *outputLength = static_cast<size_t>(stream->total_out);
    return true;
}

bool Compressor::CompressLibdeflate(const void* input, size_t inputLength, size_t* outputLength) {
#ifdef QMV3_HAVE_LIBDEFLATE
    auto* compressor = static_cast<libdeflate_compressor*>(state_);
    const size_t produced = libdeflate_zlib_compress(compressor, NonNull(input), inputLength, buffer_, capacity_);
    if (produced == 0) return false;
    *outputLength = produced;
    return true;
#else
    (void)input;
    (void)inputLength;
    (void)outputLength;
    return false;
#endif
}

// ---- Inflater --------------------------------------------------------------------------------------------

Inflater::Inflater() = default;

Inflater::~Inflater() {
    if (state_ == nullptr) return;
#ifdef QMV3_HAVE_LIBDEFLATE
    libdeflate_free_decompressor(static_cast<libdeflate_decompressor*>(state_));
#else
    inflateEnd(static_cast<z_stream*>(state_));
    std::free(state_);
#endif
}

bool Inflater::Inflate(const void* input, size_t inputLength, void* output, size_t expectedLength) {
    if ((input == nullptr && inputLength != 0) || (output == nullptr && expectedLength != 0)) return false;
#ifdef QMV3_HAVE_LIBDEFLATE
    if (state_ == nullptr) state_ = libdeflate_alloc_decompressor();
    auto* decompressor = static_cast<libdeflate_decompressor*>(state_);
    if (decompressor == nullptr) return false;
    // A null count of bytes produced makes libdeflate insist on exactly expectedLength bytes.
    return libdeflate_zlib_decompress(decompressor, NonNull(input), inputLength, NonNull(output), expectedLength,
                                      nullptr) == LIBDEFLATE_SUCCESS;
#else
    if (state_ == nullptr) state_ = NewInflateState();
    auto* stream = static_cast<z_stream*>(state_);
    return stream != nullptr && InflateZlib(stream, input, inputLength, output, expectedLength);
#endif
}

}  // namespace deflate_engine
