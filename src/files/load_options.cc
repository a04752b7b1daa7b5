// The load with options of the files' kinds: a range of images, headers without pixels, the frames in
// one block. IMC2/BKC2 files are read with the plan (images before the range and pixel blocks not
// wanted are passed over by their lengths), the older kinds without pixels pass over their frames by
// their fixed sizes; every other kind is loaded whole by the general load and then cut to the plan. The
// exported call (with the interchange kinds, which read only what the plan asks) is in the file calls.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "client/frame_blocks.h"
#include "files/file_detect.h"
#include "files/imc2_format.h"
#include "files/load_internal.h"
#include "files/metadata_sets.h"
#include "files/sequence_files.h"
#include "util/byte_io.h"

namespace {

constexpr unsigned kKnownFlags = QMV3_LOAD_FLAG_HEADERS_ONLY | QMV3_LOAD_FLAG_ONE_BLOCK | QMV3_LOAD_FLAG_CLOSEST_REASON;

// Whether the file starts as an IMC2/BKC2 file does (the two magic numbers) and no older kind claims it,
// the order of the general load.
bool StartsAsImc2(const char* path) {
    byte_io::ByteReader file;
    uint32_t magic1 = 1, magic2 = 0;
    if (!file.Open(path) || !file.Read(magic1) || !file.Read(magic2)) return false;
    if (magic1 != imc2::kMagic1 || magic2 != imc2::kMagic2) return false;
    return !_internal_is_file_imm(path, nullptr, 0) && !_internal_is_file_bkg(path, nullptr, 0) &&
           !_internal_is_file_imc_bkc(path, nullptr, 0);
}

// The older kind (VIDINFHDR_TYPE_IMC, _IMM or _BKG) the general load reads path as, in its order, or
// VIDINFHDR_TYPE_EMPTY for any other file.
int OlderKindOf(const char* path) {
    if (_internal_is_file_imc_bkc(path, nullptr, 0)) return VIDINFHDR_TYPE_IMC;
    if (_internal_is_file_imm(path, nullptr, 0)) return VIDINFHDR_TYPE_IMM;
    if (_internal_is_file_bkg(path, nullptr, 0)) return VIDINFHDR_TYPE_BKG;
    return VIDINFHDR_TYPE_EMPTY;
}

}  // namespace

namespace load_options {

bool CheckOptions(const char* path, const QMV3_LOAD_OPTIONS& options, std::string& errorText) {
    const std::string prefix = _internal_filePrefix(path) + " load error: ";
    if (options.size < sizeof(QMV3_LOAD_OPTIONS)) {
        errorText = prefix + "options.size " + std::to_string(options.size) + " is below " +
                    std::to_string(sizeof(QMV3_LOAD_OPTIONS)) + ".";
        return false;
    }
    if ((options.flags & ~kKnownFlags) != 0) {
        errorText = prefix + "unknown option flags " + std::to_string(options.flags & ~kKnownFlags) + ".";
        return false;
    }
    if (options.lastImage != 0 && options.lastImage < options.firstImage) {
        errorText = prefix + "lastImage " + std::to_string(options.lastImage) + " lies before firstImage " +
                    std::to_string(options.firstImage) + ".";
        return false;
    }
    return true;
}

}  // namespace load_options

namespace {

// Keeps the images first..last of a whole load (and only their headers when asked); the rest is freed.
int CutToPlan(const char* path, QMBUNCHOFIMAGES* images, const Imc2LoadPlan& plan, std::string& errorText) {
    const uint32_t n = images->numFrames;
    const uint32_t first = plan.first == 0 ? 1 : plan.first;
    const uint32_t last = plan.last == 0 || plan.last > n ? n : plan.last;
    if (first > last) {
        errorText = _internal_filePrefix(path) + " load error: images " + std::to_string(first) + ".." +
                    std::to_string(last) + " requested, the file holds " + std::to_string(n) + ".";
        qmFreeBunch(images);
        return QMV3_LOAD_PARAMETER_ERROR;
    }
    const uint32_t count = last - first + 1;
    auto* kept = static_cast<DIMAGE*>(std::malloc(sizeof(DIMAGE) * count));
    if (kept == nullptr) {
        errorText = _internal_filePrefix(path) + " load error: Memory allocation error.";
        qmFreeBunch(images);
        return QMV3_LOAD_OUT_OF_MEMORY;
    }
    for (uint32_t k = 1; k <= n; ++k) {
        DIMAGE& image = images->imageArray[k - 1];
        const bool inside = k >= first && k <= last;
        if (inside) kept[k - first] = image;
        if (!inside || plan.headersOnly) {
            frame_blocks::ReleaseFrameBuffer(image.frameBuffer);
            if (inside) {
                kept[k - first].frameBuffer = nullptr;
                kept[k - first].frameBufferSize = 0;
            }
        }
    }
    std::free(images->imageArray);
    images->imageArray = kept;
    images->numFrames = count;
    return QMV3_LOAD_OK;
}

}  // namespace

namespace load_options {

int LoadWithOptions(const char* path, QMBUNCHOFIMAGES* images, const QMV3_LOAD_OPTIONS& options, std::string& errorText,
                    int* interrupt, double* percent) {
    int code = QMV3_LOAD_OK;
    if (!imc2load::CheckLoadParameters(path, images, code, errorText)) return code;
    if (!CheckOptions(path, options, errorText)) return QMV3_LOAD_PARAMETER_ERROR;
    Imc2LoadPlan plan;
    plan.first = options.firstImage == 0 ? 1 : options.firstImage;
    plan.last = options.lastImage;
    plan.headersOnly = (options.flags & QMV3_LOAD_FLAG_HEADERS_ONLY) != 0;
    plan.oneBlock = (options.flags & QMV3_LOAD_FLAG_ONE_BLOCK) != 0;
    if (StartsAsImc2(path)) {
        return _internal_load_imc2_file_planned(path, images, plan, code, errorText, interrupt, percent) ? 0 : code;
    }
    // The older kinds have fixed sizes: their headers alone are read by passing over every frame.
    const int olderKind = plan.headersOnly ? OlderKindOf(path) : VIDINFHDR_TYPE_EMPTY;
    if (olderKind != VIDINFHDR_TYPE_EMPTY) {
        code = _internal_load_older_file(olderKind, path, images, errorText, interrupt, percent, true);
        if (code != QMV3_LOAD_OK) return code;
        return CutToPlan(path, images, plan, errorText);
    }
    char message[8192];  // room for a path of 4096 bytes and its message
    message[0] = '\0';
    code = qmLoadImagesFromFileEx(path, images, interrupt, percent, message, sizeof message);
    if (code != QMV3_LOAD_OK) {
        errorText = message;
        return code;
    }
    return CutToPlan(path, images, plan, errorText);
}

}  // namespace load_options
