// "qmv3 convert": loads any file the library reads and saves it in the kind the output name chooses.
// The older kinds hold uncompressed grey frames only, so JPEG frames are decompressed for them.
#include <cstdio>

#include "command.h"
#include "interchange.h"
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
    Sequence sequence;
    std::string message;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    // Only IMC2/BKC2 files hold JPEG frames.
    if ((kind != OutputKind::kImc2 || arguments.Has("decompress")) && HasCompressedImages(sequence) &&
        !DecompressSequence(sequence, message))
        return Failure(command, "%s", message.c_str());
    if (IsInterchangeKind(kind)) {
        std::string summary;
        if (!ExportSequence(sequence, 1, sequence.size(), output, false, summary, message))
            return Failure(command, "%s", message.c_str());
        std::printf("%s -> %s: %u frame%s\n", input.c_str(), summary.c_str(), sequence.size(),
                    sequence.size() == 1 ? "" : "s");
        return kExitSuccess;
    }
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
    "convert a sequence file or image into another kind",
    "IN may be any IMC2/BKC2, IMM, BKG, IMC or BKC file, or a TIFF or PNG image (recognised by\n"
    "its content). The extension of OUT chooses the kind: .imc2 and .bkc2 IMC2/BKC2, .imm, .imc,\n"
    ".bkc, .bkg the older kinds, .tif/.tiff, .png and .h5/.hdf5 as 'qmv3 export' writes them;\n"
    "any other name is refused. The older kinds hold uncompressed grey frames only (BKG one\n"
    "frame); JPEG frames are decompressed for every kind but IMC2/BKC2, and for it with\n"
    "--decompress.\n",
    kOptions,
    1,
    2,
    2,
    Run,
};

}  // namespace qmv3tool
