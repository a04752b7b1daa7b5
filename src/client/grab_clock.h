// The clock of the grab functions: the time they read and the pauses they take (the multi-frame grab's
// polling and inactivity limit, the retries of a link that will not close, the single grab's retries).
// It is a seam: tests install a clock of their own, so that no test waits for real seconds.
//
// Thread rules: the clock in force is read on the caller's and on the delivery thread; install another
// only while no grab runs.
#ifndef QMV3_CLIENT_GRAB_CLOCK_H
#define QMV3_CLIENT_GRAB_CLOCK_H

#include <cstdint>

struct GrabClock {
    // Wall-clock milliseconds since 1970.
    int64_t (*nowMilliseconds)();
    void (*sleepMilliseconds)(uint32_t milliseconds);
};

// The clock in force: the system's unless a test installed another.
const GrabClock& _internal_grabClock();
// Installs a clock, which must outlive its use; null installs the system's again.
void _internal_setGrabClock(const GrabClock* clock);

#endif
