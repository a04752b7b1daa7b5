// "qmv3 dump": the header of one image of a sequence file as labelled text, or its 188 bytes as a hex
// dump. The texts are those of the library's own image dumps, so dumps of the tool and of the library
// compare line by line.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "command.h"
#include "sequence_io.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

const OptionSpec kOptions[] = {{"frame", 'k', true}, {"hex", 0, false}};

std::string LocalTimeText(const DIMAGE_SOURCEHEADER& source) {
    const time_t seconds = static_cast<time_t>(source.timestampSeconds);
    struct tm local;
    char text[64];
    if (localtime_r(&seconds, &local) == nullptr) {
        std::snprintf(text, sizeof text, "%d:%d (epochsec:msec)", static_cast<int>(source.timestampSeconds),
                      static_cast<int>(source.timestampMicroseconds / 1000));
    } else {
        std::snprintf(text, sizeof text, "[%02d.%02d.%02d %02d:%02d:%02d:%03d LTM]", local.tm_mday, local.tm_mon + 1,
                      local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec,
                      static_cast<int>(source.timestampMicroseconds / 1000));
    }
    return text;
}

std::string FlagsText(int flags) {
    char text[164];
    size_t size = sizeof text;
    if (qmGetFlagNames(flags, text, size) == nullptr) return "";
    return text;
}

void PrintSourceHeader(const DIMAGE_SOURCEHEADER& s) {
    uint32_t tag;
    std::memcpy(&tag, s.baseTag, sizeof tag);
    std::printf("Information of qmv3 image header\n================================\n\n Image.sourceHeader\n");
    std::printf("   baseTag='%c%c%c%c' (%xh)\n", s.baseTag[0], s.baseTag[1], s.baseTag[2], s.baseTag[3], tag);
    std::printf("   cameraPortId=%d\n", static_cast<int>(s.cameraPortId));
    std::printf("   versionTag=%u\n", s.versionTag);
    std::printf("   totalLength=%u (bytes)\n", s.totalLength);
    std::printf("   timestampSeconds=%u (sec since epoch)\n", s.timestampSeconds);
    std::printf("   timestampMicroseconds=%u (usec offset, 0 <= value < 1.000.000)\n", s.timestampMicroseconds);
    std::printf("    = human readable timestamp: %s\n", LocalTimeText(s).c_str());
    char name[64];
    std::memcpy(name, s.cameraPortName, sizeof name);
    name[63] = '\0';
    std::printf("   cameraPortName\n    =\"%s\"\n", EscapeText(name, sizeof name).c_str());
}

void PrintFrameHeader(const DIMAGE_FRAMEHEADER& f) {
    std::printf("\n Image.frameHeader\n");
    std::printf("   sourceWidth  = %d (pixels)\n   sourceHeight = %d (pixels)\n", f.sourceWidth, f.sourceHeight);
    std::printf("   aoiWidth     = %d (pixels)\n   aoiHeight    = %d (pixels)\n", f.aoiWidth, f.aoiHeight);
    std::printf("   xStart = %d (offset in pixels, see flags!)\n", f.xStart);
    std::printf("   yStart = %d (offset in pixels, see flags!)\n", f.yStart);
    std::printf("   bytesPerPixel = %d (bytes)\n", f.bytesPerPixel);
    std::printf("   effectiveBPP = %d (bits per pixel)\n", f.effectiveBitsPerPixel);
    std::printf("   horizontalBinning = %d (%d to 1 pixel merged)\n", f.horizontalBinning, f.horizontalBinning);
    std::printf("   verticalBinning = %d (%d to 1 pixel merged)\n", f.verticalBinning, f.verticalBinning);
    std::printf("   sourceFormat = %d\n    (=%s)\n", f.sourceFormat, FormatName(f.sourceFormat).c_str());
    std::printf("   imageFormat = %d\n    (=%s)\n\n", f.imageFormat, FormatName(f.imageFormat).c_str());
    std::printf("   frameNumber = %u\n   eventNumber = %u\n", f.frameNumber, f.eventNumber);
    std::printf("   xScale = %f (millimetre per pixel (mm/px))\n", f.xScale);
    std::printf("   yScale = %f (millimetre per pixel (mm/px))\n", f.yScale);
    std::printf("   imageRotation = %f (degrees, +CW -CCW)\n", f.imageRotation);
    std::printf("   scale_x_offset = %f\n   scale_y_offset = %f\n", f.scale_x_offset, f.scale_y_offset);
    std::printf("   fspare3 = %f\n", f.fspare3);
    std::printf("   imageFlags = %xh\n    (=%s)\n", static_cast<unsigned>(f.imageFlags),
                FlagsText(f.imageFlags).c_str());
    std::printf("   ispare1 = %d\n   ispare2 = %d\n   ispare3 = %d\n", f.ispare1, f.ispare2, f.ispare3);
    std::printf("   appendedFrameSize = %d (bytes)\n", f.appendedFrameSize);
}

// The library's hex-dump layout: ".xx" per byte, 16 to a line with their characters, the running
// count in upper-case hexadecimal as the label of the next line.
void PrintHexDump(const unsigned char* bytes, size_t count) {
    std::printf("     1:");
    for (size_t i = 0; i < count; ++i) {
        std::printf(".%02x", bytes[i]);
        if ((i + 1) % 16 != 0) continue;
        std::printf(" ");
        for (size_t j = i - 15; j <= i; ++j) std::putchar(bytes[j] >= 32 && bytes[j] <= 126 ? bytes[j] : '.');
        std::printf("\n%6zX:", i + 1);
    }
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
    if (arguments.Has("hex")) {
        std::printf(
            "Information of qmv3 header bits (binary dump)\n"
            "=============================================\n\nContents: %u (bytes)\n\n--\n\n",
            QMV3_IMAGE_HEADER_SIZE);
        PrintHexDump(reinterpret_cast<const unsigned char*>(&image), QMV3_IMAGE_HEADER_SIZE);
        std::printf("\n");
    } else {
        PrintSourceHeader(image.sourceHeader);
        PrintFrameHeader(image.frameHeader);
    }
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
