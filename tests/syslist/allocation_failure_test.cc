// Loading a system list while C++ allocations fail: the load answers false and the object stays
// usable, instead of an exception leaving the class.
#include <gtest/gtest.h>

#include "common/failing_allocator.h"
#include "syslist_fixture.h"

namespace {

using namespace syslisttest;

TEST(SysListAllocationFailure, ReloadAnswersFalseInsteadOfThrowing) {
    qmv3test::TempDir dir;
    CSysList list;
    const LoadResult first =
        LoadText(list, dir, Document(Components(Source("CamA=1", "PCVision"), Sgp("SgpA", "PCVision"))));
    ASSERT_TRUE(first.loaded);
    StderrLog log;
    bool loaded = true;
    bool threw = false;
    qmv3test::g_failAllocations = true;
    try {
        loaded = list.LoadSysList(first.path.c_str(), false, log.log);
    } catch (...) {
        threw = true;
    }
    qmv3test::g_failAllocations = false;
    EXPECT_FALSE(threw);
    EXPECT_FALSE(loaded);
    unsigned int count = 0;
    EXPECT_EQ(list.returnNumSGPs(count), 0) << "a failed load leaves nothing loaded";
    EXPECT_TRUE(list.LoadSysList(first.path.c_str(), false, log.log));
    EXPECT_EQ(list.returnNumSGPs(count), 1);
    EXPECT_EQ(count, 1u);
}

}  // namespace
