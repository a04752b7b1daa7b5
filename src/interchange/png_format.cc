// PNG with libspng: one file per frame, 8- or 16-bit grey or 8-bit RGB with the stored values, the
// frame's facts in tEXt chunks. Import also takes grey with alpha, low bit depths and palettes, turned
// into grey or RGB as a viewer shows them (alpha over a white background).
#include <spng.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "interchange/interchange.h"
#include "util/regular_file.h"

namespace interchange {

namespace {

class SpngContext {
  public:
    explicit SpngContext(int flags) : ctx_(spng_ctx_new(flags)) {}
    ~SpngContext() { spng_ctx_free(ctx_); }
    SpngContext(const SpngContext&) = delete;
    SpngContext& operator=(const SpngContext&) = delete;
    spng_ctx* get() const { return ctx_; }

  private:
    spng_ctx* ctx_;
};

void SetText(spng_text& text, const char* keyword, std::string& value) {
    std::memset(&text, 0, sizeof text);
    std::snprintf(text.keyword, sizeof text.keyword, "%s", keyword);
    text.type = SPNG_TEXT;
    text.length = value.size();
    text.text = &value[0];
}

bool WriteAll(const std::string& path, const std::vector<unsigned char>& bytes, std::string& message) {
    FILE* file = std::fopen(path.c_str(), "wbe");
    if (file == nullptr) {
        message = path + ": cannot be written";
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return (std::fclose(file) == 0 && ok) || ((message = path + ": writing failed"), false);
}

}  // namespace

bool EncodePng(const DIMAGE& image, bool compress, std::vector<unsigned char>& png, std::string& message) {
    PixelLayout layout;
    if (!PixelLayoutOf(image, 1, layout, message)) return false;
    SpngContext context(SPNG_CTX_ENCODER);
    spng_ctx* ctx = context.get();
    if (ctx == nullptr) {
        message = "not enough memory";
        return false;
    }
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, compress ? 9 : 1);
    spng_ihdr ihdr = {};
    ihdr.width = layout.width;
    ihdr.height = layout.height;
    ihdr.bit_depth = static_cast<uint8_t>(8 * layout.bytesPerSample);
    ihdr.color_type = layout.channels == 3 ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_GRAYSCALE;
    int error = spng_set_ihdr(ctx, &ihdr);

