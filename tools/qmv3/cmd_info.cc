// "qmv3 info": what a sequence file holds: its kind, frame count, geometry, pixel format, scale,
// frame-number range with the completeness of the sequence, and the time-stamp range. All of it comes
// from the headers: the pixels are never read, so a long recording is summed up in a blink.
#include <cstdio>

#include "command.h"
#include "sequence_io.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

bool IsEarlier(const DIMAGE& a, const DIMAGE& b) {
    if (a.sourceHeader.timestampSeconds != b.sourceHeader.timestampSeconds)
        return a.sourceHeader.timestampSeconds < b.sourceHeader.timestampSeconds;
    return a.sourceHeader.timestampMicroseconds < b.sourceHeader.timestampMicroseconds;
}

void PrintFrameRange(const Sequence& sequence) {
    uint32_t lowest = sequence[0].frameHeader.frameNumber, highest = lowest;
    uint32_t earliest = 0, latest = 0;
    for (uint32_t i = 1; i < sequence.size(); ++i) {
        const uint32_t number = sequence[i].frameHeader.frameNumber;
        if (number < lowest) lowest = number;
        if (number > highest) highest = number;
        if (IsEarlier(sequence[i], sequence[earliest])) earliest = i;
        if (IsEarlier(sequence[latest], sequence[i])) latest = i;
    }
    std::printf("frame numbers: %u .. %u (%s)\n", lowest, highest, SequenceVerdict(sequence));
    std::printf("time stamps:   %s .. %s\n", UtcText(sequence[earliest]).c_str(), UtcText(sequence[latest]).c_str());
}

void PrintImageDescription(const DIMAGE& image) {
    const DIMAGE_FRAMEHEADER& header = image.frameHeader;
    std::printf("geometry:      %d x %d pixels", ImageWidth(image), ImageHeight(image));
    if (ImageWidth(image) != header.sourceWidth || ImageHeight(image) != header.sourceHeight)
        std::printf(" (area of interest at %d,%d of %d x %d)", header.xStart, header.yStart, header.sourceWidth,
                    header.sourceHeight);
    std::printf("\npixel format:  %s", FormatName(header.imageFormat).c_str());
    if (header.sourceFormat != header.imageFormat)
        std::printf(" (from the camera: %s)", FormatName(header.sourceFormat).c_str());
    std::printf(", %d byte%s per pixel, %d effective bits\n", header.bytesPerPixel,
                header.bytesPerPixel == 1 ? "" : "s", qmGetEffectiveBits(&image));
    if (header.xScale > 0.0f || header.yScale > 0.0f)
        std::printf("scale:         %g x %g mm per pixel\n", header.xScale, header.yScale);
    else
        std::printf("scale:         not set\n");
    if (image.sourceHeader.cameraPortName[0] != '\0')
        std::printf("camera port:   \"%s\" (id %u)\n",
                    EscapeText(image.sourceHeader.cameraPortName, 63).c_str(), image.sourceHeader.cameraPortId);
}

int Run(const Arguments& arguments) {
    const std::string path = arguments.Positionals()[0];
    char detectionText[512] = "";
    const int detection = qmCheckFileFormat(path.c_str(), detectionText, sizeof detectionText);
    Sequence sequence;
    std::string message;
    if (!LoadHeaders(path, sequence, message)) return Failure(kInfoCommand, "%s", message.c_str());
    const char* kind = FileKindName(detection);
    std::printf("file:          %s\n", path.c_str());
    std::printf("kind:          %s, %lld bytes\n", kind ? kind : "unrecognised", FileSize(path));
    std::printf("frames:        %u\n", sequence.size());
    if (sequence.size() == 0) return kExitSuccess;
    PrintImageDescription(sequence[0]);
    long long pixelBytes = 0;
    for (uint32_t i = 0; i < sequence.size(); ++i) pixelBytes += sequence[i].frameHeader.appendedFrameSize;
    std::printf("frame bytes:   %lld\n", pixelBytes);
    PrintFrameRange(sequence);
    return kExitSuccess;
}

}  // namespace

const Command kInfoCommand = {
    "info",
    "FILE",
    "describe a sequence file: kind, frames, geometry, pixel format, numbering, time",
    "Reads IMC2/BKC2, IMM, BKG, IMC and BKC files, and TIFF and PNG images; the kind is decided\n"
    "by the content.\n"
    "The geometry, pixel format and scale are those of the first image. Only the headers are\n"
    "read (TIFF, PNG and HDF5 images are decoded); 'qmv3 check' reads the pixels.\n",
    nullptr,
    0,
    1,
    1,
    Run,
};

}  // namespace qmv3tool
