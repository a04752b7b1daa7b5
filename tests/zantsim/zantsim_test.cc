// The control-system stand-in: default camera, property queries, reads, subscriptions on their own
// thread, link closing, scripted faults, replayed frames, configuration file and journal.
#include "zantsim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "common/pattern_camera.h"
#include "common/temp_dir.h"
#include "qmv3/qmv3.h"
#include "zant.h"

namespace {

const char* const kCam = ZANTSIM_DEFAULT_ADDRESS;

class ZantsimTest : public ::testing::Test {
  protected:
    void SetUp() override { zantsim_Reset(); }
    void TearDown() override { zantsim_Reset(); }
};

// A record with a malloc'ed frame buffer of `size` bytes.
struct Record {
    explicit Record(uint32_t size) : bytes(size) {
        std::memset(&image, 0, sizeof image);
        image.frameBufferSize = size;
        image.frameBuffer = bytes.data();
    }
    DTYPE request(uint32_t arrayLength) {
        DTYPE d{};
        d.dArrayLength = arrayLength;
        d.dFormat = CF_IMAGE;
        d.data = &image;
        return d;
    }
    DIMAGE image;
    std::vector<unsigned char> bytes;
};

uint32_t Pattern(uint32_t x, uint32_t y, uint32_t n, uint32_t c, uint32_t mask) {
    return (x + 2 * y + 3 * n + 85 * c) & mask;
}

TEST_F(ZantsimTest, DefaultCameraReportsEveryPropertyThroughTheListener) {
    const struct {
        const char* property;
        int count;
    } table[] = {{"Frame", 307200}, {"Frame16", 614400}, {"FrameRGB", 921600}, {"FrameJpeg", 307200}};
    for (const auto& row : table) {
        int size = -1, format = -1;
        char text[17] = {};
        EXPECT_EQ(0, getPropertyInfoFromListenerEx(kCam, row.property, &size, &format, text)) << row.property;
        EXPECT_EQ(row.count, size) << row.property;
        EXPECT_EQ(CF_IMAGE, format) << row.property;
        EXPECT_EQ(16u, std::strlen(text));
    }
    int size = 0, format = 0;
    EXPECT_EQ(ZANTSIM_CC_NO_SUCH_DEVICE,
              getPropertyInfoFromListenerEx("/SIM/CAMSERVER/CAM9", "Frame", &size, &format, nullptr));
    EXPECT_EQ(ZANTSIM_CC_ILLEGAL_PROPERTY, getPropertyInfoFromListenerEx(kCam, "Frame2", &size, &format, nullptr));
}

TEST_F(ZantsimTest, PropsAnswersInTheCurrentAndTheOlderForm) {
    zantsim_ScriptPropertyQuery(5, 62, 0);
    int size = 0, format = 0;
    EXPECT_EQ(5, getPropertyInfoFromListenerEx(kCam, "Frame16", &size, &format, nullptr));

    char name[] = "Frame16";
    DTYPE request{};
    request.dArrayLength = 7;
    request.dFormat = CF_TEXT;
    request.data = name;
    std::vector<unsigned char> current(400, 0xEE);
    DTYPE answer{};
    answer.dArrayLength = 1;
    answer.dFormat = CF_STRUCT;
    std::memcpy(answer.dTag, "PRPQSr4", 8);
    answer.data = current.data();
    EXPECT_EQ(62, alsnExecLink(kCam, "PROPS", &answer, &request, CA_READ, 500));

    zantsim_ScriptPropertyQuery(5, 0, 0);
    ASSERT_EQ(0, alsnExecLink(kCam, "PROPS", &answer, &request, CA_READ, 500));
    int32_t count = 0;
    std::memcpy(&count, &current[376], 4);
    EXPECT_EQ(614400, count);
    EXPECT_EQ(CF_IMAGE, current[392] + 512);
    EXPECT_EQ(0, std::memcmp(&current[320], "GRAY 640x480    ", 16));

    std::vector<unsigned char> older(68, 0xEE);
    answer = DTYPE{};
    answer.dArrayLength = 68;
    answer.dFormat = CF_STRUCT;
    answer.data = older.data();
    zantsim_ScriptPropertyInfo(1000, CF_IMAGE);
    ASSERT_EQ(0, alsnExecLink(kCam, "PROPS", &answer, &request, CA_READ, 500));
    uint16_t count16 = 0;
    std::memcpy(&count16, &older[64], 2);
    EXPECT_EQ(1000, count16);
    EXPECT_EQ(CF_IMAGE, older[66] + 512);

    ZANTSIM_CALL call;
    ASSERT_EQ(1, zantsim_JournalEntry(zantsim_JournalFind("alsnExecLink", 0), &call));
    EXPECT_STREQ("PROPS", call.property);
    EXPECT_STREQ("Frame16", call.input);
    EXPECT_EQ(500, call.rate);
}

TEST_F(ZantsimTest, ReadsFillAValidHeaderAndTheMovingPatternOfEachFormat) {
    qmv3test::ServePatternCamera();
    const struct {
        const char* property;
        int bpp, format, bits;
    } table[] = {{"Frame", 1, 0, 8}, {"Frame16", 2, 0, 12}, {"FrameRGB", 3, 1, 24}};
    for (const auto& row : table) {
        Record record(1 << 20);
        DTYPE request = record.request(1 << 20);
        ASSERT_EQ(0, alsnExecLinkEx(kCam, row.property, &request, nullptr, 1, 100, nullptr)) << row.property;
        const DIMAGE& image = record.image;
        EXPECT_EQ(0, std::memcmp(image.sourceHeader.baseTag, "QMV3", 4));
        EXPECT_EQ(640 * 480 * row.bpp, image.frameHeader.appendedFrameSize);
        EXPECT_EQ(188u + 640 * 480 * row.bpp, image.sourceHeader.totalLength);
        EXPECT_EQ(row.format, image.frameHeader.imageFormat);
        EXPECT_EQ(row.bits, image.frameHeader.effectiveBitsPerPixel);
        EXPECT_EQ(1u, image.frameHeader.frameNumber);
        EXPECT_NEAR(static_cast<double>(time(nullptr)), image.sourceHeader.timestampSeconds, 2.0);
        EXPECT_EQ(1u << 20, image.frameBufferSize);
        const uint32_t x = 17, y = 3, n = image.frameHeader.frameNumber, pixel = (y * 640 + x) * row.bpp;
        if (row.bpp == 2) {
            EXPECT_EQ(Pattern(x, y, n, 0, 0xFFF), record.bytes[pixel] | (record.bytes[pixel + 1] << 8));
        } else {
            for (int c = 0; c < row.bpp; ++c) EXPECT_EQ(Pattern(x, y, n, c, 0xFF), record.bytes[pixel + c]);
        }
    }
    Record record(307200);
    DTYPE request = record.request(307200);
    ASSERT_EQ(0, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(2u, record.image.frameHeader.frameNumber);
    EXPECT_EQ(Pattern(5, 7, 2, 0, 0xFF), record.bytes[7 * 640 + 5]);
}

TEST_F(ZantsimTest, JpegFrameIsACompressedGreyImage) {
    Record record(307200);
    DTYPE request = record.request(307200);
    ASSERT_EQ(0, alsnExecLinkEx(kCam, "FrameJpeg", &request, nullptr, 1, 100, nullptr));
    const DIMAGE& image = record.image;
    EXPECT_EQ(QMV3_FORMAT_JPEG, image.frameHeader.imageFormat);
    EXPECT_EQ(QMV3_FORMAT_GRAY, image.frameHeader.sourceFormat);
    EXPECT_EQ(1, image.frameHeader.bytesPerPixel);
    EXPECT_GT(image.frameHeader.appendedFrameSize, 100);
    EXPECT_LT(image.frameHeader.appendedFrameSize, 307200);
    EXPECT_EQ(0xFF, record.bytes[0]);
    EXPECT_EQ(0xD8, record.bytes[1]);
    const int32_t end = image.frameHeader.appendedFrameSize;
    EXPECT_EQ(0xFF, record.bytes[end - 2]);
    EXPECT_EQ(0xD9, record.bytes[end - 1]);
}

TEST_F(ZantsimTest, TooSmallBufferIsRefusedAndLeftUntouched) {
    Record small(307199);
    DTYPE request = small.request(307200);
    EXPECT_EQ(ZANTSIM_CC_BUFFER_TOO_SMALL, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    Record big(307200);
    request = big.request(1000);  // the requested array length limits the room as well
    EXPECT_EQ(ZANTSIM_CC_BUFFER_TOO_SMALL, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(0, big.image.sourceHeader.baseTag[0]);
    request.dFormat = CF_TEXT;
    EXPECT_EQ(ZANTSIM_CC_ILLEGAL_FORMAT, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
}

TEST_F(ZantsimTest, ScriptedReadsFailThenSucceed) {
    zantsim_ScriptReads(2, 5);
    Record record(307200);
    DTYPE request = record.request(307200);
    EXPECT_EQ(5, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(5, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(0, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    zantsim_ScriptReads(-1, 17);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(17, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
}

// What a subscriber sees: thread, codes, frame numbers, GetDataFromCallbackId results.
struct Subscriber {
    Record record{1 << 20};
    DTYPE out = record.request(1 << 20);
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> calls{0};
    std::atomic<bool> onCallerThread{false};
    std::atomic<bool> inCallback{false};
    std::atomic<int> sleepMs{0};
    std::vector<uint32_t> frames;  // written on the delivery thread only, read after CloseLink
    std::vector<int> codes;
    std::vector<int> dataCodes;
    std::vector<uint32_t> dataLengths;

    static void Callback(int id, int cc, void* reference) {
        auto* self = static_cast<Subscriber*>(reference);
        self->inCallback = true;
        if (std::this_thread::get_id() == self->caller) self->onCallerThread = true;
        self->codes.push_back(cc);
        self->frames.push_back(cc == 0 ? self->record.image.frameHeader.frameNumber : 0);
        DTYPE data{};
        data.dFormat = CF_DEFAULT;
        self->dataCodes.push_back(GetDataFromCallbackId(id, &data, nullptr));
        self->dataLengths.push_back(data.dArrayLength);
        std::this_thread::sleep_for(std::chrono::milliseconds(self->sleepMs.load()));
        self->inCallback = false;
        self->calls.fetch_add(1);
    }
    int attach(int rate = 2) {
        return AttachLinkEx2(kCam, "Frame", &out, nullptr, CA_READ, rate, Callback, 3, 7, this);
    }
    void waitForCalls(int n) {
        for (int i = 0; i < 2000 && calls.load() < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
};

TEST_F(ZantsimTest, SubscriptionDeliversOnItsOwnThreadUntilCloseLinkJoinsIt) {
    Subscriber sub;
    const int link = sub.attach();
    ASSERT_GE(link, 0);
    EXPECT_EQ(0, SetSubscriptionRenewalThreshold(link, 50));
    sub.waitForCalls(3);
    sub.sleepMs = 30;  // CloseLink must wait for a callback in progress
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(0, CloseLink(link));
    EXPECT_FALSE(sub.inCallback.load());
    const int callsAtClose = sub.calls.load();
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
    EXPECT_EQ(0, zantsim_OpenLinkCount());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(callsAtClose, sub.calls.load());
    EXPECT_FALSE(sub.onCallerThread.load());
    ASSERT_GE(sub.frames.size(), 3u);
    for (size_t i = 0; i < sub.frames.size(); ++i) {
        EXPECT_EQ(i + 1, sub.frames[i]);
        EXPECT_EQ(0, sub.dataCodes[i]);
        EXPECT_EQ(307200u, sub.dataLengths[i]);
    }
    DTYPE data{};
    EXPECT_EQ(ZANTSIM_CC_CALLBACK_NOT_FOUND, GetDataFromCallbackId(7, &data, nullptr));  // not inside a callback
    EXPECT_EQ(ZANTSIM_CC_INVALID_LINK, CloseLink(link));

    ZANTSIM_CALL call;
    ASSERT_EQ(1, zantsim_JournalEntry(zantsim_JournalFind("AttachLinkEx2", 0), &call));
    EXPECT_STREQ(kCam, call.address);
    EXPECT_STREQ("Frame", call.property);
    EXPECT_EQ(1u << 20, call.arrayLength);
    EXPECT_EQ(CF_IMAGE, call.format);
    EXPECT_EQ(2, call.rate);
    EXPECT_EQ(3, call.mode);
    EXPECT_EQ(link, call.link);
}

TEST_F(ZantsimTest, DeliveryScriptPlaysRepetitionsCodesPausesAndStop) {
    const ZANTSIM_STEP steps[] = {
        {ZANTSIM_STEP_DELIVER, 10, 0, 0}, {ZANTSIM_STEP_DELIVER, 10, 0, 0}, {ZANTSIM_STEP_DELIVER, 0, 517, 0},
        {ZANTSIM_STEP_PAUSE, 0, 0, 20},   {ZANTSIM_STEP_DELIVER, 11, 0, 0}, {ZANTSIM_STEP_DELIVER, 0, 0, 0},
        {ZANTSIM_STEP_STOP, 0, 0, 0},
    };
    ASSERT_EQ(0, zantsim_ScriptDeliveries(steps, 7));
    zantsim_ScriptGetData(33);
    Subscriber sub;
    const int link = sub.attach(1);
    sub.waitForCalls(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(0, CloseLink(link));
    EXPECT_EQ((std::vector<uint32_t>{10, 10, 0, 11, 12}), sub.frames);
    EXPECT_EQ((std::vector<int>{0, 0, 517, 0, 0}), sub.codes);
    EXPECT_EQ((std::vector<int>{33, 33, 33, 33, 33}), sub.dataCodes);
}

TEST_F(ZantsimTest, ScriptedCloseLinkFailuresAndResetStillJoinsTheThread) {
    zantsim_ScriptCloseLink(2, 21);
    Subscriber sub;
    const int link = sub.attach();
    EXPECT_EQ(21, CloseLink(link));
    EXPECT_EQ(21, CloseLink(link));
    EXPECT_EQ(0, CloseLink(link));

    zantsim_ScriptCloseLink(-1, 26);
    Subscriber stuck;
    const int stuckLink = stuck.attach();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(26, CloseLink(stuckLink));
    EXPECT_EQ(1, zantsim_DeliveryThreadCount());
    zantsim_Reset();
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
}

TEST_F(ZantsimTest, ScriptedAttachRenewalAndTooSmallSubscriberBuffer) {
    zantsim_ScriptAttach(-40);
    Subscriber sub;
    EXPECT_EQ(-40, sub.attach());
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
    zantsim_ScriptAttach(0);
    EXPECT_EQ(-ZANTSIM_CC_NO_SUCH_DEVICE,
              AttachLinkEx2("/SIM/X/Y", "Frame", &sub.out, nullptr, 1, 5, Subscriber::Callback, 3, 1, &sub));

    zantsim_ScriptRenewalThreshold(47);
    Subscriber tooSmall;
    tooSmall.out.dArrayLength = 1000;
    const int link = tooSmall.attach(1);
    EXPECT_EQ(47, SetSubscriptionRenewalThreshold(link, 50));
    tooSmall.waitForCalls(2);
    EXPECT_EQ(0, CloseLink(link));
    EXPECT_EQ(ZANTSIM_CC_BUFFER_TOO_SMALL, tooSmall.codes.at(0));
}

TEST_F(ZantsimTest, QueuedFramesAreServedInOrderBeforeGeneratedOnes) {
    std::vector<unsigned char> bytes = {1, 2, 3, 4, 5, 6};
    DIMAGE recorded{};
    std::memcpy(recorded.sourceHeader.baseTag, "QMV3", 4);
    recorded.frameHeader.sourceWidth = 3;
    recorded.frameHeader.sourceHeight = 2;
    recorded.frameHeader.frameNumber = 4711;
    recorded.frameHeader.appendedFrameSize = 6;
    recorded.frameBufferSize = 6;
    recorded.frameBuffer = bytes.data();
    ASSERT_EQ(0, zantsim_QueueFrame(&recorded));
    recorded.frameHeader.frameNumber = 4712;
    bytes[0] = 9;
    ASSERT_EQ(0, zantsim_QueueFrame(&recorded));
    recorded.frameHeader.appendedFrameSize = 7;  // more than its buffer holds
    EXPECT_EQ(ZANTSIM_CC_INVALID_ARGUMENT, zantsim_QueueFrame(&recorded));

    Record record(307200);
    DTYPE request = record.request(307200);
    ASSERT_EQ(0, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(4711u, record.image.frameHeader.frameNumber);
    EXPECT_EQ(1, record.bytes[0]);
    ASSERT_EQ(0, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(4712u, record.image.frameHeader.frameNumber);
    EXPECT_EQ(9, record.bytes[0]);
    ASSERT_EQ(0, alsnExecLinkEx(kCam, "Frame", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(1u, record.image.frameHeader.frameNumber);
}

TEST_F(ZantsimTest, ConfigurationFileDescribesDevicesAndAMalformedOneIsReportedOnce) {
    qmv3test::TempDir dir;
    const std::string good = dir.file("sim.xml");
    std::FILE* file = std::fopen(good.c_str(), "w");
    std::fputs(
        "<zantsim><device address=\"/LAB/GRAB/CAM7\"><property name=\"Big\" source=\"pattern\" width=\"2048\" "
        "height=\"1024\" "
        "bytesPerPixel=\"2\" effectiveBits=\"10\" frameNumberStart=\"100\" minRateMs=\"20\"/></device></zantsim>",
        file);
    std::fclose(file);
    ASSERT_EQ(0, zantsim_LoadConfiguration(good.c_str()));
    int size = 0, format = 0;
    EXPECT_EQ(0, getPropertyInfoFromListenerEx("/LAB/GRAB/CAM7", "Big", &size, &format, nullptr));
    EXPECT_EQ(2048 * 1024 * 2, size);
    EXPECT_EQ(ZANTSIM_CC_NO_SUCH_DEVICE, getPropertyInfoFromListenerEx(kCam, "Frame", &size, &format, nullptr));
    Record record(2048 * 1024 * 2);
    DTYPE request = record.request(2048 * 1024 * 2);
    ASSERT_EQ(0, alsnExecLinkEx("/LAB/GRAB/CAM7", "Big", &request, nullptr, 1, 100, nullptr));
    EXPECT_EQ(100u, record.image.frameHeader.frameNumber);
    EXPECT_EQ(Pattern(9, 1000, 100, 0, 0x3FF),
              record.bytes[(1000 * 2048 + 9) * 2] | (record.bytes[(1000 * 2048 + 9) * 2 + 1] << 8));

    const std::string bad = dir.file("bad.xml");
    file = std::fopen(bad.c_str(), "w");
    std::fputs("<zantsim><device address=\"/A/B/C\"><property name=\"P\" bytesPerPixel=\"7\"/></device></zantsim>",
               file);
    std::fclose(file);
    qmv3test::StreamCapture capture(2);
    EXPECT_EQ(-1, zantsim_LoadConfiguration(bad.c_str()));
    EXPECT_EQ(-1, zantsim_LoadConfiguration(bad.c_str()));
    const std::string text = capture.End();
    EXPECT_NE(std::string::npos, text.find("bad.xml"));
    EXPECT_EQ(text.find("malformed"), text.rfind("malformed"));
    EXPECT_EQ(0, getPropertyInfoFromListenerEx(kCam, "Frame", &size, &format, nullptr));

    setenv(ZANTSIM_CONFIG_ENV, good.c_str(), 1);  // what a reset serves
    zantsim_Reset();
    unsetenv(ZANTSIM_CONFIG_ENV);
    EXPECT_EQ(0, getPropertyInfoFromListenerEx("/LAB/GRAB/CAM7", "Big", &size, &format, nullptr));
}

// A property the stand-in could not serve, or the library could not keep, is refused with the file;
// a JPEG property of any size delivers into a buffer of the element count it reports.
TEST_F(ZantsimTest, ConfigurationRefusesUnservablePropertiesAndJpegFramesFitTheirElementCount) {
    qmv3test::TempDir dir;
    const std::string path = dir.file("sim.xml");
    const auto load = [&](const std::string& property) {
        const std::string text =
            "<zantsim><device address=\"/LAB/GRAB/CAM7\"><property name=\"P\" " + property + "/></device></zantsim>";
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
        qmv3test::StreamCapture capture(2);
        const int result = zantsim_LoadConfiguration(path.c_str());
        capture.End();
        return result;
    };
    const struct {
        const char* property;
        int loads;
    } table[] = {
        {"width=\"65501\" height=\"2\" compression=\"jpeg\"", -1},
        {"width=\"2\" height=\"65501\" compression=\"jpeg\"", -1},
        {"width=\"65535\" height=\"2\"", 0},
        {"width=\"4096\" height=\"3400\" bytesPerPixel=\"2\" effectiveBits=\"12\"", -1},
        {"width=\"4096\" height=\"3328\" bytesPerPixel=\"2\" effectiveBits=\"12\"", 0},
        {"width=\"1\" height=\"1\" format=\"RGB\" compression=\"jpeg\"", 0},
        {"width=\"16\" height=\"16\" compression=\"jpeg\" noise=\"high\"", 0},
        {"width=\"9\" height=\"30\" compression=\"jpeg\" source=\"pattern\"", 0},
    };
    for (const auto& row : table) {
        ASSERT_EQ(row.loads, load(row.property)) << row.property;
        if (row.loads != 0 || std::strstr(row.property, "jpeg") == nullptr) continue;
        int size = 0, format = 0;
        ASSERT_EQ(0, getPropertyInfoFromListenerEx("/LAB/GRAB/CAM7", "P", &size, &format, nullptr));
        Record record(static_cast<uint32_t>(size));
        DTYPE request = record.request(static_cast<uint32_t>(size));
        EXPECT_EQ(0, alsnExecLinkEx("/LAB/GRAB/CAM7", "P", &request, nullptr, 1, 100, nullptr)) << row.property;
    }
}

}  // namespace
