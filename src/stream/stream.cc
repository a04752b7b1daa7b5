// Streams: open, next, release, statistics and close, the handles that stay recognisable after close,
// and the resubscription of a lost link (done by qmStreamNext, since the library owns no thread).
// Thread rules: see stream.h; gStreamRegistry below.
#include "stream/stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "client/address_checks.h"
#include "client/library_frame.h"
#include "platform/platform.h"
#include "util/c_boundary.h"
#include "zant/access_modes.h"

namespace qmv3stream {
namespace {

constexpr int kDefaultRate = 300;
constexpr uint32_t kDefaultQueueLength = 16;
constexpr uint32_t kDefaultSpareBuffers = 2;
constexpr uint32_t kMostBuffers = 4096;
constexpr int kRenewalThreshold = 50;
constexpr int kShortestSilenceMs = 5000;

// A subscription whose link would not close: the control system may still deliver into it, so it stays,
// with its stream (whose pool is freed), until a later open manages to close the link.
struct Orphan {
    std::unique_ptr<Subscription> subscription;
    std::shared_ptr<Stream> stream;
};

// Process-wide state of streams, guarded by its mutex: the streams by handle number (closed streams stay
// until their last lent frame is given back), the next handle number (never reused, so a stale handle
// is recognised), and the orphaned subscriptions. Never destroyed: delivery threads may outlive main.
struct StreamRegistry {
    std::mutex mutex;
    std::unordered_map<uint64_t, std::shared_ptr<Stream>> streams;
    uint64_t nextId = 1;
    std::vector<Orphan> orphans;
};
StreamRegistry& gStreamRegistry() {
    static StreamRegistry* const registry = new StreamRegistry;
    return *registry;
}

QMV3_STREAM* HandleOf(uint64_t id) { return reinterpret_cast<QMV3_STREAM*>(static_cast<uintptr_t>(id << 4)); }

// Finds the stream of a handle: QMV3_STREAM_OK, QMV3_STREAM_CLOSED for a handle once given out, or
// QMV3_STREAM_REFUSED for anything else.
int Find(QMV3_STREAM* handle, std::shared_ptr<Stream>& stream) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value == 0 || (value & 0xF) != 0) return QMV3_STREAM_REFUSED;
    const uint64_t id = static_cast<uint64_t>(value >> 4);
    StreamRegistry& registry = gStreamRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const auto found = registry.streams.find(id);
    if (found != registry.streams.end()) {
        stream = found->second;
        return QMV3_STREAM_OK;
    }
    return id < registry.nextId ? QMV3_STREAM_CLOSED : QMV3_STREAM_REFUSED;
}

void Forget(uint64_t id) {
    StreamRegistry& registry = gStreamRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.streams.erase(id);
}

// Tries once more to close the links of orphaned subscriptions.
void RetryOrphans() {
    std::vector<Orphan> retry;
    {
        StreamRegistry& registry = gStreamRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        retry.swap(registry.orphans);
    }
    std::vector<Orphan> still;
    for (Orphan& orphan : retry) {
        if (CloseLink(orphan.subscription->link) == 0) {
            std::free(orphan.subscription->receive.frameBuffer);
            continue;
        }
        still.push_back(std::move(orphan));
    }
    if (still.empty()) return;
    StreamRegistry& registry = gStreamRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (Orphan& orphan : still) registry.orphans.push_back(std::move(orphan));
}

