// Conversion of an older VIDINFHDR record (IMM, BKG, IMC, BKC) into an image sequence: one GRAY image
// per frame with a complete header built from the record, the per-frame scale and the file's name and
// modification time. The images copy the record's frames or take them over.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "client/image_management.h"
#include "files/load_internal.h"
#include "files/sequence_files.h"
#include "platform/platform.h"

namespace {

bool CheckRecord(const VIDINFHDR* record, const QMBUNCHOFIMAGES* images, std::string& errorText) {
    const char* failure = nullptr;
    if (record == nullptr) {
        failure = "Parameter apInVinf must not be NULL.";
    } else if (record->numframes < 1) {
        failure = "Parameter apInVinf->numframes must be greater zero.";
    } else if (record->framebits == nullptr) {
        failure = "Parameter apInVinf->framebits must be greater zero.";
    } else if (record->framescales == nullptr) {
        failure = "Parameter apInVinf->framescales must be greater zero.";
    } else if (record->bpp != 8 && record->bpp != 16) {
        failure = "Parameter apInVinf->bpp must be either 8 or 16.";
    } else if (record->width == 0) {
        failure = "Parameter apInVinf->width must be greater zero.";
    } else if (record->height == 0) {
        failure = "Parameter apInVinf->height must be greater zero.";
    } else if (images == nullptr) {
        failure = "Parameter apOutImages must not be NULL.";
    } else if (images->numFrames != 0) {
        failure = "Parameter apOutImages->numFrames must be zero.";
    } else if (images->imageArray != nullptr) {
        failure = "Parameter apOutImages->imageArray must be zero.";
    }
    if (failure == nullptr) return true;
    errorText = failure;
    return false;
}

DIMAGE MakeTemplate(const char* path, const VIDINFHDR& record) {
    DIMAGE image;
    std::memset(&image, 0, sizeof(image));
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.cameraPortId = 0;
    image.sourceHeader.versionTag = 1;
    PLF_TIME modified;
    if (path != nullptr && platformFileGetLastModifiedTime64(path, modified)) {
        image.sourceHeader.timestampSeconds = static_cast<uint32_t>(modified.seconds);
        image.sourceHeader.timestampMicroseconds = static_cast<uint32_t>(modified.milliseconds) * 1000u;
    }
    CompactPath(image.sourceHeader.cameraPortName, sizeof(image.sourceHeader.cameraPortName), path);
    DIMAGE_FRAMEHEADER& h = image.frameHeader;
    h.sourceWidth = static_cast<int32_t>(record.width);
    h.sourceHeight = static_cast<int32_t>(record.height);
    h.aoiWidth = -1;
    h.aoiHeight = -1;
    h.xStart = 0;
    h.yStart = 0;
    h.bytesPerPixel = static_cast<int32_t>(record.bpp / 8);
    h.effectiveBitsPerPixel = static_cast<int32_t>(std::min(record.bpp, record.ebitpp));
    h.horizontalBinning = -1;
    h.verticalBinning = -1;
    h.sourceFormat = QMV3_FORMAT_GRAY;
    h.imageFormat = QMV3_FORMAT_GRAY;
    h.eventNumber = 0;
    h.imageRotation = -1.0f;
    h.scale_x_offset = -1.0f;
    h.scale_y_offset = -1.0f;
    h.fspare3 = -1.0f;
    h.imageFlags = QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER | QMV3_FLAG_IMAGE_LOSSLESS;
    h.ispare1 = -1;
    h.ispare2 = -1;
    h.ispare3 = -1;
    return image;
}

// The images made so far; released on destruction unless handed out.
class Images {
  public:
    explicit Images(DIMAGE* images) : images_(images) {}
    ~Images() {
        if (images_ == nullptr) return;
        for (uint32_t i = 0; i < made_; ++i) std::free(images_[i].frameBuffer);
        std::free(images_);
    }
    Images(const Images&) = delete;
    Images& operator=(const Images&) = delete;
    bool Allocated() const { return images_ != nullptr; }
    DIMAGE& Add(const DIMAGE& image) {
        images_[made_] = image;
        return images_[made_++];
    }
    DIMAGE* Release() {
        DIMAGE* images = images_;
        images_ = nullptr;
        return images;
    }

