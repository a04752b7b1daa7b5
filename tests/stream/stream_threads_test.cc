// Several streams on several threads, meant for the ThreadSanitizer build as much as the plain one:
// streams of different cameras and of the same property are opened, read and closed at random, and a
// further thread closes streams of the others at random moments while their frames arrive. Every frame
// handed out must carry the pattern of its own number for as long as it is held, also across a close.
#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "stream/stream_fixture.h"

namespace qmv3test {
namespace {

constexpr int kWorkers = 5;
constexpr int kRounds = 12;

bool HoldsPattern(const DIMAGE& frame) {
    const uint32_t n = frame.frameHeader.frameNumber;
    if (frame.frameHeader.appendedFrameSize != kSmallWidth * kSmallHeight) return false;
    for (int y = 0; y < kSmallHeight; ++y)
        for (int x = 0; x < kSmallWidth; ++x)
            if (frame.frameBuffer[y * kSmallWidth + x] != ((x + 2 * y + 3 * n) & 0xFF)) return false;
    return true;
}

TEST_F(StreamTest, ManyStreamsOnManyThreadsWithRandomCloses) {
    std::array<std::atomic<QMV3_STREAM*>, kWorkers> open{};
    std::atomic<bool> done{false};
    std::atomic<int> bad{0}, framesSeen{0};
    const auto worker = [&](int index) {
        std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
        for (int round = 0; round < kRounds; ++round) {
            QMV3_STREAM_OPTIONS options = Options(static_cast<int>(random() % 2), 1 + random() % 8);
            options.spareBuffers = 2;
            QMV3_STREAM* stream = nullptr;
            // Workers 0 and 1 share a property.
            if (qmStreamOpen(&stream, Camera(index < 2 ? 0 : index - 1).c_str(), "Small", &options, nullptr) !=
                QMV3_STREAM_OK) {
                ++bad;
                continue;
            }
            open[index].store(stream);
            std::vector<DIMAGE*> held;
            const int frames = static_cast<int>(random() % 40);
            for (int i = 0; i < frames; ++i) {
                DIMAGE* frame = nullptr;
                const int result = qmStreamNext(stream, 2000, &frame);
                if (result == QMV3_STREAM_CLOSED) break;
                if (result != QMV3_STREAM_OK) {
                    ++bad;
                    break;
                }
                ++framesSeen;
                held.push_back(frame);
                if (held.size() > 2 || random() % 2 == 0) {
                    const size_t k = random() % held.size();
                    if (!HoldsPattern(*held[k])) ++bad;
                    if (qmStreamRelease(stream, held[k]) != QMV3_STREAM_OK) ++bad;
                    held.erase(held.begin() + static_cast<long>(k));
                }
            }
            open[index].store(nullptr);
            const int closed = qmStreamClose(stream);
            if (closed != QMV3_STREAM_OK && closed != QMV3_STREAM_CLOSED) ++bad;
            // Held frames survive the close until they are given back.
            for (DIMAGE* frame : held) {
                if (!HoldsPattern(*frame)) ++bad;
                if (qmStreamRelease(stream, frame) != QMV3_STREAM_OK) ++bad;
            }
        }
    };
    std::thread closer([&] {
        std::mt19937 random(99);
        while (!done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 15));
            QMV3_STREAM* victim = open[random() % kWorkers].load();
            if (victim == nullptr) continue;
            const int closed = qmStreamClose(victim);
            if (closed != QMV3_STREAM_OK && closed != QMV3_STREAM_CLOSED) ++bad;
        }
    });
    std::vector<std::thread> workers;
    for (int i = 0; i < kWorkers; ++i) workers.emplace_back(worker, i);
    for (std::thread& t : workers) t.join();
    done.store(true);
    closer.join();
    EXPECT_EQ(0, bad.load());
    EXPECT_GT(framesSeen.load(), kWorkers * kRounds);
    EXPECT_EQ(0, zantsim_DeliveryThreadCount());
}

}  // namespace
}  // namespace qmv3test
