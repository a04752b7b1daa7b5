// Ctrl-C handling for long operations: while an InterruptScope lives, SIGINT, SIGTERM and SIGHUP set
// the interrupt flag that the library's grab, save and load functions watch, so they stop cleanly at
// their next check. A second request ends the process as that signal would (removing unfinished
// outputs), in case an operation never checks.
#ifndef QMV3_TOOL_INTERRUPT_H
#define QMV3_TOOL_INTERRUPT_H

#include <signal.h>

namespace qmv3tool {

class InterruptScope {
  public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    // The flag to hand to the library: 0, or 1 once Ctrl-C was pressed (or SIGTERM or SIGHUP came).
    int* Flag();
    bool Interrupted() const;

  private:
    struct sigaction previous_[3];  // SIGINT, SIGTERM, SIGHUP
};

// How often a stop was asked for (Ctrl-C, SIGTERM, SIGHUP) during this run.
int InterruptPresses();

}  // namespace qmv3tool

#endif
