// The one place where pixel blocks are deflated and inflated, for the sequence files and the older
// compressed video files alike. Two engines make standard zlib streams: zlib's compress at its default
// level, whose bytes the file formats were written with, and libdeflate at a chosen level, which is
// several times faster. Reading always inflates with libdeflate (the streams are the same, it is only
// faster); a build without libdeflate uses zlib both ways.
//
// Thread rules: a Compressor or Inflater must not be used by two threads at once; the free functions
// share no state.
#ifndef QMV3_UTIL_DEFLATE_ENGINE_H
#define QMV3_UTIL_DEFLATE_ENGINE_H

#include <cstddef>

namespace deflate_engine {

enum class Engine { kZlib, kLibdeflate };

// Environment variable that switches writing to the fast engine: "1" at its default level, "2" to "12"
// at that level.
constexpr char kFastCompressionVariable[] = "ORSEL_CLIENTLIB_FAST_COMPRESSION";

// libdeflate's level behind "1", chosen by measurement on camera-like frames (docs/development.md, Performance):
// level 1 saves in 0.04 to 0.07 of zlib's default time with files within 3 % of zlib's size; levels 2
// to 4 take 0.09 to 0.15 of the time for files about 1 % smaller.
constexpr int kDefaultFastLevel = 1;

// True when the library was built with libdeflate.
bool LibdeflateAvailable();

// The engine a save writes with, read from the environment when the save starts: libdeflate when the
// variable is "1" and the build has it, else zlib.
Engine WriteEngineFromEnvironment();

// The fast engine's level, read from the environment: the level the variable names, else the default.
int FastLevelFromEnvironment();

// Deflates whole buffers into zlib streams. One object serves every block of a save: it keeps the
// engine's state and one working buffer, grown to the largest block, so no block allocates anew.
class Compressor {
  public:
    // level is the fast engine's (1 to 12, else the default); zlib always writes at its default level.
    explicit Compressor(Engine engine, int level = FastLevelFromEnvironment());
    ~Compressor();
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    Engine engine() const { return engine_; }

    // Makes the engine's state and room for the stream of a block of inputLength bytes; false only when
    // memory runs out. Compress does it too; calling it first tells a shortage from a failed compression.
    bool Reserve(size_t inputLength);

    // Deflates input; on success *output points at the stream inside the working buffer (valid until
    // the next call or the object's end) and *outputLength holds its length. False when memory runs
    // out or the engine fails; a null input is allowed only with length 0.
    bool Compress(const void* input, size_t inputLength, const unsigned char** output, size_t* outputLength);

  private:
    bool EnsureCapacity(size_t capacity);
    size_t Bound(size_t inputLength);  // 0 when the block is too large for the engine
    bool CompressZlib(const void* input, size_t inputLength, size_t* outputLength);
    bool CompressLibdeflate(const void* input, size_t inputLength, size_t* outputLength);

    Engine engine_;
    int level_;
    void* state_ = nullptr;  // z_stream or libdeflate compressor, made on first use
    unsigned char* buffer_ = nullptr;
    size_t capacity_ = 0;
};

// Inflates zlib streams that must give exactly the expected number of bytes: a stream that ends early,
// would give more, is damaged or fails its checksum is refused. One object serves every block of a load.
class Inflater {
  public:
    Inflater();
    ~Inflater();
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // False when the stream does not inflate to exactly expectedLength bytes (output may then hold part
    // of them) or memory runs out.
    bool Inflate(const void* input, size_t inputLength, void* output, size_t expectedLength);

  private:
    void* state_ = nullptr;  // libdeflate decompressor or z_stream, made on first use
};

}  // namespace deflate_engine

#endif
