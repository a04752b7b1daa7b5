// Shared set-up of the grab tests: a fresh simulation per test and readers of its journal.
#ifndef QMV3_TESTS_ACQUISITION_GRAB_FIXTURE_H
#define QMV3_TESTS_ACQUISITION_GRAB_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "acquisition/log_capture.h"
#include "common/pattern_camera.h"
#include "zant.h"
#include "zantsim.h"

namespace qmv3test {

class GrabTest : public ::testing::Test {
  protected:
    void SetUp() override { zantsim_Reset(); }
    void TearDown() override { zantsim_Reset(); }

    // Journal entries made by one function, oldest first.
    static std::vector<ZANTSIM_CALL> Calls(const char* function) {
        std::vector<ZANTSIM_CALL> calls;
        for (int i = zantsim_JournalFind(function, 0); i >= 0; i = zantsim_JournalFind(function, i + 1)) {
            ZANTSIM_CALL call;
            zantsim_JournalEntry(i, &call);
            calls.push_back(call);
        }
        return calls;
    }
    // Names of all journaled functions in order.
    static std::vector<std::string> CallSequence() {
        std::vector<std::string> names;
        ZANTSIM_CALL call;
        for (int i = 0; zantsim_JournalEntry(i, &call) == 1; ++i) names.push_back(call.function);
        return names;
    }
};

// The test pattern of the simulated cameras.
inline uint32_t PatternValue(uint32_t x, uint32_t y, uint32_t frameNumber, uint32_t channel, uint32_t mask) {
    return (x + 2 * y + 3 * frameNumber + 85 * channel) & mask;
}

}  // namespace qmv3test

#endif
