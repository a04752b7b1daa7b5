// "qmv3 export-bmp": every frame of a sequence file, or one, as a Windows bitmap PREFIX1.bmp,
// PREFIX2.bmp, ... through the library's older record. The bitmaps hold 8 bits, so the library maps
// every frame onto 0..255 first: its effective bits spread over the range, or an automatic contrast.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "command.h"
#include "output_file.h"
#include "sequence_io.h"
#include "thumbnails.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {
    {"palette", 0, true}, {"digits", 0, true}, {"contrast", 0, true}, {"frame", 'k', true}, kForceOption,
};

int Run(const Arguments& arguments) {
    const Command& command = kExportBmpCommand;
    Palette palette = Palette::kGray;  // the tool's palettes are the bitmap's, in the same order
    long digits = 0, frame = 0;
    bool automatic = false;
    if (const char* text = arguments.Value("palette"))
        if (!ParsePalette(text, palette)) return UsageError(command, "--palette must be gray, false or jet");
    if (const char* text = arguments.Value("digits"))
        if (!ParseNumber(text, 0, 3, digits)) return UsageError(command, "--digits must be 0, 1, 2 or 3");
    if (const char* text = arguments.Value("contrast")) {
        if (std::strcmp(text, "auto") != 0 && std::strcmp(text, "bits") != 0)
            return UsageError(command, "--contrast must be bits or auto");
        automatic = std::strcmp(text, "auto") == 0;
    }
    if (const char* text = arguments.Value("frame"))
        if (!ParseNumber(text, 1, 10000, frame)) return UsageError(command, "--frame needs a number from 1 to 10000");
    const std::string input = arguments.Positionals()[0];
    const std::string prefix = arguments.Positionals()[1];

    Sequence sequence;
    std::string message;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    if (frame > static_cast<long>(sequence.size()))
        return Failure(command, "%s holds %u image%s, there is no image %ld", input.c_str(), sequence.size(),
                       sequence.size() == 1 ? "" : "s", frame);
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (sequence.size() > 0 && sequence[0].frameHeader.imageFormat == QMV3_FORMAT_RGB)
        return Failure(command,
                       "%s holds RGB frames, which an 8-bit bitmap cannot hold; export them as PNG "
                       "('qmv3 export %s NAME.png') instead",
                       input.c_str(), input.c_str());
    OlderRecord record;
    char conversionText[256] = "";
    const int converted =
        qmBunchToVIDINFHDREx2(sequence.get(), record.get(), conversionText, sizeof conversionText, 0, nullptr);
    if (converted != QMV3_BUNCH_CONVERT_OK) return Failure(command, "%s: %s", input.c_str(), conversionText);
    VIDINFHDR& data = *record.get();
    // One frame is exported as the only frame of the record; the full count is restored for freeing.
    const int32_t frameCount = data.numframes;
    if (frame > 0) {
        std::swap(data.framebits[0], data.framebits[frame - 1]);
        data.numframes = 1;
    }
    const int mappedCode = qmMapFramesTo8Bits(&data, automatic ? QMV3_CONTRAST_AUTOMATIC : QMV3_CONTRAST_BITS);
    const bool mapped = mappedCode == QMV3_MAP_OK;
    const int32_t exported = data.numframes;

    OutputFiles outputs(arguments.Has("force"));
    for (int32_t i = 1; i <= exported; ++i)
        outputs.Add(BitmapFileName(prefix, frame > 0 ? frame : i, digits));
    int saved = 0;
    if (mapped && outputs.Check(message) && outputs.Prepare(message)) {
        const size_t slash = prefix.rfind('/');
        const std::string written =
            outputs.WriteFolder(0) + (slash == std::string::npos ? prefix : prefix.substr(slash + 1));
        saved = save_bmp_files(written.c_str(), &data, static_cast<int>(palette), static_cast<int>(digits));
        if (saved == QMV3_LEGACY_SAVE_OK && frame > 1 &&
            std::rename(BitmapFileName(written, 1, digits).c_str(), outputs.WritePath(0).c_str()) != 0)
            saved = -5;
    }
    data.numframes = frameCount;
    if (!mapped)
        return Failure(command, "%s", mappedCode == QMV3_MAP_OUT_OF_MEMORY ? "out of memory" : "no 8-bit mapping");
    if (!message.empty()) return Failure(command, "%s", message.c_str());
    if (saved != 0) return Failure(command, "%s (code %d)", qmGetBitmapSaveText(saved), saved);
    if (!outputs.Commit(message)) return Failure(command, "%s", message.c_str());
    std::printf("%d bitmap%s written: %s%s\n", exported, exported == 1 ? "" : "s", outputs.FinalPath(0).c_str(),
                exported == 1 ? "" : " ...");
    return kExitSuccess;
}

}  // namespace

const Command kExportBmpCommand = {
    "export-bmp",
    "IN PREFIX [--palette gray|false|jet] [--digits 0..3] [--contrast bits|auto] [--frame K] [--force]",
    "write every frame of a sequence file as a bitmap PREFIX<number>.bmp",
    "options:\n"
    "      --palette gray|false|jet  colours of the 8-bit bitmaps (default gray)\n"
    "      --digits 0..3             width of the frame number: 0 gives 1, 1 gives 01,\n"
    "                                2 gives 001, 3 gives 0001 (default 0)\n"
    "      --contrast bits|auto      bits (default): the frame's effective bits are spread over\n"
    "                                0..255; auto: the 0.5 and 99.5 percentiles of the exported\n"
    "                                frames (all together) become 0 and 255\n"
    "  -k, --frame K                 export image K only, as PREFIX<K>.bmp\n"
    "      --force                   replace existing bitmaps, once the new ones are complete\n"
    "\nThe frames must be grey (RGB frames are refused before anything is written: 'qmv3\n"
    "export' writes them as PNG); JPEG frames are decompressed. Existing bitmaps are refused\n"
    "unless --force is given.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
