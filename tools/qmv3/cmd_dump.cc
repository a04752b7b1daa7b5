// "qmv3 dump": the header of one image of a sequence file as labelled text, or its 188 bytes as a hex
// dump, as the library writes them.
#include <cstdio>
#include <vector>

#include "command.h"
#include "sequence_io.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"frame", 'k', true}, {"hex", 0, false}};

// The library's text of the header; the camera port name escaped, so a file cannot forge lines.
bool PrintHeaderText(const DIMAGE& image, unsigned int flags) {
    const int length = qmGetImageHeaderText(&image, flags, nullptr, 0);
    if (length < 0) return false;
    std::vector<char> text(static_cast<size_t>(length) + 1);
    qmGetImageHeaderText(&image, flags, text.data(), text.size());
    std::fwrite(text.data(), 1, static_cast<size_t>(length), stdout);
    return true;
}

int Run(const Arguments& arguments) {
    const Command& command = kDumpCommand;
    long frame = 1;
    if (const char* text = arguments.Value("frame"))
        if (!ParseNumber(text, 1, 0x7fffffff, frame))
            return UsageError(command, "--frame needs an image number from 1");
    const std::string path = arguments.Positionals()[0];
    Sequence sequence;
    std::string message;
    if (!LoadHeaders(path, sequence, message)) return Failure(command, "%s", message.c_str());
    if (static_cast<unsigned long>(frame) > sequence.size())
        return Failure(command, "%s holds %u images, there is no image %ld", path.c_str(), sequence.size(), frame);
    const DIMAGE& image = sequence[static_cast<uint32_t>(frame - 1)];
    const bool hex = arguments.Has("hex");
    if (!PrintHeaderText(image, hex ? QMV3_HEADER_TEXT_HEX : QMV3_HEADER_TEXT_ESCAPED))
        return Failure(command, "out of memory");
    if (hex) std::printf("\n");
    return kExitSuccess;
}

}  // namespace

const Command kDumpCommand = {
    "dump",
    "FILE [--frame K] [--hex]",
    "print the header of one image of a sequence file",
    "options:\n"
    "  -k, --frame K  the image, counted from 1 (default 1)\n"
    "      --hex      the 188 header bytes as a hex dump instead of labelled text\n",
    kOptions,
    2,
    1,
    1,
    Run,
};

}  // namespace qmv3tool
