// Conversion of an image sequence of uncompressed gray images into the older multi-frame record.
// In move mode every frame is released from the sequence right after it was copied, so the peak
// memory stays at the sequence plus one frame; the sequence is consumed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/frame_blocks.h"
#include "image/cdimage.h"
#include "legacy/legacy_io.h"
#include "util/c_boundary.h"

namespace {

struct Conversion {
    QMBUNCHOFIMAGES* images;
    VIDINFHDR* target;
    bool move;
    std::string text;
    bool sequenceKept = true;
};

int CheckParameters(Conversion& job, int lowMemory) {
    if (job.target == nullptr)
        job.text = "Parameter error (struct VIDINFHDR *aV is NULL).";
    else if (job.images == nullptr)
        job.text = "Parameter error (QMBUNCHOFIMAGES *aImages is NULL).";
    else if (job.images->numFrames == 0)
        job.text = "Parameter error(QMBUNCHOFIMAGES *aImages->numFrames is zero).";
    else if (job.images->imageArray == nullptr)
        job.text = "Parameter error(QMBUNCHOFIMAGES *aImages->imageArray is NULL).";
    else if (lowMemory != 0 && lowMemory != 1)
        job.text = "Parameter error(aiLowMemoryConsumption is neither zero nor one).";
    else
        return QMV3_BUNCH_CONVERT_OK;
    return QMV3_BUNCH_CONVERT_PARAMETER_ERROR;
}

std::string FormatName(int format) {
    char name[64];
    size_t size = sizeof name;
    const char* text = CDIMAGE::getFormatAsString(format, true, name, size);
    return text != nullptr ? std::string(text) : std::string("(Unknown error getting image format as string)");
}

int CheckConvertible(Conversion& job) {
    const DIMAGE_FRAMEHEADER& header = job.images->imageArray[0].frameHeader;
    if (header.imageFormat != QMV3_FORMAT_GRAY) {
        job.text = "Image format of images must be CF_IMAGE_FORMAT_GRAY(" + std::to_string(QMV3_FORMAT_GRAY) +
                   ") but is " + FormatName(header.imageFormat) + "(" + std::to_string(header.imageFormat) + ").";
        return QMV3_BUNCH_CONVERT_NOT_CONVERTIBLE;
    }
    if (header.bytesPerPixel != 1 && header.bytesPerPixel != 2) {
        job.text = "Image bytesperpixel(" + std::to_string(header.bytesPerPixel) + ") must be either 1 or 2.";
        return QMV3_BUNCH_CONVERT_NOT_CONVERTIBLE;
    }
    const float x = header.xScale;
    const float y = header.yScale;
    if (!(y - 1e-5f < x && x < y + 1e-5f)) {
        char text[200];
        std::snprintf(text, sizeof text, "The scaling factors for x(%f) and y(%f) must be identical.", x, y);
        job.text = text;
        return QMV3_BUNCH_CONVERT_NOT_CONVERTIBLE;
    }
    return QMV3_BUNCH_CONVERT_OK;
}

double FrameScale(const DIMAGE& image) {
    return image.frameHeader.xScale > 0 ? static_cast<double>(image.frameHeader.xScale) : 1.0;
}

// Copies (or moves) the frames; on failure everything made here is released.
int CopyFrames(Conversion& job, unsigned char** bits, double* scales) {
    const uint32_t count = job.images->numFrames;
    for (uint32_t i = 0; i < count; ++i) {
        DIMAGE& image = job.images->imageArray[i];
        const int32_t bytes = image.frameHeader.appendedFrameSize;
        bits[i] = static_cast<unsigned char*>(std::malloc(bytes > 0 ? static_cast<size_t>(bytes) : 1));
        if (bits[i] == nullptr) {
            job.text = "Memory allocation error (" + std::to_string(bytes) + " bytes for image " +
                       std::to_string(i + 1) + " of " + std::to_string(count) + ").";
            for (uint32_t k = 0; k < i; ++k) std::free(bits[k]);
            if (job.move && i > 0) {
                qmFreeBunch(job.images);
                job.sequenceKept = false;
            }
            return QMV3_BUNCH_CONVERT_OUT_OF_MEMORY;
        }
        if (bytes > 0) std::memcpy(bits[i], image.frameBuffer, static_cast<size_t>(bytes));
        scales[i] = FrameScale(image);
        if (job.move) {
            frame_blocks::ReleaseFrameBuffer(image.frameBuffer);
            image.frameBuffer = nullptr;
        }
    }
    return QMV3_BUNCH_CONVERT_OK;
}

void FillHeader(const DIMAGE_FRAMEHEADER& header, VIDINFHDR* record) {
    record->bpp = static_cast<uint32_t>(header.bytesPerPixel) * 8;
    record->ebitpp =
        header.effectiveBitsPerPixel == -1 ? record->bpp : static_cast<uint32_t>(header.effectiveBitsPerPixel);
    record->width = static_cast<uint32_t>(header.aoiWidth > 0 ? header.aoiWidth : header.sourceWidth);
    record->height = static_cast<uint32_t>(header.aoiHeight > 0 ? header.aoiHeight : header.sourceHeight);
    record->scale = header.xScale > 0 ? static_cast<double>(header.xScale) : 1.0;
}

int Convert(Conversion& job) {
    const int sequence = qmIsSequence(job.images);
    if (sequence != QMV3_SEQUENCE_YES) {
        job.text = "Parameter QMBUNCHOFIMAGES *aImages is no sequence (qmIsSequence(aImages) returned " +
                   std::to_string(sequence) + ", but must return 1.";
        return QMV3_BUNCH_CONVERT_NOT_A_SEQUENCE;
    }
    int code = CheckConvertible(job);
    if (code != QMV3_BUNCH_CONVERT_OK) return code;
    const uint32_t count = job.images->numFrames;
    double* scales = static_cast<double*>(std::malloc(sizeof(double) * count));
    if (scales == nullptr) {
        job.text = "Memory allocation error at v.framescales (1 double for each of the " + std::to_string(count) +
                   " video images.";
        return QMV3_BUNCH_CONVERT_OUT_OF_MEMORY;
    }
    unsigned char** bits = static_cast<unsigned char**>(std::calloc(count, sizeof(unsigned char*)));
    if (bits == nullptr) {
        std::free(scales);
        job.text = "Memory allocation error at v.framebits (" +
                   std::to_string(static_cast<uint64_t>(count) * sizeof(unsigned char*)) + " bytes).";
        return QMV3_BUNCH_CONVERT_OUT_OF_MEMORY;
    }
    if ((code = CopyFrames(job, bits, scales)) != QMV3_BUNCH_CONVERT_OK) {
        std::free(bits);
        std::free(scales);
        return code;
    }
    FillHeader(job.images->imageArray[0].frameHeader, job.target);
    job.target->numframes = static_cast<int32_t>(count);
    job.target->type = VIDINFHDR_TYPE_IMM;
    job.target->framebits = bits;
    job.target->framescales = scales;
    if (job.move) {
        qmFreeBunch(job.images);
        job.sequenceKept = false;
    }
    return QMV3_BUNCH_CONVERT_OK;
}

void DeliverText(const std::string& text, char* buffer, unsigned int size) {
    if (buffer == nullptr || size < 2) return;
    std::snprintf(buffer, size - 1, "%s", text.c_str());
    buffer[size - 1] = '\0';
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmBunchToVIDINFHDREx2(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, char* errorText,
                                      unsigned int errorTextSize, int aiLowMemoryConsumption, int* sequenceKept) {
    Conversion job{aImages, aV, aiLowMemoryConsumption == 1, std::string()};
    const auto outOfMemory = [&] {
        job.text = "Out of memory.";
        return QMV3_BUNCH_CONVERT_OUT_OF_MEMORY;
    };
    const int code = qmv3::GuardedWith(
        [&] {
            const int checked = CheckParameters(job, aiLowMemoryConsumption);
            return checked == QMV3_BUNCH_CONVERT_OK ? Convert(job) : checked;
        },
        outOfMemory, outOfMemory);
    if (code != QMV3_BUNCH_CONVERT_OK) DeliverText(job.text, errorText, errorTextSize);
    if (sequenceKept != nullptr) *sequenceKept = job.sequenceKept ? 1 : 0;
    return code;
}

QMV3_EXPORT int qmBunchToVIDINFHDREx(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV, int aiLowMemoryConsumption,
                                     int* sequenceKept) {
    return qmBunchToVIDINFHDREx2(aImages, aV, nullptr, 0, aiLowMemoryConsumption, sequenceKept);
}

QMV3_EXPORT int qmBunchToVIDINFHDR(QMBUNCHOFIMAGES* aImages, VIDINFHDR* aV) {
    return qmBunchToVIDINFHDREx(aImages, aV, 0, nullptr);
}

}  // extern "C"
