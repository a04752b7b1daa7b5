// The delivery callback of the multi-frame grab: runs on the control system's thread after each
// delivery, drops repetitions and copies each new frame once into a buffer of its exact size in the
// caller's sequence. Thread rules: see multi_grab.h.

#include <cstdlib>
#include <cstring>

#include "client/grab_clock.h"
#include "client/multi_grab.h"
#include "util/library_log.h"

std::atomic<bool> _global_internal_bCallbackAllowed{false};
std::atomic<bool> _global_internal_bCallbackRunning{false};

namespace {

const char* TrueFalse(bool value) { return value ? "true" : "false"; }

// Ends the grab: the reason is published before `finished`, which the calling thread polls.
void Finish(GrabContext& context, int reason) {
    context.shutdownReason.store(reason);
    context.finished.store(true);
}

// Stores the delivered frame as the next record; false when its buffer could not be allocated.
bool StoreFrame(GrabContext& context, int aId, const DIMAGE& header) {
    const uint32_t k = context.numberReceived.load();
    DIMAGE& record = context.result.imageArray[k];
    std::memcpy(&record, &header, QMV3_IMAGE_HEADER_SIZE);
    if (context.imagesDOut != nullptr) {
        DTYPE data{};
        data.dFormat = CF_DEFAULT;
        context.imagesDOut[k] = data;
        short unused = 0;
        const int cc = GetDataFromCallbackId(aId, &data, &unused);
        if (cc == 0)
            context.imagesDOut[k] = data;
        else
            _internal_LOG("qmGrabFrames(Ex,Ex2): Callback: Warning: GetDataFromCallbackId ZANT return code: %d", cc);
    }
    // Never more than the receive buffer holds, whatever the header claims; the record then fails the
    // validity rules and the caller sees it.
    const int32_t claimed = header.frameHeader.appendedFrameSize;
    const uint32_t bytes = claimed <= 0 ? 0
                           : static_cast<uint32_t>(claimed) > context.receive.frameBufferSize
                               ? context.receive.frameBufferSize
                               : static_cast<uint32_t>(claimed);
    unsigned char* buffer = nullptr;
    if (bytes > 0) {
        buffer = static_cast<unsigned char*>(std::malloc(bytes));
        if (buffer == nullptr) {
            _internal_LOG("qmGrabFrames(Ex,Ex2): Callback: malloc() failed (%d bytes for %d out of %d frame).", claimed,
                          static_cast<int>(k + 1), static_cast<int>(context.numberRequested));
            return false;
        }
        std::memcpy(buffer, context.receive.frameBuffer, bytes);
    }
    record.frameBuffer = buffer;
    record.frameBufferSize = bytes;
    context.numberReceived.store(k + 1);
    return true;
}

// Processes one delivery with the running flag held.
void ProcessDelivery(GrabContext& context, int aId, int aCC) {
    if (context.finished.load() || aId != context.callbackId) return;
    if (aCC != 0) {
        context.zantError.store(aCC);
        if (aCC == 516 || aCC == 517)
            _internal_LOG("qmGrabFrames(Ex,Ex2): Callback: Info: ZANT return code: %d", aCC);
        else
            _internal_LOG("qmGrabFrames(Ex,Ex2): Callback: Warning: ZANT return code: %d", aCC);
        return;
    }
    context.lastActivitySeconds.store(_internal_qmGrabFramesNowSeconds());
    DIMAGE header;
    std::memcpy(&header, &context.receive, sizeof header);
    const uint32_t frameNumber = header.frameHeader.frameNumber;
    if (frameNumber == context.lastFrameNumber && context.lastFrameNumber != 0) return;  // a repetition
    if (context.numberReceived.load() == context.numberRequested) {
        Finish(context, kGrabAllFramesReceived);
    } else if (!StoreFrame(context, aId, header)) {
        Finish(context, kGrabMemoryExhausted);
    } else if (context.numberReceived.load() == context.numberRequested) {
        Finish(context, kGrabAllFramesReceived);
    }
    context.lastFrameNumber = frameNumber;
}

}  // namespace

int64_t _internal_qmGrabFramesNowSeconds() { return _internal_grabClock().nowMilliseconds() / 1000; }

void _internal_qmGrabFramesCallback(int aId, int aCC, void* aRef) {
    if (aRef == nullptr) {
        _internal_LOG(
            "qmGrabFrames(Ex,Ex2): Callback: aRef=0x%#lx (NULL)! Do nothing, just exit. (aId=%d aCC=%d "
            "_global_internal_bCallbackAllowed=%s _global_internal_bCallbackRunning=%s)",
            0UL, aId, aCC, TrueFalse(_global_internal_bCallbackAllowed.load()),
            TrueFalse(_global_internal_bCallbackRunning.load()));
        return;
    }
    if (!_global_internal_bCallbackAllowed.load()) {
        _internal_LOG(
            "qmGrabFrames(Ex,Ex2): Callback: _global_internal_bCallbackAllowed == false!! (aId=%d, aCC=%d, "
            "aRef=0x%#lx)",
            aId, aCC, reinterpret_cast<unsigned long>(aRef));
        return;
    }
    if (_global_internal_bCallbackRunning.exchange(true)) return;  // another delivery is being processed
    // Tested again now that "running" is set: the calling thread clears "allowed" before it waits for
    // "running" to clear, so either it waits for this delivery or this delivery sees "allowed" cleared.
    if (_global_internal_bCallbackAllowed.load()) ProcessDelivery(*static_cast<GrabContext*>(aRef), aId, aCC);
    _global_internal_bCallbackRunning.store(false);
}
