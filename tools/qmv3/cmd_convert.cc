// "qmv3 convert": loads any file the library reads and saves it in the kind the output name chooses.
// The older kinds hold uncompressed grey frames only, so JPEG frames are decompressed for them.
#include <cstdio>

#include "command.h"
#include "output_file.h"
#include "output_kind.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

int Run(const Arguments& arguments) {
    const Command& command = kConvertCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    const OutputKind kind = OutputKindOf(output);
    if (kind == OutputKind::kUnwritable)
        return UsageError(command, "'%s': the name of OUT must end in one of %s", output.c_str(),
                          WritableExtensions().c_str());
    OutputFiles outputs(arguments.Has("force"));
    outputs.Add(output);
    std::string message;
    if (!outputs.Check(message)) return Failure(command, "%s", message.c_str());
    Sequence sequence;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    // No file kind holds JPEG frames.
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (!outputs.Prepare(message)) return Failure(command, "%s", message.c_str());
    if (!SaveSequence(sequence, outputs.WritePath(0), message, output))
        return Failure(command, "%s", outputs.UserText(message).c_str());
    if (!outputs.Commit(message)) return Failure(command, "%s", message.c_str());
    std::printf("%s -> %s: %u frame%s, %lld bytes\n", input.c_str(), output.c_str(), sequence.size(),
                sequence.size() == 1 ? "" : "s", FileSize(output));
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"decompress", 0, false}, kForceOption};

}  // namespace

const Command kConvertCommand = {
    "convert",
    "[--decompress] [--force] IN OUT",
    "convert a sequence file into another kind",
    "options:\n"
    "      --decompress  accepted for older scripts: JPEG frames are always decompressed\n" QMV3_FORCE_HELP
    "\nIN may be any IMC2/BKC2, IMM, BKG, IMC or BKC file (recognised by its content). The\n"
    "extension of OUT chooses the kind: .imc2 and .bkc2 IMC2/BKC2, .imm, .imc, .bkc, .bkg the\n"
    "older kinds; any other name is refused. The older kinds hold uncompressed grey frames only\n"
    "(BKG one frame); JPEG frames are decompressed, since no kind holds them.\n"
    "An existing OUT is refused unless --force is given.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
