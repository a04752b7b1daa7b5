// "qmv3 export-bmp": every frame of a sequence file as a Windows bitmap PREFIX1.bmp, PREFIX2.bmp, ...
// through the library's older record. The bitmaps hold 8 bits, so 16-bit frames are reduced to their
// 8 most significant effective bits first.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"palette", 0, true}, {"digits", 0, true}};

const char* SaveCodeText(int code) {
    switch (code) {
        case -2:
            return "the frames are of a kind that cannot be exported";
        case -3:
            return "no frames";
        case -4:
            return "a file could not be created";
        case -5:
            return "a file could not be written";
        case -9:
            return "the prefix is empty or too long";
        case -10:
            return "the frames do not have 8 bits per pixel";
        default:
            return "export failed";
    }
}

// Replaces 16-bit frames by 8-bit ones that keep the top 8 of the effective bits.
bool ReduceTo8Bits(VIDINFHDR& record) {
    if (record.bpp != 16) return true;
    const unsigned bits = record.ebitpp >= 8 && record.ebitpp <= 16 ? record.ebitpp : 16;
    const size_t pixels = static_cast<size_t>(record.width) * record.height;
    for (int32_t frame = 0; frame < record.numframes; ++frame) {
        unsigned char* reduced = static_cast<unsigned char*>(std::malloc(pixels ? pixels : 1));
        if (reduced == nullptr) return false;
        const unsigned char* wide = record.framebits[frame];
        for (size_t i = 0; i < pixels; ++i) {
            uint16_t value;
            std::memcpy(&value, wide + 2 * i, sizeof value);
            const unsigned shifted = value >> (bits - 8);
            reduced[i] = static_cast<unsigned char>(shifted > 255 ? 255 : shifted);
        }
        std::free(record.framebits[frame]);
        record.framebits[frame] = reduced;
    }
    record.bpp = 8;
    record.ebitpp = 8;
    return true;
}

bool ReadPalette(const char* text, int& palette) {
    static const char* const kNames[] = {"gray", "false", "jet"};
    for (int i = 0; i < 3; ++i) {
        if (std::strcmp(text, kNames[i]) == 0) {
            palette = i;
            return true;
        }
    }
    return false;
}

int Run(const Arguments& arguments) {
    const Command& command = kExportBmpCommand;
    int palette = 0;
    long digits = 0;
    if (const char* text = arguments.Value("palette"))
        if (!ReadPalette(text, palette)) return UsageError(command, "--palette must be gray, false or jet");
    if (const char* text = arguments.Value("digits"))
        if (!ParseNumber(text, 0, 3, digits)) return UsageError(command, "--digits must be 0, 1, 2 or 3");
    const std::string input = arguments.Positionals()[0];
    const std::string prefix = arguments.Positionals()[1];

    Sequence sequence;
    std::string message;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    OlderRecord record;
    char conversionText[256] = "";
    const int converted =
        qmBunchToVIDINFHDREx2(sequence.get(), record.get(), conversionText, sizeof conversionText, 0, nullptr);
    if (converted != 1) return Failure(command, "%s: %s", input.c_str(), conversionText);
    if (!ReduceTo8Bits(*record.get())) return Failure(command, "out of memory");
    const int saved = save_bmp_files(prefix.c_str(), record.get(), palette, static_cast<int>(digits));
    if (saved != 0) return Failure(command, "%s (code %d)", SaveCodeText(saved), saved);
    std::printf("%d bitmap%s written: %s%s.bmp ...\n", record.get()->numframes, record.get()->numframes == 1 ? "" : "s",
                prefix.c_str(),
                digits == 0   ? "1"
                : digits == 1 ? "01"
                : digits == 2 ? "001"
                              : "0001");
    return kExitSuccess;
}

}  // namespace

const Command kExportBmpCommand = {
    "export-bmp",
    "IN PREFIX [--palette gray|false|jet] [--digits 0..3]",
    "write every frame of a sequence file as a bitmap PREFIX<number>.bmp",
    "options:\n"
    "  --palette gray|false|jet  colours of the 8-bit bitmaps (default gray)\n"
    "  --digits 0..3             width of the frame number: 0 gives 1, 1 gives 01,\n"
    "                            2 gives 001, 3 gives 0001 (default 0)\n"
    "\nThe frames must be grey; JPEG frames are decompressed and 16-bit frames reduced to\n"
    "their 8 most significant effective bits.\n",
    kOptions,
    2,
    2,
    2,
    Run,
};

}  // namespace qmv3tool
