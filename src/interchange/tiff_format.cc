// Multi-page TIFF with libtiff: one page per frame, its description a JSON line of the frame's facts;
// the first page's description starts with the key=value lines that make stack viewers open the
// pages as one stack. Import reads grey 8/16-bit and RGB 8-bit pages, contiguous or planar, in strips
// or tiles, with whatever compression libtiff decodes.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ctime>
#include <vector>

#include "interchange/interchange.h"

namespace interchange {

namespace {

// Closes a TIFF handle however the function that opened it ends (an exception included).
struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

}  // namespace

namespace {

// libtiff reports through process-wide handlers; the last error is kept for the message.
std::string& LastTiffError() {
    static std::string text;
    return text;
}

void KeepError(const char* module, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    LastTiffError() = module != nullptr && module[0] != '\0' ? std::string(module) + ": " + text : text;
}

void IgnoreWarning(const char*, const char*, va_list) {}

// Installs the handlers for the lifetime of one reader or writer.
class TiffMessages {
  public:
    TiffMessages() {
        LastTiffError().clear();
        error_ = TIFFSetErrorHandler(KeepError);
        warning_ = TIFFSetWarningHandler(IgnoreWarning);
    }
    ~TiffMessages() {
        TIFFSetErrorHandler(error_);
        TIFFSetWarningHandler(warning_);
    }
    std::string Reason(const std::string& fallback) const {
        return LastTiffError().empty() ? fallback : fallback + " (" + LastTiffError() + ")";
    }

  private:
    TIFFErrorHandler error_;
    TIFFErrorHandler warning_;
};

// ---- export ----

std::string StackDescription(size_t pages) {
    std::string text = "ImageJ=1.11a\nimages=" + std::to_string(pages) + "\n";
    if (pages > 1) text += "slices=" + std::to_string(pages) + "\nloop=false\n";
    return text;
}

std::string TiffDateTime(uint32_t seconds) {
    const time_t when = static_cast<time_t>(seconds);
    struct tm utc;
    gmtime_r(&when, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

bool WritePage(TIFF* tif, const PixelLayout& layout, const FrameFacts& facts, const std::string& description,
               uint16_t page, uint16_t pages, bool compress, std::vector<unsigned char>& scratch) {
    const size_t rowBytes = size_t(layout.width) * size_t(layout.channels) * size_t(layout.bytesPerSample);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8 * layout.bytesPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.channels);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, pages > 1 ? FILETYPE_PAGE : 0);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, page, pages);
    TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    TIFFSetField(tif, TIFFTAG_SOFTWARE, "qmv3");
    TIFFSetField(tif, TIFFTAG_DATETIME, TiffDateTime(facts.seconds).c_str());
    if (facts.xScale > 0 && facts.yScale > 0) {
        // Millimetres per pixel as pixels per centimetre.
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, 10.0 / facts.xScale);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, 10.0 / facts.yScale);
    }
    if (!compress) {
        // One strip, its place filled in later (WriteDeferredStrips): stack viewers expect the pixels
        // of all pages back to back, so the directories come first and the frames after them.
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, layout.height);
        return TIFFDeferStrileArrayWriting(tif) == 1 && TIFFWriteCheck(tif, 0, "qmv3") == 1 &&
               TIFFWriteDirectory(tif) == 1;
    }
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    const uint32_t rows = static_cast<uint32_t>(std::max<size_t>(1, (256 * 1024) / rowBytes));
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::min(rows, layout.height));
    uint32_t strip = 0;
    for (uint32_t row = 0; row < layout.height; row += rows, ++strip) {
        const uint32_t count = std::min(rows, layout.height - row);
        // The predictor works in place, so each strip is copied first.
        const unsigned char* from = layout.pixels + size_t(row) * rowBytes;
        scratch.assign(from, from + size_t(count) * rowBytes);
        if (TIFFWriteEncodedStrip(tif, strip, scratch.data(), tmsize_t(scratch.size())) < 0) return false;
    }
    return TIFFWriteDirectory(tif) == 1;
}

