// "qmv3 stats": the library's spot and region statistics of every image of a file, one row per image,
// as a plain table, CSV or JSON. CSV and JSON numbers are written so that they read back exactly.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "command.h"
#include "spot_options.h"

namespace qmv3tool {

namespace {

enum class Kind { kInteger, kReal };

// One figure of the library's record: its column name, how to read it, and its form in the table.
struct Column {
    const char* name;
    Kind kind;
    double (*value)(const QMV3_STATISTICS&);
    const char* tableFormat;
};

#define QMV3_REAL(field, format) {#field, Kind::kReal, [](const QMV3_STATISTICS& s) { return s.field; }, format}
#define QMV3_WHOLE(field) \
    {#field, Kind::kInteger, [](const QMV3_STATISTICS& s) { return static_cast<double>(s.field); }, "%.0f"}

const Column kFigures[] = {
    QMV3_REAL(min, "%.6g"),           QMV3_REAL(max, "%.6g"),           QMV3_WHOLE(min_x),
    QMV3_WHOLE(min_y),                QMV3_WHOLE(max_x),                QMV3_WHOLE(max_y),
    QMV3_REAL(mean, "%.3f"),          QMV3_REAL(sigma, "%.3f"),         QMV3_REAL(total, "%.6g"),
    QMV3_REAL(net, "%.6g"),           QMV3_WHOLE(saturated),            QMV3_REAL(centroid_x, "%.3f"),
    QMV3_REAL(centroid_y, "%.3f"),    QMV3_REAL(sigma_x, "%.3f"),       QMV3_REAL(sigma_y, "%.3f"),
    QMV3_REAL(sigma_xy, "%.3f"),      QMV3_REAL(orientation_deg, "%.2f"), QMV3_REAL(eccentricity, "%.4f"),
};
const Column kMillimetres[] = {
    QMV3_REAL(centroid_x_mm, "%.4f"),
    QMV3_REAL(centroid_y_mm, "%.4f"),
    QMV3_REAL(sigma_x_mm, "%.4f"),
    QMV3_REAL(sigma_y_mm, "%.4f"),
};

#undef QMV3_REAL
#undef QMV3_WHOLE

// The shortest decimal text that reads back as the same double.
std::string Exact(double value) {
    char text[40];
    for (int digits = 15; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string Formatted(const char* format, double value) {
    char text[40];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "2026-12-09T00:31:05.123456Z".
std::string IsoTime(const DIMAGE& image) {
    char text[48];
    if (qmFormatUTCTime(image.sourceHeader.timestampSeconds, image.sourceHeader.timestampMicroseconds % 1000000u,
                        QMV3_TIME_ISO8601, text, sizeof text) == nullptr)
        return "";
    return text;
}

enum class Form { kTable, kCsv, kJson };

// The cells of one row, in column order; NaN is "nan" in CSV, null in JSON and "-" in the table.
std::vector<std::string> Cells(const DIMAGE& image, uint32_t position, const QMV3_STATISTICS& figures,
                               const std::vector<const Column*>& columns, Form form) {
    std::vector<std::string> cells = {std::to_string(position), std::to_string(image.frameHeader.frameNumber),
                                      form == Form::kJson ? "\"" + IsoTime(image) + "\"" : IsoTime(image)};
    for (const Column* column : columns) {
        const double value = column->value(figures);
        if (std::isnan(value))
            cells.push_back(form == Form::kJson ? "null" : form == Form::kCsv ? "nan" : "-");
        else if (form == Form::kTable)
            cells.push_back(Formatted(column->tableFormat, value));
        else
            cells.push_back(column->kind == Kind::kInteger ? Formatted("%.0f", value) : Exact(value));
    }
    return cells;
}

void PrintTable(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths;
    for (const std::string& name : names) widths.push_back(name.size());
    for (const auto& row : rows)
        for (size_t k = 0; k < row.size(); ++k) widths[k] = std::max(widths[k], row[k].size());
    auto print = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t k = 0; k < cells.size(); ++k) {
            if (k > 0) line += "  ";
            // The time stamp reads left to right; numbers line up on the right.
            const std::string padding(widths[k] - cells[k].size(), ' ');
            line += k == 2 ? cells[k] + padding : padding + cells[k];
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        std::printf("%s\n", line.c_str());
    };
    print(names);
    for (const auto& row : rows) print(row);
}

void PrintCsv(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows) {
    for (const auto& row : std::vector<std::vector<std::string>>{names}) {
        std::string line;
        for (size_t k = 0; k < row.size(); ++k) line += (k ? "," : "") + row[k];
        std::printf("%s\n", line.c_str());
    }
    for (const auto& row : rows) {
        std::string line;
        for (size_t k = 0; k < row.size(); ++k) line += (k ? "," : "") + row[k];
        std::printf("%s\n", line.c_str());
    }
}

void PrintJson(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows) {
    std::printf("[");
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string object = r ? ",\n {" : "\n {";
        for (size_t k = 0; k < names.size(); ++k) object += (k ? ", \"" : "\"") + names[k] + "\": " + rows[r][k];
        std::printf("%s}", object.c_str());
    }
    std::printf("%s]\n", rows.empty() ? "" : "\n");
}

int Run(const Arguments& arguments) {
    const Command& command = kStatsCommand;
    const std::string path = arguments.Positionals()[0];
    SpotOptions spot;
    if (const char* usage = ReadSpotOptions(arguments, 0, spot)) return UsageError(command, "%s", usage);
    if (arguments.Has("csv") && arguments.Has("json")) return UsageError(command, "--csv and --json exclude each other");
    const Form form = arguments.Has("csv") ? Form::kCsv : arguments.Has("json") ? Form::kJson : Form::kTable;
    std::string message;
    if (!LoadBackground(spot, message)) return Failure(command, "%s", message.c_str());
    Sequence sequence;
    if (!LoadSequence(path, sequence, message)) return Failure(command, "%s", message.c_str());
    if (HasCompressedImages(sequence) && !DecompressSequence(sequence, message))
        return Failure(command, "%s: %s", path.c_str(), message.c_str());
    std::vector<QMV3_STATISTICS> results;
    if (!ComputeSpots(sequence, spot, results, message))
        return Failure(command, "%s: %s", path.c_str(), message.c_str());

    std::vector<const Column*> columns;
    for (const Column& column : kFigures) columns.push_back(&column);
    const bool scaled = sequence.size() > 0 && sequence[0].frameHeader.xScale > 0 && sequence[0].frameHeader.yScale > 0;
    if (scaled)
        for (const Column& column : kMillimetres) columns.push_back(&column);
    std::vector<std::string> names = {"position", "frame_number", "timestamp"};
    for (const Column* column : columns) names.push_back(column->name);
    std::vector<std::vector<std::string>> rows;
    for (uint32_t i = 0; i < sequence.size(); ++i) rows.push_back(Cells(sequence[i], i + 1, results[i], columns, form));
    if (form == Form::kCsv)
        PrintCsv(names, rows);
    else if (form == Form::kJson)
        PrintJson(names, rows);
    else
        PrintTable(names, rows);
    return kExitSuccess;
}

std::vector<OptionSpec> Options() {
    std::vector<OptionSpec> options(std::begin(kSpotOptionSpecs), std::end(kSpotOptionSpecs));
    options.push_back({"csv", 0, false});
    options.push_back({"json", 0, false});
    return options;
}

const std::vector<OptionSpec> kOptions = Options();
const std::string kDetails =
    "options:\n" + SpotOptionsHelp(0) +
    "      --csv                 comma-separated values with a header line\n"
    "      --json                an array of objects, one per image\n"
    "\nOne row per image: position (from 1), frame_number, timestamp (ISO 8601, UTC), then min, max,\n"
    "min_x, min_y, max_x, max_y, mean, sigma, total, net, saturated, centroid_x, centroid_y, sigma_x,\n"
    "sigma_y, sigma_xy, orientation_deg, eccentricity, and centroid_x_mm, centroid_y_mm, sigma_x_mm,\n"
    "sigma_y_mm when the images carry a scale. Positions are frame columns and rows, pixel centres at\n"
    "whole numbers; net, centroid and widths weigh each pixel by value - background where that exceeds\n"
    "the threshold; figures without weight are nan (null in JSON). The library computes them all; the\n"
    "header qmv3.h states every definition. JPEG frames are decompressed first.\n";

}  // namespace

const Command kStatsCommand = {
    "stats",
    "FILE [--roi X,Y,W,H] [--background FILE | --border N] [--threshold T] [--csv | --json]",
    "spot and region statistics of every image: extremes, mean, sums, centroid, widths",
    kDetails.c_str(),
    kOptions.data(),
    kOptions.size(),
    1,
    1,
    Run,
};

}  // namespace qmv3tool
