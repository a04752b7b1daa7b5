// Internal interface of the multi-frame grab: the grab context shared by the calling thread and the
// control system's delivery thread, the two process-wide callback flags, and the callback itself.
//
// Thread rules: the calling thread owns the context; the delivery thread writes `finished`,
// `numberReceived`, `shutdownReason`, `zantError` and `lastActivitySeconds` (atomics) and the records of
// `result` up to numberReceived, and only while it holds _global_internal_bCallbackRunning. The calling
// thread clears _global_internal_bCallbackAllowed and then waits for _global_internal_bCallbackRunning
// to be clear before it touches `result`; the callback sets "running" and then tests "allowed" again,
// so one of the two always sees the other (both flags are sequentially consistent atomics).
#ifndef QMV3_CLIENT_MULTI_GRAB_H
#define QMV3_CLIENT_MULTI_GRAB_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "qmv3/qmv3.h"
#include "zant.h"

// Deliveries may be processed (set by the calling thread while subscribed).
extern std::atomic<bool> _global_internal_bCallbackAllowed;
// A callback is processing a delivery.
extern std::atomic<bool> _global_internal_bCallbackRunning;

// Why a grab ended.
enum GrabShutdownReason {
    kGrabRunning = 0,
    kGrabAllFramesReceived = 1,
    kGrabMemoryExhausted = 2,
    kGrabTimeout = 3,
    kGrabInterrupted = 5,
};

// One grab. Heap-allocated: when its link cannot be closed, the control system may still write into
// `receive` and pass the context to the callback, so it is kept until the link closes.
struct GrabContext {
    DIMAGE receive{};  // target of every delivery; frameBuffer sized by the frame-size estimate
    std::atomic<bool> finished{false};
    uint32_t numberRequested = 0;
    std::atomic<uint32_t> numberReceived{0};
    uint32_t lastFrameNumber = 0;  // delivery thread only
    int callbackId = 1;
    std::atomic<int> zantError{0};
    std::atomic<int> shutdownReason{kGrabRunning};
    std::atomic<int64_t> lastActivitySeconds{0};
    QMBUNCHOFIMAGES result{};
    DTYPE* imagesDOut = nullptr;
    DTYPE subscriptionOutput{};  // the subscription's output container, read by the control system
};

// Current time in whole seconds, as kept in lastActivitySeconds.
int64_t _internal_qmGrabFramesNowSeconds();

// Runs on the control system's thread after each delivery into the context's receive record.
void _internal_qmGrabFramesCallback(int aId, int aCC, void* aRef);

// Logs the arguments of qmGrabFramesEx2 behind a prefix (null: empty).
void _internal_qmGrabFramesEx2_LogParameters(const char* prefix, const QMBUNCHOFIMAGES* aImages,
                                             const DTYPE* aImagesDOut, const char* aZantAddress,
                                             const char* aZantPropertyName, unsigned aNumFrames,
                                             int aZantTimeoutMilliseconds, int aZantMode, const int* apiOutError,
                                             const int* apiOutZantError, const int* apiInInterrupt,
                                             const double* apdOutPercentageFinished);

#endif
