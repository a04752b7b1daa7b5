// Replay of recorded files as live cameras, and the delivery faults every source takes: frames of each
// file kind served byte for byte, looping, the end of a replay, an unloadable file, and drops and
// repetitions as the library's grab sees them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"
#include "zant.h"
#include "zantsim.h"

namespace {

const char* const kAddress = "/LAB/REPLAY/CAM1";

class ReplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qmSetVerbose(0);
        zantsim_Reset();
    }
    void TearDown() override {
        qmFreeBunch(&grabbed_);
        qmFreeBunch(&recorded_);
        zantsim_Reset();
    }
    // Serves one property "P" of kAddress with these attributes.
    void Serve(const std::string& attributes) {
        const std::string path = dir_.file("replay.xml");
        const std::string text = "<zantsim><device address=\"" + std::string(kAddress) + "\"><property name=\"P\" " +
                                 attributes + "/></device></zantsim>";
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
        ASSERT_EQ(0, zantsim_LoadConfiguration(path.c_str()));
    }
    // Saves `count` frames numbered from `first` as `name` and loads them back as the library reads them.
    std::string Record(const std::string& name, unsigned count, uint32_t first, int bytesPerPixel = 1) {
        QMBUNCHOFIMAGES made = filestest::MakeSequence(count, 48, 32, bytesPerPixel, QMV3_FORMAT_GRAY, first);
        const std::string path = dir_.file(name);
        EXPECT_EQ(0, qmSaveImagesToFile(&made, path.c_str())) << name;
        filestest::FreeSequence(made);
        qmFreeBunch(&recorded_);
        EXPECT_EQ(0, qmLoadImagesFromFile(path.c_str(), &recorded_)) << name;
        return path;
    }
    int Grab(unsigned frames) {
        qmFreeBunch(&grabbed_);
        int error = 0;
        qmGrabFramesEx(&grabbed_, kAddress, "P", frames, 1, 3, &error, nullptr, nullptr, nullptr);
        return error;
    }
    std::vector<uint32_t> Numbers() const {
        std::vector<uint32_t> numbers;
        for (uint32_t i = 0; i < grabbed_.numFrames; ++i)
            numbers.push_back(grabbed_.imageArray[i].frameHeader.frameNumber);
        return numbers;
    }
    // Grabbed frame i against recorded frame k: the header but for time stamp and frame number, and the bytes.
    void ExpectRecordedFrame(uint32_t i, uint32_t k) const {
        DIMAGE served = grabbed_.imageArray[i];
        const DIMAGE& recorded = recorded_.imageArray[k];
        served.sourceHeader.timestampSeconds = recorded.sourceHeader.timestampSeconds;
        served.sourceHeader.timestampMicroseconds = recorded.sourceHeader.timestampMicroseconds;
        served.frameHeader.frameNumber = recorded.frameHeader.frameNumber;
        EXPECT_EQ(0, std::memcmp(&served, &recorded, QMV3_IMAGE_HEADER_SIZE)) << "frame " << i;
        ASSERT_EQ(recorded.frameHeader.appendedFrameSize, served.frameHeader.appendedFrameSize);
        EXPECT_EQ(0, std::memcmp(served.frameBuffer, recorded.frameBuffer, served.frameHeader.appendedFrameSize));
    }
    qmv3test::TempDir dir_;
    QMBUNCHOFIMAGES grabbed_{};
    QMBUNCHOFIMAGES recorded_{};
};

TEST_F(ReplayTest, EveryFileKindIsServedByteForByteInFileOrder) {
    const struct {
        const char* name;
        int bytesPerPixel;
        unsigned frames;
    } table[] = {{"run.imc2", 1, 4}, {"run.bkc2", 2, 4}, {"run.imm", 1, 4},
                 {"run.imc", 1, 4},  {"run.bkc", 2, 4},  {"run.bkg", 2, 1}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.name);
        const std::string path = Record(row.name, row.frames, 21, row.bytesPerPixel);
        ASSERT_EQ(row.frames, recorded_.numFrames);
        Serve("source=\"replay\" file=\"" + path + "\" frameNumbers=\"file\"");
        int size = 0, format = 0;
        ASSERT_EQ(0, getPropertyInfoFromListenerEx(kAddress, "P", &size, &format, nullptr));
        EXPECT_EQ(recorded_.imageArray[0].frameHeader.appendedFrameSize, size);
        ASSERT_EQ(0, Grab(row.frames));
        for (uint32_t i = 0; i < row.frames; ++i) {
            ExpectRecordedFrame(i, i);
            EXPECT_EQ(recorded_.imageArray[i].frameHeader.frameNumber, grabbed_.imageArray[i].frameHeader.frameNumber);
        }
    }
}