    const FrameFacts facts = FactsOf(image);
    std::string number = std::to_string(facts.frameNumber);
    std::string time = IsoTime(facts.seconds, facts.microseconds);
    std::string json = FrameFactsJson(facts);
    spng_text texts[3];
    SetText(texts[0], "frame_number", number);
    SetText(texts[1], "timestamp", time);
    SetText(texts[2], "Description", json);
    if (error == 0) error = spng_set_text(ctx, texts, 3);
    if (error == 0 && facts.xScale > 0 && facts.yScale > 0) {
        // Millimetres per pixel as pixels per metre; a resolution PNG cannot hold (up to 2^31 - 1) is
        // left out rather than wrapped.
        const double ppuX = 1000.0 / facts.xScale + 0.5, ppuY = 1000.0 / facts.yScale + 0.5;
        if (ppuX >= 1.0 && ppuY >= 1.0 && ppuX < 2147483648.0 && ppuY < 2147483648.0) {
            spng_phys phys = {static_cast<uint32_t>(ppuX), static_cast<uint32_t>(ppuY), 1};
            error = spng_set_phys(ctx, &phys);
        }
    }
    // 16-bit samples are handed over in host order; libspng stores them big-endian.
    if (error == 0) error = spng_encode_image(ctx, layout.pixels, layout.bytes(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t length = 0;
    // Owned at once: the copy below may fail to allocate.
    const std::unique_ptr<void, void (*)(void*)> buffer(
        error == 0 ? spng_get_png_buffer(ctx, &length, &error) : nullptr, std::free);
    if (buffer == nullptr || error != 0) {
        message = std::string("PNG encoding failed: ") + spng_strerror(error);
        return false;
    }
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer.get());
    png.assign(bytes, bytes + length);
    return true;
}

bool WritePngFiles(const std::vector<std::string>& paths, const ExportFrames& frames, const ExportControl& control,
                   std::string& message) {
    PixelLayout layout;
    for (const ExportFrame& frame : frames)
        if (!PixelLayoutOf(*frame.image, frame.position, layout, message)) return false;
    std::vector<unsigned char> png;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (control.Interrupted()) {
            message = "interrupted";
            return false;
        }
        if (!EncodePng(*frames[i].image, control.compress, png, message)) {
            message = paths[i] + ": " + message;
            return false;
        }
        if (!WriteAll(paths[i], png, message)) return false;
        if (control.progress != nullptr) *control.progress = double(i + 1) / double(frames.size());
    }
    return true;
}

// ---- import ----

namespace {

// The facts in our tEXt chunks, else the frame number 1 and the file's tIME.
FrameFacts PngFacts(spng_ctx* ctx) {
    FrameFacts facts;
    facts.frameNumber = 1;
    uint32_t count = 0;
    bool described = false;
    if (spng_get_text(ctx, nullptr, &count) == 0 && count > 0 && count < 4096) {
        std::vector<spng_text> texts(count);
        if (spng_get_text(ctx, texts.data(), &count) == 0) {
            for (const spng_text& text : texts) {
                if (text.text == nullptr) continue;
                const std::string value(text.text, text.length);
                if (std::strcmp(text.keyword, "Description") == 0 && ParseFrameFactsJson(value, facts))
                    described = true;
            }
            for (const spng_text& text : texts) {
                if (described || text.text == nullptr) continue;
                const std::string value(text.text, text.length);
                unsigned long number = 0;
                char* end = nullptr;
                if (std::strcmp(text.keyword, "frame_number") == 0 && !value.empty() && value[0] != '-' &&
                    ((number = std::strtoul(value.c_str(), &end, 10)), *end == '\0') && number <= 0xffffffffUL) {
                    facts.frameNumber = static_cast<uint32_t>(number);
                    facts.hasFrameNumber = true;
                }
                if (std::strcmp(text.keyword, "timestamp") == 0 &&
                    ParseIsoTime(value, facts.seconds, facts.microseconds))
                    facts.hasTime = true;
            }
        }
    }
    spng_time time;
    if (!facts.hasTime && spng_get_time(ctx, &time) == 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", time.year, time.month, time.day, time.hour,
                      time.minute, time.second);
        facts.hasTime = ParseIsoTime(text, facts.seconds, facts.microseconds);
    }
    spng_phys phys;
    if (!described && spng_get_phys(ctx, &phys) == 0 && phys.unit_specifier == 1 && phys.ppu_x > 0 && phys.ppu_y > 0) {
        facts.xScale = static_cast<float>(1000.0 / phys.ppu_x);
        facts.yScale = static_cast<float>(1000.0 / phys.ppu_y);
    }
    return facts;
}

// Value of a sample composed over white with its alpha; max is the largest sample value.
inline uint32_t OverWhite(uint32_t value, uint32_t alpha, uint32_t max) {
    return (value * alpha + max * (max - alpha) + max / 2) / max;
}

}  // namespace

