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
    state.cursors.clear();
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
                code = model.unavailableCode;
                return code == 0 ? &model : nullptr;
            }
    }
    return nullptr;
}

namespace {

enum DrawPurpose : uint32_t { kDrawDrop = 20, kDrawRepeat = 21 };

// The number a recorded frame is served with: its own, raised by one file's span per completed pass so
// that numbers keep growing when the replay loops.
uint32_t RecordedNumber(const Recording& recording, size_t index, uint32_t passes) {
    const uint32_t first = recording.frames.front().header.frameNumber;
    const uint32_t last = recording.frames.back().header.frameNumber;
    const uint32_t span = last >= first ? last - first + 1 : static_cast<uint32_t>(recording.frames.size());
    return recording.frames[index].header.frameNumber + passes * span;
}

// Moves a replay's cursor past the end of the file to its start when it loops; false at the end.
bool WithinRecording(const PropertyModel& model, PropertyCursor& cursor) {
    if (cursor.nextRecorded < model.recording->frames.size()) return true;
    if (!model.loop) return false;
    cursor.nextRecorded = 0;
    ++cursor.passes;
    return true;
}

uint32_t Following(uint32_t number) { return number + 1 == 0 ? 1 : number + 1; }  // never 0

}  // namespace

bool TakeNextFrame(SimulationState& state, const char* address, const PropertyModel& model, uint32_t frameNumber,
                   ServedFrame& frame) {
    if (!state.queuedFrames.empty()) {
        frame = std::move(state.queuedFrames.front());
        state.queuedFrames.pop_front();
        return true;
    }
    const std::string key = std::string(address) + "#" + model.name;
    auto found = state.cursors.find(key);
    if (found == state.cursors.end()) {
        found = state.cursors.emplace(key, PropertyCursor()).first;
        found->second.nextNumber = model.frameNumberStart;
    }
    PropertyCursor& cursor = found->second;
    const bool replay = model.source == FrameSource::kReplay && model.recording;
    const uint32_t seed = model.scene.seed;
    size_t recorded = 0;
    const bool automatic = frameNumber == 0;  // not a number of a delivery script
    if (automatic && cursor.repeatNext) {
        cursor.repeatNext = false;
        frameNumber = cursor.lastNumber;
        recorded = cursor.lastRecorded;
    } else {
        if (replay && !WithinRecording(model, cursor)) return false;
        if (automatic && model.faults.dropProbability > 0.0 &&
            SceneDraw(seed, kDrawDrop, cursor.draws) < model.faults.dropProbability) {
            cursor.nextNumber = Following(cursor.nextNumber);
            ++cursor.nextRecorded;
            if (replay && !WithinRecording(model, cursor)) return false;
        }
        recorded = cursor.nextRecorded;
        if (automatic)
            frameNumber = replay && model.recordedNumbers ? RecordedNumber(*model.recording, recorded, cursor.passes)
                                                          : cursor.nextNumber;
        cursor.repeatNext = automatic && model.faults.repeatProbability > 0.0 &&
                            SceneDraw(seed, kDrawRepeat, cursor.draws) < model.faults.repeatProbability;
        ++cursor.draws;
        cursor.lastNumber = frameNumber;
        cursor.lastRecorded = recorded;
        cursor.nextNumber = Following(frameNumber);
        cursor.nextRecorded = recorded + 1;
    }
    if (replay) {
        PrepareRecordedFrame(model, recorded, frameNumber, frame);
    } else {
        PrepareGeneratedFrame(model, frameNumber, frame);
    }
    return true;
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
