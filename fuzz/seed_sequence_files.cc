// Seeds of the sequence file harnesses: IMC2/BKC2 files in grey and colour written by the library's
// own saver, and single metadata sets.
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/metadata_sets.h"
#include "image/cdimage.h"
#include "qmv3/qmv3.h"
#include "seed_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readAll(const std::string& path) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(file);
    std::remove(path.c_str());
    return bytes;
}

// A sequence of `frames` images of width x height with the given format and bytes per pixel.
void makeSequence(QMBUNCHOFIMAGES& images, unsigned frames, int width, int height, int format, int bytesPerPixel) {
    const unsigned size = unsigned(width * height * bytesPerPixel);
    images.numFrames = frames;
    images.imageArray = static_cast<DIMAGE*>(std::malloc(sizeof(DIMAGE) * frames));
    for (unsigned i = 0; i < frames; ++i) {
        CDIMAGE fresh;
        DIMAGE& image = images.imageArray[i];
        image = fresh.m_Img;
        image.frameHeader.sourceWidth = width;
        image.frameHeader.sourceHeight = height;
        image.frameHeader.xStart = image.frameHeader.yStart = 0;
        image.frameHeader.bytesPerPixel = bytesPerPixel;
        image.frameHeader.effectiveBitsPerPixel = bytesPerPixel == 2 ? 12 : 8 * bytesPerPixel;
        image.frameHeader.sourceFormat = image.frameHeader.imageFormat = format;
        image.frameHeader.frameNumber = 100 + i;
        image.frameHeader.xScale = image.frameHeader.yScale = 0.0125f;
        image.frameHeader.appendedFrameSize = int(size);
        image.sourceHeader.totalLength = size + 188;
        image.sourceHeader.timestampSeconds = 1690449342 + i;
        image.sourceHeader.timestampMicroseconds = 0;
        image.frameBufferSize = size;
        image.frameBuffer = static_cast<unsigned char*>(std::malloc(size));
        for (unsigned b = 0; b < size; ++b) image.frameBuffer[b] = static_cast<unsigned char>(b * 7 + i);
    }
}

// The salvage's seeds: the file whole, cut in its last image, with a damaged byte in every image's
// pixel block, and without its global block's line end.
void recoverSeeds(const std::string& name, const Bytes& file) {
    if (file.size() < 6000) return;
    WriteSeed("recover", name, file);
    WriteSeed("recover", "cut-" + name, Bytes(file.begin(), file.end() - 7));
    Bytes spoiled = file;
    for (size_t at = spoiled.size() - 3; at > 6000; at -= 600) spoiled.at(at) ^= 0x5A;
    WriteSeed("recover", "spoiled-" + name, spoiled);
    Bytes unaligned = file;
    unaligned.at(14 + 250) = 0;
    WriteSeed("recover", "set-" + name, unaligned);
}

void imc2Seeds(const std::string& scratch) {
    struct Shape {
        unsigned frames;
        int width, height, format, bytesPerPixel;
        const char* name;
    };
    const Shape shapes[] = {{2, 8, 4, 0, 1, "gray8.imc2"}, {1, 5, 3, 0, 2, "gray16.bkc2"}, {3, 4, 2, 1, 3, "rgb.imc2"}};
    for (const Shape& shape : shapes) {
        QMBUNCHOFIMAGES images;
        makeSequence(images, shape.frames, shape.width, shape.height, shape.format, shape.bytesPerPixel);
        std::string path = scratch + "/" + shape.name;
        std::remove(path.c_str());
        char message[300] = "";
        int code = qmSaveImagesToFileEx(&images, path.c_str(), message, sizeof message, nullptr, nullptr);
        if (code == 0) {
            const Bytes file = readAll(path);
            WriteSeed("imc2", shape.name, file);
            recoverSeeds(shape.name, file);
        } else
            std::fprintf(stderr, "%s: %d %s\n", shape.name, code, message);
        qmFreeBunch(&images);
    }
}

// One set for every key of a table, each with a value of the key's type, after the selector byte.
void writeTableSeed(const std::string& scratch, const SINGLEMETADATA* table, size_t count, const char* name) {
    std::string path = scratch + "/sets";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fputc(40, file);
    for (size_t k = 0; k < count; ++k) {
        switch (table[k].eType) {
            case METADATA_INT32:
                _internal_write_metadata_set_to_file(file, table[k].sKey, -1);
                break;
            case METADATA_UINT32:
                _internal_write_metadata_set_to_file(file, table[k].sKey, 640u);
                break;
            case METADATA_FLOAT:
                _internal_write_metadata_set_to_file(file, table[k].sKey, 0.0125);
                break;
            default:
                _internal_write_metadata_set_to_file(file, table[k].sKey, std::string("GRAY"));
                break;
        }
    }
    std::fclose(file);
    WriteSeed("metadata", name, readAll(path));
}

void metadataSeeds(const std::string& scratch) {
    writeTableSeed(scratch, glbMetaData, kGlobalMetadataCount, "global-sets");
    writeTableSeed(scratch, imgMetaData, kImageMetadataCount, "image-sets");
    WriteSeed("metadata", "key-value", Bytes{63, 'w', 'i', 'd', 't', 'h', '_', 'p', 'x', '=', '6', '4', '0'});
}

}  // namespace

void WriteSequenceFileSeeds(const std::string& scratch) {
    imc2Seeds(scratch);
    metadataSeeds(scratch);
}
