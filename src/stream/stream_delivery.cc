// The delivery side of a stream: the callback that takes a buffer out of the pool (or applies the
// policy when there is none), copies the delivered frame into it once, or decodes a JPEG frame straight
// into it, and queues it. Nothing here allocates in steady state; the pool's pages were touched at open.
// Thread rules: see stream.h.
#include <cstdlib>
#include <cstring>

#include "client/image_management.h"
#include "client/library_frame.h"
#include "stream/stream.h"

namespace qmv3stream {

namespace {

bool InformationalCode(int code) { return code == 516 || code == 517; }

// Takes a slot for an arriving frame, dropping by the policy; kNoSlot when the frame is dropped. The
// caller holds the mutex.
constexpr uint32_t kNoSlot = 0xFFFFFFFFu;
uint32_t TakeSlot(Stream& s) {
    const bool full = s.queueCount == s.queueLength;
    if (!full && !s.freeSlots.empty()) {
        const uint32_t slot = s.freeSlots.back();
        s.freeSlots.pop_back();
        return slot;
    }
    // The queue is full, or the caller holds every other buffer.
    ++s.counts.droppedQueueFull;
    if (s.policy == QMV3_STREAM_KEEP_OLDEST || s.queueCount == 0) return kNoSlot;
    const uint32_t oldest = s.queue[s.queueHead];
    s.queueHead = (s.queueHead + 1) % s.queueLength;
    --s.queueCount;
    return oldest;
}

// A buffer of at least `bytes`; false without memory (the slot keeps what it had).
bool EnsureCapacity(Slot& slot, uint32_t bytes) {
    if (slot.capacity >= bytes) return true;
    auto* grown = static_cast<unsigned char*>(std::malloc(bytes));
    if (grown == nullptr) return false;
    std::memset(grown, 0, bytes);
    std::free(slot.buffer);
    slot.buffer = grown;
    slot.capacity = bytes;
    return true;
}

// Fills the slot from the receive record; false when the frame must be dropped (no memory to grow).
// Runs without the mutex; `grewTo` gets the size the pool must grow to (0: no growth).
bool FillSlot(const Stream& s, const DIMAGE& receive, Slot& slot, uint32_t wanted, bool& decodeFailed,
              uint32_t& grewTo) {
    grewTo = 0;
    if (!EnsureCapacity(slot, wanted)) return false;
    const int32_t claimed = receive.frameHeader.appendedFrameSize;
    // Never more than the receive buffer holds, whatever the header claims.
    uint32_t bytes = claimed <= 0 ? 0 : static_cast<uint32_t>(claimed);
    if (bytes > receive.frameBufferSize) bytes = receive.frameBufferSize;
    if (s.decompress && receive.frameHeader.imageFormat == QMV3_FORMAT_JPEG) {
        DIMAGE received = receive;
        received.frameBufferSize = bytes;
        uint32_t needed = 0;
        int result = _internal_DecompressImageInto(received, slot.buffer, slot.capacity, slot.image, needed);
        if (result == QMV3_DECOMPRESS_BUFFER_TOO_SMALL && EnsureCapacity(slot, needed)) {
            grewTo = needed;
            result = _internal_DecompressImageInto(received, slot.buffer, slot.capacity, slot.image, needed);
        }
        if (result == QMV3_DECOMPRESS_DONE) return true;
        decodeFailed = true;  // handed over compressed, as received
    }
    if (!EnsureCapacity(slot, bytes)) return false;
    std::memcpy(&slot.image, &receive, QMV3_IMAGE_HEADER_SIZE);
    if (bytes > 0) std::memcpy(slot.buffer, receive.frameBuffer, bytes);
    slot.image.frameBuffer = slot.buffer;
    slot.image.frameBufferSize = bytes;
    return true;
}

// Counts a delivery with a frame; false for a repetition, which is dropped. The caller holds the mutex.
bool CountFrame(Stream& s, uint32_t frameNumber) {
    ++s.counts.delivered;
    s.counts.lastZantCode = 0;
    s.lastDelivery = Clock::now();
    if (frameNumber == s.lastFrameNumber && frameNumber != 0) {
        ++s.counts.repeats;
        return false;
    }
    if (s.lastFrameNumber != 0 && frameNumber > s.lastFrameNumber + 1)
        s.counts.gaps += frameNumber - s.lastFrameNumber - 1;
    s.lastFrameNumber = frameNumber;
    s.counts.lastFrameNumber = frameNumber;
    if (!s.gotFrameOnLink) {
        // The link works again: the next loss starts with the shortest pause.
        s.gotFrameOnLink = true;
        s.linkDown = false;
        s.pause = std::chrono::milliseconds(0);
    }
    return true;
}

void MarkLost(Stream& s, Subscription& sub, int code) {
    s.counts.lastZantCode = code;
    if (sub.lost) return;
    sub.lost = true;
    s.linkDown = true;
    s.lossToReport = true;
    ++s.counts.linkLosses;
    _internal_LOG("qmStream(%s, %s): Warning: link lost (ZANT return code: %d); resubscribing.", s.address, s.property,
                  code);
    s.changed.notify_all();
}

}  // namespace

void DeliveryCallback(int /*id*/, int completionCode, void* reference) {
    if (reference == nullptr) return;
    Subscription& sub = *static_cast<Subscription*>(reference);
    Stream& s = *sub.stream;
    uint32_t slotIndex = kNoSlot;
    uint32_t wanted = 0;
    {
        std::unique_lock<std::mutex> lock(s.mutex);
        s.changed.wait(lock, [&] { return s.poolReady || !sub.accepting; });
        if (!sub.accepting || sub.lost) return;
        if (completionCode != 0) {
            if (InformationalCode(completionCode))
                s.counts.lastZantCode = completionCode;
            else
                MarkLost(s, sub, completionCode);
            return;
        }
        if (!CountFrame(s, sub.receive.frameHeader.frameNumber)) return;
        slotIndex = TakeSlot(s);
        if (slotIndex == kNoSlot) return;
        s.slots[slotIndex].state = kFilling;
        wanted = s.capacity;
        ++sub.running;
    }
    Slot& slot = s.slots[slotIndex];
    bool decodeFailed = false;
    uint32_t grewTo = 0;
    const bool filled = FillSlot(s, sub.receive, slot, wanted, decodeFailed, grewTo);
    std::lock_guard<std::mutex> lock(s.mutex);
    --sub.running;
    if (grewTo > s.capacity) {
        s.capacity = grewTo;
        ++s.counts.poolGrowths;
        _internal_LOG("qmStream(%s, %s): Info: frames of %u bytes exceed the pool's buffers; they grow to that size.",
                      s.address, s.property, grewTo);
    }
    if (decodeFailed) {
        ++s.counts.decodeFailures;
        if (!s.decodeFailureLogged)
            _internal_LOG(
                "qmStream(%s, %s): Warning: a JPEG frame could not be decompressed; it is queued as received.",
                s.address, s.property);
        s.decodeFailureLogged = true;
    }
    if (!filled || !sub.accepting) {
        // Without memory to grow, or closing: the buffer goes back.
        if (!filled) ++s.counts.droppedQueueFull;
        slot.state = kFree;
        s.freeSlots.push_back(slotIndex);
    } else {
        slot.state = kQueued;
        s.queue[(s.queueHead + s.queueCount) % s.queueLength] = slotIndex;
        ++s.queueCount;
        if (s.queueCount > s.counts.queueHighWater) s.counts.queueHighWater = s.queueCount;
    }
    s.changed.notify_all();
}

bool AllocatePool(Stream& s, uint32_t count, uint32_t bytes) {
    s.slots.resize(count);
    s.freeSlots.reserve(count);
    s.queue.assign(s.queueLength, 0);
    s.capacity = bytes;
    for (uint32_t i = count; i-- > 0;) {
        Slot& slot = s.slots[i];
        slot.buffer = static_cast<unsigned char*>(std::malloc(bytes > 0 ? bytes : 1));
        if (slot.buffer == nullptr) return false;
        // Touch every page now, so that no delivery meets a page fault.
        std::memset(slot.buffer, 0, bytes > 0 ? bytes : 1);
        slot.capacity = bytes;
        s.freeSlots.push_back(i);
    }
    return true;
}

void FreeUnlentBuffers(Stream& s) {
    for (Slot& slot : s.slots) {
        if (slot.state == kBorrowed || slot.state == kGone) continue;
        std::free(slot.buffer);
        slot.buffer = nullptr;
        slot.state = kGone;
    }
    s.freeSlots.clear();
    s.queueCount = 0;
}

Stream::~Stream() {
    for (Slot& slot : slots) std::free(slot.buffer);
}

}  // namespace qmv3stream
