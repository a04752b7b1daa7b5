// The percentile limits come from a strided sample of the frame (at most about 256k values), so they
// cost a fraction of the reduction; they are renewed once a second rather than per frame, so the
// picture does not flicker with the noise of single frames.
#include "view_render.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>


namespace qmv3tool {

namespace {

constexpr size_t kSampleTarget = 262144;

uint32_t TopValue(const DIMAGE& image, const PixelLayout& layout) {
    if (layout.bytesPerSample == 1) return 255;
    const int bits = qmGetEffectiveBits(&image);
    return bits < 16 ? (1u << bits) - 1 : 65535u;
}

// Counts of every raw value over a strided sample of the samples.
void SampleValues(const DIMAGE& image, const PixelLayout& layout, std::vector<uint32_t>& fine) {
    const size_t samples = static_cast<size_t>(layout.width) * layout.height * static_cast<size_t>(layout.channels);
    const size_t stride = std::max<size_t>(1, samples / kSampleTarget) | 1;  // odd: no lock-step with rows
    fine.resize(layout.bytesPerSample == 2 ? 65536 : 256);
    qmImageHistogram(&image, static_cast<unsigned int>(stride), fine.data(), fine.size(), nullptr);
}

struct JpegErrors {
    jpeg_error_mgr manager;
    jmp_buf back;
    char text[JMSG_LENGTH_MAX];
};

// libjpeg's standard error_exit ends the process; this returns to the encoder instead.
void ReturnToEncoder(j_common_ptr info) {
    JpegErrors* errors = reinterpret_cast<JpegErrors*>(info->err);
    (*info->err->format_message)(info, errors->text);
    longjmp(errors->back, 1);
}

// Kept free of C++ objects with destructors: longjmp skips them.
bool EncodeRows(const Picture& picture, unsigned char** buffer, unsigned long* size, char* error) {
    jpeg_compress_struct info;
    JpegErrors errors;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = ReturnToEncoder;
    errors.text[0] = '\0';
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        std::snprintf(error, JMSG_LENGTH_MAX, "%s", errors.text);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, buffer, size);
    info.image_width = picture.width;
    info.image_height = picture.height;
    info.input_components = picture.channels;
    info.in_color_space = picture.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    info.dct_method = JDCT_IFAST;
    jpeg_start_compress(&info, TRUE);
    const size_t rowBytes = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.channels);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.pixels.data() + rowBytes * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

void AppendNumber(std::string& json, const char* name, double value) {
    char text[64];
    if (std::isfinite(value))
        std::snprintf(text, sizeof text, "\"%s\":%.6g,", name, value);
    else
        std::snprintf(text, sizeof text, "\"%s\":null,", name);
    json += text;
}

}  // namespace

bool EncodeJpeg(const Picture& picture, std::vector<unsigned char>& jpeg, std::string& message) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char error[JMSG_LENGTH_MAX] = "";
    const bool encoded = EncodeRows(picture, &buffer, &size, error);
    if (encoded) jpeg.assign(buffer, buffer + size);
    std::free(buffer);
    if (!encoded) message = std::string("the JPEG encoder failed: ") + error;
    return encoded;
}

void ViewRenderer::UpdateLimits(const DIMAGE& image, const ViewSettings& settings, const std::vector<uint32_t>& fine,
                                uint32_t top) {
    (void)image;
    const auto now = std::chrono::steady_clock::now();
    if (!settings.automaticLimits) {
        low_ = std::min(settings.low, top);
        high_ = std::min(std::max(settings.high, low_ + 1), top);
        limitsVersion_ = settings.version;
        return;
    }
    if (limitsVersion_ == settings.version && now - limitsTime_ < std::chrono::seconds(1)) return;
    const std::vector<uint64_t> counts(fine.begin(), fine.end());
    low_ = qmHistogramPercentile(counts.data(), counts.size(), 0.005);
    high_ = std::max(qmHistogramPercentile(counts.data(), counts.size(), 0.995), low_ + 1);
    limitsTime_ = now;
    limitsVersion_ = settings.version;
}