bool ImportPng(const std::string* path, const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence,
               const ImportLimits& limits, std::string& message, uint32_t* positions) {
    SpngContext context(0);
    spng_ctx* ctx = context.get();
    if (ctx == nullptr) {
        message = "not enough memory";
        return false;
    }
    FILE* file = nullptr;
    if (path != nullptr) {
        file = regular_file::OpenStream(path->c_str());
        if (file == nullptr) {
            message = "cannot be opened";
            return false;
        }
    }
    struct Closer {
        FILE* file;
        ~Closer() {
            if (file != nullptr) std::fclose(file);
        }
    } closer{file};
    // Text chunks and the like are held in memory; a hostile file must not make them unbounded.
    spng_set_chunk_limits(ctx, 1u << 24, 1u << 26);
    int error = file != nullptr ? spng_set_png_file(ctx, file) : spng_set_png_buffer(ctx, data, size);
    spng_ihdr ihdr;
    if (error == 0) error = spng_get_ihdr(ctx, &ihdr);
    if (error != 0) {
        message = std::string("not a readable PNG file (") + spng_strerror(error) + ")";
        return false;
    }
    const int type = ihdr.color_type;
    const int depth = ihdr.bit_depth;
    int channels = 1, bytes = 1, format = SPNG_FMT_PNG;
    bool alpha = false;
    if (type == SPNG_COLOR_TYPE_GRAYSCALE) {
        bytes = depth == 16 ? 2 : 1;
        if (depth < 8) format = SPNG_FMT_G8;
    } else if (type == SPNG_COLOR_TYPE_TRUECOLOR && depth == 8) {
        channels = 3;
    } else if (type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA) {
        bytes = depth == 16 ? 2 : 1;
        alpha = true;
        format = depth == 16 ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
    } else if (type == SPNG_COLOR_TYPE_INDEXED) {
        channels = 3;  // or grey, below, when every palette entry is grey
        alpha = true;
        format = SPNG_FMT_RGBA8;
    } else {
        message = type == SPNG_COLOR_TYPE_TRUECOLOR ? "16-bit RGB is not supported (8-bit RGB only)"
                                                    : "RGB with alpha has 4 channels (at most 3)";
        return false;
    }
    if (type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte palette;
        if (spng_get_plte(ctx, &palette) == 0) {
            bool grey = true;
            for (uint32_t i = 0; i < palette.n_entries; ++i)
                grey = grey && palette.entries[i].red == palette.entries[i].green &&
                       palette.entries[i].green == palette.entries[i].blue;
            if (grey) channels = 1;
        }
    }
    const uint64_t frameBytes = uint64_t(ihdr.width) * ihdr.height * channels * bytes;
    if (frameBytes > QMV3_MAX_TRANSPORT_SIZE) {
        message = "the image of " + std::to_string(ihdr.width) + " x " + std::to_string(ihdr.height) +
                  " pixels needs " + std::to_string(frameBytes) + " bytes, more than the largest frame (" +
                  std::to_string(QMV3_MAX_TRANSPORT_SIZE) + " bytes)";
        return false;
    }
    size_t decodedSize = 0;
    error = spng_decoded_image_size(ctx, format, &decodedSize);
    if (error == 0 && !alpha && decodedSize != frameBytes) error = SPNG_EINTERNAL;
    FrameFacts facts;  // read after decoding: text chunks may follow the image data
    ImportedFrames frames;
    const ImportedFrames::Take take = frames.Next(limits);
    if (take == ImportedFrames::Take::kSkip) {
        // A range after the file's one frame: nothing to decode.
        frames.Pass();
        if (positions != nullptr) *positions = frames.positions();
        return frames.MoveInto(sequence, message);
    }
    if (error == 0 && take == ImportedFrames::Take::kHeader) {
        // The rows pass through one row's buffer, so that the text chunks after the image data are read
        // without holding the frame.
        std::vector<unsigned char> row(decodedSize / ihdr.height);
        error = spng_decode_image(ctx, nullptr, 0, format, SPNG_DECODE_PROGRESSIVE);
        while (error == 0) error = spng_decode_row(ctx, row.data(), row.size());
        if (error == SPNG_EOI) {
            if (!frames.AddHeader(ihdr.width, ihdr.height, channels, bytes, PngFacts(ctx), message)) return false;
            if (positions != nullptr) *positions = frames.positions();
            return frames.MoveInto(sequence, message);
        }
    }
    std::vector<unsigned char> decoded;
    if (error == 0 && alpha) decoded.resize(decodedSize);
    unsigned char* pixels = nullptr;
    if (error == 0) {
        pixels = frames.Add(ihdr.width, ihdr.height, channels, bytes, facts, limits, message);
        if (pixels == nullptr) return false;
        error = alpha ? spng_decode_image(ctx, decoded.data(), decoded.size(), format, 0)
                      : spng_decode_image(ctx, pixels, frameBytes, format, 0);
    }
    if (error != 0) {
        message = std::string("the image is truncated or corrupt (") + spng_strerror(error) + ")";
        return false;
    }
    if (alpha) {
        const size_t count = size_t(ihdr.width) * ihdr.height;
        if (format == SPNG_FMT_RGBA16) {
            const uint16_t* from = reinterpret_cast<const uint16_t*>(decoded.data());
            uint16_t* to = reinterpret_cast<uint16_t*>(pixels);
            for (size_t i = 0; i < count; ++i)
                to[i] = static_cast<uint16_t>(OverWhite(from[4 * i], from[4 * i + 3], 65535));
        } else {
            for (size_t i = 0; i < count; ++i)
                for (int c = 0; c < channels; ++c)
                    pixels[i * channels + c] =
                        static_cast<unsigned char>(OverWhite(decoded[4 * i + c], decoded[4 * i + 3], 255));
        }
    }
    facts = PngFacts(ctx);
    DIMAGE& image = frames.Last();
    unsigned char* buffer = image.frameBuffer;
    const uint32_t capacity = image.frameBufferSize;
    MakeImageHeader(image, ihdr.width, ihdr.height, channels, bytes, facts);
    image.frameBuffer = buffer;
    image.frameBufferSize = capacity;
    if (positions != nullptr) *positions = frames.positions();
    return frames.MoveInto(sequence, message);
}

}  // namespace interchange
