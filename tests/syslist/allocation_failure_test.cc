// Loading a system list while C++ allocations fail: the load answers false and the object stays
// usable, instead of an exception leaving the class. This program replaces the global operator new
// so that a test can make it fail for the duration of one call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "syslist_fixture.h"

namespace {
bool g_failAllocations = false;
}  // namespace

void* operator new(std::size_t size) {
    if (g_failAllocations) throw std::bad_alloc();
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

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
    g_failAllocations = true;
    try {
        loaded = list.LoadSysList(first.path.c_str(), false, log.log);
    } catch (...) {
        threw = true;
    }
    g_failAllocations = false;
    EXPECT_FALSE(threw);
    EXPECT_FALSE(loaded);
    unsigned int count = 0;
    EXPECT_EQ(list.returnNumSGPs(count), 0) << "a failed load leaves nothing loaded";
    EXPECT_TRUE(list.LoadSysList(first.path.c_str(), false, log.log));
    EXPECT_EQ(list.returnNumSGPs(count), 1);
    EXPECT_EQ(count, 1u);
}

}  // namespace
