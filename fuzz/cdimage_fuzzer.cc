// Fuzzes the image record: arbitrary 188-byte headers over buffers exactly as large as the rest of the
// input. The validity rules must judge every record without touching memory outside it; a record they
// accept must survive the chosen operation and still be valid when the operation reports success;
// a record they refuse must be refused by the operation too.
//
// Input: one byte choosing the operation, four parameter bytes, the header, then the pixels.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz_support.h"
#include "image/cdimage.h"
#include "qmv3/qmv3.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

struct Parameters {
    uint8_t operation, a, b, c, d;
};

int smallValue(uint8_t byte) { return static_cast<int>(byte % 8) - 1; }

bool runOperation(CDIMAGE& image, const Parameters& p) {
    switch (p.operation % 12) {
        case 0:
            return image.performFastBinning(p.a % 5, p.b % 5);
        case 1:
            return image.performNormalisationBuggy(static_cast<tNormalisationMode>(p.a % 2));
        case 2:
            return image.performNormalisationLimitImproved(p.a, 255 + p.b * 256);
        case 3:
            return image.performGrayscaleDownscaleTo1BytePerPixel();
        case 4:
            return image.performRGB24DownscaleToGrayN(p.a % 18);
        case 5:
            return image.cutoutAreaOfInterest(smallValue(p.a), smallValue(p.b), smallValue(p.c), smallValue(p.d));
        case 6: {
            unsigned long long sum = 0;
            return image.performIntensityCalculation(sum);
        }
        case 7: {
            unsigned char scratch[256];
            return image.expandAoi(scratch, p.a, p.b % 2);
        }
        case 8:
            return image.performRGB24DownscaleToGray8();
        case 9:
            return image.adjustOrientation(p.a % 9);
        case 10: {
            double sum = 0;
            return image.performIntensityCalculation(sum);
        }
        default: {
            FILE* sink = std::fopen("/dev/null", "w");
            image.putHeadersToText(sink, p.a % 2);
            image.putHeadersToHexDumpText(sink);
            image.dumpFrameBitsAsHexDump(sink);  // closes the stream
            return false;                        // dumps change nothing: no validity to recheck
        }
    }
}

void checkTexts(const DIMAGE& record, uint8_t room) {
    char text[300];
    size_t size = room;
    CDIMAGE::getFlagsAsString(record.frameHeader.imageFlags, text, size);
    size = room;
    CDIMAGE::getFormatAsString(record.frameHeader.imageFormat, text, size);
    std::memset(text, 'x', sizeof text);
    // The message is written only on failure.
    if (qmCheckImageValidity(&record, text, room) != 1 && room >= 2) require(std::memchr(text, '\0', room) != nullptr);
}

// The frame copy into an exact-size caller buffer of the chosen size.
void copyFrame(const DIMAGE& record, uint8_t sizeSelector) {
    int size = sizeSelector == 0xFF ? record.frameHeader.appendedFrameSize : sizeSelector;
    if (size < 0 || size > (1 << 24)) return;
    std::unique_ptr<unsigned char[]> destination(new unsigned char[size > 0 ? size : 1]);
    int inOut = size;
    unsigned width = 0, height = 0;
    int colourType = 0, bytesPerPixel = 0, effectiveBits = 0;
    DIMAGE header;
    int result = qmGetFrameFromDIMAGE(destination.get(), &inOut, &record, &width, &height, &colourType, &bytesPerPixel,
                                      &effectiveBits, &header);
    if (result == 0) require(inOut <= size);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < sizeof(Parameters) + CDIMAGE::HEADER_SIZE || size > (1u << 20)) return 0;
    Parameters parameters;
    std::memcpy(&parameters, data, sizeof parameters);
    data += sizeof parameters;
    size -= sizeof parameters;

    DIMAGE record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, CDIMAGE::HEADER_SIZE);
    size_t pixelBytes = size - CDIMAGE::HEADER_SIZE;
    // An exact-size block, so that the address sanitizer sees any read past the claimed capacity.
    std::unique_ptr<unsigned char[]> pixels(pixelBytes > 0 ? new unsigned char[pixelBytes] : nullptr);
    if (pixelBytes > 0) std::memcpy(pixels.get(), data + CDIMAGE::HEADER_SIZE, pixelBytes);
    record.frameBufferSize = static_cast<uint32_t>(pixelBytes);
    record.frameBuffer = pixels.get();

    std::string message;
    const bool valid = CDIMAGE::checkValidity(record, message);
    if (valid) CDIMAGE::checkRestrictedValidity(record, message);
    checkTexts(record, parameters.d);

    copyFrame(record, parameters.c);

    CDIMAGE image(record);
    const bool done = runOperation(image, parameters);
    if (!valid) require(!done);
    if (done) require(CDIMAGE::checkValidity(image.m_Img, message));
    return 0;
}