// Subscribes `sub` to the stream's property; the link id or a negative completion code.
int Attach(Stream& s, Subscription& sub) {
    _internal_StartZantIfNotStartedAlready();
    sub.stream = &s;
    sub.output.dArrayLength = sub.receive.frameBufferSize;
    sub.output.dFormat = CF_IMAGE;
    sub.output.data = &sub.receive;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        sub.accepting = true;
        s.lastDelivery = Clock::now();
        s.gotFrameOnLink = false;
    }
    const int link =
        AttachLinkEx2(s.address, s.property, &sub.output, nullptr, CA_READ, s.rate, DeliveryCallback, s.mode, 1, &sub);
    if (link < 0) {
        std::lock_guard<std::mutex> lock(s.mutex);
        sub.accepting = false;
        s.counts.lastZantCode = link;
        return link;
    }
    sub.link = link;
    const int renewal = SetSubscriptionRenewalThreshold(link, kRenewalThreshold);
    if (renewal != 0) {
        char text[33];
        _internal_LOG("qmStream(%s, %s): Warning: SetSubscriptionRenewalThreshold failed (zant error code: %d(%s)).",
                      s.address, s.property, renewal, zantReturnCodeToString(renewal, text, sizeof text));
    }
    return link;
}

// Closes a subscription's link and waits until no delivery into it runs; a link that will not close
// leaves the subscription orphaned. Returns its receive buffer when it may be used again, else null.
unsigned char* Detach(const std::shared_ptr<Stream>& stream, std::unique_ptr<Subscription> sub) {
    Stream& s = *stream;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        sub->accepting = false;
        s.changed.notify_all();  // a delivery waiting for the pool gives up
    }
    if (sub->link < 0) return sub->receive.frameBuffer;
    const int closed = _internal_ZantCloseLink(sub->link);
    if (closed != 0) {
        _internal_LOG("qmStream(%s, %s): CloseLink(%d) failed (Zant Return Code: %d); the link is kept.", s.address,
                      s.property, sub->link, closed);
        StreamRegistry& registry = gStreamRegistry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.orphans.push_back(Orphan{std::move(sub), stream});
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&] { return sub->running == 0; });
    return sub->receive.frameBuffer;
}

// Options with their defaults filled in; false when a value is out of range.
bool ReadOptions(const QMV3_STREAM_OPTIONS* given, QMV3_STREAM_OPTIONS& options) {
    std::memset(&options, 0, sizeof options);
    if (given != nullptr) {
        if (given->size < sizeof(unsigned int)) return false;
        std::memcpy(&options, given, std::min<size_t>(given->size, sizeof options));
    }
    if (options.rateMilliseconds == 0) options.rateMilliseconds = kDefaultRate;
    if (options.mode == 0) options.mode = QMV3_CM_TIMER;
    if (options.queueLength == 0) options.queueLength = kDefaultQueueLength;
    if (options.spareBuffers == 0) options.spareBuffers = kDefaultSpareBuffers;
    if (options.silenceMilliseconds == 0)
        options.silenceMilliseconds = static_cast<int>(
            std::min<long long>(0x7FFFFFFF, std::max<long long>(kShortestSilenceMs, 4LL * options.rateMilliseconds)));
    return options.rateMilliseconds > 0 && options.queueLength <= kMostBuffers &&
           options.spareBuffers <= kMostBuffers && options.silenceMilliseconds > 0 &&
           (options.policy == QMV3_STREAM_KEEP_NEWEST || options.policy == QMV3_STREAM_KEEP_OLDEST) &&
           (options.decompress == 0 || options.decompress == 1);
}

