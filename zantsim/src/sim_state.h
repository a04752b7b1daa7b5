// Process-wide state of the stand-in: the served devices, the scripts of the simulation control, the
// journal of calls, the queued frames and the open subscriptions.
//
// Thread rules: everything in SimulationState is guarded by gSimulationMutex, the stand-in's one mutex.
// Delivery threads take it to pick their next frame and release it before they write into the
// subscriber's record and run its callback, so callbacks may call back into the stand-in.
#ifndef ZANTSIM_SIM_STATE_H
#define ZANTSIM_SIM_STATE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_image.h"
#include "zant.h"
#include "zantsim.h"

namespace zantsim {

extern std::mutex gSimulationMutex;

// Completion code "out of client memory": the answer of a call that ran out of memory or threads.
constexpr int kOutOfClientMemory = 22;

// Runs the body of a call of the C interface, which must not let an exception out.
template <typename Body>
int Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        return kOutOfClientMemory;
    }
}

// An open subscription and its delivery thread.
struct Subscription {
    int link = -1;
    std::string address;
    PropertyModel model;
    DTYPE* output = nullptr;
    int periodMs = 1;
    ZANT_CALLBACK callback = nullptr;
    int callbackId = 0;
    void* reference = nullptr;
    std::vector<ZANTSIM_STEP> steps;
    size_t nextStep = 0;
    uint64_t deliveries = 0;     // the index of the next jitter draw
    std::chrono::steady_clock::time_point due{};  // when the last delivery was due
    bool stopRequested = false;  // guarded by gSimulationMutex
    std::condition_variable wake;
    std::thread thread;
};

// Where a property's frame sequence stands: the next number and, for a replay, the next recorded frame.
struct PropertyCursor {
    uint32_t nextNumber = 1;
    size_t nextRecorded = 0;
    uint32_t passes = 0;      // replay: passes over the whole file completed
    uint64_t draws = 0;       // frames taken: the index of the next random draws of the delivery faults
    bool repeatNext = false;  // the last frame is served once more next
    uint32_t lastNumber = 0;
    size_t lastRecorded = 0;
};

struct SimulationState {
    bool loaded = false;
    std::vector<DeviceModel> devices;
    std::map<std::string, PropertyCursor> cursors;  // key: address + "#" + property

    int listenerCode = 0, propsCode = 0, olderPropsCode = 0;
    bool infoOverridden = false;
    int infoElementCount = 0, infoFormat = 0;
    int readFailures = 0, readCode = 0;
    int attachResult = 0;
    std::vector<ZANTSIM_STEP> deliverySteps;
    int closeFailures = 0, closeCode = 0;
    int renewalCode = 0, getDataCode = 0, bufferSpaceCode = 0, pipeOpenCode = 0, pipeCloseCode = 0;

    std::deque<ServedFrame> queuedFrames;
    std::vector<ZANTSIM_CALL> journal;
    std::map<int, std::unique_ptr<Subscription>> subscriptions;
    int nextLink = 1;
};

// The state, loaded on first use; the caller holds gSimulationMutex.
SimulationState& LockedState();

// Serves the devices of a configuration file (null or empty: the default camera); 0, or -1 when the
// file is malformed (reported once per path on standard error, and the default camera is served).
int LoadDevices(SimulationState& state, const char* path);

// Looks a property up; null with the completion code when the device or property is unknown or the
// property cannot serve.
const PropertyModel* FindProperty(SimulationState& state, const char* address, const char* property, int& code);

// Takes the frame a read or delivery of `model` serves next (a queued frame, or one of the property's
// source with `frameNumber`, 0 meaning the property's next number, with the property's drops and
// repetitions); false when a replay without loop is past its last frame. The caller holds
// gSimulationMutex.
bool TakeNextFrame(SimulationState& state, const char* address, const PropertyModel& model, uint32_t frameNumber,
                   ServedFrame& frame);

// Appends a journal entry; the caller holds gSimulationMutex.
ZANTSIM_CALL& AddJournalEntry(SimulationState& state, const char* function, const char* address, const char* property);

// Stops and joins every delivery thread; the caller must not hold gSimulationMutex.
void StopAllSubscriptions();

extern std::atomic<int> gDeliveryThreadCount;
extern std::atomic<uint32_t> gCallbackCount;

}  // namespace zantsim

#endif