TEST_F(ReplayTest, LoopStartsAgainWithGrowingNumbers) {
    const std::string path = Record("loop.imc2", 3, 5);
    Serve("source=\"replay\" file=\"loop.imc2\" loop=\"true\" frameNumbers=\"file\"");  // relative to the configuration
    ASSERT_EQ(0, Grab(7));
    EXPECT_EQ((std::vector<uint32_t>{5, 6, 7, 8, 9, 10, 11}), Numbers());
    for (uint32_t i = 0; i < 7; ++i) ExpectRecordedFrame(i, i % 3);

    Serve("source=\"replay\" file=\"" + path + "\" loop=\"true\" frameNumberStart=\"100\"");
    ASSERT_EQ(0, Grab(4));
    EXPECT_EQ((std::vector<uint32_t>{100, 101, 102, 103}), Numbers());
    ExpectRecordedFrame(3, 0);
}

// Without loop the property falls silent after the last frame: reads time out, deliveries stop.
TEST_F(ReplayTest, ReplayWithoutLoopEndsAfterTheLastFrame) {
    const std::string path = Record("end.imc2", 2, 1);
    Serve("source=\"replay\" file=\"" + path + "\"");
    std::vector<unsigned char> bytes(48 * 32);
    DIMAGE image{};
    image.frameBuffer = bytes.data();
    image.frameBufferSize = static_cast<uint32_t>(bytes.size());
    DTYPE out{};
    out.dArrayLength = image.frameBufferSize;
    out.dFormat = CF_IMAGE;
    out.data = &image;
    EXPECT_EQ(0, alsnExecLinkEx(kAddress, "P", &out, nullptr, 1, 100, nullptr));
    EXPECT_EQ(0, alsnExecLinkEx(kAddress, "P", &out, nullptr, 1, 100, nullptr));
    EXPECT_EQ(ZANTSIM_CC_TIMEOUT, alsnExecLinkEx(kAddress, "P", &out, nullptr, 1, 100, nullptr));

    zantsim_Reset();
    Serve("source=\"replay\" file=\"" + path + "\"");
    static std::atomic<int> calls;
    calls = 0;
    const int link = AttachLinkEx2(
        kAddress, "P", &out, nullptr, 1, 1, [](int, int, void*) { ++calls; }, 3, 1, nullptr);
    ASSERT_GE(link, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(0, CloseLink(link));
    EXPECT_EQ(2, calls.load());
}

TEST_F(ReplayTest, UnloadableFileIsReportedOnceAndAnsweredWithItsCode) {
    const std::string missing = dir_.file("missing.imc2");
    qmv3test::StreamCapture capture(2);
    Serve("source=\"replay\" file=\"" + missing + "\"");
    zantsim_Reset();
    Serve("source=\"replay\" file=\"" + missing + "\"");
    const std::string text = capture.End();
    EXPECT_NE(std::string::npos, text.find("missing.imc2"));
    EXPECT_EQ(text.find("cannot be loaded"), text.rfind("cannot be loaded"));
    int size = 0, format = 0;
    EXPECT_EQ(ZANTSIM_CC_REPLAY_UNAVAILABLE, getPropertyInfoFromListenerEx(kAddress, "P", &size, &format, nullptr));
    EXPECT_NE(nullptr, std::strstr(cc2str(ZANTSIM_CC_REPLAY_UNAVAILABLE), "replay file"));
    QMBUNCHOFIMAGES images{};
    int error = 0, zantError = 0;
    EXPECT_EQ(0, qmGrabFramesEx(&images, kAddress, "P", 2, 1, 3, &error, &zantError, nullptr, nullptr));
    EXPECT_EQ(-6, error);
    EXPECT_EQ(-ZANTSIM_CC_REPLAY_UNAVAILABLE, zantError);
}

// Drops leave gaps the sequence check finds; repetitions reach the callback and are dropped there.
TEST_F(ReplayTest, DroppedAndRepeatedFramesAsTheGrabSeesThem) {
    Serve("source=\"pattern\" width=\"16\" height=\"8\" dropProbability=\"0.3\"");
    ASSERT_EQ(0, Grab(30));
    EXPECT_EQ(1, qmIsSequence(&grabbed_));
    EXPECT_EQ(0, qmIsCompleteSequence(&grabbed_));
    const std::vector<uint32_t> dropped = Numbers();
    EXPECT_GT(dropped.back(), 30u);

    zantsim_Reset();
    Serve("source=\"scene\" width=\"16\" height=\"8\" repeatProbability=\"0.5\" jitterMs=\"2\"");
    const uint32_t callbacks = zantsim_CallbackCount();
    ASSERT_EQ(0, Grab(30));
    EXPECT_EQ(1, qmIsCompleteSequence(&grabbed_));
    EXPECT_EQ(1u, Numbers().front());
    EXPECT_GT(zantsim_CallbackCount() - callbacks, 35u);
}

}  // namespace
