// A stream of the stand-in's bench cameras fed by hand: the stand-in's link delivers nothing, and each
// frame goes through the stream's delivery callback, so a benchmark measures the stream and what the
// caller does with a frame, not the stand-in's rendering of it.
#ifndef QMV3_BENCH_FED_STREAM_H
#define QMV3_BENCH_FED_STREAM_H

#include <cstdint>
#include <vector>

#include "qmv3/qmv3.h"
#include "stream/stream.h"
#include "synthetic_data.h"

namespace qmv3bench {

struct Kind {
    const char* key;
    const FrameSpec* shape;
    const char* property;
    int order;
};

// A 640 x 480 8-bit "Small" and a 2048 x 2048 16-bit "Large" property.
extern const Kind kKinds[2];
extern const char kDevice[];

// Serves cameras kDevice0 .. kDevice3, each with both properties.
void ServeBenchCameras();

struct FedStream {
    QMV3_STREAM* handle = nullptr;
    qmv3stream::Subscription* subscription = nullptr;
    std::vector<unsigned char> pixels;
    uint32_t frameNumber = 0;

    explicit FedStream(const Kind& kind);
    ~FedStream();
    FedStream(const FedStream&) = delete;
    FedStream& operator=(const FedStream&) = delete;
    // Delivers the next frame into the stream (its frame number one higher).
    void Deliver();
    // One delivery taken by the caller and given back; false when the stream did not hand it over.
    bool Frame();
};

}  // namespace qmv3bench

#endif
