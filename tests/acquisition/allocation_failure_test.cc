// The grab functions under failing C++ allocations: they answer with a code instead of letting the
// exception cross the C interface.
#include <cstring>

#include "acquisition/grab_fixture.h"
#include "client/image_management.h"
#include "common/failing_allocator.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::GrabTest;

class GrabAllocationFailure : public GrabTest {};

TEST_F(GrabAllocationFailure, InvalidFrameIsReportedWhenItsMessageCannotBeBuilt) {
    DIMAGE* image = qmInitializeImageEx(1 << 20);
    ASSERT_NE(nullptr, image);
    // Settle the log frame (the corrected address is logged), the control-system start and the
    // stand-in's journal before allocations fail.
    EXPECT_EQ(QMV3_GRAB_FRAME_OK,
              qmGrabFrame(image, nullptr, ZANTSIM_DEFAULT_ADDRESS + 1, "Frame", 1000, QMV3_CM_SINGLE, nullptr));
    zantsim_ClearJournal();
    unsigned char bytes[4] = {1, 2, 3, 4};
    DIMAGE recorded{};
    std::memcpy(recorded.sourceHeader.baseTag, "QMV3", 4);
    recorded.frameHeader.sourceWidth = 0;  // breaks the rules: the message needs the heap
    recorded.frameHeader.frameNumber = 7;
    recorded.frameHeader.appendedFrameSize = 4;
    recorded.frameBufferSize = 4;
    recorded.frameBuffer = bytes;
    ASSERT_EQ(0, zantsim_QueueFrame(&recorded));
    int code = -1;
    int result = 99;
    qmv3test::g_failAllocations = true;
    try {
        result = qmGrabFrame(image, nullptr, ZANTSIM_DEFAULT_ADDRESS, "Frame", 1000, QMV3_CM_SINGLE, &code);
    } catch (...) {
        result = 100;
    }
    qmv3test::g_failAllocations = false;
    EXPECT_EQ(-2, result);
    EXPECT_EQ(0, code);
    EXPECT_EQ(7u, image->frameHeader.frameNumber);
    qmFreeImage(image);
}

}  // namespace
