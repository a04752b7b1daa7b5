// The multi-frame grab: subscribes to an image property, lets the delivery callback collect the
// frames into the caller's sequence, and meanwhile polls every millisecond for an interrupt request
// and the inactivity limit, publishing the progress. Thread rules: see multi_grab.h. Grabs are
// serialised by gMultiFrameGrabMutex, because the two callback flags are process-wide.
#include "client/multi_grab.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "client/address_checks.h"
#include "client/grab_clock.h"
#include "client/library_frame.h"
#include "platform/platform.h"
#include "util/c_boundary.h"
#include "util/numeric.h"
#include "zant/access_modes.h"

namespace {

const char kRateVariable[] = "ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_RATE_MILLISECONDS_FORCE";
const char kModeVariable[] = "ORSEL_CLIENTLIB_VIDEO_TRANSFER_ZANT_ACCESS_MODE_FORCE";
constexpr int64_t kInactivityLimitSeconds = 5;
constexpr int kRenewalThreshold = 50;

// One multi-frame grab at a time in a process.
std::mutex gMultiFrameGrabMutex;

// Grabs whose link would not close: the control system may still deliver into them, so they are kept
// (and stay reachable) until a later grab manages to close their link. Guarded by gMultiFrameGrabMutex.
constexpr int kMaxOrphanedGrabs = 16;
struct OrphanedGrab {
    int link;
    GrabContext* context;
};
OrphanedGrab gOrphanedGrabs[kMaxOrphanedGrabs];

void ReleaseContext(GrabContext* context) {
    std::free(context->receive.frameBuffer);
    delete context;
}

// Tries once more to close the links of kept grabs and releases those that closed.
void RetryOrphanedLinks() {
    for (OrphanedGrab& orphan : gOrphanedGrabs) {
        if (orphan.context == nullptr || CloseLink(orphan.link) != 0) continue;
        ReleaseContext(orphan.context);
        orphan.context = nullptr;
    }
}

// Keeps a grab whose link is still open; when no slot is free it is kept without a slot.
void KeepOrphanedGrab(int link, GrabContext* context) {
    for (OrphanedGrab& orphan : gOrphanedGrabs) {
        if (orphan.context != nullptr) continue;
        orphan = {link, context};
        return;
    }
}

void ApplyRateOverride(int& rate) {
    const char* value = std::getenv(kRateVariable);
    if (value == nullptr) return;
    int forced = 0;
    const int parsed = Str2Int(forced, value, 10);
    if (parsed != 0) {
        _internal_LOG(
            "Warning: qmGrabFrames(Ex,Ex2): Environment variable \"%s=%s\" set. However, conversion of \"%s\" from "
            "string to int failed (E: %d). No Zant access rate forcing will be performed.",
            kRateVariable, value, value, parsed);
        return;
    }
    _internal_LOG(
        "Info: qmGrabFrames(Ex,Ex2): Environment variable \"%s=%s\" set. This forces change of ZANT access rate "
        "from '%d' ms to '%d' ms.",
        kRateVariable, value, rate, forced);
    rate = forced;
}

std::string ModeText(int mode) {
    std::string text;
    if (zantModeToString(mode, true, text) == 0) text = "conversion-to-string-error";
    return text;
}

// Without memory for the mode texts the override is not applied.
void ApplyModeOverride(int& mode) noexcept {
    qmv3::Guarded([&] {
        const char* value = std::getenv(kModeVariable);
        if (value == nullptr) return;
        const int forced = zantDecodeModeStringCMnew(value);
        if (forced < 0) {
            _internal_LOG(
                "Warning: qmGrabFrames(Ex,Ex2): Environment variable \"%s=%s\" set. However, conversion of \"%s\" to "
                "integer Zant mode failed (E: %d). No Zant access mode forcing will be performed.",
                kModeVariable, value, value, forced);
            return;
        }
        _internal_LOG(
            "Info: qmGrabFrames(Ex,Ex2): Environment variable \"%s=%s\" set. This forces change of ZANT access mode "
            "from %d(%s) to %d(%s).",
            kModeVariable, value, mode, ModeText(mode).c_str(), forced, ModeText(forced).c_str());
        mode = forced;
    });
}

// Polls every millisecond until the grab has finished, been interrupted or gone quiet too long.
void WaitForGrab(GrabContext& context, const int* interrupt, double* progress) {
    while (!context.finished.load()) {
        if (interrupt != nullptr && __atomic_load_n(interrupt, __ATOMIC_RELAXED) == 1) {
            context.shutdownReason.store(kGrabInterrupted);
            context.finished.store(true);
            break;
        }
        if (progress != nullptr) {
            double fraction = static_cast<double>(context.numberReceived.load()) / context.numberRequested;
            __atomic_store(progress, &fraction, __ATOMIC_RELAXED);
        }
        _internal_grabClock().sleepMilliseconds(1);
        if (_internal_qmGrabFramesNowSeconds() - context.lastActivitySeconds.load() > kInactivityLimitSeconds) {
            context.shutdownReason.store(kGrabTimeout);
            context.finished.store(true);
            _internal_LOG(
                "qmGrabFrames(Ex,Ex2): Timeout occurred (%lu seconds) (%d of %d frames could be received up to then).",
                static_cast<unsigned long>(kInactivityLimitSeconds), static_cast<int>(context.numberReceived.load()),
                static_cast<int>(context.numberRequested));
        }
    }
}

int ResultOfShutdown(int reason) {
    switch (reason) {
        case kGrabAllFramesReceived:
            return QMV3_GRAB_OK;
        case kGrabMemoryExhausted:
            return QMV3_GRAB_OUT_OF_MEMORY;
        case kGrabInterrupted:
            return QMV3_GRAB_INTERRUPTED;
        default:
            return QMV3_GRAB_TIMEOUT;
    }
}

// Arguments of one grab after the environment overrides.
struct GrabRequest {
    const char* address;  // corrected
    const char* property;
    int rate;
    int mode;
    const int* interrupt;
    double* progress;
};

// Subscribes, waits and unsubscribes; returns the grab's error value. Sets `orphaned` when the link
// would not close, so the context must be kept.
template <typename LogParameters>
int Subscribe(GrabContext& context, const GrabRequest& request, bool& orphaned, LogParameters logParameters) {
    _internal_StartZantIfNotStartedAlready();
    context.lastActivitySeconds.store(_internal_qmGrabFramesNowSeconds());
    _global_internal_bCallbackAllowed.store(true);
    const int link =
        AttachLinkEx2(request.address, request.property, &context.subscriptionOutput, nullptr, CA_READ, request.rate,
                      _internal_qmGrabFramesCallback, request.mode, context.callbackId, &context);
    if (link < 0) {
        _global_internal_bCallbackAllowed.store(false);
        _internal_LOG("qmGrabFrames(Ex,Ex2): AttachLinkEx2 unsuccessful return code (%d).", link);
        logParameters("Parameters passed: ");
        context.zantError.store(link);
        return QMV3_GRAB_SUBSCRIPTION_FAILED;
    }
    const int renewal = SetSubscriptionRenewalThreshold(link, kRenewalThreshold);
    if (renewal != 0) {
        char text[33];
        _internal_LOG(
            "Warning: qmGrabFrames(Ex,Ex2): SetSubscriptionRenewalThreshold failed (zant error code: %d(%s)).", renewal,
            zantReturnCodeToString(renewal, text, sizeof text));
    }
    WaitForGrab(context, request.interrupt, request.progress);
    _global_internal_bCallbackAllowed.store(false);
    const int closed = _internal_ZantCloseLink(link);
    if (closed != 0) {
        _internal_LOG("qmGrabFrames(Ex,Ex2): CloseLink(%d) failed (Zant Return Code: %d).", link, closed);
        orphaned = true;
        KeepOrphanedGrab(link, &context);
    }
    if (request.progress != nullptr) {
        double fraction = static_cast<double>(context.numberReceived.load()) / context.numberRequested;
        __atomic_store(request.progress, &fraction, __ATOMIC_RELAXED);
    }
    return ResultOfShutdown(context.shutdownReason.load());
}

}  // namespace