bool ViewRenderer::Render(const DIMAGE& image, const ViewSettings& settings, RenderedView& view,
                          std::string& message) {
    PixelLayout layout;
    if (!PixelLayoutOf(image, 1, layout, message)) return false;
    const uint32_t top = TopValue(image, layout);
    std::vector<uint32_t>& fine = fine_;
    SampleValues(image, layout, fine);
    UpdateLimits(image, settings, fine, top);

    // The page's histogram: 256 bins over 0 .. top.
    view.histogram.assign(256, 0);
    view.histogramTop = top;
    for (size_t value = 0; value < fine.size(); ++value)
        if (fine[value] != 0) view.histogram[std::min<size_t>(255, value * 256 / (static_cast<size_t>(top) + 1))] += fine[value];

    ThumbnailStyle style;
    style.palette = settings.palette;
    style.low = low_;
    style.high = high_;
    style.maxSide = kMaxSide;
    Picture& picture = picture_;
    if (!MakeThumbnail(image, 1, style, picture, message)) return false;
    if (!EncodeJpeg(picture, view.jpeg, message)) return false;
    view.frameWidth = layout.width;
    view.frameHeight = layout.height;
    view.viewWidth = picture.width;
    view.viewHeight = picture.height;
    view.low = low_;
    view.high = high_;

    QMV3_STATISTICS_OPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.size = sizeof options;
    options.background = QMV3_BACKGROUND_BORDER;
    options.border = kBorder;
    const bool wholeFrame = settings.roiWidth <= 0 || settings.roiHeight <= 0;
    options.x = wholeFrame ? 0 : settings.roiX;
    options.y = wholeFrame ? 0 : settings.roiY;
    options.width = wholeFrame ? 0 : settings.roiWidth;
    options.height = wholeFrame ? 0 : settings.roiHeight;
    // Without a threshold the noise of the whole region above the background weighs in and pulls the
    // centroid towards the region's middle: the spot is what stands out by a fraction of its peak. The
    // peak comes from the previous frame of the same region, so a frame costs one pass; the first one,
    // or one after the region changed, two.
    if (peakVersion_ != settings.version) peak_ = 0.0;
    for (int pass = 0; pass < 2; ++pass) {
        options.threshold = peak_ > 0.0 ? kThresholdFraction * peak_ : 0.0;
        view.haveStatistics = qmImageStatistics(&image, &options, &view.statistics) == QMV3_STATISTICS_OK;
        if (!view.haveStatistics && !wholeFrame) {
            // A region that no longer fits (another camera, another file): measure the whole frame.
            options.x = options.y = options.width = options.height = 0;
            view.haveStatistics = qmImageStatistics(&image, &options, &view.statistics) == QMV3_STATISTICS_OK;
        }
        const bool hadPeak = peak_ > 0.0;
        peak_ = view.haveStatistics ? std::max(0.0, view.statistics.max - view.statistics.background) : 0.0;
        peakVersion_ = settings.version;
        if (hadPeak || peak_ <= 0.0) break;
    }
    view.threshold = options.threshold;
    view.roiX = view.haveStatistics ? view.statistics.x : 0;
    view.roiY = view.haveStatistics ? view.statistics.y : 0;
    view.roiWidth = view.haveStatistics ? view.statistics.width : 0;
    view.roiHeight = view.haveStatistics ? view.statistics.height : 0;
    return true;
}

std::string Base64(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t group = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        text += kDigits[group >> 18];
        text += kDigits[(group >> 12) & 63];
        text += kDigits[(group >> 6) & 63];
        text += kDigits[group & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t group = (uint32_t(bytes[i]) << 16) | (two ? uint32_t(bytes[i + 1]) << 8 : 0);
        text += kDigits[group >> 18];
        text += kDigits[(group >> 12) & 63];
        text += two ? kDigits[(group >> 6) & 63] : '=';
        text += '=';
    }
    return text;
}

std::string ViewJson(const DIMAGE& image, const RenderedView& view, const std::string& time, const std::string& extra) {
    std::string json = "{";
    char text[160];
    std::snprintf(text, sizeof text, "\"frame\":%u,\"width\":%u,\"height\":%u,\"view_width\":%u,\"view_height\":%u,",
                  image.frameHeader.frameNumber, view.frameWidth, view.frameHeight,
                  view.viewWidth, view.viewHeight);
    json += text;
    json += "\"time\":\"" + time + "\",";
    std::snprintf(text, sizeof text, "\"low\":%u,\"high\":%u,\"top\":%u,\"roi\":[%d,%d,%d,%d],\"threshold\":%.6g,",
                  view.low, view.high, view.histogramTop, view.roiX, view.roiY, view.roiWidth, view.roiHeight,
                  view.threshold);
    json += text;
    json += "\"histogram\":[";
    for (size_t i = 0; i < view.histogram.size(); ++i) json += (i ? "," : "") + std::to_string(view.histogram[i]);
    json += "],\"stats\":";
    if (view.haveStatistics) {
        const QMV3_STATISTICS& s = view.statistics;
        json += "{";
        AppendNumber(json, "min", s.min);
        AppendNumber(json, "max", s.max);
        AppendNumber(json, "mean", s.mean);
        AppendNumber(json, "sigma", s.sigma);
        AppendNumber(json, "net", s.net);
        AppendNumber(json, "saturated", static_cast<double>(s.saturated));
        AppendNumber(json, "centroid_x", s.centroid_x);
        AppendNumber(json, "centroid_y", s.centroid_y);
        AppendNumber(json, "sigma_x", s.sigma_x);
        AppendNumber(json, "sigma_y", s.sigma_y);
        AppendNumber(json, "sigma_xy", s.sigma_xy);
        AppendNumber(json, "orientation_deg", s.orientation_deg);
        json.back() = '}';
    } else {
        json += "null";
    }
    json += ",";
    json += extra;
    json += "\"jpeg\":\"" + Base64(view.jpeg) + "\"}";
    return json;
}

}  // namespace qmv3tool