// Writes the frames of the directories written with deferred strips, straight from the frames.
bool WriteDeferredStrips(TIFF* tif, const std::vector<PixelLayout>& layouts, const ExportControl& control,
                         std::string& message) {
    for (size_t i = 0; i < layouts.size(); ++i) {
        if (control.Interrupted()) {
            message = "interrupted";
            return false;
        }
        // Each directory is reached from the one before: a seek from the first would walk the whole
        // chain for every page, and the export would take time in the square of the page count.
        const int reached = i == 0 ? TIFFSetDirectory(tif, 0) : TIFFReadDirectory(tif);
        if (reached != 1 ||
            TIFFWriteRawStrip(tif, 0, const_cast<unsigned char*>(layouts[i].pixels), tmsize_t(layouts[i].bytes())) <
                0 ||
            TIFFForceStrileArrayWriting(tif) != 1)
            return false;
        if (control.progress != nullptr) *control.progress = 0.5 + 0.5 * double(i + 1) / double(layouts.size());
    }
    return true;
}

}  // namespace

bool WriteTiffFile(const std::string& path, const ExportFrames& frames, const ExportControl& control,
                   std::string& message) {
    std::vector<PixelLayout> layouts(frames.size());
    uint64_t total = 0;
    bool uniform = true;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (!PixelLayoutOf(*frames[i].image, frames[i].position, layouts[i], message)) return false;
        total += layouts[i].bytes();
        uniform = uniform && layouts[i].SameShape(layouts[0]);
    }
    TiffMessages messages;
    message.clear();
    // Past about 4 GB only the big form of TIFF can address the data.
    TiffHandle handle(TIFFOpen(path.c_str(), total > 0xF0000000ull ? "w8" : "w"));
    TIFF* tif = handle.get();
    if (tif == nullptr) {
        message = messages.Reason(path + ": cannot be written");
        return false;
    }
    std::vector<unsigned char> scratch;
    const uint16_t pages = static_cast<uint16_t>(std::min<size_t>(frames.size(), 65535));
    bool ok = true;
    for (size_t i = 0; ok && i < frames.size(); ++i) {
        if (control.Interrupted()) {
            message = "interrupted";
            ok = false;
            break;
        }
        const FrameFacts facts = FactsOf(*frames[i].image);
        std::string description = FrameFactsJson(facts);
        // Stack viewers read the first page's description only, and only when it starts with these lines.
        if (i == 0 && uniform) description = StackDescription(frames.size()) + description;
        ok = WritePage(tif, layouts[i], facts, description, static_cast<uint16_t>(std::min<size_t>(i, 65535)), pages,
                       control.compress, scratch);
        if (!ok) message = messages.Reason(path + ": writing page " + std::to_string(i + 1) + " failed");
        if (control.progress != nullptr)
            *control.progress = (control.compress ? 1.0 : 0.5) * double(i + 1) / double(frames.size());
    }
    if (ok && !control.compress && !WriteDeferredStrips(tif, layouts, control, message)) {
        if (message.empty()) message = messages.Reason(path + ": writing the frames failed");
        ok = false;
    }
    if (ok && TIFFFlush(tif) != 1) {
        message = messages.Reason(path + ": writing failed");
        ok = false;
    }
    return ok;
}

// ---- import ----

namespace {

struct MemoryStream {
    const unsigned char* data;
    size_t size;
    toff_t position;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryStream* stream = static_cast<MemoryStream*>(handle);
    if (size <= 0 || stream->position >= stream->size) return 0;
    const size_t count = std::min<size_t>(size_t(size), stream->size - size_t(stream->position));
    std::memcpy(buffer, stream->data + stream->position, count);
    stream->position += count;
    return tmsize_t(count);
}

tmsize_t MemoryWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence) {
    MemoryStream* stream = static_cast<MemoryStream*>(handle);
    toff_t base = whence == SEEK_CUR ? stream->position : whence == SEEK_END ? stream->size : 0;
    // Offsets are unsigned in libtiff; a backward seek arrives as a wrapped value.
    stream->position = base + offset;
    return stream->position;
}

int MemoryClose(thandle_t) { return 0; }
toff_t MemorySize(thandle_t handle) { return static_cast<MemoryStream*>(handle)->size; }
int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