void _internal_qmGrabFramesEx2_LogParameters(const char* prefix, const QMBUNCHOFIMAGES* aImages,
                                             const DTYPE* aImagesDOut, const char* aZantAddress,
                                             const char* aZantPropertyName, unsigned aNumFrames,
                                             int aZantTimeoutMilliseconds, int aZantMode, const int* apiOutError,
                                             const int* apiOutZantError, const int* apiInInterrupt,
                                             const double* apdOutPercentageFinished) {
    _internal_LOG(
        "%sqmGrabFramesEx2(QMBUNCHOFIMAGES *aImages, DTYPE *aImagesDOut, const char *aZantAddress, const char "
        "*aZantPropertyName, unsigned int aNumFrames, int aZantTimeoutMilliseconds, int aZantMode, int *apiOutError, "
        "int *apiOutZantError, int *apiInInterrupt, double *apdOutPercentageFinished)...",
        prefix != nullptr ? prefix : "");
    const auto address = [](const void* pointer) { return reinterpret_cast<unsigned long>(pointer); };
    _internal_LOG(
        "qmGrabFramesEx2(%#lx h, %#lx h, \"%s\", \"%s\", %lu, %d, %xh, %#lx h, %#lxh, %#lx h/val=%d, %#lxh)...",
        address(aImages), address(aImagesDOut), aZantAddress != nullptr ? aZantAddress : "(null)",
        aZantPropertyName != nullptr ? aZantPropertyName : "(null)", static_cast<unsigned long>(aNumFrames),
        aZantTimeoutMilliseconds, static_cast<unsigned>(aZantMode), address(apiOutError), address(apiOutZantError),
        address(apiInInterrupt), apiInInterrupt != nullptr ? __atomic_load_n(apiInInterrupt, __ATOMIC_RELAXED) : 0,
        address(apdOutPercentageFinished));
}

