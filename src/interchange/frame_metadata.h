// The per-frame facts that travel with a frame into the interchange formats (TIFF, PNG, HDF5) and back:
// a small JSON object, ISO 8601 time texts, and the header of an image made from outside pixels.
#ifndef QMV3_INTERCHANGE_FRAME_METADATA_H
#define QMV3_INTERCHANGE_FRAME_METADATA_H

#include <cstdint>
#include <string>

#include "qmv3/qmv3.h"

namespace interchange {

// What a frame's description holds; the has* members tell which parts a parsed description gave.
struct FrameFacts {
    uint32_t frameNumber = 0;
    uint32_t eventNumber = 0;
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    int32_t effectiveBits = -1;
    std::string portName;
    uint32_t portId = 0;
    float xScale = -1.0f;
    float yScale = -1.0f;
    int32_t flags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
    bool hasFrameNumber = false;
    bool hasTime = false;
    bool hasOthers = false;  // any of event number, bits, port, scale, flags
};

FrameFacts FactsOf(const DIMAGE& image);

// One line of JSON without any '=' (so that line-oriented key=value readers skip it).
std::string FrameFactsJson(const FrameFacts& facts);

// Reads the members of a JSON object written by FrameFactsJson; false when the text is no JSON object
// or holds none of them. Unknown members are ignored; values out of range are not taken.
bool ParseFrameFactsJson(const std::string& text, FrameFacts& facts);

// "2023-07-27T15:04:10.250000Z"
std::string IsoTime(uint32_t seconds, uint32_t microseconds);
// Reads IsoTime's form (fraction optional, "Z" or no zone: UTC); false when it is not one.
bool ParseIsoTime(const std::string& text, uint32_t& seconds, uint32_t& microseconds);
// Reads "YYYY:MM:DD HH:MM:SS" (the TIFF date form) as UTC.
bool ParseTiffDateTime(const std::string& text, uint32_t& seconds);

// A valid uncompressed header for a frame of the given geometry and layout (channels 1: GRAY, 3: RGB;
// bytesPerSample 1 or 2), with the facts applied; frameNumber is used when the facts have none.
void MakeImageHeader(DIMAGE& image, uint32_t width, uint32_t height, int channels, int bytesPerSample,
                     const FrameFacts& facts);

}  // namespace interchange

#endif
