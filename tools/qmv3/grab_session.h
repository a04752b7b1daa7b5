// Grabbing from a video server for the grab and demo commands: a multi-frame grab with a progress bar
// and Ctrl-C, a single-frame grab, and the texts of their error codes.
#ifndef QMV3_TOOL_GRAB_SESSION_H
#define QMV3_TOOL_GRAB_SESSION_H

#include <string>

#include "sequence_io.h"

namespace qmv3tool {

// The default simulated camera of the control-system stand-in and its plain grey property.
extern const char kDefaultAddress[];
extern const char kDefaultProperty[];

struct GrabRequest {
    std::string address = kDefaultAddress;
    std::string property = kDefaultProperty;
    unsigned frames = 10;
    int rateMilliseconds = 300;  // access rate of the subscription; time limit of a single grab
    int mode = 3;                // TIMER
};

struct GrabOutcome {
    int received = 0;   // frames stored in the sequence
    int error = 0;      // apiOutError of the multi-frame grab, or the result of qmGrabFrame
    int zantError = 0;  // the control system's completion code
    bool interrupted = false;
};

// Multi-frame grab into an empty sequence; frames received before a failure or Ctrl-C are kept.
GrabOutcome GrabFrames(const GrabRequest& request, Sequence& sequence);

// Single-frame grab into a one-image sequence; received is 1 on success.
GrabOutcome GrabSingleFrame(const GrabRequest& request, Sequence& sequence);

// Describes a failed grab, e.g. "inactivity timeout after 3 of 10 frames (control system code 0)".
std::string DescribeGrabFailure(const GrabRequest& request, const GrabOutcome& outcome, bool single);

}  // namespace qmv3tool

#endif
