// Start and stop of the stand-in, its completion-code texts, version text and log.
// The start calls are journaled and answer as scripted: the stand-in has no cycle timer or pipe to run.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sim_state.h"
#include "zant.h"

namespace {

std::atomic<int> cycleTimerStarts{0};

// Completion codes of the control system with their texts, in ascending order. The library passes them
// on unchanged and shows their texts, so the stand-in covers every code it can return or test for,
// including those the library reports itself (103 invalid image, 513 decompression failure).
struct CompletionCodeText {
    int code;
    const char* text;
};

constexpr CompletionCodeText kCompletionCodeTexts[] = {
    {0, "success"},
    {1, "link error"},
    {2, "out of range"},
    {3, "illegal data type"},
    {4, "illegal read/write"},
    {5, "out of server memory"},
    {6, "illegal format"},
    {7, "illegal property"},
    {8, "illegal device"},
    {9, "illegal equipment module"},
    {10, "illegal context"},
    {11, "illegal server"},
    {12, "no such device"},
    {13, "unknown server"},
    {14, "dimension error"},
    {15, "invalid data"},
    {16, "server busy"},
    {17, "timeout"},
    {18, "not allowed"},
    {19, "data not ready"},
    {20, "non existent element"},
    {21, "invalid link"},
    {22, "out of client memory"},
    {23, "buffer too small"},
    {24, "not implemented"},
    {25, "access denied"},
    {26, "link not open"},
    {27, "link timeout"},
    {28, "address unresolved"},
    {29, "connection refused"},
    {30, "not initialised"},
    {31, "invalid argument"},
    {32, "wait for data"},
    {33, "resources exhausted"},
    {34, "server redirection"},
    {35, "link blacklisted"},
    {36, "host not resolved"},
    {37, "property not ready"},
    {38, "link exists"},
    {39, "data stale"},
    {40, "invalid mode"},
    {41, "invalid access"},
    {42, "semaphore busy"},
    {43, "operation canceled"},
    {44, "invalid structure"},
    {45, "structure tag mismatch"},
    {46, "invalid array length"},
    {47, "subscription renewal failed"},
    {48, "callback not found"},
    {49, "invalid callback id"},
    {50, "device offline"},
    {51, "property offline"},
    {52, "server not running"},
    {53, "internal error"},
    {54, "input data expected"},
    {55, "output data expected"},
    {56, "pipe error"},
    {57, "pipe not open"},
    {58, "queue full"},
    {59, "not supported"},
    {60, "has query function"},
    {61, "invalid name"},
    {62, "has structured data"},
    {63, "replay file cannot be loaded"},  // the stand-in's own: a replay file it could not load
    {103, "invalid image data"},
    {513, "decompression failed"},
};

// Numbers below the end of the list that have no entry of their own.
const char kUnassignedCodeText[] = "unassigned completion code";

constexpr int kCompletionCodeCount = sizeof(kCompletionCodeTexts) / sizeof(kCompletionCodeTexts[0]);
constexpr int kErrorListSize = kCompletionCodeTexts[kCompletionCodeCount - 1].code + 1;

// Records a start or stop call (a pipe name goes into the address field) and returns its result.
// Without memory for the entry the call still answers.
int Journaled(const char* function, const char* name, int value, int result) {
    zantsim::Guarded([&]() -> int {
        std::lock_guard<std::mutex> lock(zantsim::gSimulationMutex);
        ZANTSIM_CALL& call = zantsim::AddJournalEntry(zantsim::LockedState(), function, name, "");
        call.arrayLength = static_cast<uint32_t>(value);
        call.result = result;
        return 0;
    });
    return result;
}

}  // namespace

extern "C" {

int SystemStartCycleTimer(void) {
    cycleTimerStarts.fetch_add(1);
    return Journaled("SystemStartCycleTimer", nullptr, 0, 0);
}

int SystemKillCycleTimer(void) {
    cycleTimerStarts.store(0);
    return Journaled("SystemKillCycleTimer", nullptr, 0, 0);
}

int SetClnRecvQueueDepth(int depth) { return Journaled("SetClnRecvQueueDepth", nullptr, depth, depth < 0 ? 31 : 0); }

int _SystemAssignBufferSpace(int bytes, int /*flags*/) {
    int scripted = 0;
    {
        std::lock_guard<std::mutex> lock(zantsim::gSimulationMutex);
        scripted = zantsim::LockedState().bufferSpaceCode;
    }
    return Journaled("_SystemAssignBufferSpace", nullptr, bytes, bytes <= 0 ? 31 : scripted);
}

int OpenIpcPipe(const char* name) {
    int scripted = 0;
    {
        std::lock_guard<std::mutex> lock(zantsim::gSimulationMutex);
        scripted = zantsim::LockedState().pipeOpenCode;
    }
    return Journaled("OpenIpcPipe", name, 0, (name == nullptr || name[0] == '\0') ? 31 : scripted);
}

int CloseIpcPipe(const char* name) {
    int scripted = 0;
    {
        std::lock_guard<std::mutex> lock(zantsim::gSimulationMutex);
        scripted = zantsim::LockedState().pipeCloseCode;
    }
    return Journaled("CloseIpcPipe", name, 0, (name == nullptr || name[0] == '\0') ? 31 : scripted);
}

int GetErrorListSize(void) { return kErrorListSize; }

const char* cc2str(int code) {
    if (code < 0 || code >= kErrorListSize) return "unknown error";
    for (const CompletionCodeText& entry : kCompletionCodeTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnassignedCodeText;
}

const char* GetSystemVersionString(void) { return "ZANT stand-in 1.0.0"; }

int feclog(const char* format, ...) {
    if (format == nullptr) return 31;
    va_list args;
    va_start(args, format);
    std::fputs("[zant] ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    return 0;
}

}  // extern "C"
