// Counting stored values, reading ranks off the counts, and stretching values between two limits onto
// 0..255: the one rule behind the histogram, the percentiles, the automatic contrast and the 8-bit
// pictures of the library's calls. Samples are 1 byte, or 2 bytes in host byte order (as frame buffers
// hold them); any alignment.
//
// Thread rules: none; pure functions over the caller's buffers.
#ifndef QMV3_IMAGE_VALUE_HISTOGRAM_H
#define QMV3_IMAGE_VALUE_HISTOGRAM_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qmv3::image {

// Adds every step-th of count samples, from the first, to counts (256 entries for 1 byte per sample,
// 65536 for 2); returns the number of samples counted. step >= 1.
template <typename Count>
uint64_t CountSamples(const unsigned char* samples, size_t count, size_t bytesPerSample, size_t step, Count* counts) {
    uint64_t counted = 0;
    if (bytesPerSample == 2) {
        for (size_t i = 0; i < count; i += step, ++counted) {
            uint16_t value;
            std::memcpy(&value, samples + 2 * i, sizeof value);
            ++counts[value];
        }
    } else if (step == 1) {
        for (size_t i = 0; i < count; ++i) ++counts[samples[i]];
        counted = count;
    } else {
        for (size_t i = 0; i < count; i += step, ++counted) ++counts[samples[i]];
    }
    return counted;
}

// The value of the counted sample at rank (from 0) in ascending order: the smallest value whose running
// count exceeds rank; the last value when rank reaches past every count.
template <typename Count>
uint32_t ValueAtRank(const Count* counts, size_t bins, uint64_t rank) {
    uint64_t seen = 0;
    for (size_t value = 0; value < bins; ++value) {
        seen += counts[value];
        if (seen > rank) return static_cast<uint32_t>(value);
    }
    return bins == 0 ? 0 : static_cast<uint32_t>(bins - 1);
}

// The value stretched linearly onto 0..255, low onto 0 and high onto 255 (a span of 1 where high <= low),
// rounded and cut to the range.
inline unsigned char StretchTo8Bits(double value, double low, double high) {
    const double span = high > low ? high - low : 1.0;
    const double scaled = (value - low) * 255.0 / span + 0.5;
    return static_cast<unsigned char>(scaled <= 0.0 ? 0 : scaled >= 255.0 ? 255 : scaled);
}

}  // namespace qmv3::image

#endif
