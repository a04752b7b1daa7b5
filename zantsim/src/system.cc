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

// Completion codes of the control system; the index is the code. The library passes them on
// unchanged and shows their texts, so the stand-in covers every code it can return.
const char* const kCompletionCodeTexts[] = {
    "success",                      // 0
    "link error",                   // 1
    "out of range",                 // 2
    "illegal data type",            // 3
    "illegal read/write",           // 4
    "out of server memory",         // 5
    "illegal format",               // 6
    "illegal property",             // 7
    "illegal device",               // 8
    "illegal equipment module",     // 9
    "illegal context",              // 10
    "illegal server",               // 11
    "no such device",               // 12
    "unknown server",               // 13
    "dimension error",              // 14
    "invalid data",                 // 15
    "server busy",                  // 16
    "timeout",                      // 17
    "not allowed",                  // 18
    "data not ready",               // 19
    "non existent element",         // 20
    "invalid link",                 // 21
    "out of client memory",         // 22
    "buffer too small",             // 23
    "not implemented",              // 24
    "access denied",                // 25
    "link not open",                // 26
    "link timeout",                 // 27
    "address unresolved",           // 28
    "connection refused",           // 29
    "not initialised",              // 30
    "invalid argument",             // 31
    "wait for data",                // 32
    "resources exhausted",          // 33
    "server redirection",           // 34
    "link blacklisted",             // 35
    "host not resolved",            // 36
    "property not ready",           // 37
    "link exists",                  // 38
    "data stale",                   // 39
    "invalid mode",                 // 40
    "invalid access",               // 41
    "semaphore busy",               // 42
    "operation canceled",           // 43
    "invalid structure",            // 44
    "structure tag mismatch",       // 45
    "invalid array length",         // 46
    "subscription renewal failed",  // 47
    "callback not found",           // 48
    "invalid callback id",          // 49
    "device offline",               // 50
    "property offline",             // 51
    "server not running",           // 52
    "internal error",               // 53
    "input data expected",          // 54
    "output data expected",         // 55
    "pipe error",                   // 56
    "pipe not open",                // 57
    "queue full",                   // 58
    "not supported",                // 59
    "has query function",           // 60
    "invalid name",                 // 61
    "has structured data",          // 62
};

constexpr int kCompletionCodeCount = sizeof(kCompletionCodeTexts) / sizeof(kCompletionCodeTexts[0]);

// Records a start or stop call (a pipe name goes into the address field) and returns its result.
int Journaled(const char* function, const char* name, int value, int result) {
    std::lock_guard<std::mutex> lock(zantsim::gSimulationMutex);
    ZANTSIM_CALL& call = zantsim::AddJournalEntry(zantsim::LockedState(), function, name, "");
    call.arrayLength = static_cast<uint32_t>(value);
    call.result = result;
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

int GetErrorListSize(void) { return kCompletionCodeCount; }

const char* cc2str(int code) {
    if (code < 0 || code >= kCompletionCodeCount) return "unknown error";
    return kCompletionCodeTexts[code];
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
