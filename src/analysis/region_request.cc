// The checks of a statistics request: the image's layout, the region, the background and the numbers
// given, before any pixel is read. Only what the pass reads is checked, so that a caller may describe
// pixels of its own (an array from Python) with a record holding just the geometry and the layout.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "analysis/region_statistics.h"

namespace qmv3::analysis {

namespace {

int AppendedWidth(const DIMAGE_FRAMEHEADER& header) {
    return header.aoiWidth > 0 ? header.aoiWidth : header.sourceWidth;
}

int AppendedHeight(const DIMAGE_FRAMEHEADER& header) {
    return header.aoiHeight > 0 ? header.aoiHeight : header.sourceHeight;
}

// False for a frame the pass cannot read: compressed, another layout, or fewer bytes than its geometry.
bool ReadFrame(const DIMAGE& image, FrameView& view) {
    const DIMAGE_FRAMEHEADER& header = image.frameHeader;
    const bool gray =
        header.imageFormat == QMV3_FORMAT_GRAY && (header.bytesPerPixel == 1 || header.bytesPerPixel == 2);
    const bool rgb = header.imageFormat == QMV3_FORMAT_RGB && header.bytesPerPixel == 3;
    if (!gray && !rgb) return false;
    const int width = AppendedWidth(header), height = AppendedHeight(header);
    if (width < 1 || height < 1 || image.frameBuffer == nullptr || header.appendedFrameSize <= 0) return false;
    const uint64_t needed = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                            static_cast<uint64_t>(header.bytesPerPixel);
    if (needed > static_cast<uint64_t>(header.appendedFrameSize)) return false;
    view = {image.frameBuffer, width, height, header.bytesPerPixel};
    return true;
}

int EffectiveBits(const DIMAGE_FRAMEHEADER& header) {
    if (header.imageFormat == QMV3_FORMAT_RGB) return 8;
    const int stored = 8 * header.bytesPerPixel;
    return header.effectiveBitsPerPixel >= 1 && header.effectiveBitsPerPixel <= stored ? header.effectiveBitsPerPixel
                                                                                       : stored;
}

}  // namespace

int PrepareRequest(const DIMAGE* image, const QMV3_STATISTICS_OPTIONS* options, Request& request) {
    QMV3_STATISTICS_OPTIONS defaults = {};
    defaults.size = sizeof defaults;
    if (options == nullptr) options = &defaults;
    if (image == nullptr || options->size < sizeof(QMV3_STATISTICS_OPTIONS)) return QMV3_STATISTICS_BAD_ARGUMENT;
    const bool knownKind = options->background >= QMV3_BACKGROUND_NONE && options->background <= QMV3_BACKGROUND_FRAME;
    if (!knownKind || options->channel < QMV3_CHANNEL_LUMINANCE || options->channel > QMV3_CHANNEL_BLUE ||
        !std::isfinite(options->threshold))
        return QMV3_STATISTICS_BAD_ARGUMENT;
    if (options->background == QMV3_BACKGROUND_CONSTANT && !std::isfinite(options->backgroundValue))
        return QMV3_STATISTICS_BAD_ARGUMENT;
    if (options->background == QMV3_BACKGROUND_BORDER && options->border < 1) return QMV3_STATISTICS_BAD_ARGUMENT;
    if (options->background == QMV3_BACKGROUND_FRAME && options->backgroundFrame == nullptr)
        return QMV3_STATISTICS_BAD_ARGUMENT;

    Request checked;
    if (!ReadFrame(*image, checked.frame)) return QMV3_STATISTICS_UNSUPPORTED_IMAGE;
    const DIMAGE_FRAMEHEADER& header = image->frameHeader;
    const bool wholeFrame = options->width == 0 && options->height == 0 && options->x == 0 && options->y == 0;
    checked.x = wholeFrame ? 0 : options->x;
    checked.y = wholeFrame ? 0 : options->y;
    checked.width = wholeFrame ? checked.frame.width : options->width;
    checked.height = wholeFrame ? checked.frame.height : options->height;
    if (checked.x < 0 || checked.y < 0 || checked.width < 1 || checked.height < 1 ||
        static_cast<int64_t>(checked.x) + checked.width > checked.frame.width ||
        static_cast<int64_t>(checked.y) + checked.height > checked.frame.height)
        return QMV3_STATISTICS_BAD_REGION;

    if (options->background == QMV3_BACKGROUND_FRAME) {
        const DIMAGE& background = *options->backgroundFrame;
        if (!ReadFrame(background, checked.background) || background.frameHeader.imageFormat != header.imageFormat ||
            checked.background.bytesPerPixel != checked.frame.bytesPerPixel ||
            checked.background.width != checked.frame.width || checked.background.height != checked.frame.height)
            return QMV3_STATISTICS_BACKGROUND_MISMATCH;
    }
    const bool rgb = checked.frame.bytesPerPixel == 3;
    checked.channel = rgb ? options->channel : QMV3_CHANNEL_LUMINANCE;
    checked.scale = rgb && checked.channel == QMV3_CHANNEL_LUMINANCE ? 1000 : 1;
    checked.saturationUnits = ((int64_t{1} << EffectiveBits(header)) - 1) * checked.scale;
    checked.backgroundKind = options->background;
    checked.border = options->border;
    checked.constant = options->background == QMV3_BACKGROUND_CONSTANT ? options->backgroundValue : 0.0;
    checked.threshold = options->threshold;
    checked.xScale = header.xScale;
    checked.yScale = header.yScale;
    request = checked;
    return QMV3_STATISTICS_OK;
}

}  // namespace qmv3::analysis
