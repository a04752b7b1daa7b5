// The HTML page of "qmv3 report": one self-contained file (styles inline, pictures as PNG data URIs,
// plots as inline SVG, no script) with a summary of a run, a contact sheet, per-frame plots, a value
// histogram and the frame timing.
#ifndef QMV3_TOOL_REPORT_PAGE_H
#define QMV3_TOOL_REPORT_PAGE_H

#include <string>
#include <vector>

#include "arguments.h"
#include "run_statistics.h"
#include "sequence_io.h"
#include "spot_options.h"
#include "thumbnails.h"

namespace qmv3tool {

struct InvalidImage {
    uint32_t position;  // 1-based
    std::string sentence;
};

struct ReportInput {
    std::string path;
    std::string kind;  // the library's detection, or "unrecognised"
    long long fileBytes = -1;
    const Sequence* sequence = nullptr;  // uncompressed
    bool wasCompressed = false;          // JPEG frames were decompressed for the report
    std::vector<InvalidImage> invalid;
    std::vector<InvalidImage> aboveEffectiveBits;  // valid images whose values exceed their effective bits
    RunStatistics statistics;
    ThumbnailStyle style;
    ThumbnailSet thumbnails;
    std::string spotDescription;          // what the spot figures measured
    std::vector<QMV3_STATISTICS> spots;   // the library's figures per image; empty: no Spot section
};

// Loads the file into sequence, checks every image, decompresses JPEG frames, counts the values and
// makes the thumbnails (wanted of them; grey contrast from the run's 0.5th and 99.5th percentiles):
// everything the report and the contact sheet show. False with a message.
bool PrepareReport(const std::string& path, uint32_t wanted, Palette palette, Sequence& sequence, ReportInput& input,
                   std::string& message);

// The library's spot figures of every image into input (the sequence must be prepared); false with a
// message.
bool PrepareSpots(SpotOptions& spot, ReportInput& input, std::string& message);

// --thumbnails N (default 24) and --palette of report and contact-sheet: null, or the usage message.
const char* ReadPictureOptions(const Arguments& arguments, uint32_t& thumbnails, Palette& palette);

// Writes the bytes as the whole file at path; false with a message naming the file and the system's reason.
bool WriteWholeFile(const std::string& path, const void* bytes, size_t size, std::string& message);

// The page; false with a message when a picture cannot be encoded.
bool BuildReportPage(const ReportInput& input, std::string& page, std::string& message);

}  // namespace qmv3tool

#endif
