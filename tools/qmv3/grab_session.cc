// Grabbing from a video server for the grab and demo commands.
#include "grab_session.h"

#include <cstdlib>
#include <cstring>

#include "interrupt.h"
#include "progress_bar.h"

namespace qmv3tool {

const char kDefaultAddress[] = "/SIM/CAMSERVER/CAM0";
const char kDefaultProperty[] = "Frame";

GrabOutcome GrabFrames(const GrabRequest& request, Sequence& sequence) {
    InterruptScope interrupt;
    double progress = 0.0;
    GrabOutcome outcome;
    {
        ProgressBar bar("grabbing " + request.property, &progress);
        outcome.received = qmGrabFramesEx(sequence.get(), request.address.c_str(), request.property.c_str(),
                                          request.frames, request.rateMilliseconds, request.mode, &outcome.error,
                                          &outcome.zantError, interrupt.Flag(), &progress);
    }
    outcome.interrupted = outcome.error == -7;
    return outcome;
}

GrabOutcome GrabSingleFrame(const GrabRequest& request, Sequence& sequence) {
    GrabOutcome outcome;
    const unsigned size = qmEstimateMaxFrameSizeBytes(request.address.c_str(), request.property.c_str());
    if (qmCreateBunchStructure(sequence.get(), 1, size) != 1) {
        outcome.error = -3;
        return outcome;
    }
    DIMAGE& image = sequence[0];
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    outcome.error = qmGrabFrame(&image, nullptr, request.address.c_str(), request.property.c_str(),
                                request.rateMilliseconds, request.mode, &outcome.zantError);
    if (outcome.error == 1) {
        outcome.received = 1;
        outcome.error = 0;
    } else {
        qmFreeBunch(sequence.get());
    }
    return outcome;
}

namespace {

const char* MultiFrameErrorText(int error) {
    switch (error) {
        case -1:
            return "request refused (invalid address or property name, or no frames asked for)";
        case -2:
            return "inactivity timeout: no frame for more than 5 seconds";
        case -3:
            return "out of memory";
        case -6:
            return "the subscription failed";
        case -7:
            return "interrupted";
        default:
            return "failed";
    }
}

const char* SingleFrameErrorText(int error) {
    switch (error) {
        case 0:
            return "request refused (invalid property name, malformed address or no frame buffer)";
        case -1:
            return "no frame within the time limit";
        case -2:
            return "the frame arrived but fails the validity rules";
        case -3:
            return "reading the property characteristics failed";
        case -4:
            return "the address has the wrong length";
        default:
            return "out of memory";
    }
}

}  // namespace

std::string DescribeGrabFailure(const GrabRequest& request, const GrabOutcome& outcome, bool single) {
    std::string text = std::string("grab of \"") + request.address + "\" \"" + request.property +
                       "\": " + (single ? SingleFrameErrorText(outcome.error) : MultiFrameErrorText(outcome.error));
    if (!single)
        text += ", " + std::to_string(outcome.received) + " of " + std::to_string(request.frames) + " frames received";
    if (outcome.zantError != 0) {
        const std::string codeText = ZantCodeText(outcome.zantError);
        text += " (control system code " + std::to_string(outcome.zantError);
        text += codeText.empty() ? ")" : ": " + codeText + ")";
    }
    return text;
}

}  // namespace qmv3tool
