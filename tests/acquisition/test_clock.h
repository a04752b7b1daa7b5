// A grab clock for tests: the real time plus an offset. A test moves the offset on to make the grab see
// seconds pass at once, and every pause of 50 ms or more passes in 1 ms of real time (the rest is added
// to the offset), so retries and waits of seconds take milliseconds. Installed for the life of the
// object.
#ifndef QMV3_TESTS_ACQUISITION_TEST_CLOCK_H
#define QMV3_TESTS_ACQUISITION_TEST_CLOCK_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "client/grab_clock.h"

namespace qmv3test {

class TestClock {
  public:
    TestClock() { _internal_setGrabClock(&kClock); }
    ~TestClock() { _internal_setGrabClock(nullptr); }
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    static int64_t NowMilliseconds() {
        const auto real = std::chrono::system_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::milliseconds>(real).count() + offset_.load();
    }
    static void Advance(int64_t milliseconds) { offset_ += milliseconds; }
    static void Sleep(uint32_t milliseconds) {
        if (milliseconds < 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            return;
        }
        // Slept first, so whoever sees the time move on knows the sleeper is about to wake.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        offset_ += milliseconds - 1;
    }

  private:
    static constexpr GrabClock kClock{NowMilliseconds, Sleep};
    static inline std::atomic<int64_t> offset_{0};
};

}  // namespace qmv3test

#endif
