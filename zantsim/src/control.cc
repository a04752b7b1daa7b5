// The simulation control API (zantsim.h): scripts, queued frames, the journal and counts.
// Every call takes the stand-in's mutex; zantsim_Reset joins delivery threads without holding it.
#include <cstdlib>
#include <cstring>

#include "sim_state.h"

using namespace zantsim;

namespace {

// Runs `change` on the state with the mutex held.
template <typename Change>
void WithState(Change change) {
    std::lock_guard<std::mutex> lock(gSimulationMutex);
    change(LockedState());
}

// The scene settings of the control API in the stand-in's own terms; false when they are invalid.
bool ToScene(const ZANTSIM_SCENE* scene, SceneShape& shape, SceneSettings& settings) {
    if (scene == nullptr || scene->width < 1 || scene->width > 65535 || scene->height < 1 || scene->height > 65535)
        return false;
    const bool rgb = scene->format == 1;
    if ((scene->format != 0 && !rgb) || (rgb && scene->bytesPerPixel != 3) ||
        (!rgb && scene->bytesPerPixel != 1 && scene->bytesPerPixel != 2) || scene->effectiveBits < 1 ||
        scene->effectiveBits > 8 * scene->bytesPerPixel || scene->noise < ZANTSIM_NOISE_NONE ||
        scene->noise > ZANTSIM_NOISE_HIGH || !(scene->spotSigma >= 0.0 && scene->spotSigma <= 10000.0) ||
        !(scene->spotPeak >= 0.0 && scene->spotPeak <= 4.0))
        return false;
    shape.width = scene->width;
    shape.height = scene->height;
    shape.rgb = rgb;
    shape.bytesPerPixel = scene->bytesPerPixel;
    shape.effectiveBits = scene->effectiveBits;
    settings.seed = scene->seed;
    settings.spotSigma = scene->spotSigma;
    settings.spotPeak = scene->spotPeak;
    settings.noise = static_cast<NoiseLevel>(scene->noise);
    return true;
}

}  // namespace