int Open(QMV3_STREAM** handle, const char* address, const char* property, const QMV3_STREAM_OPTIONS* given,
         int* zantCode) {
    if (handle == nullptr) return QMV3_STREAM_REFUSED;
    *handle = nullptr;
    QMV3_STREAM_OPTIONS options;
    if (!ReadOptions(given, options)) {
        _internal_LOG("qmStreamOpen: an option is out of range; nothing is subscribed.");
        return QMV3_STREAM_REFUSED;
    }
    char corrected[kZantAddressBufferSize] = {};
    if (_internal_checkZantAddress("qmStreamOpen", address, corrected, sizeof corrected, true) != 1 ||
        !_internal_checkZantPropertyName("qmStreamOpen", property, true))
        return QMV3_STREAM_REFUSED;
    RetryOrphans();
    auto stream = std::make_shared<Stream>();
    Stream& s = *stream;
    std::snprintf(s.address, sizeof s.address, "%s", corrected);
    std::snprintf(s.property, sizeof s.property, "%s", property);
    s.rate = options.rateMilliseconds;
    s.mode = options.mode;
    s.policy = options.policy;
    s.decompress = options.decompress == 1;
    s.queueLength = options.queueLength;
    s.silence = std::chrono::milliseconds(options.silenceMilliseconds);
    s.counts.queueLength = s.queueLength;
    const uint32_t estimate = qmEstimateMaxFrameSizeBytes(s.address, s.property);
    auto sub = std::make_unique<Subscription>();
    sub->receive.frameBuffer = static_cast<unsigned char*>(std::malloc(estimate));
    if (sub->receive.frameBuffer == nullptr) return QMV3_STREAM_OUT_OF_MEMORY;
    std::memset(sub->receive.frameBuffer, 0, estimate);
    sub->receive.frameBufferSize = estimate;
    s.receiveSize = estimate;
    // Subscribed before the pool is allocated, so that a refused subscription costs no pool; a delivery
    // that comes meanwhile waits for the pool.
    const int link = Attach(s, *sub);
    if (zantCode != nullptr) *zantCode = link < 0 ? link : 0;
    if (link < 0) {
        _internal_LOG("qmStreamOpen(%s, %s): AttachLinkEx2 unsuccessful return code (%d).", s.address, s.property,
                      link);
        std::free(sub->receive.frameBuffer);
        return QMV3_STREAM_SUBSCRIPTION_FAILED;
    }
    bool pooled = false;
    try {
        pooled = AllocatePool(s, s.queueLength + options.spareBuffers, estimate);
    } catch (const std::bad_alloc&) {
    }
    if (!pooled) {
        std::free(Detach(stream, std::move(sub)));
        return QMV3_STREAM_OUT_OF_MEMORY;
    }
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.poolReady = true;
        s.lastDelivery = Clock::now();
        s.subscription = std::move(sub);
        s.changed.notify_all();
    }
    StreamRegistry& registry = gStreamRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    s.id = registry.nextId++;
    registry.streams.emplace(s.id, stream);
    *handle = HandleOf(s.id);
    return QMV3_STREAM_OK;
}

// Closes the lost link and attaches a new one, outside the mutex (held by `lock` on entry and exit).
void Resubscribe(const std::shared_ptr<Stream>& stream, std::unique_lock<std::mutex>& lock) {
    Stream& s = *stream;
    s.resubscribing = true;
    std::unique_ptr<Subscription> old = std::move(s.subscription);
    ++s.counts.resubscriptions;
    lock.unlock();
    unsigned char* receive = old ? Detach(stream, std::move(old)) : nullptr;
    int link = -1;
    auto sub = std::unique_ptr<Subscription>(new (std::nothrow) Subscription());
    if (sub != nullptr) {
        // The receive buffer keeps the estimate's size: the control system writes no more into it.
        sub->receive.frameBufferSize = s.receiveSize;
        if (receive == nullptr) {
            receive = static_cast<unsigned char*>(std::malloc(s.receiveSize));
            if (receive != nullptr) std::memset(receive, 0, s.receiveSize);
        }
        sub->receive.frameBuffer = receive;
        receive = nullptr;
        if (sub->receive.frameBuffer != nullptr) link = Attach(s, *sub);
    }
    std::free(receive);
    lock.lock();
    s.resubscribing = false;
    if (link >= 0) {
        s.subscription = std::move(sub);
    } else {
        if (sub != nullptr) std::free(sub->receive.frameBuffer);
        _internal_LOG("qmStream(%s, %s): Warning: resubscription failed (ZANT return code: %d).", s.address, s.property,
                      link);
    }
    // The next attempt waits twice as long, unless a frame arrives on the new link first.
    s.pause = std::min(kLongestPause, std::max(kFirstPause, 2 * s.pause));
    s.resubscribeAt = Clock::now() + s.pause;
    s.lastDelivery = Clock::now();
    s.changed.notify_all();
}

