// The counting semaphore (waits with and without timeout, bounds, assertions) and the thread wrapper.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"

namespace {

TEST(PlatformSemaphore, WaitWithoutLimitTakesTheUnitAndTimeoutWaitFails) {
    HANDLE semaphore = platformCreateSemaphore(1, 1);
    ASSERT_NE(nullptr, semaphore);
    EXPECT_TRUE(platformWaitForSemaphore(semaphore, 0));
    PLF_TIME before, after;
    platformTimeGet(before);
    EXPECT_FALSE(platformWaitForSemaphore(semaphore, 100));
    platformTimeGet(after);
    double waited = platformTimeDelta(before, after);
    EXPECT_GE(waited, 0.095);
    EXPECT_LT(waited, 1.0);
    // The count stayed at 0: no unit to take without waiting.
    EXPECT_FALSE(platformIsSemaphoreSignalled(semaphore));
    EXPECT_TRUE(platformDeleteSemaphore(semaphore));
}

TEST(PlatformSemaphore, ReleaseStopsAtTheMaximum) {
    HANDLE semaphore = platformCreateSemaphore(1, 2);
    ASSERT_NE(nullptr, semaphore);
    EXPECT_TRUE(platformReleaseSemaphore(semaphore));
    EXPECT_FALSE(platformReleaseSemaphore(semaphore));
    EXPECT_TRUE(platformIsSemaphoreSignalled(semaphore));
    EXPECT_TRUE(platformIsSemaphoreSignalled(semaphore));
    EXPECT_FALSE(platformIsSemaphoreSignalled(semaphore));
    EXPECT_TRUE(platformDeleteSemaphore(semaphore));
}

TEST(PlatformSemaphore, NullHandlesFail) {
    EXPECT_FALSE(platformWaitForSemaphore(nullptr, 0));
    EXPECT_FALSE(platformWaitForSemaphore(nullptr, 10));
    EXPECT_FALSE(platformReleaseSemaphore(nullptr));
    EXPECT_FALSE(platformDeleteSemaphore(nullptr));
    EXPECT_FALSE(platformDeleteThread(nullptr));
}

TEST(PlatformSemaphoreDeathTest, ProgrammingErrorsStopTheProcess) {
    EXPECT_DEATH(platformCreateSemaphore(2, 1), "initial_count <= maximum_count");
    EXPECT_DEATH(platformIsSemaphoreSignalled(nullptr), "semaph != __null");
}

struct Handoff {
    HANDLE ready;
    HANDLE go;
    std::atomic<int> steps{0};
};

void* Worker(void* argument) {
    Handoff* handoff = static_cast<Handoff*>(argument);
    handoff->steps = 1;
    platformReleaseSemaphore(handoff->ready);
    platformWaitForSemaphore(handoff->go, 0);
    handoff->steps = 2;
    platformReleaseSemaphore(handoff->ready);
    return nullptr;
}

TEST(PlatformThread, WaitersWakeOnRelease) {
    Handoff handoff;
    handoff.ready = platformCreateSemaphore(0, 1);
    handoff.go = platformCreateSemaphore(0, 1);
    HANDLE thread = platformCreateThread(Worker, &handoff);
    ASSERT_NE(nullptr, thread);
    ASSERT_TRUE(platformWaitForSemaphore(handoff.ready, 5000));
    EXPECT_EQ(1, handoff.steps.load());
    EXPECT_TRUE(platformReleaseSemaphore(handoff.go));
    ASSERT_TRUE(platformWaitForSemaphore(handoff.ready, 5000));
    EXPECT_EQ(2, handoff.steps.load());
    EXPECT_TRUE(platformDeleteThread(thread));
    platformSleepMilliseconds(20);  // let the worker return before its semaphores go
    platformDeleteSemaphore(handoff.ready);
    platformDeleteSemaphore(handoff.go);
}

TEST(PlatformThread, MissingStartFunctionIsRefused) { EXPECT_EQ(nullptr, platformCreateThread(nullptr, nullptr)); }

}  // namespace