extern "C" {

void zantsim_DefaultScene(ZANTSIM_SCENE* scene) {
    if (scene == nullptr) return;
    const SceneShape shape;
    const SceneSettings settings;
    scene->width = shape.width;
    scene->height = shape.height;
    scene->format = 0;
    scene->bytesPerPixel = shape.bytesPerPixel;
    scene->effectiveBits = shape.effectiveBits;
    scene->seed = settings.seed;
    scene->spotSigma = settings.spotSigma;
    scene->spotPeak = settings.spotPeak;
    scene->noise = static_cast<int>(settings.noise);
}

int zantsim_RenderScene(const ZANTSIM_SCENE* scene, uint32_t frameNumber, void* out, size_t size) {
    SceneShape shape;
    SceneSettings settings;
    if (!ToScene(scene, shape, settings) || out == nullptr ||
        size / static_cast<size_t>(shape.width) / static_cast<size_t>(shape.height) <
            static_cast<size_t>(shape.bytesPerPixel))
        return ZANTSIM_CC_INVALID_ARGUMENT;
    return Guarded([&]() -> int {
        RenderScene(shape, settings, frameNumber, static_cast<unsigned char*>(out));
        return 0;
    });
}

int zantsim_SceneSpot(const ZANTSIM_SCENE* scene, uint32_t frameNumber, double* x, double* y, double* peak) {
    SceneShape shape;
    SceneSettings settings;
    if (!ToScene(scene, shape, settings)) return ZANTSIM_CC_INVALID_ARGUMENT;
    const SpotState spot = SceneSpot(shape, settings, frameNumber);
    if (x != nullptr) *x = spot.x;
    if (y != nullptr) *y = spot.y;
    if (peak != nullptr) *peak = spot.peak;
    return 0;
}

void zantsim_Reset(void) {
    StopAllSubscriptions();
    WithState([](SimulationState& state) {
        state = SimulationState();
        LoadDevices(state, std::getenv(ZANTSIM_CONFIG_ENV));
    });
}

int zantsim_LoadConfiguration(const char* path) {
    int result = 0;
    WithState([&](SimulationState& state) { result = LoadDevices(state, path); });
    return result;
}

void zantsim_ScriptPropertyQuery(int listenerCode, int propsCode, int olderPropsCode) {
    WithState([&](SimulationState& state) {
        state.listenerCode = listenerCode;
        state.propsCode = propsCode;
        state.olderPropsCode = olderPropsCode;
    });
}

void zantsim_ScriptPropertyInfo(int elementCount, int format) {
    WithState([&](SimulationState& state) {
        state.infoOverridden = true;
        state.infoElementCount = elementCount;
        state.infoFormat = format;
    });
}

void zantsim_ScriptReads(int failures, int code) {
    WithState([&](SimulationState& state) {
        state.readFailures = failures;
        state.readCode = code;
    });
}

void zantsim_ScriptAttach(int result) {
    WithState([&](SimulationState& state) { state.attachResult = result; });
}

int zantsim_ScriptDeliveries(const ZANTSIM_STEP* steps, int count) {
    if (count < 0 || count > 4096 || (count > 0 && steps == nullptr)) return ZANTSIM_CC_INVALID_ARGUMENT;
    WithState([&](SimulationState& state) { state.deliverySteps.assign(steps, steps + count); });
    return 0;
}

void zantsim_ScriptCloseLink(int failures, int code) {
    WithState([&](SimulationState& state) {
        state.closeFailures = failures;
        state.closeCode = code;
    });
}

void zantsim_ScriptRenewalThreshold(int code) {
    WithState([&](SimulationState& state) { state.renewalCode = code; });
}

void zantsim_ScriptGetData(int code) {
    WithState([&](SimulationState& state) { state.getDataCode = code; });
}

void zantsim_ScriptBufferSpace(int code) {
    WithState([&](SimulationState& state) { state.bufferSpaceCode = code; });
}

void zantsim_ScriptPipe(int openCode, int closeCode) {
    WithState([&](SimulationState& state) {
        state.pipeOpenCode = openCode;
        state.pipeCloseCode = closeCode;
    });
}

int zantsim_QueueFrame(const struct DIMAGE* image) {
    const auto* record = reinterpret_cast<const SimImage*>(image);
    if (record == nullptr) return ZANTSIM_CC_INVALID_ARGUMENT;
    const int32_t size = record->appendedFrameSize;
    if (size > 0 && (record->frameBuffer == nullptr || static_cast<uint32_t>(size) > kMaxQueuedFrameBytes ||
                     static_cast<uint32_t>(size) > record->frameBufferSize))
        return ZANTSIM_CC_INVALID_ARGUMENT;
    ServedFrame frame;
    std::memcpy(&frame.header, record, kImageHeaderSize);
    if (size > 0) frame.bytes.assign(record->frameBuffer, record->frameBuffer + size);
    WithState([&](SimulationState& state) { state.queuedFrames.push_back(std::move(frame)); });
    return 0;
}

int zantsim_JournalSize(void) {
    int size = 0;
    WithState([&](SimulationState& state) { size = static_cast<int>(state.journal.size()); });
    return size;
}

int zantsim_JournalEntry(int index, ZANTSIM_CALL* call) {
    int found = 0;
    WithState([&](SimulationState& state) {
        if (call == nullptr || index < 0 || static_cast<size_t>(index) >= state.journal.size()) return;
        *call = state.journal[static_cast<size_t>(index)];
        found = 1;
    });
    return found;
}

int zantsim_JournalFind(const char* function, int from) {
    int index = -1;
    WithState([&](SimulationState& state) {
        if (function == nullptr) return;
        for (size_t i = from < 0 ? 0 : static_cast<size_t>(from); i < state.journal.size(); ++i)
            if (std::strcmp(state.journal[i].function, function) == 0) {
                index = static_cast<int>(i);
                return;
            }
    });
    return index;
}

void zantsim_ClearJournal(void) {
    WithState([](SimulationState& state) { state.journal.clear(); });
}

int zantsim_OpenLinkCount(void) {
    int count = 0;
    WithState([&](SimulationState& state) { count = static_cast<int>(state.subscriptions.size()); });
    return count;
}

int zantsim_DeliveryThreadCount(void) { return gDeliveryThreadCount.load(); }

uint32_t zantsim_CallbackCount(void) { return gCallbackCount.load(); }

}  // extern "C"
