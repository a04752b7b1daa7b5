// Shared set-up of the stream tests: small pattern cameras served at the stand-in's fastest rate, and
// helpers to open streams and wait for the stand-in's deliveries.
#ifndef QMV3_TESTS_STREAM_STREAM_FIXTURE_H
#define QMV3_TESTS_STREAM_STREAM_FIXTURE_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "qmv3/qmv3.h"
#include "zantsim.h"

namespace qmv3test {

constexpr int kSmallWidth = 32;
constexpr int kSmallHeight = 8;

inline ZANTSIM_STEP Deliver(uint32_t frameNumber, int code = 0) { return {ZANTSIM_STEP_DELIVER, frameNumber, code, 0}; }
inline ZANTSIM_STEP Stop() { return {ZANTSIM_STEP_STOP, 0, 0, 0}; }

class StreamTest : public ::testing::Test {
  protected:
    // Cameras /SIM/STREAMSRV/CAM0 .. CAM3, each with a 32 x 8 pattern "Small" and a 64 x 64 JPEG "Jpeg".
    void SetUp() override {
        std::string text = "<zantsim>";
        for (int i = 0; i < 4; ++i)
            text += "<device address=\"" + Camera(i) +
                    "\"><property name=\"Small\" source=\"pattern\" width=\"32\" height=\"8\" minRateMs=\"1\"/>"
                    "<property name=\"Jpeg\" source=\"pattern\" width=\"64\" height=\"64\" compression=\"jpeg\" "
                    "minRateMs=\"1\"/></device>";
        text += "</zantsim>";
        const std::string config = dir.file("streams.xml");
        WriteFileBytes(config, std::vector<unsigned char>(text.begin(), text.end()));
        setenv(ZANTSIM_CONFIG_ENV, config.c_str(), 1);
        zantsim_Reset();
        qmSetVerbose(0);
    }
    void TearDown() override {
        EXPECT_EQ(0, zantsim_OpenLinkCount());
        zantsim_Reset();
        unsetenv(ZANTSIM_CONFIG_ENV);
    }
    static std::string Camera(int i) { return "/SIM/STREAMSRV/CAM" + std::to_string(i); }

    static QMV3_STREAM_OPTIONS Options(int policy = QMV3_STREAM_KEEP_NEWEST, unsigned queue = 16) {
        QMV3_STREAM_OPTIONS options{};
        options.size = sizeof options;
        options.rateMilliseconds = 1;
        options.queueLength = queue;
        options.policy = policy;
        return options;
    }
    static QMV3_STREAM* Open(const QMV3_STREAM_OPTIONS& options, int camera = 0, const char* property = "Small") {
        QMV3_STREAM* stream = nullptr;
        int code = -1;
        EXPECT_EQ(QMV3_STREAM_OK, qmStreamOpen(&stream, Camera(camera).c_str(), property, &options, &code));
        EXPECT_EQ(0, code);
        return stream;
    }
    static QMV3_STREAM_STATISTICS Stats(QMV3_STREAM* stream) {
        QMV3_STREAM_STATISTICS stats{};
        stats.size = sizeof stats;
        EXPECT_EQ(QMV3_STREAM_OK, qmStreamGetStatistics(stream, &stats));
        return stats;
    }
    // Waits (up to 10 s) until the stream has counted at least `count` deliveries with a frame.
    static void WaitForDeliveries(QMV3_STREAM* stream, unsigned long long count) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Stats(stream).delivered < count && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_LE(count, Stats(stream).delivered);
    }

    TempDir dir;
};

}  // namespace qmv3test

#endif
