// The figures of a run that the report and the contact sheet show: per-frame mean, minimum, maximum
// and saturated count, the histogram of every stored value of the run, percentiles for a contrast
// stretch, and the frame timing. Frames must be uncompressed GRAY (1 or 2 bytes) or RGB.
#ifndef QMV3_TOOL_RUN_STATISTICS_H
#define QMV3_TOOL_RUN_STATISTICS_H

#include <cstdint>
#include <string>
#include <vector>

#include "sequence_io.h"

namespace qmv3tool {

struct FrameStatistics {
    double mean = 0.0;
    uint32_t minimum = 0;
    uint32_t maximum = 0;
    uint64_t saturated = 0;  // values at or above the frame's effective-bits maximum
};

struct RunStatistics {
    std::vector<FrameStatistics> frames;  // one per image, in file order
    std::vector<uint64_t> histogram;      // count per stored value: 256 or 65536 entries
    uint64_t valueCount = 0;              // values counted (pixels times channels)
    int effectiveBits = 8;                // of the first image
    uint32_t fullScale = 255;             // 2^effectiveBits - 1

    // The smallest stored value at or below which lies the given fraction (0..1) of all values (and
    // at least one); 0 for a run without values.
    uint32_t Percentile(double fraction) const;
};

// Counts every value of every frame; false with a message when a frame is compressed or of a layout
// without values to count.
bool ComputeRunStatistics(const Sequence& sequence, RunStatistics& statistics, std::string& message);

// Seconds since the epoch with microseconds, from an image's time stamp.
double TimestampSeconds(const DIMAGE& image);

// "15:04:10.250" in UTC, for labels.
std::string ClockText(const DIMAGE& image);

}  // namespace qmv3tool

#endif
