// "qmv3 convert": loads any file the library reads and saves it in the kind the output name chooses.
// The older kinds hold uncompressed grey frames only, so JPEG frames are decompressed for them.
#include <strings.h>

#include <cstdio>

#include "command.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

bool IsOlderKind(const std::string& path) {
    static const char* const kExtensions[] = {".imm", ".imc", ".bkc", ".bkg"};
    for (const char* extension : kExtensions) {
        const size_t length = 4;
        if (path.size() >= length && strcasecmp(path.c_str() + path.size() - length, extension) == 0) return true;
    }
    return false;
}

int Run(const Arguments& arguments) {
    const Command& command = kConvertCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    Sequence sequence;
    std::string message;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    if ((IsOlderKind(output) || arguments.Has("decompress")) && HasCompressedImages(sequence) &&
        !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (!SaveSequence(sequence, output, message)) return Failure(command, "%s", message.c_str());
    std::printf("%s -> %s: %u frame%s, %lld bytes\n", input.c_str(), output.c_str(), sequence.size(),
                sequence.size() == 1 ? "" : "s", FileSize(output));
    return kExitSuccess;
}

const OptionSpec kOptions[] = {{"decompress", 0, false}};

}  // namespace

const Command kConvertCommand = {
    "convert",
    "[--decompress] IN OUT",
    "convert a sequence file into another kind",
    "IN may be any IMC2/BKC2, IMM, BKG, IMC or BKC file (recognised by its content). The\n"
    "extension of OUT chooses the kind: .imm, .imc, .bkc, .bkg, anything else IMC2/BKC2.\n"
    "The older kinds hold uncompressed grey frames only (BKG one frame); JPEG frames are\n"
    "decompressed for them, and for IMC2/BKC2 with --decompress.\n",
    kOptions,
    1,
    2,
    2,
    Run,
};

}  // namespace qmv3tool
