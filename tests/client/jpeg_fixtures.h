// JPEG streams and images for the client tests, made with libjpeg's own compressor and decoded for
// reference with libjpeg's own memory source, so that the library's glue is compared with plain
// libjpeg.
#ifndef QMV3_TESTS_CLIENT_JPEG_FIXTURES_H
#define QMV3_TESTS_CLIENT_JPEG_FIXTURES_H

#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/jpeg_library.h"
#include "qmv3/qmv3.h"

namespace qmv3test {

// libjpeg's default fatal-error handler calls exit(), which would end the test program as if it had
// passed: a fault in a fixture aborts it instead.
[[noreturn]] inline void AbortOnJpegError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::abort();
}

// A smooth pattern with some detail, per component.
inline std::vector<unsigned char> TestPattern(unsigned width, unsigned height, int components) {
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * components);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                pixels[(static_cast<size_t>(y) * width + x) * components + c] =
                    static_cast<unsigned char>((x * (c + 1) + y * 3 + ((x / 8 + y / 8) % 2) * 40) & 0xFF);
    return pixels;
}

// Compresses a pattern. components 1 grey, 3 colour (YCbCr in the file), 2 unknown, 4 CMYK.
inline std::vector<unsigned char> MakeJpeg(unsigned width, unsigned height, int components, bool progressive = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = AbortOnJpegError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1   ? JCS_GRAYSCALE
                           : components == 3 ? JCS_RGB
                           : components == 4 ? JCS_CMYK
                                             : JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const std::vector<unsigned char> pixels = TestPattern(width, height, components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row =
            const_cast<unsigned char*>(pixels.data()) + static_cast<size_t>(cinfo.next_scanline) * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

// What plain libjpeg decodes from a valid stream: grey stays grey, everything else becomes RGB.
inline std::vector<unsigned char> ReferenceDecode(const std::vector<unsigned char>& jpeg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = AbortOnJpegError;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.out_color_space != JCS_GRAYSCALE) cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t rowWidth = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    std::vector<unsigned char> pixels(rowWidth * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + cinfo.output_scanline * rowWidth;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

// Offset just past the start-of-scan header: every shorter prefix lacks part of the headers.
inline size_t HeaderEnd(const std::vector<unsigned char>& jpeg) {
    for (size_t i = 2; i + 3 < jpeg.size();) {
        if (jpeg[i] != 0xFF) return 0;
        const size_t length = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        if (jpeg[i + 1] == 0xDA) return i + 2 + length;
        i += 2 + length;
    }
    return 0;
}

// Offset of the first marker segment with the given code (0 if none).
inline size_t FindMarker(const std::vector<unsigned char>& jpeg, unsigned char code) {
    for (size_t i = 2; i + 3 < jpeg.size();) {
        if (jpeg[i] != 0xFF) return 0;
        if (jpeg[i + 1] == code) return i;
        i += 2 + ((static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3]);
    }
    return 0;
}

// A header-valid record for a JPEG frame: geometry of the record, the stream in a malloc buffer.
inline DIMAGE MakeJpegImage(const std::vector<unsigned char>& jpeg, int width, int height, int bytesPerPixel,
                            unsigned extraCapacity = 0) {
    DIMAGE image;
    std::memset(&image, 0, sizeof image);
    std::memcpy(image.sourceHeader.baseTag, "QMV3", 4);
    image.sourceHeader.versionTag = 1;
    image.sourceHeader.totalLength = static_cast<uint32_t>(jpeg.size()) + QMV3_IMAGE_HEADER_SIZE;
    image.frameHeader.sourceWidth = width;
    image.frameHeader.sourceHeight = height;
    image.frameHeader.aoiWidth = -1;
    image.frameHeader.aoiHeight = -1;
    image.frameHeader.bytesPerPixel = bytesPerPixel;
    image.frameHeader.effectiveBitsPerPixel = -1;
    image.frameHeader.sourceFormat = bytesPerPixel == 3 ? QMV3_FORMAT_RGB : QMV3_FORMAT_GRAY;
    image.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    image.frameHeader.imageFlags = QMV3_FLAG_IMAGE_LOSSLESS | QMV3_FLAG_LITTLE_ENDIAN_BYTE_ORDER;
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(jpeg.size());
    image.frameBufferSize = static_cast<uint32_t>(jpeg.size()) + extraCapacity;
    image.frameBuffer = static_cast<unsigned char*>(std::malloc(image.frameBufferSize));
    if (!jpeg.empty()) std::memcpy(image.frameBuffer, jpeg.data(), jpeg.size());
    return image;
}

}  // namespace qmv3test

#endif
