// Synchronous calls of the stand-in: property information (through the local listener and through
// the device's stock property "PROPS") and single reads of an image property into a caller's record.
// Each call takes the stand-in's mutex for its whole duration; none of them blocks.
#include <cstring>

#include "sim_state.h"

using namespace zantsim;

namespace {

constexpr size_t kPropsCurrentSize = 393;
constexpr size_t kPropsOlderSize = 68;

// The text of the property's description in the "PROPS" answer: 16 characters, blank padded.
void DescribeProperty(const PropertyModel& model, char text[16]) {
    char description[32];
    std::snprintf(description, sizeof description, "%s %dx%d",
                  model.jpeg          ? "JPEG"
                  : model.format == 1 ? "RGB"
                                      : "GRAY",
                  model.width, model.height);
    std::memset(text, ' ', 16);
    std::memcpy(text, description, std::min<size_t>(16, std::strlen(description)));
}

// The reported element count and format of a property, as scripted or from the model.
void ReportedInfo(const SimulationState& state, const PropertyModel& model, int& count, int& format) {
    count = state.infoOverridden ? state.infoElementCount : static_cast<int>(model.elementCount());
    format = state.infoOverridden ? state.infoFormat : CF_IMAGE;
}

// Answers a "PROPS" query that names no property: the device's property names, each ended by a
// newline, the whole text NUL-terminated, into a text container of dArrayLength bytes.
int ListProperties(SimulationState& state, const char* address, DTYPE* dout) {
    if (dout == nullptr || dout->data == nullptr) return ZANTSIM_CC_INVALID_ARGUMENT;
    if (dout->dFormat != CF_TEXT) return ZANTSIM_CC_ILLEGAL_FORMAT;
    if (state.propsCode != 0) return state.propsCode;
    const DeviceModel* device = nullptr;
    for (const DeviceModel& candidate : state.devices)
        if (address != nullptr && candidate.address == address) device = &candidate;
    if (device == nullptr) return ZANTSIM_CC_NO_SUCH_DEVICE;
    std::string names;
    for (const PropertyModel& model : device->properties) names += model.name + '\n';
    if (names.size() + 1 > dout->dArrayLength) return ZANTSIM_CC_BUFFER_TOO_SMALL;
    std::memcpy(dout->data, names.c_str(), names.size() + 1);
    return 0;
}

// Answers a "PROPS" query in the form the output container asks for.
int AnswerProps(SimulationState& state, const char* address, DTYPE* dout, DTYPE* din) {
    if (din == nullptr || din->data == nullptr || din->dArrayLength == 0) return ListProperties(state, address, dout);
    if (dout == nullptr || dout->data == nullptr) return ZANTSIM_CC_INVALID_ARGUMENT;
    const std::string name(static_cast<const char*>(din->data),
                           strnlen(static_cast<const char*>(din->data), din->dArrayLength));
    const bool current = dout->dArrayLength == 1 && std::strncmp(dout->dTag, "PRPQSr4", 8) == 0;
    const bool older = dout->dArrayLength == kPropsOlderSize;
    if (dout->dFormat != CF_STRUCT || (!current && !older)) return ZANTSIM_CC_ILLEGAL_FORMAT;
    if (current && state.propsCode != 0) return state.propsCode;
    if (older && state.olderPropsCode != 0) return state.olderPropsCode;
    int code = 0;
    const PropertyModel* model = FindProperty(state, address, name.c_str(), code);
    if (model == nullptr) return code;
    int count = 0, format = 0;
    ReportedInfo(state, *model, count, format);
    auto* answer = static_cast<unsigned char*>(dout->data);
    if (current) {
        std::memset(answer, 0, kPropsCurrentSize);
        DescribeProperty(*model, reinterpret_cast<char*>(answer + 320));
        const int32_t count32 = count;
        std::memcpy(answer + 376, &count32, sizeof count32);
        answer[392] = static_cast<unsigned char>(format - 512);
    } else {
        std::memset(answer, 0, kPropsOlderSize);
        const uint16_t count16 = count < 0 ? 0 : count > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(count);
        std::memcpy(answer + 64, &count16, sizeof count16);
        answer[66] = static_cast<unsigned char>(format - 512);
    }
    return 0;
}

// One read of an image property into the record behind dout.
int ReadFrame(SimulationState& state, const char* address, const char* property, DTYPE* dout) {
    if (state.readFailures != 0) {
        if (state.readFailures > 0) --state.readFailures;
        return state.readCode;
    }
    int code = 0;
    const PropertyModel* model = FindProperty(state, address, property, code);
    if (model == nullptr) return code;
    if (dout == nullptr || dout->dFormat != CF_IMAGE) return ZANTSIM_CC_ILLEGAL_FORMAT;
    if (dout->data == nullptr) return ZANTSIM_CC_INVALID_ARGUMENT;
    ServedFrame frame;
    // A replay past its last frame is a silent camera: the read times out.
    if (!TakeNextFrame(state, address, *model, 0, frame)) return ZANTSIM_CC_TIMEOUT;
    return WriteFrame(frame, dout->dArrayLength, dout->data);
}

void JournalContainer(ZANTSIM_CALL& call, const DTYPE* dout, const DTYPE* din) {
    if (dout != nullptr) {
        call.arrayLength = dout->dArrayLength;
        call.format = dout->dFormat;
    }
    if (din != nullptr && din->data != nullptr && din->dFormat == CF_TEXT) {
        const size_t length = std::min<size_t>(din->dArrayLength, sizeof call.input - 1);
        std::memcpy(call.input, din->data, strnlen(static_cast<const char*>(din->data), length));
    }
}

}  // namespace