namespace {

// Checks the request, allocates and subscribes; returns the error value. The context's result array
// and receive buffer are released or handed over by the caller.
template <typename LogParameters>
int PrepareAndGrab(GrabContext& context, QMBUNCHOFIMAGES* aImages, const char* aZantAddress,
                   const char* aZantPropertyName, GrabRequest request, bool& orphaned, LogParameters logParameters) {
    if (aImages->numFrames != 0) {
        _internal_LOG(
            "qmGrabFramesEx2: Warning: aImages->numFrames=%d, but must be zero on input, qmFreeBuch() will be "
            "performed.",
            static_cast<int>(aImages->numFrames));
        qmFreeBunch(aImages);
    }
    ApplyRateOverride(request.rate);
    ApplyModeOverride(request.mode);
    if (request.rate < 300 || request.rate > 4000)
        _internal_LOG(
            "Warning: qmGrabFrames(Ex, Ex2): Parameter aZantTimeoutMilliseconds exceeds recommended interval range "
            "(300-4000).");
    char address[kZantAddressBufferSize] = {};
    if (_internal_checkZantAddress("qmGrabFramesEx2", aZantAddress, address, sizeof address, true) != 1 ||
        !_internal_checkZantPropertyName("qmGrabFramesEx2", aZantPropertyName, true)) {
        logParameters("Parameters passed: ");
        return QMV3_GRAB_REFUSED;
    }
    request.address = address;
    const unsigned int estimate = qmEstimateMaxFrameSizeBytes(address, aZantPropertyName);
    // Frames larger than the largest the library keeps would be received and then lost on saving.
    if (estimate > static_cast<unsigned int>(QMV3_MAX_TRANSPORT_SIZE)) {
        _internal_LOG(
            "qmGrabFramesEx2: Error: property \"%s\" of \"%s\" delivers frames of up to %u bytes, more than the "
            "largest frame of %d bytes; nothing subscribed.",
            aZantPropertyName != nullptr ? aZantPropertyName : "Frame", address, estimate, QMV3_MAX_TRANSPORT_SIZE);
        logParameters("Parameters passed: ");
        return QMV3_GRAB_REFUSED;
    }
    context.receive.frameBuffer = static_cast<unsigned char*>(std::malloc(estimate));
    if (context.receive.frameBuffer == nullptr) return QMV3_GRAB_OUT_OF_MEMORY;
    context.receive.frameBufferSize = estimate;
    context.result.imageArray = static_cast<DIMAGE*>(std::calloc(context.numberRequested, sizeof(DIMAGE)));
    if (context.result.imageArray == nullptr) return QMV3_GRAB_OUT_OF_MEMORY;
    context.subscriptionOutput.dArrayLength = estimate;
    context.subscriptionOutput.dFormat = CF_IMAGE;
    context.subscriptionOutput.data = &context.receive;
    return Subscribe(context, request, orphaned, logParameters);
}

// A delivery may still be stored after the link was closed (or gave up closing): the counts are read
// only once it has finished.
void WaitForCallbackToFinish() {
    while (_global_internal_bCallbackRunning.load()) {
        _internal_LOG("qmGrabFrames(Ex,Ex2): Cleanup: Waiting for callback to finish!");
        _internal_grabClock().sleepMilliseconds(100);
    }
}

// Hands the frames received over to aImages, or releases the array; then the receive buffer.
void HandOverOrRelease(GrabContext& context, QMBUNCHOFIMAGES* aImages, bool orphaned) {
    const uint32_t received = context.numberReceived.load();
    if (received > 0 && aImages != nullptr) {
        aImages->imageArray = context.result.imageArray;
        aImages->numFrames = received;
    } else if (context.result.imageArray != nullptr) {
        for (uint32_t i = 0; i < context.numberRequested; ++i) std::free(context.result.imageArray[i].frameBuffer);
        std::free(context.result.imageArray);
    }
    context.result.imageArray = nullptr;
    if (!orphaned) ReleaseContext(&context);
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmGrabFramesEx2(QMBUNCHOFIMAGES* aImages, DTYPE* aImagesDOut, const char* aZantAddress,
                                const char* aZantPropertyName, unsigned aNumFrames, int aZantTimeoutMilliseconds,
                                int aZantMode, int* apiOutError, int* apiOutZantError, int* apiInInterrupt,
                                double* apdOutPercentageFinished) {
    const auto logParameters = [&](const char* prefix) {
        _internal_qmGrabFramesEx2_LogParameters(prefix, aImages, aImagesDOut, aZantAddress, aZantPropertyName,
                                                aNumFrames, aZantTimeoutMilliseconds, aZantMode, apiOutError,
                                                apiOutZantError, apiInInterrupt, apdOutPercentageFinished);
    };
    if (_internal_getLogLevel() > 1) logParameters("");
    // A grab that fails before it has a context has received nothing: a lock that cannot be taken is a
    // refused request, memory that runs out the out-of-memory error.
    const auto failed = [&](int error) {
        if (apiOutError != nullptr) *apiOutError = error;
        return 0;
    };
    return qmv3::GuardedWith(
        [&] {
            std::lock_guard<std::mutex> oneGrabAtATime(gMultiFrameGrabMutex);
            RetryOrphanedLinks();
            GrabContext* context = new (std::nothrow) GrabContext();
            int result = QMV3_GRAB_OUT_OF_MEMORY;
            bool orphaned = false;
            if (context != nullptr) {
                context->numberRequested = aNumFrames;
                context->imagesDOut = aImagesDOut;
                if (aNumFrames == 0 || apiOutError == nullptr || aImages == nullptr) {
                    result = QMV3_GRAB_REFUSED;
                } else {
                    const GrabRequest request{nullptr,   aZantPropertyName, aZantTimeoutMilliseconds,
                                              aZantMode, apiInInterrupt,    apdOutPercentageFinished};
                    result = PrepareAndGrab(*context, aImages, aZantAddress, aZantPropertyName, request, orphaned,
                                            logParameters);
                }
            }
            WaitForCallbackToFinish();
            const int received = context != nullptr ? static_cast<int>(context->numberReceived.load()) : 0;
            const int reason = context != nullptr ? context->shutdownReason.load() : kGrabRunning;
            const int zantError = context != nullptr ? context->zantError.load() : 0;
            if (context != nullptr) HandOverOrRelease(*context, aImages, orphaned);
            if (apiOutError != nullptr) *apiOutError = result;
            if (apiOutZantError != nullptr) *apiOutZantError = zantError;
            if (_internal_getLogLevel() > 1)
                _internal_LOG(
                    "...qmGrabFramesEx2; return value: %d (numRequested=%d inNumFrames=%d) d.shutdownReason=%d "
                    "iErrorCode=%d, iZantErrorCode=%d",
                    received, static_cast<int>(aNumFrames), static_cast<int>(aNumFrames), reason, result, zantError);
            return received;
        },
        [&] { return failed(QMV3_GRAB_OUT_OF_MEMORY); }, [&] { return failed(QMV3_GRAB_REFUSED); });
}

QMV3_EXPORT int qmGrabFramesEx(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                               unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode, int* apiOutError,
                               int* apiOutZantError, int* apiInInterrupt, double* apdOutPercentageFinished) {
    return qmv3::Guarded<int>(0, 0, [&]() -> int {
        if (_internal_getLogLevel() > 1) _internal_LOG("qmGrabFramesEx() called.");
        return qmGrabFramesEx2(aImages, nullptr, aZantAddress, aZantPropertyName, aNumFrames, aZantTimeoutMilliseconds,
                               aZantMode, apiOutError, apiOutZantError, apiInInterrupt, apdOutPercentageFinished);
    });
}

QMV3_EXPORT int qmGrabFrames(QMBUNCHOFIMAGES* aImages, const char* aZantAddress, const char* aZantPropertyName,
                             unsigned aNumFrames, int aZantTimeoutMilliseconds, int aZantMode) {
    return qmv3::Guarded<int>(0, 0, [&]() -> int {
        if (_internal_getLogLevel() > 1) _internal_LOG("qmGrabFrames() called.");
        int error = 0;
        const int received = qmGrabFramesEx(aImages, aZantAddress, aZantPropertyName, aNumFrames,
                                            aZantTimeoutMilliseconds, aZantMode, &error, nullptr, nullptr, nullptr);
        // A refused request of zero frames also "receives" all of them; only a grab without error succeeds.
        if (received == static_cast<int>(aNumFrames) && error == QMV3_GRAB_OK) return QMV3_GRAB_FRAMES_OK;
        qmFreeBunch(aImages);
        return error + 1;
    });
}

}  // extern "C"
