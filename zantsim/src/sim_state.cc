// The stand-in's process-wide state, the frame sequence of each property and the journal.
// Thread rules: see sim_state.h; every function here expects gSimulationMutex to be held.
#include "sim_state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace zantsim {

std::mutex gSimulationMutex;
std::atomic<int> gDeliveryThreadCount{0};
std::atomic<uint32_t> gCallbackCount{0};

namespace {

constexpr size_t kJournalLimit = 100000;

// Paths of malformed configuration files already reported, so each is reported once per process.
std::set<std::string>& ReportedConfigurations() {
    static std::set<std::string> reported;
    return reported;
}

void CopyText(char* destination, size_t size, const char* text) {
    std::snprintf(destination, size, "%s", text != nullptr ? text : "");
}

// Stops the threads when the process ends, so none outlives the state it uses.
struct ShutdownGuard {
    ~ShutdownGuard() { StopAllSubscriptions(); }
};
ShutdownGuard shutdownGuard;

}  // namespace

int LoadDevices(SimulationState& state, const char* path) {
    state.loaded = true;
    state.nextFrameNumbers.clear();
    if (path == nullptr || path[0] == '\0') {
        state.devices = DefaultDevices();
        return 0;
    }
    std::string reason;
    if (ReadConfiguration(path, state.devices, reason)) return 0;
    if (ReportedConfigurations().insert(path).second)
        std::fprintf(stderr, "zantsim: configuration file \"%s\" is malformed (%s); serving %s instead.\n", path,
                     reason.c_str(), "/SIM/CAMSERVER/CAM0");
    state.devices = DefaultDevices();
    return -1;
}

SimulationState& LockedState() {
    // Never destroyed: delivery threads may still use it while the process ends (see ShutdownGuard).
    static SimulationState* const state = new SimulationState;
    if (!state->loaded) LoadDevices(*state, std::getenv(ZANTSIM_CONFIG_ENV));
    return *state;
}

const PropertyModel* FindProperty(SimulationState& state, const char* address, const char* property, int& code) {
    code = ZANTSIM_CC_NO_SUCH_DEVICE;
    if (address == nullptr || property == nullptr) return nullptr;
    for (const DeviceModel& device : state.devices) {
        if (device.address != address) continue;
        code = ZANTSIM_CC_ILLEGAL_PROPERTY;
        for (const PropertyModel& model : device.properties)
            if (model.name == property) {
                code = 0;
                return &model;
            }
    }
    return nullptr;
}

void TakeNextFrame(SimulationState& state, const char* address, const PropertyModel& model, uint32_t frameNumber,
                   ServedFrame& frame) {
    if (!state.queuedFrames.empty()) {
        frame = std::move(state.queuedFrames.front());
        state.queuedFrames.pop_front();
        return;
    }
    const std::string key = std::string(address) + "#" + model.name;
    auto found = state.nextFrameNumbers.find(key);
    uint32_t& next =
        found != state.nextFrameNumbers.end() ? found->second : (state.nextFrameNumbers[key] = model.frameNumberStart);
    if (frameNumber == 0) frameNumber = next;
    next = frameNumber + 1 == 0 ? 1 : frameNumber + 1;  // frame numbers are never 0
    PrepareGeneratedFrame(model, frameNumber, frame);
}

ZANTSIM_CALL& AddJournalEntry(SimulationState& state, const char* function, const char* address, const char* property) {
    // Long runs (demos, benchmarks) must not grow the journal without bound: the older half goes.
    if (state.journal.size() >= kJournalLimit)
        state.journal.erase(state.journal.begin(), state.journal.begin() + kJournalLimit / 2);
    state.journal.emplace_back();
    ZANTSIM_CALL& call = state.journal.back();
    std::memset(&call, 0, sizeof call);
    CopyText(call.function, sizeof call.function, function);
    CopyText(call.address, sizeof call.address, address);
    CopyText(call.property, sizeof call.property, property);
    call.link = -1;
    return call;
}

void StopAllSubscriptions() {
    std::map<int, std::unique_ptr<Subscription>> stopping;
    {
        std::lock_guard<std::mutex> lock(gSimulationMutex);
        stopping.swap(LockedState().subscriptions);
        for (auto& entry : stopping) {
            entry.second->stopRequested = true;
            entry.second->wake.notify_all();
        }
    }
    for (auto& entry : stopping) {
        std::thread& thread = entry.second->thread;
        if (!thread.joinable()) continue;
        if (thread.get_id() == std::this_thread::get_id()) {
            // A callback resetting the simulation (which the control API forbids): its thread still
            // needs the record after the callback returns, so it is detached and the record kept.
            thread.detach();
            entry.second.release();
        } else {
            thread.join();
        }
    }
}

}  // namespace zantsim
