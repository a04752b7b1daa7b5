// Ctrl-C, SIGTERM and SIGHUP handling for long operations. The flag is a plain int because the library
// takes an int*; the handler only stores into it and writes a fixed text, which is async-signal-safe,
// and the library reads the flag in its polling loop.
#include "interrupt.h"

#include <unistd.h>

#include <cstring>

#include "output_file.h"

namespace qmv3tool {

namespace {

// A terminal closed under the tool (SIGHUP) or a service manager's stop (SIGTERM) asks for the same
// orderly stop as Ctrl-C: frames received so far are saved rather than lost with the process.
const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = sizeof kStopSignals / sizeof kStopSignals[0];

int interruptFlag = 0;
// Stop requests of the whole run: a save that follows an interrupted grab gets a fresh flag, but a
// second request still means "abort".
volatile sig_atomic_t presses = 0;

void Say(const char* text, size_t length) {
    ssize_t ignored = write(STDERR_FILENO, text, length);
    (void)ignored;
}

void OnInterrupt(int signalNumber) {
    if (presses++ > 0) {
        // The second request ends the process, without leaving half-written outputs behind.
        RemovePendingOutputs();
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }
    *static_cast<volatile int*>(&interruptFlag) = 1;
    static const char kInterrupted[] = "\nqmv3: interrupted, stopping (press Ctrl-C again to abort)\n";
    static const char kTerminated[] = "\nqmv3: terminated (SIGTERM), stopping and keeping what was received\n";
    static const char kHangUp[] = "\nqmv3: hang-up (SIGHUP), stopping and keeping what was received\n";
    if (signalNumber == SIGTERM)
        Say(kTerminated, sizeof kTerminated - 1);
    else if (signalNumber == SIGHUP)
        Say(kHangUp, sizeof kHangUp - 1);
    else
        Say(kInterrupted, sizeof kInterrupted - 1);
}

void Install(struct sigaction* previous) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kStopSignalCount; ++i) {
        sigaction(kStopSignals[i], nullptr, &previous[i]);
        // A signal the caller ignores stays ignored (nohup ignores SIGHUP); Ctrl-C is always taken.
        if (kStopSignals[i] != SIGINT && previous[i].sa_handler == SIG_IGN) continue;
        sigaction(kStopSignals[i], &action, nullptr);
    }
}

}  // namespace

InterruptScope::InterruptScope() {
    interruptFlag = 0;
    Install(previous_);
}

InterruptScope::~InterruptScope() {
    for (int i = 0; i < kStopSignalCount; ++i) sigaction(kStopSignals[i], &previous_[i], nullptr);
}

int* InterruptScope::Flag() { return &interruptFlag; }

int InterruptPresses() { return presses; }

bool InterruptScope::Interrupted() const { return *static_cast<volatile int*>(&interruptFlag) == 1; }

}  // namespace qmv3tool
