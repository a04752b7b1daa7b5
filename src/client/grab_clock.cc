// The grab functions' clock: see grab_clock.h.
#include "client/grab_clock.h"

#include <atomic>

#include "platform/platform.h"

namespace {

int64_t SystemNowMilliseconds() {
    PLF_TIME now;
    platformTimeGet(now);
    return static_cast<int64_t>(now.seconds) * 1000 + now.milliseconds;
}

const GrabClock kSystemClock{SystemNowMilliseconds, platformSleepMilliseconds};

// The clock in force; read on the delivery thread too.
std::atomic<const GrabClock*> gGrabClock{&kSystemClock};

}  // namespace

const GrabClock& _internal_grabClock() { return *gGrabClock.load(); }

void _internal_setGrabClock(const GrabClock* clock) { gGrabClock.store(clock != nullptr ? clock : &kSystemClock); }
