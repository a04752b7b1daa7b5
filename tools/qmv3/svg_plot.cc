// The plot is laid out on a fixed 1000 x 300 canvas that the page scales; tick steps are 1, 2 or 5
// times a power of ten so that the labels read as round numbers.
#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qmv3tool {

namespace {

constexpr double kWidth = 1000, kHeight = 300;
constexpr double kLeft = 78, kRight = 16, kTop = 30, kBottom = 48;

std::string Number(double value) {
    char text[32];
    if (value != 0.0 && (std::fabs(value) >= 1e7 || std::fabs(value) < 1e-3))
        std::snprintf(text, sizeof text, "%.3g", value);
    else
        std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// A coordinate with one decimal, enough at this canvas size.
std::string Coordinate(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

double NiceStep(double range) {
    if (!(range > 0)) return 1.0;
    const double rough = range / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough) return factor * power;
    return 10.0 * power;
}

struct Scale {
    double minimum, maximum;
    bool log;
    double lowPixel, highPixel;  // screen positions of minimum and maximum
    double operator()(double value) const {
        double fraction;
        if (log) {
            const double clamped = std::max(value, 1.0);
            fraction = (std::log10(clamped) - std::log10(minimum)) / (std::log10(maximum) - std::log10(minimum));
        } else {
            fraction = (value - minimum) / (maximum - minimum);
        }
        return lowPixel + fraction * (highPixel - lowPixel);
    }
};

bool NearlyEqual(double a, double b) {
    return std::fabs(b - a) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

void Ranges(const Plot& plot, double& xMin, double& xMax, double& yMin, double& yMax) {
    xMin = yMin = HUGE_VAL;
    xMax = yMax = -HUGE_VAL;
    for (const PlotSeries& series : plot.series) {
        for (double x : series.x) {
            if (!std::isfinite(x)) continue;
            xMin = std::min(xMin, x);
            xMax = std::max(xMax, x + (series.bars ? series.barWidth : 0.0));
        }
        for (double y : series.y) {
            if (!std::isfinite(y)) continue;
            yMin = std::min(yMin, y);
            yMax = std::max(yMax, y);
        }
    }
    for (const PlotMark& mark : plot.marks) {
        xMin = std::min(xMin, mark.x);
        xMax = std::max(xMax, mark.x);
    }
    if (xMin > xMax) xMin = 0, xMax = 1;
    if (yMin > yMax) yMin = 0, yMax = 1;
    // Values that differ by rounding alone (a spot that does not move) count as one value: a span
    // near the last digit would make tick steps too small to advance.
    if (NearlyEqual(xMin, xMax)) xMax = xMin + 1;
    if (NearlyEqual(yMin, yMax)) yMax = yMin;
    if (plot.logY) {
        yMin = 1;
        yMax = std::pow(10.0, std::ceil(std::log10(std::max(yMax, 10.0))));
        return;
    }
    const double step = NiceStep(yMax - yMin > 0 ? yMax - yMin : std::max(1.0, std::fabs(yMax)));
    yMin = std::floor(yMin / step) * step;
    yMax = std::ceil(yMax / step) * step;
    if (yMax == yMin) yMax = yMin + step;
}

void AxisTicks(const Scale& x, const Scale& y, std::string& svg) {
    const double bottom = kHeight - kBottom;
    const double xStep = NiceStep(x.maximum - x.minimum);
    for (double value = std::ceil(x.minimum / xStep) * xStep; value <= x.maximum + xStep * 1e-9; value += xStep) {
        const std::string at = Coordinate(x(value));
        svg += "<line x1=\"" + at + "\" y1=\"" + Coordinate(bottom) + "\" x2=\"" + at + "\" y2=\"" +
               Coordinate(bottom + 5) + "\" stroke=\"#444\"/>";
        svg += "<text x=\"" + at + "\" y=\"" + Coordinate(bottom + 18) + "\" text-anchor=\"middle\">" + Number(value) +
               "</text>";
    }
    std::vector<double> yValues;
    if (y.log) {
        for (double value = 1; value <= y.maximum * 1.0001; value *= 10) yValues.push_back(value);
    } else {
        const double yStep = NiceStep(y.maximum - y.minimum);
        for (double value = y.minimum; value <= y.maximum + yStep * 1e-9; value += yStep) yValues.push_back(value);
    }
    for (double value : yValues) {
        const std::string at = Coordinate(y(value));
        svg += "<line x1=\"" + Coordinate(kLeft) + "\" y1=\"" + at + "\" x2=\"" + Coordinate(kWidth - kRight) +
               "\" y2=\"" + at + "\" stroke=\"#ddd\"/>";
        svg += "<text x=\"" + Coordinate(kLeft - 6) + "\" y=\"" + Coordinate(y(value) + 4) + "\" text-anchor=\"end\">" +
               Number(value) + "</text>";
    }
}

void DrawSeries(const PlotSeries& series, const Scale& x, const Scale& y, std::string& svg) {
    if (series.bars) {
        const double base = y(y.minimum);
        for (size_t i = 0; i < series.x.size() && i < series.y.size(); ++i) {
            if (series.y[i] <= (y.log ? 0.0 : y.minimum)) continue;
            const double left = x(series.x[i]), right = x(series.x[i] + series.barWidth), top = y(series.y[i]);
            svg += "<rect x=\"" + Coordinate(left) + "\" y=\"" + Coordinate(top) + "\" width=\"" +
                   Coordinate(std::max(0.6, right - left)) + "\" height=\"" + Coordinate(base - top) + "\" fill=\"" +
                   series.colour + "\"/>";
        }
        return;
    }
    std::vector<size_t> shown;
    for (size_t i = 0; i < series.x.size() && i < series.y.size(); ++i)
        if (std::isfinite(series.x[i]) && std::isfinite(series.y[i])) shown.push_back(i);
    if (!series.points) {
        svg += "<polyline fill=\"none\" stroke-width=\"1.5\" stroke=\"" + series.colour + "\" points=\"";
        for (size_t k = 0; k < shown.size(); ++k)
            svg += (k ? " " : "") + Coordinate(x(series.x[shown[k]])) + "," + Coordinate(y(series.y[shown[k]]));
        svg += "\"/>";
    }
    // A scatter plot, or a single point, which has no line to show it.
    if (series.points || shown.size() == 1)
        for (size_t i : shown)
            svg += "<circle cx=\"" + Coordinate(x(series.x[i])) + "\" cy=\"" + Coordinate(y(series.y[i])) +
                   "\" r=\"" + (series.points ? "2" : "3") + "\" fill=\"" + series.colour + "\"/>";
}

}  // namespace

std::string EscapeMarkup(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string RenderPlot(const Plot& plot) {
    double xMin, xMax, yMin, yMax;
    Ranges(plot, xMin, xMax, yMin, yMax);
    const Scale x{xMin, xMax, false, kLeft, kWidth - kRight};
    const Scale y{yMin, yMax, plot.logY, kHeight - kBottom, kTop};
    std::string svg =
        "<svg class=\"plot\" viewBox=\"0 0 1000 300\" role=\"img\" aria-label=\"" + EscapeMarkup(plot.title) + "\">";
    svg += "<text x=\"" + Coordinate(kLeft) + "\" y=\"18\" class=\"title\">" + EscapeMarkup(plot.title) + "</text>";
    AxisTicks(x, y, svg);
    for (const PlotSeries& series : plot.series) DrawSeries(series, x, y, svg);
    for (const PlotMark& mark : plot.marks) {
        const std::string at = Coordinate(x(mark.x));
        svg += "<line x1=\"" + at + "\" y1=\"" + Coordinate(kTop) + "\" x2=\"" + at + "\" y2=\"" +
               Coordinate(kHeight - kBottom) + "\" stroke=\"" + mark.colour + "\" stroke-dasharray=\"4 3\"/>";
        if (!mark.label.empty()) {
            // Labels in the right half sit left of their line so that they stay on the canvas.
            const bool right = x(mark.x) > (kLeft + kWidth - kRight) / 2;
            svg += "<text x=\"" + Coordinate(x(mark.x) + (right ? -3 : 3)) + "\" y=\"" + Coordinate(kTop + 10) +
                   "\" text-anchor=\"" + (right ? "end" : "start") + "\" fill=\"" + mark.colour + "\">" +
                   EscapeMarkup(mark.label) + "</text>";
        }
    }
    svg += "<rect x=\"" + Coordinate(kLeft) + "\" y=\"" + Coordinate(kTop) + "\" width=\"" +
           Coordinate(kWidth - kLeft - kRight) + "\" height=\"" + Coordinate(kHeight - kTop - kBottom) +
           "\" fill=\"none\" stroke=\"#444\"/>";
    svg += "<text x=\"" + Coordinate((kLeft + kWidth - kRight) / 2) + "\" y=\"" + Coordinate(kHeight - 8) +
           "\" text-anchor=\"middle\">" + EscapeMarkup(plot.xLabel) + "</text>";
    svg += "<text transform=\"translate(16," + Coordinate((kTop + kHeight - kBottom) / 2) +
           ") rotate(-90)\" text-anchor=\"middle\">" + EscapeMarkup(plot.yLabel) + "</text>";
    double legendX = kWidth - kRight;
    for (auto series = plot.series.rbegin(); series != plot.series.rend(); ++series) {
        if (series->name.empty()) continue;
        legendX -= 12.0 + 7.0 * static_cast<double>(series->name.size()) + 18.0;
        svg += "<rect x=\"" + Coordinate(legendX) + "\" y=\"10\" width=\"12\" height=\"10\" fill=\"" + series->colour +
               "\"/><text x=\"" + Coordinate(legendX + 16) + "\" y=\"19\">" + EscapeMarkup(series->name) + "</text>";
    }
    return svg + "</svg>";
}

}  // namespace qmv3tool
