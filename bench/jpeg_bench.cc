// qmDecompressImage of grey and colour JPEG frames against decoding the same streams with libjpeg
// directly. Both sides allocate the frame's pixels and free them again, as a caller of the library does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "qmv3/qmv3.h"
#include "ratio_table.h"
#include "synthetic_data.h"

// After the standard headers: jpeglib.h needs size_t and FILE declared.
#include <jpeglib.h>

namespace {

using qmv3bench::FrameSpec;

// libjpeg's default fatal-error handler calls exit(), which would look like a finished run: abort.
[[noreturn]] void AbortOnJpegError(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    std::abort();
}

std::vector<unsigned char> Encode(const FrameSpec& shape) {
    const std::vector<unsigned char> pixels = qmv3bench::MakePixels(shape, 0);
    const int components = shape.format == QMV3_FORMAT_RGB ? 3 : 1;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = AbortOnJpegError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = shape.width;
    cinfo.image_height = shape.height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels.data()) +
                       static_cast<size_t>(cinfo.next_scanline) * shape.width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<unsigned char> jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

// The record a grab hands over for a JPEG frame: the geometry of the pixels, the stream in the buffer.
DIMAGE JpegImage(const FrameSpec& shape, std::vector<unsigned char>& jpeg) {
    const std::vector<unsigned char> nothing(1);
    DIMAGE image = qmv3bench::MakeImage(shape, 0, nothing);
    std::free(image.frameBuffer);
    image.frameHeader.imageFormat = QMV3_FORMAT_JPEG;
    image.frameHeader.bytesPerPixel = shape.format == QMV3_FORMAT_RGB ? 3 : 1;
    image.frameHeader.appendedFrameSize = static_cast<int32_t>(jpeg.size());
    image.sourceHeader.totalLength = static_cast<uint32_t>(jpeg.size()) + QMV3_IMAGE_HEADER_SIZE;
    image.frameBuffer = jpeg.data();
    image.frameBufferSize = static_cast<uint32_t>(jpeg.size());
    return image;
}

void DecompressWithLibrary(benchmark::State& state, const FrameSpec& shape) {
    std::vector<unsigned char> jpeg = Encode(shape);
    const DIMAGE image = JpegImage(shape, jpeg);
    for (auto _ : state) {
        DIMAGE decoded;
        if (qmDecompressImage(&decoded, &image) != QMV3_DECOMPRESS_DONE) {
            state.SkipWithError("qmDecompressImage failed");
            break;
        }
        benchmark::DoNotOptimize(decoded.frameBuffer);
        std::free(decoded.frameBuffer);
    }
}

void DecompressWithLibjpeg(benchmark::State& state, const FrameSpec& shape) {
    std::vector<unsigned char> jpeg = Encode(shape);
    for (auto _ : state) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = AbortOnJpegError;
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
        auto* pixels = static_cast<unsigned char*>(std::malloc(rowBytes * cinfo.output_height));
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels + rowBytes * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    }
}

const bool registered = [] {
    const struct {
        const char* name;
        const char* label;
        const FrameSpec* shape;
    } kinds[] = {{"jpeg/grey", "qmDecompressImage, 640x480 grey JPEG vs libjpeg directly", &qmv3bench::kGrey8},
                 {"jpeg/colour", "qmDecompressImage, 640x480 colour JPEG vs libjpeg directly", &qmv3bench::kColour24}};
    int order = 500;
    for (const auto& kind : kinds) {
        const FrameSpec* shape = kind.shape;
        const std::string subject = std::string(kind.name) + "/qmDecompressImage";
        const std::string baseline = std::string(kind.name) + "/libjpeg";
        benchmark::RegisterBenchmark(subject.c_str(),
                                     [shape](benchmark::State& s) { DecompressWithLibrary(s, *shape); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        benchmark::RegisterBenchmark(baseline.c_str(),
                                     [shape](benchmark::State& s) { DecompressWithLibjpeg(s, *shape); })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(1.0);
        qmv3bench::AddRatioRow({order++, kind.label, qmv3bench::TimeOf(subject), qmv3bench::TimeOf(baseline), 1.05});
    }
    return true;
}();

}  // namespace
