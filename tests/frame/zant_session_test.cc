// Start and stop of the control-system client: once per process, with the optional pipe.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <regex>
#include <string>

#include "client/library_frame.h"
#include "client/library_state.h"
#include "common/temp_dir.h"
#include "platform/platform.h"
#include "qmv3/qmv3.h"
#include "zant.h"

namespace {

using qmv3test::StreamCapture;

class ZantSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir_.path().c_str(), 1), 0); }
    qmv3test::TempDir dir_;
};

TEST_F(ZantSessionTest, StartsOnceAndOpensTheConfiguredPipe) {
    setenv("ORSEL_CLIENTLIB_ZANT_PIPE", "video-pipe", 1);
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);
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
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);
    StreamCapture capture(2);
    _internal_StartZantIfNotStartedAlready();
    EXPECT_EQ(capture.End(), "");
    EXPECT_TRUE(_global_internal_bZantStarted);
    EXPECT_FALSE(_global_internal_bZantPipeOpened);
}

// A link the control system does not know never closes: the attempts end by time alone.
TEST_F(ZantSessionTest, LinkThatNeverClosesGivesUpAfterThreeSeconds) {
    const int refusal = CloseLink(17);
    ASSERT_NE(refusal, 0);
    const std::string code = std::to_string(refusal);
    ASSERT_EQ(qmSetVerbose(1), QMV3_VERBOSE_OK);
    StreamCapture capture(2);
    PLF_TIME start, end;
    platformTimeGet(start);
    const int cc = _internal_ZantCloseLink(17);
    platformTimeGet(end);
    const std::string text = capture.End();
    EXPECT_EQ(cc, refusal);
    EXPECT_GT(platformTimeDelta(start, end), 3.0);
    EXPECT_LT(platformTimeDelta(start, end), 3.6);
    const std::string first =
        "[qmv3 shared lib] orsel client library: v3clientapi: _internal_ZantCloseLink(aZantLinkID=17) needs to be "
        "repeated (try #2). Last return code from CloseLink was " +
        code + ".";
    ASSERT_NE(text.find(first), std::string::npos) << text;
    EXPECT_EQ(text.find(first), text.rfind(first));
    std::smatch match;
    const std::regex last(
        R"(\[qmv3 shared lib\] orsel client library: v3clientapi: _internal_ZantCloseLink\(aZantLinkID=17\) needed to )"
        R"(be repeated #(\d+) times! Last return code from CloseLink was )" +
        code + R"(\.\n$)");
    ASSERT_TRUE(std::regex_search(text, match, last)) << text;
    // About one attempt per 100 ms pause within the three seconds.
    EXPECT_GE(std::stoi(match[1].str()), 25);
    EXPECT_LE(std::stoi(match[1].str()), 31);
}

TEST_F(ZantSessionTest, StopWithoutStartDoesNothing) {
    _internal_StopZantIfAlreadyStarted();
    EXPECT_FALSE(_global_internal_bZantStarted);
}

}  // namespace
