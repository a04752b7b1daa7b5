// Grabbing from a video server for the grab and demo commands.
#include "grab_session.h"

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

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
    outcome.interrupted = outcome.error == QMV3_GRAB_INTERRUPTED;
    return outcome;
}

GrabOutcome GrabSingleFrame(const GrabRequest& request, Sequence& sequence) {
    GrabOutcome outcome;
    const unsigned size = qmEstimateMaxFrameSizeBytes(request.address.c_str(), request.property.c_str());
    if (qmCreateBunchStructure(sequence.get(), 1, size) != QMV3_BUNCH_OK) {
        outcome.error = QMV3_GRAB_OUT_OF_MEMORY;
        return outcome;
    }
    DIMAGE& image = sequence[0];
    std::memset(&image, 0, QMV3_IMAGE_HEADER_SIZE);
    outcome.error = qmGrabFrame(&image, nullptr, request.address.c_str(), request.property.c_str(),
                                request.rateMilliseconds, request.mode, &outcome.zantError);
    if (outcome.error == QMV3_GRAB_FRAME_OK) {
        outcome.received = 1;
        outcome.error = QMV3_GRAB_OK;
    } else {
        qmFreeBunch(sequence.get());
    }
    return outcome;
}

namespace {

// When the device is known but has no such property, the names it does have, as one clause such as
// "; \"/A/B/C\" has no property \"X\"; its properties: Frame, Frame16"; empty when the control system cannot tell.
std::string PropertyHint(const GrabRequest& request) {
    // One query answers for any ordinary device; a longer list is asked for again at its size.
    std::vector<char> names(4096);
    int length =
        qmListDeviceProperties(request.address.c_str(), names.data(), static_cast<unsigned>(names.size()), nullptr);
    if (length >= static_cast<int>(names.size())) {
        names.resize(static_cast<size_t>(length) + 1);
        length =
            qmListDeviceProperties(request.address.c_str(), names.data(), static_cast<unsigned>(names.size()), nullptr);
    }
    if (length <= 0 || length >= static_cast<int>(names.size())) return "";
    std::string list;
    std::istringstream lines(names.data());
    for (std::string name; std::getline(lines, name);) {
        if (name == request.property) return "";  // the property exists: the failure lies elsewhere
        list += (list.empty() ? "" : ", ") + name;
    }
    return "; \"" + request.address + "\" has no property \"" + request.property + "\"; its properties: " + list;
}

}  // namespace

std::string DescribeGrabFailure(const GrabRequest& request, const GrabOutcome& outcome, bool single) {
    std::string text = std::string("grab of \"") + request.address + "\" \"" + request.property +
                       "\": " + (single ? qmGrabFrameErrorText(outcome.error) : qmGrabErrorText(outcome.error));
    if (!single)
        text += ", " + std::to_string(outcome.received) + " of " + std::to_string(request.frames) + " frames received";
    if (outcome.zantError != 0) {
        const std::string codeText = ZantCodeText(outcome.zantError);
        text += " (control system code " + std::to_string(outcome.zantError);
        text += codeText.empty() ? ")" : ": " + codeText + ")";
        text += PropertyHint(request);
    }
    return text;
}

}  // namespace qmv3tool
