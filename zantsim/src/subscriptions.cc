// Subscriptions of the stand-in: each link has a delivery thread of its own that writes one frame per
// access-rate period into the subscriber's record and then runs the subscriber's callback on that
// thread. CloseLink stops the thread and joins it before it reports success, so no callback runs after.
//
// Thread rules: the subscription's fields are fixed at attach time except stopRequested and nextStep,
// which are guarded by gSimulationMutex. The thread holds the mutex only to pick its next delivery.
#include <chrono>
#include <cstring>

#include "sim_state.h"

using namespace zantsim;

namespace {

constexpr uint32_t kDrawJitter = 22;  // the purpose of the jitter draws (see SceneDraw)

// What the delivery thread does next.
struct Delivery {
    bool stop = false;
    int completionCode = 0;
    ServedFrame frame;
};

// The container of the delivery being processed on this thread, for GetDataFromCallbackId.
struct CurrentDelivery {
    bool active = false;
    int callbackId = 0;
    DTYPE container{};
};
thread_local CurrentDelivery currentDelivery;

// Waits `milliseconds` or until stopped; false when stopped. The caller holds the mutex in `lock`.
bool WaitUnlessStopped(std::unique_lock<std::mutex>& lock, Subscription& sub, int milliseconds) {
    return !sub.wake.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return sub.stopRequested; });
}

// Plays the script up to the next delivery; with the mutex held.
void NextDelivery(std::unique_lock<std::mutex>& lock, Subscription& sub, Delivery& next) {
    next.stop = true;
    uint32_t frameNumber = 0;
    for (;;) {
        if (sub.nextStep < sub.steps.size()) {
            const ZANTSIM_STEP step = sub.steps[sub.nextStep++];
            if (step.kind == ZANTSIM_STEP_STOP) {
                sub.wake.wait(lock, [&] { return sub.stopRequested; });
                return;
            }
            if (step.kind == ZANTSIM_STEP_PAUSE) {
                if (!WaitUnlessStopped(lock, sub, step.pauseMilliseconds)) return;
                continue;
            }
            next.completionCode = step.completionCode;
            frameNumber = step.frameNumber;
        }
        break;
    }
    // One delivery per period, counted from the previous one's due time, so that the time spent on a frame
    // does not stretch the period; a subscriber that fell behind by a whole period starts afresh.
    const auto now = std::chrono::steady_clock::now();
    const auto period = std::chrono::milliseconds(sub.periodMs);
    sub.due = sub.due + period < now ? now + period : sub.due + period;
    if (sub.wake.wait_until(lock, sub.due, [&] { return sub.stopRequested; })) return;
    const int jitterMs = sub.model.faults.jitterMs;
    if (jitterMs > 0) {
        const double draw = SceneDraw(sub.model.scene.seed, kDrawJitter, sub.deliveries++);
        if (!WaitUnlessStopped(lock, sub, static_cast<int>(draw * (jitterMs + 1)))) return;
    }
    if (next.completionCode == 0 &&
        !TakeNextFrame(LockedState(), sub.address.c_str(), sub.model, frameNumber, next.frame)) {
        // A replay past its last frame: nothing more until the link closes.
        sub.wake.wait(lock, [&] { return sub.stopRequested; });
        return;
    }
    next.stop = false;
}

void DeliveryLoop(Subscription* sub) {
    for (;;) {
        Delivery next;
        {
            std::unique_lock<std::mutex> lock(gSimulationMutex);
            try {
                NextDelivery(lock, *sub, next);
            } catch (...) {
                // No memory for the frame: this delivery reports it instead of ending the process.
                next.completionCode = kOutOfClientMemory;
            }
        }
        if (next.stop) break;
        int code = next.completionCode;
        if (code == 0) {
            try {
                code = WriteFrame(next.frame, sub->output->dArrayLength, sub->output->data);
            } catch (...) {
                // No memory for the scene's fixed data: this delivery reports it.
                code = kOutOfClientMemory;
            }
        }
        currentDelivery.active = true;
        currentDelivery.callbackId = sub->callbackId;
        currentDelivery.container = *sub->output;
        if (code == 0) {
            currentDelivery.container.dArrayLength = static_cast<uint32_t>(next.frame.header.appendedFrameSize);
            currentDelivery.container.dStamp = next.frame.header.timestampSeconds;
            currentDelivery.container.dStampUsec = next.frame.header.timestampMicroseconds;
        }
        // The record belongs to the subscriber and may be gone when the container is read later.
        currentDelivery.container.data = nullptr;
        gCallbackCount.fetch_add(1);
        sub->callback(sub->callbackId, code, sub->reference);
        currentDelivery.active = false;
    }
    gDeliveryThreadCount.fetch_sub(1);
}

// The link's answer to a close request: 0 to close, otherwise the scripted failure.
int ScriptedCloseResult(SimulationState& state) {
    if (state.closeFailures == 0) return 0;
    if (state.closeFailures > 0) --state.closeFailures;
    return state.closeCode;
}

