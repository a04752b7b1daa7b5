// The stand-in's calls of the control-system interface under failing C++ allocations: like the C
// library they stand in for, they answer with a completion code and never throw.
#include <gtest/gtest.h>

#include <cstring>

#include "common/failing_allocator.h"
#include "qmv3/qmv3.h"
#include "zant.h"
#include "zantsim.h"

namespace {

void Ignore(int, int, void*) {}

TEST(ZantsimAllocationFailure, CallsAnswerOutOfMemoryInsteadOfThrowing) {
    zantsim_Reset();
    static unsigned char bytes[640 * 480];
    DIMAGE image{};
    image.frameBufferSize = sizeof bytes;
    image.frameBuffer = bytes;
    DTYPE out{};
    out.dArrayLength = sizeof bytes;
    out.dFormat = CF_IMAGE;
    out.data = &image;
    int read = 0, link = 0;
    qmv3test::g_failAllocations = true;
    try {
        int unused = 0;
        read = alsnExecLinkEx(ZANTSIM_DEFAULT_ADDRESS, "Frame", &out, nullptr, 1, 1000, &unused);
        link = AttachLinkEx2(ZANTSIM_DEFAULT_ADDRESS, "Frame", &out, nullptr, 1, 10, Ignore, 3, 1, nullptr);
    } catch (...) {
        read = link = 1000;
    }
    qmv3test::g_failAllocations = false;
    EXPECT_EQ(22, read);
    EXPECT_EQ(-22, link);
    EXPECT_EQ(0, zantsim_OpenLinkCount());
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
    zantsim_Reset();
}

}  // namespace
