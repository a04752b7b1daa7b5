// JPEG decoding through libjpeg with the library's own memory source and output module.
//
// libjpeg reports fatal errors through error_exit, whose standard form ends the process. Here it
// jumps back into _internal_DecompressJPEG, which destroys the decompressor (releasing every pool it
// allocated) and fails. Only libjpeg's C frames and plain functions of this file lie between the
// setjmp and the longjmp, so no C++ destructor is skipped.
#include "image/jpeg_decompress.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/jpeg_library.h"
#include "image/jpeg_memory_destination.h"
#include "image/jpeg_memory_source.h"
#include "qmv3/qmv3.h"

namespace {

struct ReturningErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg sees only this part
    std::jmp_buf returnPoint;
};

[[noreturn]] void returnToDecoder(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ReturningErrorManager*>(cinfo->err);
    std::longjmp(manager->returnPoint, 1);
}

// Decoder warnings and traces are not reported to the caller.
void discardMessage(j_common_ptr) {}

bool isAcceptedLayout(const jpeg_decompress_struct& cinfo) {
    if (cinfo.num_components == 1) return cinfo.jpeg_color_space == JCS_GRAYSCALE;
    if (cinfo.num_components == 3) return cinfo.jpeg_color_space == JCS_RGB || cinfo.jpeg_color_space == JCS_YCbCr;
    return false;
}

// The body of a decode; may leave through returnToDecoder at any libjpeg call.
bool decode(jpeg_decompress_struct* cinfo, const void* jpegData, int jpegSize, void* out, unsigned int outCapacity,
            int& width, int& height, int& format) {
    _internal_jpegMemorySource(cinfo, static_cast<const unsigned char*>(jpegData), static_cast<size_t>(jpegSize));
    jpeg_read_header(cinfo, TRUE);
    if (!isAcceptedLayout(*cinfo)) return false;
    // 64-bit product: a header announcing a huge image must not wrap into a small size.
    const uint64_t needed =
        static_cast<uint64_t>(cinfo->image_width) * cinfo->image_height * static_cast<uint64_t>(cinfo->num_components);
    if (needed > outCapacity) return false;

    cinfo->out_color_space = cinfo->out_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    cinfo->quantize_colors = FALSE;
    jpeg_start_decompress(cinfo);
    const int expectedComponents = cinfo->out_color_space == JCS_GRAYSCALE ? 1 : 3;
    if (cinfo->output_components != expectedComponents || cinfo->output_width != cinfo->image_width ||
        cinfo->output_height != cinfo->image_height) {
        return false;
    }
    JpegMemoryDestination* destination =
        _internal_jpegMemoryDestination(cinfo, static_cast<unsigned char*>(out), outCapacity);
    while (cinfo->output_scanline < cinfo->output_height) {
        if (!_internal_jpegWriteNextRow(cinfo, destination)) return false;
    }
    jpeg_finish_decompress(cinfo);
    width = static_cast<int>(cinfo->image_width);
    height = static_cast<int>(cinfo->image_height);
    format = expectedComponents == 3 ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY;
    return true;
}

}  // namespace

bool _internal_DecompressJPEG(const void* jpegData, int jpegSize, void* out, unsigned int outCapacity, int& width,
                              int& height, int& format) {
    if (jpegData == nullptr || jpegSize < 0 || out == nullptr) return false;
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);  // a failing create must find no stray pool pointer
    ReturningErrorManager errorManager;
    cinfo.err = jpeg_std_error(&errorManager.pub);
    errorManager.pub.error_exit = returnToDecoder;
    errorManager.pub.output_message = discardMessage;
    if (setjmp(errorManager.returnPoint) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    const bool decoded = decode(&cinfo, jpegData, jpegSize, out, outCapacity, width, height, format);
    jpeg_destroy_decompress(&cinfo);
    return decoded;
}
