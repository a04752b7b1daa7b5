// The steps of "qmv3 demo" and its report.
#include "demo_steps.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "grab_session.h"
#include "report_page.h"

namespace qmv3tool {

namespace {

const char kJpegProperty[] = "FrameJpeg";
const unsigned kJpegFrames = 5;
const int kDemoRateMilliseconds = 50;

long long PixelBytes(const Sequence& sequence) {
    long long total = 0;
    for (uint32_t i = 0; i < sequence.size(); ++i) total += sequence[i].frameHeader.appendedFrameSize;
    return total;
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string Describe(const Sequence& sequence) {
    const DIMAGE& first = sequence[0];
    QMV3_PIXEL_LAYOUT layout = {};
    qmGetPixelLayout(&first, &layout);
    const int bits = layout.effectiveBits;
    return Printf("%u frames %d x %d %s %d-bit, numbers %u..%u", sequence.size(), ImageWidth(first), ImageHeight(first),
                  FormatName(first.frameHeader.imageFormat).c_str(), bits, first.frameHeader.frameNumber,
                  sequence[sequence.size() - 1].frameHeader.frameNumber);
}

}  // namespace

bool SameImages(const Sequence& expected, const Sequence& actual, bool headers, std::string& message) {
    if (expected.size() != actual.size()) {
        message = Printf("%u images instead of %u", actual.size(), expected.size());
        return false;
    }
    for (uint32_t i = 0; i < expected.size(); ++i) {
        const DIMAGE& a = expected[i];
        const DIMAGE& b = actual[i];
        if (headers && std::memcmp(&a, &b, QMV3_IMAGE_HEADER_SIZE) != 0) {
            const unsigned char* x = reinterpret_cast<const unsigned char*>(&a);
            const unsigned char* y = reinterpret_cast<const unsigned char*>(&b);
            size_t offset = 0;
            while (x[offset] == y[offset]) ++offset;
            message = Printf("header of image %u differs at byte %zu", i + 1, offset);
            return false;
        }
        const int size = a.frameHeader.appendedFrameSize;
        if (size != b.frameHeader.appendedFrameSize ||
            (size > 0 && std::memcmp(a.frameBuffer, b.frameBuffer, static_cast<size_t>(size)) != 0)) {
            message = Printf("frame bytes of image %u differ", i + 1);
            return false;
        }
    }
    return true;
}

DemoRun::DemoRun(const std::string& folder, unsigned grayFrames)
    : folder_(folder), grayFrames_(grayFrames), started_(MonotonicSeconds()) {}

std::string DemoRun::PathOf(const std::string& name) const { return folder_ + "/" + name; }

bool DemoRun::Fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "qmv3 demo: step %d failed: %s\n", step_ + 1, message.c_str());
    return false;
}

void DemoRun::Step(const char* action, const std::string& subject, const std::string& figures, double seconds) {
    ++step_;
    std::printf("%2d  %-8s %-12s %6.2f s  %s\n", step_, action, subject.c_str(), seconds, figures.c_str());
    std::fflush(stdout);
}

bool DemoRun::GrabGray() {
    GrabRequest request;
    request.frames = grayFrames_;
    request.rateMilliseconds = kDemoRateMilliseconds;
    const double start = MonotonicSeconds();
    const GrabOutcome outcome = GrabFrames(request, gray_);
    if (outcome.error != 0) return Fail(DescribeGrabFailure(request, outcome, false));
    if (qmIsCompleteSequence(gray_.get()) != QMV3_SEQUENCE_YES)
        return Fail("the grey frames are not a complete sequence");
    framesGrabbed_ += gray_.size();
    Step("grab", "\"Frame\"", Describe(gray_) + Printf(", complete, %lld bytes", PixelBytes(gray_)),
         MonotonicSeconds() - start);
    return true;
}

bool DemoRun::GrabJpeg() {
    GrabRequest request;
    request.property = kJpegProperty;
    request.frames = kJpegFrames;
    request.rateMilliseconds = kDemoRateMilliseconds;
    const double start = MonotonicSeconds();
    const GrabOutcome outcome = GrabFrames(request, jpeg_);
    if (outcome.error != 0) return Fail(DescribeGrabFailure(request, outcome, false));
    if (qmIsCompleteSequence(jpeg_.get()) != QMV3_SEQUENCE_YES)
        return Fail("the JPEG frames are not a complete sequence");
    const long long compressed = PixelBytes(jpeg_);
    std::string message;
    if (!DecompressSequence(jpeg_, message)) return Fail(message);
    if (qmIsCompleteSequence(jpeg_.get()) != QMV3_SEQUENCE_YES)
        return Fail("the decompressed frames are not a complete sequence");
    framesGrabbed_ += jpeg_.size();
    const long long raw = PixelBytes(jpeg_);
    Step("grab", "\"FrameJpeg\"",
         Describe(jpeg_) + Printf(", complete, JPEG %lld -> %lld bytes (%.1f:1)", compressed, raw,
                                  compressed > 0 ? static_cast<double>(raw) / compressed : 0.0),
         MonotonicSeconds() - start);
    return true;
}