// Counts a link that fell silent; the caller holds the mutex.
void MarkSilent(Stream& s) {
    if (s.subscription) s.subscription->lost = true;
    s.linkDown = true;
    ++s.counts.linkLosses;
    _internal_LOG("qmStream(%s, %s): Warning: no frame for %lld ms; resubscribing.", s.address, s.property,
                  static_cast<long long>(s.silence.count()));
}

int Next(const std::shared_ptr<Stream>& stream, int timeoutMs, DIMAGE** frame) {
    Stream& s = *stream;
    const Clock::time_point deadline =
        timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(s.mutex);
    for (;;) {
        if (s.closed) return QMV3_STREAM_CLOSED;
        if (s.queueCount > 0) {
            const uint32_t index = s.queue[s.queueHead];
            s.queueHead = (s.queueHead + 1) % s.queueLength;
            --s.queueCount;
            s.slots[index].state = kBorrowed;
            ++s.counts.handedOut;
            *frame = &s.slots[index].image;
            return QMV3_STREAM_OK;
        }
        const Clock::time_point now = Clock::now();
        if (!s.linkDown && !s.resubscribing && now - s.lastDelivery > s.silence) {
            MarkSilent(s);
            s.lossToReport = true;
        }
        if (s.lossToReport) {
            s.lossToReport = false;
            if (s.pause.count() == 0) s.resubscribeAt = now + kFirstPause;
            return QMV3_STREAM_LINK_LOST;
        }
        if (s.linkDown && !s.resubscribing && now >= s.resubscribeAt) {
            Resubscribe(stream, lock);
            continue;
        }
        if (now >= deadline) return s.linkDown ? QMV3_STREAM_LINK_LOST : QMV3_STREAM_TIMEOUT;
        Clock::time_point wake = std::min(deadline, s.lastDelivery + s.silence + std::chrono::milliseconds(1));
        if (s.linkDown) wake = std::min(deadline, s.resubscribeAt);
        if (s.resubscribing) wake = std::min(deadline, now + std::chrono::milliseconds(10));
        s.changed.wait_until(lock, wake);
    }
}

int Release(const std::shared_ptr<Stream>& stream, DIMAGE* frame) {
    Stream& s = *stream;
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.slots.empty()) return QMV3_STREAM_NOT_BORROWED;
        const uintptr_t first = reinterpret_cast<uintptr_t>(&s.slots.front());
        const uintptr_t at = reinterpret_cast<uintptr_t>(frame);
        if (at < first || (at - first) % sizeof(Slot) != 0 || (at - first) / sizeof(Slot) >= s.slots.size())
            return QMV3_STREAM_NOT_BORROWED;
        Slot& slot = s.slots[(at - first) / sizeof(Slot)];
        if (slot.state != kBorrowed) return QMV3_STREAM_NOT_BORROWED;
        if (s.closed) {
            std::free(slot.buffer);
            slot.buffer = nullptr;
            slot.state = kGone;
            last = std::none_of(s.slots.begin(), s.slots.end(), [](const Slot& x) { return x.state == kBorrowed; });
        } else {
            // The record may have been changed by the caller: it points at the slot's buffer again.
            slot.image.frameBuffer = slot.buffer;
            slot.image.frameBufferSize = slot.capacity;
            slot.state = kFree;
            s.freeSlots.push_back(static_cast<uint32_t>((at - first) / sizeof(Slot)));
        }
    }
    if (last) Forget(s.id);
    return QMV3_STREAM_OK;
}

int Statistics(Stream& s, QMV3_STREAM_STATISTICS* statistics) {
    if (statistics->size < sizeof(unsigned int)) return QMV3_STREAM_REFUSED;
    QMV3_STREAM_STATISTICS copy;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.closed) return QMV3_STREAM_CLOSED;
        copy = s.counts;
        copy.queued = s.queueCount;
        copy.borrowed = static_cast<unsigned int>(
            std::count_if(s.slots.begin(), s.slots.end(), [](const Slot& x) { return x.state == kBorrowed; }));
        copy.linkUp = s.linkDown || !s.subscription ? 0 : 1;
    }
    const unsigned int size = std::min<unsigned int>(statistics->size, sizeof copy);
    copy.size = statistics->size;
    std::memcpy(statistics, &copy, size);
    return QMV3_STREAM_OK;
}

