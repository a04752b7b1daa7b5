// Ctrl-C handling for long operations: while an InterruptScope lives, SIGINT sets the interrupt flag
// that the library's grab, save and load functions watch, so they stop cleanly at their next check. A
// second Ctrl-C ends the process as usual (removing unfinished outputs), in case an operation never
// checks.
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

    // The flag to hand to the library: 0, or 1 once Ctrl-C was pressed.
    int* Flag();
    bool Interrupted() const;

  private:
    struct sigaction previous_;
};

// How often Ctrl-C was pressed during this run.
int InterruptPresses();

}  // namespace qmv3tool

#endif