bool DemoRun::SaveAndReload(Sequence& sequence, const std::string& name) {
    const std::string path = PathOf(name);
    double start = MonotonicSeconds();
    std::string message;
    int code = 0;
    // The demo may run again into the same folder.
    if (!SaveSequence(sequence, path, QMV3_SAVE_FLAG_REPLACE, code, message)) return Fail(message);
    const long long fileBytes = FileSize(path);
    ++filesWritten_;
    bytesWritten_ += fileBytes;
    Step("save", name,
         Printf("%u frames, %lld bytes (compression %.2f:1)", sequence.size(), fileBytes,
                fileBytes > 0 ? static_cast<double>(PixelBytes(sequence)) / fileBytes : 0.0),
         MonotonicSeconds() - start);

    start = MonotonicSeconds();
    Sequence reloaded;
    if (!LoadSequence(path, reloaded, message)) return Fail(message);
    if (!SameImages(sequence, reloaded, true, message)) return Fail(name + ": " + message);
    Step("reload", name, Printf("%u headers and %lld frame bytes identical", reloaded.size(), PixelBytes(reloaded)),
         MonotonicSeconds() - start);
    return true;
}

bool DemoRun::ConvertToImm() {
    const std::string source = PathOf("frame.imc2"), target = PathOf("frame.imm");
    const double start = MonotonicSeconds();
    Sequence loaded, readBack;
    std::string message;
    int code = 0;
    if (!LoadSequence(source, loaded, message) || !SaveSequence(loaded, target, QMV3_SAVE_FLAG_REPLACE, code, message) ||
        !LoadSequence(target, readBack, message))
        return Fail(message);
    if (!SameImages(gray_, readBack, false, message)) return Fail("frame.imm: " + message);
    const long long fileBytes = FileSize(target);
    ++filesWritten_;
    bytesWritten_ += fileBytes;
    Step("convert", "frame.imm",
         Printf("%lld bytes; read back: %u frames, frame bytes identical", fileBytes, readBack.size()),
         MonotonicSeconds() - start);
    return true;
}

bool DemoRun::ExportBitmap() {
    const std::string prefix = PathOf("frame"), bitmap = BitmapFileName(prefix, 1, 0);
    unlink(bitmap.c_str());
    const double start = MonotonicSeconds();
    QMBUNCHOFIMAGES firstFrame = {gray_.get()->imageArray, 1};  // a view; the copy leaves it untouched
    OlderRecord record;
    char text[256] = "";
    const int converted = qmBunchToVIDINFHDREx2(&firstFrame, record.get(), text, sizeof text, 0, nullptr);
    if (converted != QMV3_BUNCH_CONVERT_OK)
        return Fail(Printf("conversion to the older record failed (%d): %s", converted, text));
    const int saved = save_bmp_files(prefix.c_str(), record.get(), 1, 0);
    if (saved != QMV3_LEGACY_SAVE_OK) return Fail(Printf("bitmap export failed with code %d", saved));
    const long long fileBytes = FileSize(bitmap);
    const long long expected = static_cast<long long>(qmGetBitmapFileSize(static_cast<unsigned>(ImageWidth(gray_[0])),
                                                                          static_cast<unsigned>(ImageHeight(gray_[0]))));
    if (fileBytes != expected) return Fail(Printf("frame1.bmp has %lld bytes, not %lld", fileBytes, expected));
    ++filesWritten_;
    bytesWritten_ += fileBytes;
    Step("export", "frame1.bmp", Printf("first frame, false-colour palette, %lld bytes", fileBytes),
         MonotonicSeconds() - start);
    return true;
}

bool DemoRun::WriteReport() {
    const std::string source = PathOf("frame.imc2"), page = PathOf("report.html");
    unlink(page.c_str());
    const double start = MonotonicSeconds();
    Sequence sequence;
    ReportInput input;
    std::string html, message;
    if (!PrepareReport(source, 24, Palette::kGray, sequence, input, message) || !BuildReportPage(input, html, message))
        return Fail("report: " + message);
    if (!WriteWholeFile(page, html.data(), html.size(), message)) return Fail(message);
    ++filesWritten_;
    bytesWritten_ += static_cast<long long>(html.size());
    Step("report", "report.html",
         Printf("%zu thumbnails, plots and histogram, %zu bytes", input.thumbnails.pictures.size(), html.size()),
         MonotonicSeconds() - start);
    std::printf("report: %s\n", page.c_str());
    return true;
}

bool DemoRun::RunAll() {
    unsigned major = 0, minor = 0, third = 0;
    char info[512] = "";
    unsigned size = sizeof info;
    qmLibraryInfoEx(&major, &minor, &third, info, &size);
    std::printf("qmv3 demo with library %u.%u.%u\n%s\ncamera %s (the default simulated camera), folder %s\n\n", major,
                minor, third, info, kDefaultAddress, folder_.c_str());
    return GrabGray() && GrabJpeg() && SaveAndReload(gray_, "frame.imc2") && SaveAndReload(jpeg_, "jpeg.imc2") &&
           ConvertToImm() && ExportBitmap() && WriteReport();
}

void DemoRun::PrintSummary(bool passed) const {
    std::printf("\n%s: %u frames grabbed, %u files written (%lld bytes) in %s, %.2f s in all\n",
                passed ? "demo passed" : "demo FAILED", framesGrabbed_, filesWritten_, bytesWritten_, folder_.c_str(),
                MonotonicSeconds() - started_);
}

}  // namespace qmv3tool
