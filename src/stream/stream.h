// Internal interface of streams: the stream's pool of frame buffers and its queue, the subscription the
// control system delivers into, and the delivery callback.
//
// Thread rules: everything of a Stream below `mutex` is guarded by it. The delivery thread copies a frame
// into a slot it has taken out of the free list (state kFilling) without holding the mutex; no other
// thread touches a slot in that state. The mutex is never held while the control system is called
// (CloseLink joins the delivery thread, which may be waiting for the mutex). A subscription is destroyed
// only after its link is closed and no delivery into it is running (`running`); when its link will not
// close it is kept (orphaned) with its stream, whose pool is freed, so late deliveries find valid memory.
#ifndef QMV3_STREAM_STREAM_H
#define QMV3_STREAM_STREAM_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "qmv3/qmv3.h"
#include "zant.h"

namespace qmv3stream {

using Clock = std::chrono::steady_clock;

enum SlotState : uint8_t { kFree, kFilling, kQueued, kBorrowed, kGone };

// One buffer of the pool. `image` is what the caller borrows; `buffer` and `capacity` stay the slot's own
// whatever the caller does to the record.
struct Slot {
    DIMAGE image{};
    unsigned char* buffer = nullptr;
    uint32_t capacity = 0;
    SlotState state = kFree;
};

struct Stream;

// One subscription: the record the control system writes each delivery into, and its container.
struct Subscription {
    Stream* stream = nullptr;
    DIMAGE receive{};
    DTYPE output{};
    int link = -1;
    bool accepting = false;  // guarded by stream->mutex: deliveries are processed
    bool lost = false;       // guarded by stream->mutex: this link has been counted as lost
    int running = 0;         // guarded by stream->mutex: deliveries being copied into the pool
};

struct Stream {
    // Fixed at open.
    uint64_t id = 0;
    char address[136] = {};
    char property[72] = {};
    int rate = 300;
    int mode = QMV3_CM_TIMER;
    int policy = QMV3_STREAM_KEEP_NEWEST;
    bool decompress = true;
    uint32_t queueLength = 16;
    std::chrono::milliseconds silence{5000};
    uint32_t receiveSize = 0;  // the frame-size estimate

    std::mutex mutex;
    std::condition_variable changed;  // a frame queued, a link lost, a delivery finished, closed
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;  // a stack: the buffer given back last is the warmest
    std::vector<uint32_t> queue;      // a ring of queueLength slot indexes
    uint32_t queueHead = 0, queueCount = 0;
    uint32_t capacity = 0;  // the size every buffer has or gets when it is next filled
    std::unique_ptr<Subscription> subscription;
    bool poolReady = false;  // deliveries wait until the pool is allocated
    bool closed = false;
    bool resubscribing = false;  // a thread is closing and attaching links outside the mutex
    bool lossToReport = false;   // a lost link not yet reported by qmStreamNext
    bool linkDown = false;       // lost and not yet delivering again
    bool gotFrameOnLink = false;
    Clock::time_point lastDelivery;
    Clock::time_point resubscribeAt;
    std::chrono::milliseconds pause{0};
    uint32_t lastFrameNumber = 0;
    bool decodeFailureLogged = false;
    QMV3_STREAM_STATISTICS counts{};

    ~Stream();
};

// Runs on the control system's thread after each delivery into the subscription's receive record.
void DeliveryCallback(int id, int completionCode, void* reference);

// Allocates the pool of `count` buffers of `bytes` each and touches their pages; false without memory.
bool AllocatePool(Stream& stream, uint32_t count, uint32_t bytes);

// Frees every buffer not lent to the caller; the caller holds the mutex.
void FreeUnlentBuffers(Stream& stream);

// The current subscription of an open stream, or null: for benchmarks that feed deliveries straight into
// DeliveryCallback on their own thread (with the stand-in told to deliver nothing).
Subscription* SubscriptionOf(QMV3_STREAM* handle);

// Pauses between resubscriptions.
constexpr std::chrono::milliseconds kFirstPause{100};
constexpr std::chrono::milliseconds kLongestPause{5000};

}  // namespace qmv3stream

#endif
