// The hand-fed stream of the stream and live-view benchmarks.
#include "fed_stream.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_files.h"
#include "zant.h"
#include "zantsim.h"

namespace qmv3bench {

const Kind kKinds[2] = {{"grey8", &kGrey8, "Small", 420}, {"grey16", &kGrey16, "Large", 421}};

const char kDevice[] = "/BENCH/STREAM/CAM";

// Serves cameras CAM0 .. CAM3, each with a 640 x 480 8-bit "Small" and a 2048 x 2048 16-bit "Large".
void ServeBenchCameras() {
    const std::string path = ScratchFile("stream_bench_devices.xml");
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return;
    std::fprintf(file, "<zantsim>");
    for (int i = 0; i < 4; ++i)
        std::fprintf(file,
                     "<device address=\"%s%d\"><property name=\"Small\" minRateMs=\"1\"/><property name=\"Large\" "
                     "width=\"2048\" height=\"2048\" bytesPerPixel=\"2\" effectiveBits=\"12\" minRateMs=\"1\" "
                     "seed=\"%d\"/></device>",
                     kDevice, i, i + 1);
    std::fprintf(file, "</zantsim>\n");
    std::fclose(file);
    zantsim_Reset();
    zantsim_LoadConfiguration(path.c_str());
    std::remove(path.c_str());
}

FedStream::FedStream(const Kind& kind) {
    qmSetVerbose(0);
    ServeBenchCameras();
    const ZANTSIM_STEP quiet = {ZANTSIM_STEP_STOP, 0, 0, 0};
    zantsim_ScriptDeliveries(&quiet, 1);
    QMV3_STREAM_OPTIONS options{};
    options.size = sizeof options;
    options.rateMilliseconds = 1;
    options.silenceMilliseconds = 0x7FFFFFFF;
    if (qmStreamOpen(&handle, (std::string(kDevice) + "0").c_str(), kind.property, &options, nullptr) !=
        QMV3_STREAM_OK)
        return;
    subscription = qmv3stream::SubscriptionOf(handle);
    pixels = MakePixels(*kind.shape, 0);
    const DIMAGE header = MakeImage(*kind.shape, 0, pixels);
    std::free(header.frameBuffer);
    std::memcpy(&subscription->receive, &header, QMV3_IMAGE_HEADER_SIZE);
    std::memcpy(subscription->receive.frameBuffer, pixels.data(), pixels.size());
}

FedStream::~FedStream() {
    qmStreamClose(handle);
    zantsim_Reset();
}

void FedStream::Deliver() {
    subscription->receive.frameHeader.frameNumber = ++frameNumber;
    qmv3stream::DeliveryCallback(1, 0, subscription);
}

bool FedStream::Frame() {
    Deliver();
    DIMAGE* frame = nullptr;
    if (qmStreamNext(handle, 0, &frame) != QMV3_STREAM_OK) return false;
    benchmark::DoNotOptimize(frame->frameBuffer);
    return qmStreamRelease(handle, frame) == QMV3_STREAM_OK;
}

}  // namespace qmv3bench
