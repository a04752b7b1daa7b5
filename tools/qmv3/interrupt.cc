// Ctrl-C handling for long operations. The flag is a plain int because the library takes an int*; the
// handler only stores into it, which is async-signal-safe, and the library reads it in its polling loop.
#include "interrupt.h"

#include <unistd.h>

#include <cstring>

#include "output_file.h"

namespace qmv3tool {

namespace {

int interruptFlag = 0;
// Ctrl-C presses of the whole run: a save that follows an interrupted grab gets a fresh flag, but a
// second Ctrl-C still means "abort".
volatile sig_atomic_t presses = 0;

void OnInterrupt(int) {
    if (presses++ > 0) {
        // The second Ctrl-C ends the process, without leaving half-written outputs behind.
        RemovePendingOutputs();
        signal(SIGINT, SIG_DFL);
        raise(SIGINT);
        return;
    }
    *static_cast<volatile int*>(&interruptFlag) = 1;
    static const char kMessage[] = "\nqmv3: interrupted, stopping (press Ctrl-C again to abort)\n";
    ssize_t ignored = write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
    (void)ignored;
}

void Install(struct sigaction* previous) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, previous);
}

}  // namespace

InterruptScope::InterruptScope() {
    interruptFlag = 0;
    Install(&previous_);
}

InterruptScope::~InterruptScope() { sigaction(SIGINT, &previous_, nullptr); }

int* InterruptScope::Flag() { return &interruptFlag; }

int InterruptPresses() { return presses; }

bool InterruptScope::Interrupted() const { return *static_cast<volatile int*>(&interruptFlag) == 1; }

}  // namespace qmv3tool