// The facts a page gives: our description when present, else the file's own time and resolution.
FrameFacts PageFacts(TIFF* tif, uint32_t page) {
    FrameFacts facts;
    facts.frameNumber = page;
    char* description = nullptr;
    bool ours = false;
    if (TIFFGetField(tif, TIFFTAG_IMAGEDESCRIPTION, &description) == 1 && description != nullptr) {
        const std::string text = description;
        size_t start = 0;
        while (!ours && start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            if (text[start] == '{') ours = ParseFrameFactsJson(text.substr(start, end - start), facts);
            start = end + 1;
        }
    }
    char* dateTime = nullptr;
    if (!facts.hasTime && TIFFGetField(tif, TIFFTAG_DATETIME, &dateTime) == 1 && dateTime != nullptr)
        facts.hasTime = ParseTiffDateTime(dateTime, facts.seconds);
    uint16_t unit = RESUNIT_NONE;
    float xResolution = 0, yResolution = 0;
    if (!ours && TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit) == 1 && unit == RESUNIT_CENTIMETER &&
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xResolution) == 1 &&
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yResolution) == 1 && xResolution > 1e-30f && yResolution > 1e-30f) {
        facts.xScale = 10.0f / xResolution;
        facts.yScale = 10.0f / yResolution;
    }
    return facts;
}

// Reads one page into a new frame of frames; false with the reason.
bool ReadPage(TIFF* tif, uint32_t page, ImportedFrames& frames, const ImportLimits& limits, bool headerOnly,
              std::string& message) {
    const std::string which = "page " + std::to_string(page);
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) != 1) {
        message = which + " has no size";
        return false;
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) != 1)
        photometric = samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_COMPLEXIEEEFP) {
        message = which + " has floating-point samples";
        return false;
    }
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID) {
        message = which + " has signed or complex samples";
        return false;
    }
    if (photometric == PHOTOMETRIC_SEPARATED) {
        message = which + " is CMYK";
        return false;
    }
    if (samples > 3) {
        message = which + " has " + std::to_string(samples) + " channels (at most 3)";
        return false;
    }
    if (bits != 8 && bits != 16) {
        message = which + " has " + std::to_string(bits) + "-bit samples (8 or 16)";
        return false;
    }
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && samples == 3) {
        // libtiff turns JPEG-coded colour into RGB itself.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    const bool grey = samples == 1 && (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    const bool rgb = samples == 3 && photometric == PHOTOMETRIC_RGB && bits == 8;
    if (!grey && !rgb) {
        message = which + " is neither 8- or 16-bit grey nor 8-bit RGB (photometric " + std::to_string(photometric) +
                  ", " + std::to_string(samples) + " channels of " + std::to_string(bits) + " bits)";
        return false;
    }
    const int bytes = bits / 8;
    const int channels = samples;
    if (headerOnly) return frames.AddHeader(width, height, channels, bytes, PageFacts(tif, page), message);
    unsigned char* pixels = frames.Add(width, height, channels, bytes, PageFacts(tif, page), limits, message);
    if (pixels == nullptr) return false;

    const int planes = planar == PLANARCONFIG_SEPARATE ? channels : 1;
    const size_t pixelBytes = size_t(channels) * bytes;
    const size_t sampleBytes = planes == 1 ? pixelBytes : size_t(bytes);  // bytes per pixel in one plane
    const std::string corrupt = which + " is truncated or corrupt";
    // Copies a block of rows x columns pixels of one plane, stored with the given row length, to (x, y).
    auto place = [&](const unsigned char* block, uint32_t blockWidth, uint32_t x, uint32_t y, uint32_t columns,
                     uint32_t rows, int plane) {
        for (uint32_t r = 0; r < rows; ++r) {
            const unsigned char* from = block + size_t(r) * blockWidth * sampleBytes;
            unsigned char* to = pixels + (size_t(y + r) * width + x) * pixelBytes;
            if (planes == 1) {
                std::memcpy(to, from, size_t(columns) * pixelBytes);
            } else {
                for (uint32_t c = 0; c < columns; ++c)
                    std::memcpy(to + c * pixelBytes + size_t(plane) * bytes, from + c * sampleBytes, bytes);
            }
        }
    };
    std::vector<unsigned char> block;
    if (TIFFIsTiled(tif)) {
        uint32_t tileWidth = 0, tileHeight = 0;
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
        const tmsize_t tileSize = TIFFTileSize(tif);
        if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 ||
            uint64_t(tileWidth) * tileHeight * sampleBytes > uint64_t(tileSize)) {
            message = corrupt;
            return false;
        }
        // A tile is a piece of a frame; one that claims more than any frame holds is damage, and its
        // buffer would be unbounded.
        if (uint64_t(tileSize) > 2ull * QMV3_MAX_TRANSPORT_SIZE) {
            message = which + " has tiles of " + std::to_string(tileWidth) + " x " + std::to_string(tileHeight) +
                      " pixels, larger than any frame";
            return false;
        }
        block.resize(size_t(tileSize));
        for (int plane = 0; plane < planes; ++plane)
            for (uint32_t y = 0; y < height; y += tileHeight)
                for (uint32_t x = 0; x < width; x += tileWidth) {
                    const ttile_t tile = TIFFComputeTile(tif, x, y, 0, static_cast<uint16_t>(plane));
                    if (TIFFReadEncodedTile(tif, tile, block.data(), tileSize) < 0) {
                        message = corrupt;
                        return false;
                    }
                    place(block.data(), tileWidth, x, y, std::min(tileWidth, width - x),
                          std::min(tileHeight, height - y), plane);
                }
    } else {
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::min(std::max<uint32_t>(rowsPerStrip, 1), height);
        const tmsize_t stripSize = TIFFStripSize(tif);
        const size_t needed = size_t(rowsPerStrip) * width * sampleBytes;
        if (stripSize <= 0 || uint64_t(stripSize) < needed || uint64_t(stripSize) > 2ull * QMV3_MAX_TRANSPORT_SIZE) {
            message = corrupt;
            return false;
        }
        block.resize(size_t(stripSize));
        const uint32_t stripsPerPlane = (height + rowsPerStrip - 1) / rowsPerStrip;
        for (int plane = 0; plane < planes; ++plane)
            for (uint32_t s = 0; s < stripsPerPlane; ++s) {
                const uint32_t row = s * rowsPerStrip;
                const uint32_t rows = std::min(rowsPerStrip, height - row);
                const tmsize_t got =
                    TIFFReadEncodedStrip(tif, s + uint32_t(plane) * stripsPerPlane, block.data(), stripSize);
                if (got < 0 || size_t(got) < size_t(rows) * width * sampleBytes) {
                    message = corrupt;
                    return false;
                }
                place(block.data(), width, 0, row, width, rows, plane);
            }
    }
    if (photometric == PHOTOMETRIC_MINISWHITE) {
        // White is zero in these files; the frame keeps the usual sense, as a viewer shows it.
        const size_t count = size_t(width) * height;
        if (bytes == 1) {
            for (size_t i = 0; i < count; ++i) pixels[i] = static_cast<unsigned char>(255 - pixels[i]);
        } else {
            uint16_t* wide = reinterpret_cast<uint16_t*>(pixels);
            for (size_t i = 0; i < count; ++i) wide[i] = static_cast<uint16_t>(65535 - wide[i]);
        }
    }
    return true;
}

}  // namespace

