// Creation and release of single images and of image sequences. Every frame buffer is a
// separate malloc block owned by its record; a sequence owns its array and every record's buffer.
#include "client/image_management.h"

#include <cstdlib>
#include <cstring>

#include "client/frame_blocks.h"
#include "util/c_boundary.h"
#include "util/library_log.h"

DIMAGE* qmInitializeImageEx(int aiFrameBufferSizeBytes) {
    if (_internal_getLogLevel() > 1) _internal_LOG("qmInitializeImageEx() called.");
    if (aiFrameBufferSizeBytes < 1) {
        _internal_LOG("qmInitializeImageEx(): Error: invalid parameter aiFrameBufferSizeBytes=%d.",
                      aiFrameBufferSizeBytes);
        return nullptr;
    }
    auto* image = static_cast<DIMAGE*>(std::malloc(sizeof(DIMAGE)));
    if (image == nullptr) {
        _internal_LOG("qmInitializeImageEx(): Error: malloc(DIMAGE=%d bytes) returned NULL.",
                      static_cast<int>(sizeof(DIMAGE)));
        return nullptr;
    }
    image->frameBufferSize = static_cast<uint32_t>(aiFrameBufferSizeBytes);
    image->frameBuffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(aiFrameBufferSizeBytes)));
    if (image->frameBuffer == nullptr) {
        _internal_LOG("qmInitializeImageEx(): Error: malloc(DIMAGE.frameBuffer=%d bytes) returned NULL.",
                      aiFrameBufferSizeBytes);
        std::free(image);
        return nullptr;
    }
    return image;
}

namespace {

void releaseFrameBuffers(DIMAGE* records, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        std::free(records[i].frameBuffer);
        records[i].frameBuffer = nullptr;
    }
}

// A sequence whose frames share one block: the frames outside the block (replaced since the load) are
// freed one by one, the block once.
void releaseSequenceFrames(DIMAGE* records, uint32_t count) {
    size_t bytes = 0;
    auto* block = static_cast<unsigned char*>(frame_blocks::Unregister(records, bytes));
    if (block == nullptr) {
        releaseFrameBuffers(records, count);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char* buffer = records[i].frameBuffer;
        const bool inside = buffer >= block && buffer < block + bytes;
        if (!inside) frame_blocks::ReleaseFrameBuffer(buffer);
        records[i].frameBuffer = nullptr;
    }
    std::free(block);
}

}  // namespace

extern "C" {

QMV3_EXPORT DIMAGE* qmInitializeImage(void) {
    return qmv3::Guarded<DIMAGE*>(nullptr, nullptr, [&]() -> DIMAGE* {
        if (_internal_getLogLevel() > 1) _internal_LOG("qmInitializeImage() called.");
        return qmInitializeImageEx(QMV3_MAX_TRANSPORT_SIZE);
    });
}

QMV3_EXPORT int qmFreeImage(DIMAGE* image) {
    return qmv3::Guarded<int>(QMV3_IMAGE_FREED_WITHOUT_BUFFER, QMV3_IMAGE_FREED_WITHOUT_BUFFER, [&]() -> int {
        if (_internal_getLogLevel() > 1) _internal_LOG("qmFreeImage() called.");
        if (image == nullptr) {
            _internal_LOG("qmFreeImage(): Warning: qmFreeImage(NULL) called.");
            return QMV3_IMAGE_NULL;
        }
        if (image->frameBuffer == nullptr) {
            _internal_LOG("qmFreeImage(): Warning: qmFreeImage called with DIMAGE.frameBuffer==NULL.");
            std::free(image);
            return QMV3_IMAGE_FREED_WITHOUT_BUFFER;
        }
        frame_blocks::ReleaseFrameBuffer(image->frameBuffer);
        std::free(image);
        return QMV3_IMAGE_FREED;
    });
}

QMV3_EXPORT int qmInitializeBunchStructure(QMBUNCHOFIMAGES* images) {
    if (images == nullptr) return QMV3_BUNCH_FAILED;
    images->imageArray = nullptr;
    images->numFrames = 0;
    return QMV3_BUNCH_OK;
}

QMV3_EXPORT int qmCreateBunchStructure(QMBUNCHOFIMAGES* images, unsigned numFrames, unsigned frameBufferSize) {
    return qmv3::Guarded<int>(QMV3_BUNCH_FAILED, QMV3_BUNCH_FAILED, [&]() -> int {
        if (images == nullptr) return QMV3_BUNCH_FAILED;
        if (numFrames == 0) return QMV3_BUNCH_OK;
        images->imageArray = static_cast<DIMAGE*>(std::calloc(numFrames, sizeof(DIMAGE)));
        if (images->imageArray == nullptr) return QMV3_BUNCH_FAILED;
        images->numFrames = numFrames;
        if (frameBufferSize == 0) return QMV3_BUNCH_OK;
        for (unsigned i = 0; i < numFrames; ++i) {
            DIMAGE& record = images->imageArray[i];
            record.frameBuffer = static_cast<unsigned char*>(std::malloc(frameBufferSize));
            if (record.frameBuffer == nullptr) {
                releaseFrameBuffers(images->imageArray, i);
                std::free(images->imageArray);
                images->imageArray = nullptr;
                return QMV3_BUNCH_FAILED;
            }
            record.frameBufferSize = frameBufferSize;
        }
        return QMV3_BUNCH_OK;
    });
}

QMV3_EXPORT int qmFreeBunch(QMBUNCHOFIMAGES* images) {
    return qmv3::Guarded<int>(QMV3_BUNCH_FAILED, QMV3_BUNCH_FAILED, [&]() -> int {
        if (images == nullptr) return QMV3_BUNCH_FAILED;
        if (images->numFrames == 0) {
            images->imageArray = nullptr;
            return QMV3_BUNCH_OK;
        }
        if (images->imageArray == nullptr) {
            images->numFrames = 0;
            return QMV3_BUNCH_OK;
        }
        releaseSequenceFrames(images->imageArray, images->numFrames);
        std::free(images->imageArray);
        images->imageArray = nullptr;
        images->numFrames = 0;
        return QMV3_BUNCH_OK;
    });
}

QMV3_EXPORT void qmReleaseFrameBuffer(DIMAGE* image) {
    qmv3::Guarded([&] {
        if (image == nullptr) return;
        frame_blocks::ReleaseFrameBuffer(image->frameBuffer);
        image->frameBuffer = nullptr;
        image->frameBufferSize = 0;
    });
}

}  // extern "C"
