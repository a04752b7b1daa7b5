// Start and stop of the control-system client, once per loaded library, and the closing of links,
// which the control system sometimes refuses for a moment while a delivery is under way.
#include <cstdlib>
#include <mutex>

#include "client/grab_clock.h"
#include "client/library_frame.h"
#include "client/library_state.h"
#include "platform/logging.h"
#include "platform/platform.h"
#include "zant.h"

bool _global_internal_bZantStarted = false;
bool _global_internal_bZantPipeOpened = false;

namespace {

const char kPipeVariable[] = "ORSEL_CLIENTLIB_ZANT_PIPE";

__attribute__((destructor)) void libraryUnloaded() { _internal_StopZantIfAlreadyStarted(); }

// The pipe named by the environment, or null when none is configured.
const char* configuredPipe() {
    const char* name = getenv(kPipeVariable);
    return (name != nullptr && name[0] != '\0') ? name : nullptr;
}

constexpr unsigned kCloseRetryPauseMilliseconds = 100;
constexpr double kCloseRetrySeconds = 3.0;

// Start and stop are serialised: streams may be opened on several threads at once, beside a grab.
std::mutex gZantSessionMutex;

// The log writer's control-system destination.
void WriteToControlSystemLog(const char* message) { feclog("%s", message); }

}  // namespace

void _internal_StartZantIfNotStartedAlready() {
    std::lock_guard<std::mutex> lock(gZantSessionMutex);
    if (_global_internal_bZantStarted) return;
    // Set first, so that a start that fails half-way is not repeated by every grab.
    _global_internal_bZantStarted = true;
    CLogging::SetControlSystemLog(WriteToControlSystemLog);
    SystemStartCycleTimer();
    SetClnRecvQueueDepth(0);
    int cc = _SystemAssignBufferSpace(4194304, 0);
    if (cc != 0) {
        _internal_LOG(
            "Warning: _internal_StartZantIfNotStartedAlready: ZANT _SystemAssignBufferSpace() returned not "
            "successful: cc=%d",
            cc);
    }
    const char* pipe = configuredPipe();
    if (pipe == nullptr) return;
    cc = OpenIpcPipe(pipe);
    if (cc == 0) {
        _internal_LOG("Info: _internal_StartZantIfNotStartedAlready: ZANT OpenIpcPipe(\"%s\") successful.", pipe);
        _global_internal_bZantPipeOpened = true;
    } else {
        _internal_LOG(
            "Warning: _internal_StartZantIfNotStartedAlready: ZANT OpenIpcPipe(\"%s\") returned not successful: "
            "cc=%d",
            pipe, cc);
    }
}

void _internal_StopZantIfAlreadyStarted() {
    std::lock_guard<std::mutex> lock(gZantSessionMutex);
    if (!_global_internal_bZantStarted) return;
    const char* pipe = configuredPipe();
    if (_global_internal_bZantPipeOpened && pipe != nullptr) {
        int cc = CloseIpcPipe(pipe);
        if (cc == 0) {
            _global_internal_bZantPipeOpened = false;
        } else {
            _internal_LOG(
                "Warning: _internal_StopZantIfAlreadyStarted: ZANT CloseIpcPipe(\"%s\") returned not successful: "
                "cc=%d",
                pipe, cc);
        }
    }
    SystemKillCycleTimer();
    _global_internal_bZantStarted = false;
}

int _internal_ZantCloseLink(int aZantLinkID) {
    const GrabClock& clock = _internal_grabClock();
    const int64_t start = clock.nowMilliseconds();
    int attempt = 1;
    int cc = CloseLink(aZantLinkID);
    while (cc != 0) {
        clock.sleepMilliseconds(kCloseRetryPauseMilliseconds);
        if (static_cast<double>(clock.nowMilliseconds() - start) / 1000.0 > kCloseRetrySeconds) break;
        ++attempt;
        if (attempt == 2) {
            _internal_LOG(
                "orsel client library: v3clientapi: _internal_ZantCloseLink(aZantLinkID=%d) needs to be repeated "
                "(try #%d). Last return code from CloseLink was %d.",
                aZantLinkID, attempt, cc);
        }
        cc = CloseLink(aZantLinkID);
    }
    if (attempt > 2) {
        _internal_LOG(
            "orsel client library: v3clientapi: _internal_ZantCloseLink(aZantLinkID=%d) needed to be repeated #%d "
            "times! Last return code from CloseLink was %d.",
            aZantLinkID, attempt, cc);
    }
    return cc;
}