bool ImportTiff(const std::string* path, const unsigned char* data, size_t size, QMBUNCHOFIMAGES* sequence,
                const ImportLimits& limits, std::string& message, uint32_t* positions) {
    TiffMessages messages;
    MemoryStream stream = {data, size, 0};
    // Without memory mapping: the file stays out of the process's memory beside its frames.
    TiffHandle handle(path != nullptr ? TIFFOpen(path->c_str(), "rm")
                                      : TIFFClientOpen("memory", "rm", &stream, MemoryRead, MemoryWrite, MemorySeek,
                                                       MemoryClose, MemorySize, NoMap, NoUnmap));
    TIFF* tif = handle.get();
    if (tif == nullptr) {
        message = messages.Reason("not a readable TIFF file");
        return false;
    }
    ImportedFrames frames;
    bool ok = true;
    for (uint32_t page = 1;; ++page) {
        LastTiffError().clear();
        const ImportedFrames::Take take = frames.Next(limits);
        if (take == ImportedFrames::Take::kSkip) {
            frames.Pass();  // a page outside the range: its directory only
        } else {
            ok = ReadPage(tif, page, frames, limits, take == ImportedFrames::Take::kHeader, message);
        }
        if (!ok) {
            message = messages.Reason(message);
            break;
        }
        if (frames.Done(limits)) break;
        LastTiffError().clear();
        if (TIFFReadDirectory(tif) != 1) {
            // A directory chain that breaks off is a damaged file, not a shorter one.
            if (!LastTiffError().empty()) {
                message = messages.Reason("page " + std::to_string(page + 1) + " is truncated or corrupt");
                ok = false;
            }
            break;
        }
    }
    handle.reset();
    if (ok && positions != nullptr) *positions = frames.positions();
    return ok && frames.MoveInto(sequence, message);
}

}  // namespace interchange
