// "qmv3 convert": loads any file the library reads and saves it in the kind the output name chooses.
// No kind holds JPEG frames, so they are decompressed; a warning names the metadata an older kind loses.
#include <strings.h>

#include <cstdio>

#include "command.h"
#include "output_file.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

int Run(const Arguments& arguments) {
    const Command& command = kConvertCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    int kind = QMV3_FILE_UNKNOWN;
    char refusal[8192];
    if (qmCheckOutputName(output.c_str(), &kind, refusal, sizeof refusal) != QMV3_SAVE_OK)
        return UsageError(command, "%s", refusal);
    unsigned int flags = arguments.Has("force") ? QMV3_SAVE_FLAG_REPLACE : 0u;
    unsigned int compression = 0;
    const char* compress = arguments.Value("compress");
    if (compress != nullptr && !ParseCompression(compress, compression))
        return UsageError(command, "--compress takes fast, default or none, not '%s'", compress);
    if (compress != nullptr && !qmFileKindTakesCompression(kind))
        return UsageError(command, "--compress chooses the compression of .imc2 and .bkc2 files only");
    std::string message;
    // A PNG series is written under names of its own, which the library checks.
    if (kind != QMV3_FILE_PNG && !CheckOutput(output, arguments.Has("force"), message))
        return Failure(command, "%s", message.c_str());
    Sequence sequence;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    // No file kind holds JPEG frames.
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (qmIsExportFileKind(kind)) {
        std::string summary;
        if (!ExportSequence(sequence, 1, sequence.size(), output, false, arguments.Has("force"), summary, message))
            return Failure(command, "%s", message.c_str());
        std::printf("%s -> %s: %u frame%s\n", input.c_str(), summary.c_str(), sequence.size(),
                    sequence.size() == 1 ? "" : "s");
        return kExitSuccess;
    }
    // What an older kind loses; nothing when IN is of an older kind itself, whose load made the values up.
    char loss[8192];
    const char* timeName = "the conversion time";
    if (qmDescribeSaveLoss(sequence.get(), input.c_str(), output.c_str(), timeName, loss, sizeof loss) > 0 &&
        !arguments.Has("quiet"))
        std::fprintf(stderr, "qmv3 convert: warning: %s\n", loss);
    int code = 0;
    if (!SaveSequence(sequence, output, flags | compression, code, message)) {
        // A BKG file holds one frame: the library refuses several, and the tool knows the command that
        // averages them into one.
        if (sequence.size() > 1 && qmGetFileKindMaxImages(kind) == 1)
            message += " To average the frames into one background frame: qmv3 background " + input + " " + output;
        return Failure(command, "%s", message.c_str());
    }
    std::printf("%s -> %s: %u frame%s, %lld bytes\n", input.c_str(), output.c_str(), sequence.size(),
                sequence.size() == 1 ? "" : "s", FileSize(output));
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"decompress", 0, false}, {"quiet", 'q', false}, {"compress", 0, true}, kForceOption};

}  // namespace

const Command kConvertCommand = {
    "convert",
    "[--force] [--quiet] [--compress fast|default|none] IN OUT",
    "convert a sequence file or image into another kind",
    "options:\n"
    "      --decompress  accepted for older scripts: JPEG frames are always decompressed\n" QMV3_COMPRESS_HELP
        QMV3_FORCE_HELP
    "\nIN may be any IMC2/BKC2, IMM, BKG, IMC or BKC file, a TIFF or PNG image or an HDF5 file\n"
    "(recognised by its content). The extension of OUT chooses the kind: .imc2 and .bkc2 IMC2/BKC2, .imm, .imc,\n"
    ".bkc, .bkg the older kinds, .tif/.tiff, .png and .h5/.hdf5 as 'qmv3 export' writes them\n"
    "(uncompressed); any other name is refused. The older kinds hold uncompressed grey frames only\n"
    "(BKG one frame); JPEG frames are decompressed, since no kind holds them.\n"
    "The older kinds keep no frame numbers, time stamps, camera port name or scale; a warning\n"
    "names what OUT loses. An existing OUT is refused unless --force is given.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
