// The live view's pictures: one frame reduced to the display size, its grey values stretched (between
// automatic percentile limits or fixed ones) and coloured by a palette, encoded as JPEG, together with
// the histogram and the spot statistics the page shows beside it. Rendered once per shown frame,
// whatever the number of clients. Not thread-safe: one renderer per producing thread.
#ifndef QMV3_TOOL_VIEW_RENDER_H
#define QMV3_TOOL_VIEW_RENDER_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "qmv3/qmv3.h"
#include "thumbnails.h"

namespace qmv3tool {

// What the page asked for; changed through the page's settings and region requests.
struct ViewSettings {
    Palette palette = Palette::kGray;
    bool automaticLimits = true;  // 0.5 and 99.5 percentiles, renewed every second
    uint32_t low = 0;             // fixed limits, raw values
    uint32_t high = 255;
    int roiX = 0, roiY = 0, roiWidth = 0, roiHeight = 0;  // 0 x 0: the whole frame
    uint64_t version = 0;                                 // raised by every change
};

struct RenderedView {
    std::vector<unsigned char> jpeg;
    uint32_t frameWidth = 0, frameHeight = 0;  // the frame's pixels (the appended rectangle)
    uint32_t viewWidth = 0, viewHeight = 0;
    uint32_t low = 0, high = 0;           // the limits the picture was stretched with
    uint32_t histogramTop = 255;          // the histogram's bins cover 0 .. histogramTop
    std::vector<uint32_t> histogram;      // 256 bins
    QMV3_STATISTICS statistics{};         // of the region, border background
    bool haveStatistics = false;
    double threshold = 0.0;               // the weights' threshold above the background
    int roiX = 0, roiY = 0, roiWidth = 0, roiHeight = 0;  // the region measured
};

class ViewRenderer {
  public:
    static constexpr uint32_t kMaxSide = 1024;
    // Background ring of the spot statistics, as the report takes it by default.
    static constexpr int kBorder = 8;
    // The spot's weights count where the value stands this fraction of the peak above the background.
    static constexpr double kThresholdFraction = 0.2;

    // False with a message for a frame that is no uncompressed GRAY or RGB frame.
    bool Render(const DIMAGE& image, const ViewSettings& settings, RenderedView& view, std::string& message);

  private:
    void UpdateLimits(const DIMAGE& image, const ViewSettings& settings, const std::vector<uint32_t>& fine,
                      uint32_t top);

    std::chrono::steady_clock::time_point limitsTime_{};
    uint32_t low_ = 0, high_ = 255;
    uint64_t limitsVersion_ = ~0ull;
    double peak_ = 0.0;  // the spot's peak above the background in the previous frame
    uint64_t peakVersion_ = ~0ull;
    // Kept from frame to frame: fresh pages for every frame cost more than the work on them.
    std::vector<uint32_t> fine_;
    Picture picture_;
};

// The picture as a baseline JPEG (quality 85); false with libjpeg's message.
bool EncodeJpeg(const Picture& picture, std::vector<unsigned char>& jpeg, std::string& message);

// Standard base64 of bytes, for the page's data: URIs.
std::string Base64(const std::vector<unsigned char>& bytes);

// The JSON of a rendered frame as the page reads it (numbers that are not finite become null); time is
// the image's time stamp as text, extra more members, each followed by a comma.
std::string ViewJson(const DIMAGE& image, const RenderedView& view, const std::string& time, const std::string& extra);

}  // namespace qmv3tool

#endif
