// Drives one operation through every allocation it makes: the run with the first allocation failing,
// then the second, and so on until a run no longer meets the armed failure and succeeds. Each failed
// run must return one of the operation's documented failure codes (or succeed all the same with a
// correct result, where the failed allocation only cost a side matter such as a log line), lose no
// memory and leave no file.
#ifndef QMV3_TESTS_FAULTS_FAULT_RUNNER_H
#define QMV3_TESTS_FAULTS_FAULT_RUNNER_H

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/failing_allocator.h"
#include "common/temp_dir.h"

namespace qmv3faults {

using qmv3test::ArmAllocationFailure;
using qmv3test::DisarmAllocationFailure;
using qmv3test::LeaksFound;

struct Operation {
    std::function<void()> prepare;     // makes fresh inputs before every run (may be empty)
    std::function<int()> run;          // the call under test; returns its code
    int successCode = 0;               // what a run without failure returns
    std::set<int> failureCodes;        // what a run with a failed allocation may return
    std::function<bool()> correct;     // checks the result of a successful run (may be empty)
    std::function<void()> release;     // frees what a run produced (called after every run)
    std::vector<std::string> outputs;  // files that no failed run may leave behind
};

// Returns the number of runs that met a failure (the operation's allocation count).
inline unsigned long RunUntilSuccess(const Operation& operation, unsigned long limit = 200000) {
    for (unsigned long n = 1; n <= limit; ++n) {
        for (const std::string& output : operation.outputs) std::remove(output.c_str());
        if (operation.prepare) operation.prepare();
        ArmAllocationFailure(n);
        const int code = operation.run();
        const bool failed = DisarmAllocationFailure();
        if (code == operation.successCode && operation.correct) {
            EXPECT_TRUE(operation.correct()) << "allocation " << n << (failed ? " failed" : "") << ": wrong result";
        }
        if (operation.release) operation.release();
        if (!failed) {
            EXPECT_EQ(code, operation.successCode) << "run without failure";
            std::printf("%lu allocations failed in turn\n", n - 1);
            return n - 1;
        }
        if (code != operation.successCode) {
            EXPECT_TRUE(operation.failureCodes.count(code)) << "allocation " << n << " failed, code " << code;
        }
        for (const std::string& output : operation.outputs)
            EXPECT_FALSE(qmv3test::FileExists(output)) << "allocation " << n << " left " << output;
        EXPECT_FALSE(LeaksFound()) << "allocation " << n << " lost memory";
        if (::testing::Test::HasFailure()) return n;
    }
    ADD_FAILURE() << "no success within " << limit << " runs";
    return limit;
}

}  // namespace qmv3faults

#endif
