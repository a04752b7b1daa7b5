// Start and stop of the control-system client: once per process, with the optional pipe.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "client/library_frame.h"
#include "client/library_state.h"
#include "common/temp_dir.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::StreamCapture;

class ZantSessionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir_.path().c_str(), 1), 0); }
    qmv3test::TempDir dir_;
};

TEST_F(ZantSessionTest, StartsOnceAndOpensTheConfiguredPipe) {
    setenv("ORSEL_CLIENTLIB_ZANT_PIPE", "video-pipe", 1);
    ASSERT_EQ(qmSetVerbose(1), 1);
    StreamCapture capture(2);
    _internal_StartZantIfNotStartedAlready();
    _internal_StartZantIfNotStartedAlready();
    const std::string text = capture.End();
    EXPECT_TRUE(_global_internal_bZantStarted);
    EXPECT_TRUE(_global_internal_bZantPipeOpened);
    const std::string message =
        "[qmv3 shared lib] Info: _internal_StartZantIfNotStartedAlready: ZANT OpenIpcPipe(\"video-pipe\") successful.";
    ASSERT_NE(text.find(message), std::string::npos) << text;
    EXPECT_EQ(text.find(message), text.rfind(message)) << "started twice";

    _internal_StopZantIfAlreadyStarted();
    EXPECT_FALSE(_global_internal_bZantStarted);
    EXPECT_FALSE(_global_internal_bZantPipeOpened);
}

TEST_F(ZantSessionTest, EmptyPipeNameOpensNothing) {
    setenv("ORSEL_CLIENTLIB_ZANT_PIPE", "", 1);
    ASSERT_EQ(qmSetVerbose(1), 1);
    StreamCapture capture(2);
    _internal_StartZantIfNotStartedAlready();
    EXPECT_EQ(capture.End(), "");
    EXPECT_TRUE(_global_internal_bZantStarted);
    EXPECT_FALSE(_global_internal_bZantPipeOpened);
}

TEST_F(ZantSessionTest, StopWithoutStartDoesNothing) {
    _internal_StopZantIfAlreadyStarted();
    EXPECT_FALSE(_global_internal_bZantStarted);
}

}  // namespace
