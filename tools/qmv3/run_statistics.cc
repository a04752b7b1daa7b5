// One pass over every frame: each frame's values are counted into a histogram of its own, from which
// its mean, extremes and saturated count follow, and which is then added to the run's histogram. A
// histogram pass is cheaper than a pass per figure, and 16-bit histograms (256 KiB) stay in cache.
#include "run_statistics.h"

#include <ctime>

namespace qmv3tool {

namespace {

// Counts the frame's values, as the library lays them out; false for a frame without countable values.
bool CountValues(const DIMAGE& image, std::vector<uint32_t>& counts, uint64_t& values, int& sampleBits) {
    QMV3_PIXEL_LAYOUT layout;
    if (qmGetPixelLayout(&image, &layout) != QMV3_LAYOUT_OK ||
        qmImageHistogram(&image, 1, counts.data(), counts.size(), &values) != QMV3_STATISTICS_OK)
        return false;
    // An RGB frame's effective bits are those of its three channels together.
    sampleBits = layout.effectiveBits / static_cast<int>(layout.channels);
    return true;
}

FrameStatistics StatisticsOf(const std::vector<uint32_t>& counts, uint64_t values, uint32_t fullScale) {
    FrameStatistics frame;
    double sum = 0.0;
    bool first = true;
    for (size_t value = 0; value < counts.size(); ++value) {
        if (counts[value] == 0) continue;
        if (first) frame.minimum = static_cast<uint32_t>(value);
        first = false;
        frame.maximum = static_cast<uint32_t>(value);
        sum += static_cast<double>(value) * counts[value];
        if (value >= fullScale) frame.saturated += counts[value];
    }
    frame.mean = values > 0 ? sum / static_cast<double>(values) : 0.0;
    return frame;
}

}  // namespace

// The largest value of `bits` bits; 1u << 32 would be undefined.
uint32_t FullScaleOf(int bits) { return bits <= 0 ? 0u : bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u; }

double TimestampSeconds(const DIMAGE& image) {
    return static_cast<double>(image.sourceHeader.timestampSeconds) +
           static_cast<double>(image.sourceHeader.timestampMicroseconds) / 1e6;
}

std::string ClockText(const DIMAGE& image) {
    const time_t seconds = static_cast<time_t>(image.sourceHeader.timestampSeconds);
    struct tm utc;
    if (gmtime_r(&seconds, &utc) == nullptr) return "--:--:--";
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03u", utc.tm_hour, utc.tm_min, utc.tm_sec,
                  (image.sourceHeader.timestampMicroseconds % 1000000u) / 1000u);
    return text;
}

uint32_t RunStatistics::Percentile(double fraction) const {
    return qmHistogramPercentile(histogram.data(), histogram.size(), fraction);
}

bool ComputeRunStatistics(const Sequence& sequence, RunStatistics& statistics, std::string& message) {
    statistics = RunStatistics();
    bool wide = false;
    for (uint32_t i = 0; i < sequence.size(); ++i) wide = wide || sequence[i].frameHeader.bytesPerPixel == 2;
    statistics.histogram.assign(wide ? 65536 : 256, 0);
    std::vector<uint32_t> counts(statistics.histogram.size());
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        uint64_t values = 0;
        int bits = 0;
        if (!CountValues(sequence[i], counts, values, bits)) {
            message = "image " + std::to_string(i + 1) + " of " + std::to_string(sequence.size()) +
                      " holds no uncompressed GRAY or RGB frame";
            return false;
        }
        if (i == 0) {
            statistics.effectiveBits = bits;
            statistics.fullScale = FullScaleOf(bits);
        }
        const uint32_t fullScale = FullScaleOf(bits);
        statistics.frames.push_back(StatisticsOf(counts, values, fullScale));
        for (size_t value = 0; value < counts.size(); ++value) statistics.histogram[value] += counts[value];
        statistics.valueCount += values;
    }
    return true;
}

}  // namespace qmv3tool