extern "C" {

int getPropertyInfoFromListenerEx(const char* address, const char* property, int* size, int* format, char* text) {
    return Guarded([&]() -> int {
        std::lock_guard<std::mutex> lock(gSimulationMutex);
        SimulationState& state = LockedState();
        ZANTSIM_CALL& call = AddJournalEntry(state, "getPropertyInfoFromListenerEx", address, property);
        int code = state.listenerCode;
        if (code == 0) {
            const PropertyModel* model = FindProperty(state, address, property, code);
            if (model != nullptr && size != nullptr && format != nullptr) {
                ReportedInfo(state, *model, *size, *format);
                if (text != nullptr) {
                    DescribeProperty(*model, text);
                }
            } else if (model != nullptr) {
                code = ZANTSIM_CC_INVALID_ARGUMENT;
            }
        }
        call.result = code;
        return code;
    });
}

int alsnExecLink(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int timeout) {
    return Guarded([&]() -> int {
        std::lock_guard<std::mutex> lock(gSimulationMutex);
        SimulationState& state = LockedState();
        ZANTSIM_CALL& call = AddJournalEntry(state, "alsnExecLink", address, property);
        JournalContainer(call, dout, din);
        call.access = access;
        call.rate = timeout;
        const bool props = property != nullptr && std::strcmp(property, "PROPS") == 0;
        call.result = props ? AnswerProps(state, address, dout, din) : ReadFrame(state, address, property, dout);
        return call.result;
    });
}

int alsnExecLinkEx(const char* address, const char* property, DTYPE* dout, DTYPE* din, short access, int timeout,
                   int* /*ignored*/) {
    return Guarded([&]() -> int {
        std::lock_guard<std::mutex> lock(gSimulationMutex);
        SimulationState& state = LockedState();
        ZANTSIM_CALL& call = AddJournalEntry(state, "alsnExecLinkEx", address, property);
        JournalContainer(call, dout, din);
        call.access = access;
        call.rate = timeout;
        call.result = ReadFrame(state, address, property, dout);
        return call.result;
    });
}

}  // extern "C"
