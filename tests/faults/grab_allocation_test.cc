// Allocation failures during a multi-frame grab, on the calling thread and in the delivery callback:
// the grab ends with the out-of-memory error and the frames it kept, loses nothing and leaves no
// link open.
#include "faults/fault_runner.h"
#include "qmv3/qmv3.h"
#include "zantsim.h"

namespace {

using qmv3faults::Operation;
using qmv3faults::RunUntilSuccess;

TEST(GrabAllocation, MultiFrameGrab) {
    qmSetVerbose(0);
    zantsim_Reset();
    QMBUNCHOFIMAGES images{};
    int error = 0, zantError = 0, received = 0;
    Operation grab;
    grab.run = [&] {
        received = qmGrabFramesEx2(&images, nullptr, ZANTSIM_DEFAULT_ADDRESS, "Frame", 5, 2, QMV3_CM_TIMER, &error,
                                   &zantError, nullptr, nullptr);
        return error;
    };
    grab.failureCodes = {-3};
    grab.correct = [&] { return received == 5 && images.numFrames == 5; };
    grab.release = [&] {
        // Frames received before memory ran out are handed over whole.
        EXPECT_EQ(static_cast<uint32_t>(received), images.numFrames);
        for (uint32_t i = 0; i < images.numFrames; ++i)
            EXPECT_EQ(QMV3_IMAGE_VALID, qmCheckImageValidity(&images.imageArray[i], nullptr, 0)) << "frame " << i;
        qmFreeBunch(&images);
        EXPECT_EQ(0, zantsim_OpenLinkCount());
    };
    EXPECT_GT(RunUntilSuccess(grab), 2u);
    zantsim_Reset();
}

}  // namespace
