// One camera frame read synchronously from a video server into an image the application created,
// retried until a time limit. Runs on and blocks the caller's thread; every attempt is one synchronous
// call, so no link of the control system stays open.
#include "client/single_grab.h"

#include <cstring>

#include "client/address_checks.h"
#include "client/image_management.h"
#include "client/library_frame.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kRetryPauseMilliseconds = 10;

// Reads until success or until the time limit has passed; returns the last completion code.
int ReadWithRetries(const char* address, const char* property, DTYPE& request, int mode, int timeoutMilliseconds) {
    PLF_TIME start;
    platformTimeGet(start);
    bool failureSeen = false;
    int lastFailure = 0;
    for (;;) {
        int unused = 0;
        const int cc = alsnExecLinkEx(address, property, &request, nullptr, static_cast<short>(mode),
                                      timeoutMilliseconds, &unused);
        if (cc == 0) return 0;
        if (!failureSeen || cc != lastFailure) _internal_LOG("qmGrabFrame() Warning: alsnExecLinkEx returned %d.", cc);
        platformSleepMilliseconds(kRetryPauseMilliseconds);
        PLF_TIME now;
        platformTimeGet(now);
        if (platformTimeDelta(start, now) * 1000.0 > timeoutMilliseconds) return cc;
        failureSeen = true;
        lastFailure = cc;
    }
}

// The element count to request: the property's, limited to the image's frame buffer; warns about
// the limit and about a property that is not an image.
int RequestedElementCount(const DIMAGE& image, int count, int format) {
    // Compared as unsigned sizes: a negative count from the control system counts as too large.
    if (static_cast<uint32_t>(count) > image.frameBufferSize) {
        _internal_LOG(
            "Warning: _internal_readPropertyCharacteristics iZantPropertySize(%d) exeeds "
            "apInOutImage->frameBufferSize(%d). iZantPropertySize will be reduced to apInOutImage->frameBufferSize.",
            count, static_cast<int>(image.frameBufferSize));
        count = static_cast<int>(image.frameBufferSize);
    }
    if (format != CF_IMAGE)
        _internal_LOG("Warning: iZantPropertyFormat(%d) != CF_IMAGE(%d). Even though, the call will be attempted.",
                      format, CF_IMAGE);
    return count;
}

// A frame whose check cannot even build its message (no memory left) counts as invalid: no
// exception may leave qmGrabFrame.
bool FrameIsValid(const DIMAGE& image) noexcept {
    try {
        return _internal_qmCheckImageValidity(image);
    } catch (...) {
        return false;
    }
}

}  // namespace

void _internal_qmGrabFrame_LogParameters(const char* prefix, const DIMAGE* apInOutImage, const DTYPE* apDOut,
                                         const char* asZantAddress, const char* asZantPropertyName,
                                         int aiZantTimeoutMilliseconds, int aiZantMode,
                                         const int* apiOutZantReturnCode) {
    _internal_LOG(
        "%sqmGrabFrame(DIMAGE *apInOutImage, DTYPE *apDOut, const char *asZantAddress, const char "
        "*asZantPropertyName, int aiZantTimeoutMilliseconds, int aiZantMode, int *apiOutZantReturnCode) called.",
        prefix != nullptr ? prefix : "");
    _internal_LOG("qmGrabFrame(%#lxh, %#lxh, \"%s\", \"%s\", %d, %d, %#lxh);",
                  reinterpret_cast<unsigned long>(apInOutImage), reinterpret_cast<unsigned long>(apDOut),
                  asZantAddress != nullptr ? asZantAddress : "(null)",
                  asZantPropertyName != nullptr ? asZantPropertyName : "(null)", aiZantTimeoutMilliseconds, aiZantMode,
                  reinterpret_cast<unsigned long>(apiOutZantReturnCode));
}

extern "C" {

QMV3_EXPORT int qmGrabFrame(DIMAGE* apInOutImage, DTYPE* apDOut, const char* asZantAddress,
                            const char* asZantPropertyName, int aiZantTimeoutMilliseconds, int aiZantMode,
                            int* apiOutZantReturnCode) {
    const auto logParameters = [&](const char* prefix) {
        _internal_qmGrabFrame_LogParameters(prefix, apInOutImage, apDOut, asZantAddress, asZantPropertyName,
                                            aiZantTimeoutMilliseconds, aiZantMode, apiOutZantReturnCode);
    };
    if (_internal_getLogLevel() > 1) logParameters("");
    if (apInOutImage == nullptr || asZantAddress == nullptr || asZantPropertyName == nullptr ||
        apInOutImage->frameBuffer == nullptr)
        return QMV3_GRAB_FRAME_REFUSED;
    char address[kZantAddressBufferSize] = {};
    const int checked = _internal_checkZantAddress("qmGrabFrame", asZantAddress, address, sizeof address, true);
    if (checked != 1) {
        logParameters("Parameters passed: ");
        return checked;
    }
    if (!_internal_checkZantPropertyName("qmGrabFrame", asZantPropertyName, true)) {
        logParameters("Parameters passed: ");
        return QMV3_GRAB_FRAME_REFUSED;
    }
    _internal_StartZantIfNotStartedAlready();
    int format = 0, count = 0;
    const int characteristics =
        _internal_zantReadPropertyCharacteristics(address, asZantPropertyName, &format, &count, nullptr);
    if (characteristics != 0) {
        _internal_LOG("Error: qmGrabFrame: _internal_zantReadPropertyCharacteristics() returned not successful: cc=%d",
                      characteristics);
        if (apiOutZantReturnCode != nullptr) *apiOutZantReturnCode = characteristics;
        return QMV3_GRAB_FRAME_PROPERTY_FAILED;
    }
    count = RequestedElementCount(*apInOutImage, count, format);
    DTYPE request{};
    request.dArrayLength = static_cast<uint32_t>(count);
    request.dFormat = CF_IMAGE;
    request.data = apInOutImage;
    const int cc = ReadWithRetries(address, asZantPropertyName, request, aiZantMode, aiZantTimeoutMilliseconds);
    if (cc != 0) {
        if (apiOutZantReturnCode != nullptr) *apiOutZantReturnCode = cc;
        logParameters("Unsuccessful in timeout period: ");
        _internal_LOG("qmGrabFrame() Warning: alsnExecLinkEx returned %d.", cc);
        return QMV3_GRAB_FRAME_TIMEOUT;
    }
    if (apiOutZantReturnCode != nullptr) *apiOutZantReturnCode = 0;
    if (!FrameIsValid(*apInOutImage)) {
        _internal_LOG("qmGrabFrame() Warning: _internal_qmCheckImageValidity(image) returned false!");
        return QMV3_GRAB_FRAME_INVALID_IMAGE;
    }
    if (apDOut != nullptr) *apDOut = request;
    return QMV3_GRAB_FRAME_OK;
}

}  // extern "C"
