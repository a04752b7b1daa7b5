// "qmv3 export": frames of any file the tool reads into the formats analysis programs read: one
// multi-page TIFF, one PNG per frame or one HDF5 file, chosen by the output name's extension.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "command.h"
#include "output_file.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"compress", 0, false}, {"frames", 0, true}, kForceOption};

int Run(const Arguments& arguments) {
    const Command& command = kExportCommand;
    const std::string input = arguments.Positionals()[0];
    const std::string output = arguments.Positionals()[1];
    std::vector<char> refusal(output.size() + 128);
    if (qmCheckExportName(output.c_str(), nullptr, refusal.data(), refusal.size()) != QMV3_SAVE_OK)
        return UsageError(command, "%s", refusal.data());
    std::string message;
    long first = 0, last = 0;
    const char* range = arguments.Value("frames");
    if (range != nullptr && !ParseRange(range, first, last))
        return UsageError(command, "--frames needs A:B, A:, :B or K with 1 <= A <= B, not '%s'", range);
    const bool force = arguments.Has("force");
    // Refused before the work; a PNG series is checked under its own names by the library.
    if (qmGetFileKindOfName(output.c_str()) != QMV3_FILE_PNG && !CheckOutput(output, force, message))
        return Failure(command, "%s", message.c_str());

    Sequence sequence;
    if (!LoadSequence(input, sequence, message)) return Failure(command, "%s", message.c_str());
    if (sequence.size() == 0) return Failure(command, "%s holds no frames", input.c_str());
    if (first == 0) first = 1;
    if (last == 0) last = sequence.size();
    if (static_cast<unsigned long>(last) > sequence.size())
        return UsageError(command, "--frames %s goes beyond the %u frames of %s", range, sequence.size(),
                          input.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s: %s", input.c_str(), message.c_str());
    std::string summary;
    if (!ExportSequence(sequence, static_cast<uint32_t>(first), static_cast<uint32_t>(last), output,
                        arguments.Has("compress"), force, summary, message))
        return Failure(command, "%s", message.c_str());
    const long count = last - first + 1;
    std::printf("%s -> %s: %ld frame%s\n", input.c_str(), summary.c_str(), count, count == 1 ? "" : "s");
    return kExitSuccess;
}

}  // namespace

const Command kExportCommand = {
    "export",
    "IN OUT [--compress] [--frames A:B] [--force]",
    "write frames as TIFF, PNG or HDF5 for analysis programs",
    "options:\n"
    "      --compress    deflate the data (TIFF, HDF5 level 4); PNG: strongest instead of fastest\n"
    "      --frames A:B  only images A to B in file order, counted from 1 (also A:, :B, K)\n" QMV3_FORCE_HELP
    "\nIN is any file the tool reads (JPEG frames are decompressed). The extension of OUT chooses:\n"
    "  .tif, .tiff   one multi-page TIFF, a page per frame; each page's description holds the\n"
    "                frame's facts as a JSON line, the first page also the lines stack viewers read\n"
    "  .png          one PNG per frame, OUT's stem followed by -1, -2, ... zero-padded to the width\n"
    "                of the frame count (exactly OUT for a single frame); facts in tEXt chunks\n"
    "  .h5, .hdf5    one HDF5 file: /entry/data/data of shape (N, H, W) or (N, H, W, 3) with\n"
    "                frame_number, event_number and timestamp beside it\n"
    "8- and 16-bit grey and 8-bit RGB frames keep their stored values. An existing file is\n"
    "refused unless --force is given; a failed or interrupted export leaves nothing behind.\n",
    kOptions,
    sizeof kOptions / sizeof kOptions[0],
    2,
    2,
    Run,
};

}  // namespace qmv3tool