int Close(const std::shared_ptr<Stream>& stream) {
    Stream& s = *stream;
    std::unique_ptr<Subscription> sub;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        if (s.closed) return QMV3_STREAM_CLOSED;
        s.closed = true;
        s.changed.notify_all();
        s.changed.wait(lock, [&] { return !s.resubscribing; });
        sub = std::move(s.subscription);
    }
    unsigned char* receive = sub ? Detach(stream, std::move(sub)) : nullptr;
    std::free(receive);
    bool lent = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        FreeUnlentBuffers(s);
        lent = std::any_of(s.slots.begin(), s.slots.end(), [](const Slot& x) { return x.state == kBorrowed; });
    }
    if (!lent) Forget(s.id);
    return QMV3_STREAM_OK;
}

}  // namespace

Subscription* SubscriptionOf(QMV3_STREAM* handle) {
    std::shared_ptr<Stream> stream;
    if (Find(handle, stream) != QMV3_STREAM_OK) return nullptr;
    std::lock_guard<std::mutex> lock(stream->mutex);
    return stream->subscription.get();
}

}  // namespace qmv3stream

using qmv3stream::Find;

extern "C" {

QMV3_EXPORT int qmStreamOpen(QMV3_STREAM** stream, const char* address, const char* property,
                             const QMV3_STREAM_OPTIONS* options, int* zantCode) {
    return qmv3::Guarded<int>(QMV3_STREAM_OUT_OF_MEMORY, QMV3_STREAM_REFUSED,
                              [&]() -> int { return qmv3stream::Open(stream, address, property, options, zantCode); });
}

QMV3_EXPORT int qmStreamNext(QMV3_STREAM* stream, int timeoutMs, DIMAGE** frame) {
    return qmv3::Guarded<int>(QMV3_STREAM_OUT_OF_MEMORY, QMV3_STREAM_REFUSED, [&]() -> int {
        if (frame == nullptr) return QMV3_STREAM_REFUSED;
        *frame = nullptr;
        std::shared_ptr<qmv3stream::Stream> found;
        const int result = Find(stream, found);
        return result != QMV3_STREAM_OK ? result : qmv3stream::Next(found, timeoutMs, frame);
    });
}

QMV3_EXPORT int qmStreamRelease(QMV3_STREAM* stream, DIMAGE* frame) {
    return qmv3::Guarded<int>(QMV3_STREAM_OUT_OF_MEMORY, QMV3_STREAM_REFUSED, [&]() -> int {
        if (frame == nullptr) return QMV3_STREAM_REFUSED;
        std::shared_ptr<qmv3stream::Stream> found;
        const int result = Find(stream, found);
        return result != QMV3_STREAM_OK ? result : qmv3stream::Release(found, frame);
    });
}

QMV3_EXPORT int qmStreamGetStatistics(QMV3_STREAM* stream, QMV3_STREAM_STATISTICS* statistics) {
    return qmv3::Guarded<int>(QMV3_STREAM_OUT_OF_MEMORY, QMV3_STREAM_REFUSED, [&]() -> int {
        if (statistics == nullptr) return QMV3_STREAM_REFUSED;
        std::shared_ptr<qmv3stream::Stream> found;
        const int result = Find(stream, found);
        return result != QMV3_STREAM_OK ? result : qmv3stream::Statistics(*found, statistics);
    });
}

QMV3_EXPORT int qmStreamClose(QMV3_STREAM* stream) {
    return qmv3::Guarded<int>(QMV3_STREAM_OUT_OF_MEMORY, QMV3_STREAM_REFUSED, [&]() -> int {
        std::shared_ptr<qmv3stream::Stream> found;
        const int result = Find(stream, found);
        return result != QMV3_STREAM_OK ? result : qmv3stream::Close(found);
    });
}

}  // extern "C"
