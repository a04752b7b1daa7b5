// The steps of "qmv3 demo" and its report; each step prints one line with its figures and timing.
#ifndef QMV3_TOOL_DEMO_STEPS_H
#define QMV3_TOOL_DEMO_STEPS_H

#include <string>

#include "sequence_io.h"

namespace qmv3tool {

class DemoRun {
  public:
    DemoRun(const std::string& folder, unsigned grayFrames);
    // Runs every step in order; stops at the first failure, which is reported on standard error.
    bool RunAll();
    void PrintSummary(bool passed) const;

  private:
    bool GrabGray();
    bool GrabJpeg();
    bool SaveAndReload(Sequence& sequence, const std::string& name);
    bool ConvertToImm();
    bool ExportBitmap();
    bool WriteReport();
    bool Fail(const std::string& message);
    void Step(const char* action, const std::string& subject, const std::string& figures, double seconds);
    std::string PathOf(const std::string& name) const;

    std::string folder_;
    unsigned grayFrames_;
    Sequence gray_;
    Sequence jpeg_;
    int step_ = 0;
    unsigned framesGrabbed_ = 0;
    unsigned filesWritten_ = 0;
    long long bytesWritten_ = 0;
    double started_;
};

// Compares two sequences byte for byte: every 188-byte header and the frame bytes. False with the first
// difference described in message.
bool SameImages(const Sequence& expected, const Sequence& actual, bool headers, std::string& message);

}  // namespace qmv3tool

#endif
