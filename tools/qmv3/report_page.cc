// The page is assembled as one string: a content security policy that forbids every outside request
// guards the promise that the file stands alone, and the styles keep it readable from a 1280-pixel
// window down to paper.
#include "report_page.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "svg_plot.h"
#include "value_warning.h"
#include "text_escape.h"

namespace qmv3tool {

namespace {

const char kStyle[] =
    "body{font:14px/1.45 system-ui,sans-serif;color:#222;margin:0 auto;padding:16px 24px;max-width:1240px}"
    "h1{font-size:22px;margin:0 0 4px}h2{font-size:17px;margin:28px 0 8px;border-bottom:1px solid #ccc}"
    "table.summary{border-collapse:collapse}table.summary th{text-align:left;font-weight:600;padding:2px 18px 2px 0;"
    "vertical-align:top}table.summary td{padding:2px 0}"
    ".sheet{display:grid;grid-template-columns:repeat(auto-fill,minmax(180px,1fr));gap:10px}"
    ".sheet figure{margin:0;background:#181818;padding:4px;text-align:center}"
    ".sheet img{max-width:100%;image-rendering:pixelated}"
    ".sheet figcaption{color:#eee;font:12px monospace}"
    "svg.plot{width:100%;height:auto;font:11px sans-serif}svg.plot .title{font-weight:600}"
    ".bad{color:#b00020}.note{color:#555}"
    "@media print{body{max-width:none;padding:0}.sheet{grid-template-columns:repeat(6,1fr)}"
    "figure,svg{break-inside:avoid}h2{break-after:avoid}}";

// The frame axis of every plot counts images as --frames does.
const char kPositionAxis[] = "image position (1 = first image of the file)";

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Base64(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t chunk = static_cast<uint32_t>(bytes[i]) << 16 |
                               (i + 1 < bytes.size() ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                               (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        text += kDigits[chunk >> 18 & 63];
        text += kDigits[chunk >> 12 & 63];
        text += i + 1 < bytes.size() ? kDigits[chunk >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? kDigits[chunk & 63] : '=';
    }
    return text;
}

void Row(std::string& page, const std::string& name, const std::string& value) {
    page += "<tr><th>" + EscapeMarkup(name) + "</th><td>" + value + "</td></tr>";
}

std::string Bytes(long long bytes) {
    if (bytes < 0) return "unknown";
    if (bytes < 10 * 1024) return std::to_string(bytes) + " bytes";
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    return std::to_string(bytes) + " bytes (" + Format(mib < 10 ? "%.2f MiB" : "%.1f MiB", mib) + ")";
}

void Summary(const ReportInput& input, std::string& page) {
    const Sequence& sequence = *input.sequence;
    page += "<table class=\"summary\">";
    Row(page, "kind", EscapeMarkup(input.kind));
    long long frameBytes = 0;
    for (uint32_t i = 0; i < sequence.size(); ++i) frameBytes += std::max(0, sequence[i].frameHeader.appendedFrameSize);
    std::string size = Bytes(input.fileBytes);
    if (input.fileBytes > 0 && frameBytes > 0)
        size += ", " + Format("%.2f : 1", static_cast<double>(frameBytes) / static_cast<double>(input.fileBytes)) +
                " (frame bytes " + std::to_string(frameBytes) + (input.wasCompressed ? " after decompression" : "") +
                " to the file)";
    Row(page, "size on disk", size);
    Row(page, "frames", std::to_string(sequence.size()));
    if (sequence.size() > 0) {
        const DIMAGE& first = sequence[0];
        const DIMAGE_FRAMEHEADER& header = first.frameHeader;
        Row(page, "geometry",
            std::to_string(ImageWidth(first)) + " &times; " + std::to_string(ImageHeight(first)) + " pixels");
        Row(page, "pixel format",
            EscapeMarkup(FormatName(header.imageFormat)) + ", " + std::to_string(header.bytesPerPixel) + " byte" +
                (header.bytesPerPixel == 1 ? "" : "s") + " per pixel, " +
                std::to_string(input.statistics.effectiveBits) + " effective bits" +
                (input.wasCompressed ? " (decompressed from JPEG)" : ""));
        Row(page, "scale",
            header.xScale > 0.0f || header.yScale > 0.0f
                ? Format("%g", header.xScale) + " &times; " + Format("%g", header.yScale) + " mm per pixel"
                : std::string("not set"));
        Row(page, "camera port",
            first.sourceHeader.cameraPortName[0]
                ? "&quot;" +
                      EscapeMarkup(EscapeText(first.sourceHeader.cameraPortName, 64)) +
                      "&quot; (id " + std::to_string(first.sourceHeader.cameraPortId) + ")"
                : std::string("not named"));
        uint32_t lowest = header.frameNumber, highest = lowest;
        double earliest = TimestampSeconds(first), latest = earliest;
        uint32_t earliestAt = 0, latestAt = 0;
        for (uint32_t i = 1; i < sequence.size(); ++i) {
            lowest = std::min(lowest, sequence[i].frameHeader.frameNumber);
            highest = std::max(highest, sequence[i].frameHeader.frameNumber);
            const double t = TimestampSeconds(sequence[i]);
            if (t < earliest) earliest = t, earliestAt = i;
            if (t > latest) latest = t, latestAt = i;
        }
        Row(page, "frame numbers", std::to_string(lowest) + " .. " + std::to_string(highest));
        std::string span = EscapeMarkup(UtcText(sequence[earliestAt])) + " .. " +
                           EscapeMarkup(UtcText(sequence[latestAt])) + Format(" (%.6f s", latest - earliest);
        if (sequence.size() > 1 && latest > earliest)
            span += Format(", mean rate %.3f frames per second", (sequence.size() - 1) / (latest - earliest));
        Row(page, "time span", span + ")");
    }
    const bool complete = std::string(SequenceVerdict(sequence)) == "complete sequence";
    Row(page, "verdict",
        std::string("<span class=\"") + (complete ? "" : "bad") + "\">" + EscapeMarkup(SequenceVerdict(sequence)) +
            "</span>");
    std::string invalid = input.invalid.empty() ? "none" : "";
    for (const InvalidImage& image : input.invalid)
        invalid += "<div class=\"bad\">image " + std::to_string(image.position) + ": " + EscapeMarkup(image.sentence) +
                   "</div>";
    Row(page, "invalid images", invalid);
    if (!input.aboveEffectiveBits.empty()) {
        std::string above;
        for (const InvalidImage& image : input.aboveEffectiveBits)
            above += "<div class=\"bad\">image " + std::to_string(image.position) + ": " +
                     EscapeMarkup(image.sentence) + "</div>";
        Row(page, "values above the effective bits", above);
    }
    page += "</table>";
}

bool ContactSheet(const ReportInput& input, std::string& page, std::string& message) {
    const ThumbnailSet& set = input.thumbnails;
    page += "<h2>Contact sheet</h2><p class=\"note\">" + std::to_string(set.pictures.size()) + " of " +
            std::to_string(input.sequence->size()) + " frames, sampled evenly over the run. ";
    static const char* const kPaletteNames[] = {"grey", "false colour", "jet"};
    page += "Grey values are stretched from " + std::to_string(input.style.low) + " (0.5th percentile of the run) to " +
            std::to_string(input.style.high) + " (99.5th percentile), in " +
            kPaletteNames[static_cast<int>(input.style.palette)] + "; RGB frames are shown as they are.</p>";
    page += "<div class=\"sheet\">";
    for (size_t i = 0; i < set.pictures.size(); ++i) {
        std::vector<unsigned char> png;
        if (!EncodePicture(set.pictures[i], png, message)) return false;
        page += "<figure><img alt=\"frame " + EscapeMarkup(set.labels[i]) + "\" width=\"" +
                std::to_string(set.pictures[i].width) + "\" height=\"" + std::to_string(set.pictures[i].height) +
                "\" src=\"data:image/png;base64," + Base64(png) + "\"><figcaption>" + EscapeMarkup(set.labels[i]) +
                "</figcaption></figure>";
    }
    page += "</div>";
    return true;
}

void FramePlots(const ReportInput& input, std::string& page) {
    const std::vector<FrameStatistics>& frames = input.statistics.frames;
    PlotSeries mean{"mean", "#1f77b4", {}, {}}, minimum{"minimum", "#2ca02c", {}, {}},
        maximum{"maximum", "#d62728", {}, {}}, saturated{"saturated pixels", "#9467bd", {}, {}};
    for (size_t i = 0; i < frames.size(); ++i) {
        const double x = static_cast<double>(i + 1);
        for (PlotSeries* series : {&mean, &minimum, &maximum, &saturated}) series->x.push_back(x);
        mean.y.push_back(frames[i].mean);
        minimum.y.push_back(frames[i].minimum);
        maximum.y.push_back(frames[i].maximum);
        saturated.y.push_back(static_cast<double>(frames[i].saturated));
    }
    size_t saturatedFrames = 0, most = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].saturated == 0) continue;
        if (saturatedFrames++ == 0 || frames[i].saturated > frames[most].saturated) most = i;
    }
    page += "<h2>Values per frame</h2><p class=\"note\">";
    if (saturatedFrames == 0)
        page += "No saturated pixels.";
    else
        page += "<span class=\"bad\">Frames with saturated pixels: " + std::to_string(saturatedFrames) + " of " +
                std::to_string(frames.size()) + "; the most in frame #" +
                std::to_string((*input.sequence)[static_cast<uint32_t>(most)].frameHeader.frameNumber) + " (" +
                std::to_string(frames[most].saturated) + " pixels).</span>";
    page += "</p>";
    // The mean gets its own axis: beside the extremes it would be a flat line.
    page += RenderPlot({"Mean value", kPositionAxis, "mean value (counts)", false, {mean}, {}});
    page += RenderPlot({"Minimum and maximum value", kPositionAxis, "value (counts)", false, {maximum, minimum}, {}});
    page += RenderPlot({"Saturated pixels (at " + std::to_string(input.statistics.fullScale) + ", the " +
                            std::to_string(input.statistics.effectiveBits) + "-bit maximum)",
                        kPositionAxis,
                        "pixels",
                        false,
                        {saturated},
                        {}});
}

// Mean and root mean square deviation of the finite values.
void MeanAndRms(const std::vector<double>& values, double& mean, double& rms, size_t& count) {
    double sum = 0, squares = 0;
    count = 0;
    for (double value : values)
        if (std::isfinite(value)) sum += value, ++count;
    mean = count ? sum / static_cast<double>(count) : NAN;
    for (double value : values)
        if (std::isfinite(value)) squares += (value - mean) * (value - mean);
    rms = count ? std::sqrt(squares / static_cast<double>(count)) : NAN;
}

void SpotSection(const ReportInput& input, std::string& page) {
    const std::vector<QMV3_STATISTICS>& spots = input.spots;
    const DIMAGE_FRAMEHEADER& first = (*input.sequence)[0].frameHeader;
    const bool mm = first.xScale > 0.0f && first.yScale > 0.0f;
    const std::string unit = mm ? "mm" : "px";
    PlotSeries x{"centroid x", "#1f77b4", {}, {}}, y{"centroid y", "#ff7f0e", {}, {}};
    PlotSeries width{"sigma x", "#1f77b4", {}, {}}, height{"sigma y", "#ff7f0e", {}, {}};
    PlotSeries scatter{"centroid", "#1f77b4", {}, {}, false, 1.0, true};
    for (size_t i = 0; i < spots.size(); ++i) {
        const QMV3_STATISTICS& s = spots[i];
        const double position = static_cast<double>(i + 1);
        for (PlotSeries* series : {&x, &y, &width, &height}) series->x.push_back(position);
        x.y.push_back(mm ? s.centroid_x_mm : s.centroid_x);
        y.y.push_back(mm ? s.centroid_y_mm : s.centroid_y);
        width.y.push_back(mm ? s.sigma_x_mm : s.sigma_x);
        height.y.push_back(mm ? s.sigma_y_mm : s.sigma_y);
        scatter.x.push_back(x.y.back());
        scatter.y.push_back(y.y.back());
    }
    double meanX, rmsX, meanY, rmsY;
    size_t measured, unused;
    MeanAndRms(x.y, meanX, rmsX, measured);
    MeanAndRms(y.y, meanY, rmsY, unused);
    const char* number = mm ? "%.4f" : "%.2f";
    page += "<h2>Spot</h2><p class=\"note\">The library's figures of " + EscapeMarkup(input.spotDescription) +
            "; each pixel weighs its value minus the background where that exceeds the threshold. ";
    if (measured == 0) {
        page += "<span class=\"bad\">No image has a pixel above the threshold: no spot to show.</span></p>";
        return;
    }
    if (measured < spots.size())
        page += "<span class=\"bad\">" + std::to_string(spots.size() - measured) + " of " +
                std::to_string(spots.size()) + " images have no pixel above the threshold.</span> ";
    page += "Centroid mean (" + Format(number, meanX) + ", " + Format(number, meanY) + ") " + unit +
            ", rms scatter about it " + Format(number, rmsX) + " " + unit + " in x, " + Format(number, rmsY) + " " +
            unit + " in y, " + Format(number, std::hypot(rmsX, rmsY)) + " " + unit + " radially" +
            (mm ? " (the images' scale)" : ", frame columns and rows") + ".</p>";
    page += RenderPlot({"Centroid over the run", kPositionAxis, "centroid (" + unit + ")", false, {x, y}, {}});
    page += RenderPlot({"Widths (sigma) over the run", kPositionAxis, "sigma (" + unit + ")", false, {width, height}, {}});
    PlotSeries mean{"mean", "#d62728", {meanX}, {meanY}, false, 1.0, true};
    page += RenderPlot({"Centroid scatter (rows grow downward)",
                        "centroid x (" + unit + ")",
                        "centroid y (" + unit + ")",
                        false,
                        {scatter, mean},
                        {{meanX, "mean x " + Format(number, meanX), "#d62728"}}});
}

void HistogramPlot(const ReportInput& input, std::string& page) {
    const RunStatistics& statistics = input.statistics;
    size_t top = 0;
    for (size_t value = 0; value < statistics.histogram.size(); ++value)
        if (statistics.histogram[value] != 0) top = value;
    const size_t range = std::max<size_t>(top, statistics.fullScale) + 1;
    const size_t binWidth = (range + 255) / 256;
    PlotSeries bars{"", "#555", {}, {}, true, static_cast<double>(binWidth)};
    for (size_t start = 0; start < range; start += binWidth) {
        uint64_t count = 0;
        for (size_t value = start; value < start + binWidth && value < statistics.histogram.size(); ++value)
            count += statistics.histogram[value];
        bars.x.push_back(static_cast<double>(start));
        bars.y.push_back(static_cast<double>(count));
    }
    page += "<h2>Histogram</h2><p class=\"note\">Every value of every frame (" + std::to_string(statistics.valueCount) +
            " values), in bins " + std::to_string(binWidth) + " wide; the count axis is logarithmic.</p>";
    page +=
        RenderPlot({"Values of the whole run",
                    "value (counts)",
                    "values per bin (logarithmic)",
                    true,
                    {bars},
                    {{0, "0", "#2ca02c"},
                     {static_cast<double>(statistics.fullScale),
                      std::to_string(statistics.effectiveBits) + "-bit maximum " + std::to_string(statistics.fullScale),
                      "#d62728"}}});
}

void TimingPlot(const ReportInput& input, std::string& page) {
    const Sequence& sequence = *input.sequence;
    PlotSeries intervals{"interval", "#1f77b4", {}, {}};
    std::vector<PlotMark> gaps;
    for (uint32_t i = 1; i < sequence.size(); ++i) {
        intervals.x.push_back(i + 1);
        intervals.y.push_back((TimestampSeconds(sequence[i]) - TimestampSeconds(sequence[i - 1])) * 1000.0);
        const int64_t step = static_cast<int64_t>(sequence[i].frameHeader.frameNumber) -
                             static_cast<int64_t>(sequence[i - 1].frameHeader.frameNumber);
        if (step == 1) continue;
        gaps.push_back({static_cast<double>(i + 1),
                        step > 1    ? std::to_string(step - 1) + " missing"
                        : step == 0 ? "repeat"
                                    : "back " + std::to_string(-step),
                        "#d62728"});
    }
    page += "<h2>Frame timing</h2><p class=\"note\">";
    if (sequence.size() < 2) {
        page += "One frame: no intervals.</p>";
        return;
    }
    page += gaps.empty() ? "No gaps in the frame numbers."
                         : std::to_string(gaps.size()) + " place" + (gaps.size() == 1 ? "" : "s") +
                               " where the frame numbers do not step by one, marked in red.";
    page += "</p>" + RenderPlot({"Interval between consecutive frames",
                                 "image position (interval from the previous image)",
                                 "interval (ms)",
                                 false,
                                 {intervals},
                                 gaps});
}

}  // namespace