  private:
    DIMAGE* images_;
    uint32_t made_ = 0;
};

}  // namespace

bool internal_transcode_vidinfhdr_to_qmbunchofimages(const char* path, VIDINFHDR* apInVinf,
                                                     QMBUNCHOFIMAGES* apOutImages, int* interrupt, double* percent,
                                                     double percentStart, std::string& errorText,
                                                     FrameHandover handover) {
    if (!CheckRecord(apInVinf, apOutImages, errorText)) return false;
    const uint32_t n = static_cast<uint32_t>(apInVinf->numframes);
    Images images(static_cast<DIMAGE*>(std::malloc(static_cast<size_t>(n) * sizeof(DIMAGE))));
    if (!images.Allocated()) {
        errorText = "Memory allocation error imageArray[" + std::to_string(n) + "].";
        return false;
    }
    const DIMAGE tmpl = MakeTemplate(path, *apInVinf);
    const uint64_t frameSize = static_cast<uint64_t>(apInVinf->width) * apInVinf->height * (apInVinf->bpp / 8);
    for (uint32_t k = 1; k <= n; ++k) {
        const std::string of = std::to_string(k) + " of " + std::to_string(n);
        if (interrupt != nullptr && *interrupt == 1) {
            errorText = "Interrupted by user.";
            return false;
        }
        // Sizes beyond what an image may hold would fail the validity check; refuse them before allocating.
        const bool headersOnly = handover == FrameHandover::kHeadersOnly;
        if (frameSize > QMV3_MAX_TRANSPORT_SIZE || (!headersOnly && apInVinf->framebits[k - 1] == nullptr)) {
            errorText = "_internal_qmCheckImageValidity failed at image " + of + ".";
            return false;
        }
        unsigned char* bits = nullptr;
        if (handover == FrameHandover::kTake) {
            bits = apInVinf->framebits[k - 1];
            apInVinf->framebits[k - 1] = nullptr;
        } else if (handover == FrameHandover::kCopy) {
            bits = static_cast<unsigned char*>(std::malloc(frameSize));
            if (bits == nullptr) {
                errorText =
                    "Memory allocation error ImageBits[" + of + "] size=" + std::to_string(frameSize) + " bytes.";
                return false;
            }
            std::memcpy(bits, apInVinf->framebits[k - 1], frameSize);
        }
        DIMAGE& image = images.Add(tmpl);
        image.frameBuffer = bits;
        image.frameBufferSize = headersOnly ? 0 : static_cast<uint32_t>(frameSize);
        image.frameHeader.frameNumber = k;
        image.frameHeader.xScale = static_cast<float>(apInVinf->framescales[k - 1]);
        image.frameHeader.yScale = image.frameHeader.xScale;
        image.frameHeader.appendedFrameSize = static_cast<int32_t>(frameSize);
        image.sourceHeader.totalLength = static_cast<uint32_t>(frameSize + QMV3_IMAGE_HEADER_SIZE);
        // Without pixels the rules see the record as a full load gives it: they read the header and
        // whether a buffer is there, never the pixels.
        static unsigned char kStandInPixels;
        DIMAGE checked = image;
        if (headersOnly) {
            checked.frameBuffer = &kStandInPixels;
            checked.frameBufferSize = static_cast<uint32_t>(frameSize);
        }
        if (!_internal_qmCheckImageValidity(checked)) {
            errorText = "_internal_qmCheckImageValidity failed at image " + of + ".";
            return false;
        }
        if (percent != nullptr) *percent = static_cast<double>(k) / n * (1.0 - percentStart) + percentStart;
    }
    apOutImages->imageArray = images.Release();
    apOutImages->numFrames = n;
    return true;
}
