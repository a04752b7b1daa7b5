// Plots as inline SVG for the report: lines or bars over a linear x axis, a linear or logarithmic y
// axis, tick labels, axis titles with units, and marked positions. Values that are not finite (NaN:
// nothing measured) are left out. No script, no outside resource;
// the SVG scales with the page (viewBox) and prints as vectors.
#ifndef QMV3_TOOL_SVG_PLOT_H
#define QMV3_TOOL_SVG_PLOT_H

#include <string>
#include <vector>

namespace qmv3tool {

struct PlotSeries {
    std::string name;    // shown in the legend
    std::string colour;  // an SVG colour
    std::vector<double> x;
    std::vector<double> y;
    bool bars = false;  // bars from the axis instead of a line; x are the bars' left edges
    double barWidth = 1.0;
    bool points = false;  // a dot per value instead of a line (a scatter plot)
};

struct PlotMark {
    double x;
    std::string label;  // shown at the top of the plot, may be empty
    std::string colour;
};

struct Plot {
    std::string title;
    std::string xLabel;  // with the unit, e.g. "frame index"
    std::string yLabel;
    bool logY = false;  // counts: values below 1 sit on the axis
    std::vector<PlotSeries> series;
    std::vector<PlotMark> marks;
};

// The SVG element of the plot.
std::string RenderPlot(const Plot& plot);

// Text with &, <, >, " and ' written as entities, for HTML and SVG alike.
std::string EscapeMarkup(const std::string& text);

}  // namespace qmv3tool

#endif