const char* ReadPictureOptions(const Arguments& arguments, uint32_t& thumbnails, Palette& palette) {
    long wanted = 24;
    if (const char* text = arguments.Value("thumbnails"))
        if (!ParseNumber(text, 1, 1000, wanted)) return "--thumbnails needs a number from 1 to 1000";
    thumbnails = static_cast<uint32_t>(wanted);
    palette = Palette::kGray;
    if (const char* text = arguments.Value("palette"))
        if (!ParsePalette(text, palette)) return "--palette must be gray, false or jet";
    return nullptr;
}

bool WriteWholeFile(const std::string& path, const void* bytes, size_t size, std::string& message) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        message = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        message = "cannot write " + path + ": " + std::strerror(written ? errno : error);
        return false;
    }
    return true;
}

bool PrepareReport(const std::string& path, uint32_t wanted, Palette palette, Sequence& sequence, ReportInput& input,
                   std::string& message) {
    char detectionText[1024] = "";
    const char* kind = FileKindName(qmCheckFileFormat(path.c_str(), detectionText, sizeof detectionText));
    if (!LoadSequence(path, sequence, message)) return false;
    input.path = path;
    input.kind = kind ? kind : "unrecognised";
    input.fileBytes = FileSize(path);
    input.sequence = &sequence;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        char sentence[1024] = "";
        if (qmCheckImageValidity(&sequence[i], sentence, sizeof sentence) != QMV3_IMAGE_VALID)
            input.invalid.push_back({i + 1, sentence});
    }
    input.wasCompressed = HasCompressedImages(sequence);
    if (input.wasCompressed && !DecompressSequence(sequence, message)) return false;
    for (uint32_t i = 0; i < sequence.size(); ++i) {
        const std::string above = ValuesAboveEffectiveBits(sequence[i]);
        if (!above.empty()) input.aboveEffectiveBits.push_back({i + 1, above});
    }
    if (!ComputeRunStatistics(sequence, input.statistics, message)) return false;
    input.style.palette = palette;
    input.style.low = input.statistics.Percentile(0.005);
    input.style.high = input.statistics.Percentile(0.995);
    return MakeThumbnailSet(sequence, wanted, input.style, input.thumbnails, message);
}

bool PrepareSpots(SpotOptions& spot, ReportInput& input, std::string& message) {
    if (!LoadBackground(spot, message) || !ComputeSpots(*input.sequence, spot, input.spots, message)) return false;
    input.spotDescription = spot.Describe();
    return true;
}

bool BuildReportPage(const ReportInput& input, std::string& page, std::string& message) {
    page =
        "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data:; "
        "style-src 'unsafe-inline'\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">";
    page += "<title>qmv3 report: " + EscapeMarkup(input.path) + "</title><style>" + kStyle + "</style></head><body>";
    page += "<h1>" + EscapeMarkup(input.path) + "</h1><p class=\"note\">Made by qmv3 report.</p>";
    page += "<h2>Summary</h2>";
    Summary(input, page);
    if (input.sequence->size() > 0) {
        if (!ContactSheet(input, page, message)) return false;
        FramePlots(input, page);
        if (!input.spots.empty()) SpotSection(input, page);
        HistogramPlot(input, page);
        TimingPlot(input, page);
    }
    page += "</body></html>\n";
    return true;
}

}  // namespace qmv3tool