// Attaches a subscription and starts its delivery thread; the link id or a negative code.
int AttachLink(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int rate,
               ZANT_CALLBACK callback, int mode, int callbackId, void* reference) {
    std::lock_guard<std::mutex> lock(gSimulationMutex);
    SimulationState& state = LockedState();
    ZANTSIM_CALL& call = AddJournalEntry(state, "AttachLinkEx2", address, property);
    if (dout != nullptr) {
        call.arrayLength = dout->dArrayLength;
        call.format = dout->dFormat;
    }
    call.access = access;
    call.rate = rate;
    call.mode = mode;
    int code = 0;
    const PropertyModel* model = FindProperty(state, address, property, code);
    if (state.attachResult < 0) {
        code = -state.attachResult;
    } else if (model != nullptr && (dout == nullptr || dout->dFormat != CF_IMAGE || dout->data == nullptr ||
                                    din != nullptr || callback == nullptr)) {
        code = ZANTSIM_CC_INVALID_ARGUMENT;
    }
    if (code != 0) {
        call.result = -code;
        return -code;
    }
    auto sub = std::make_unique<Subscription>();
    sub->link = state.nextLink++;
    sub->address = address;
    sub->model = *model;
    sub->output = dout;
    sub->periodMs = rate < model->minRateMs ? model->minRateMs : rate > model->maxRateMs ? model->maxRateMs : rate;
    sub->callback = callback;
    sub->callbackId = callbackId;
    sub->reference = reference;
    sub->steps = state.deliverySteps;
    // The slot first: once the thread runs, nothing may fail before the link owns it.
    std::unique_ptr<Subscription>& slot = state.subscriptions[sub->link];
    gDeliveryThreadCount.fetch_add(1);
    try {
        sub->thread = std::thread(DeliveryLoop, sub.get());
    } catch (...) {
        gDeliveryThreadCount.fetch_sub(1);
        state.subscriptions.erase(sub->link);
        throw;
    }
    call.link = call.result = sub->link;
    slot = std::move(sub);
    return call.result;
}

}  // namespace

extern "C" {

int AttachLinkEx2(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int rate,
                  ZANT_CALLBACK callback, int mode, int callbackId, void* reference) {
    int link = -kOutOfClientMemory;
    Guarded([&]() -> int {
        link = AttachLink(address, property, dout, din, access, rate, callback, mode, callbackId, reference);
        return 0;
    });
    return link;
}

int SetSubscriptionRenewalThreshold(int link, int threshold) {
    return Guarded([&]() -> int {
        std::lock_guard<std::mutex> lock(gSimulationMutex);
        SimulationState& state = LockedState();
        ZANTSIM_CALL& call = AddJournalEntry(state, "SetSubscriptionRenewalThreshold", "", "");
        call.link = link;
        call.rate = threshold;
        call.result = state.renewalCode;
        if (call.result == 0 && state.subscriptions.count(link) == 0) call.result = ZANTSIM_CC_INVALID_LINK;
        return call.result;
    });
}

int GetDataFromCallbackId(int id, DTYPE* dout, short* /*ignored*/) {
    return Guarded([&]() -> int {
        int scripted = 0;
        {
            std::lock_guard<std::mutex> lock(gSimulationMutex);
            SimulationState& state = LockedState();
            ZANTSIM_CALL& call = AddJournalEntry(state, "GetDataFromCallbackId", "", "");
            call.link = id;
            if (dout != nullptr) call.format = dout->dFormat;
            scripted = state.getDataCode;
            if (scripted == 0 && dout == nullptr) scripted = ZANTSIM_CC_INVALID_ARGUMENT;
            if (scripted == 0 && (!currentDelivery.active || currentDelivery.callbackId != id))
                scripted = ZANTSIM_CC_CALLBACK_NOT_FOUND;
            call.result = scripted;
        }
        if (scripted != 0) return scripted;
        *dout = currentDelivery.container;
        return 0;
    });
}

int CloseLink(int link) {
    return Guarded([&]() -> int {
        std::unique_ptr<Subscription> closing;
        {
            std::lock_guard<std::mutex> lock(gSimulationMutex);
            SimulationState& state = LockedState();
            ZANTSIM_CALL& call = AddJournalEntry(state, "CloseLink", "", "");
            call.link = link;
            auto found = state.subscriptions.find(link);
            if (found == state.subscriptions.end()) {
                call.result = ZANTSIM_CC_INVALID_LINK;
            } else if (found->second->thread.get_id() == std::this_thread::get_id()) {
                call.result = 18;  // "not allowed": a link cannot be closed from its own callback
            } else {
                call.result = ScriptedCloseResult(state);
            }
            if (call.result != 0) return call.result;
            closing = std::move(found->second);
            state.subscriptions.erase(found);
            closing->stopRequested = true;
            closing->wake.notify_all();
        }
        closing->thread.join();
        return 0;
    });
}

}  // extern "C"
