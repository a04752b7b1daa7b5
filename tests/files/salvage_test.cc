// Salvage of damaged sequence files: files cut at every structural boundary and inside a pixel block,
// damaged compressed blocks, lengths and metadata, a header count that is not final yet, and the older
// files cut short. Every kept image must equal the one saved.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/temp_dir.h"
#include "files/files_test_util.h"
#include "qmv3/qmv3.h"

namespace {

using filestest::MakeSequence;
using filestest::SequenceGuard;
using qmv3test::TempDir;

// Where the sections of an IMC2 file lie, read from the file itself.
struct Layout {
    size_t globalEnd = 0;
    std::vector<size_t> header, sets, pixels, end;
};

uint64_t LE(const std::vector<unsigned char>& bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
    return value;
}

Layout LayoutOf(const std::vector<unsigned char>& bytes) {
    Layout layout;
    layout.globalEnd = 14 + LE(bytes, 8, 4) * 252;
    for (size_t at = layout.globalEnd; at < bytes.size();) {
        layout.header.push_back(at);
        layout.sets.push_back(at + 22);
        layout.pixels.push_back(at + 22 + LE(bytes, at + 16, 4) * 252);
        at = layout.pixels.back() + LE(bytes, at + 8, 8);
        layout.end.push_back(at);
    }
    return layout;
}

size_t Find(const std::vector<unsigned char>& bytes, const std::string& text, size_t from = 0) {
    for (size_t at = from; at + text.size() <= bytes.size(); ++at)
        if (std::equal(text.begin(), text.end(), bytes.begin() + static_cast<long>(at))) return at;
    ADD_FAILURE() << "no " << text;
    return 0;
}

struct Drop {
    unsigned image;
    int code;
};

struct Recovered {
    int code = 0;
    QMV3_RECOVER_REPORT report{};
    std::vector<Drop> drops;  // images > 0 only
    unsigned notes = 0;       // damage that belongs to no image
    QMBUNCHOFIMAGES images{nullptr, 0};
};

void OnDropped(void* context, unsigned image, unsigned long long, int code, const char* reason) {
    auto* recovered = static_cast<Recovered*>(context);
    EXPECT_NE(reason[0], '\0');
    if (image == 0)
        ++recovered->notes;
    else
        recovered->drops.push_back({image, code});
}

Recovered Recover(const std::string& path) {
    Recovered recovered;
    recovered.report.size = sizeof recovered.report;
    char message[400] = "";
    recovered.code = qmRecoverImagesFromFile(path.c_str(), &recovered.images, &recovered.report, OnDropped, &recovered,
                                             nullptr, nullptr, message, sizeof message);
    if (recovered.code != QMV3_LOAD_OK) {
        EXPECT_NE(message[0], '\0');
    }
    return recovered;
}

// The frame numbers kept, and each kept image equal to the saved one of that number.
std::vector<unsigned> KeptNumbers(const Recovered& recovered, const QMBUNCHOFIMAGES& saved) {
    std::vector<unsigned> numbers;
    for (unsigned i = 0; i < recovered.images.numFrames; ++i) {
        const DIMAGE& image = recovered.images.imageArray[i];
        numbers.push_back(image.frameHeader.frameNumber);
        const unsigned k = image.frameHeader.frameNumber - 1;
        if (k >= saved.numFrames) continue;
        const DIMAGE& original = saved.imageArray[k];
        EXPECT_EQ(image.frameHeader.appendedFrameSize, original.frameHeader.appendedFrameSize);
        EXPECT_EQ(0, std::memcmp(image.frameBuffer, original.frameBuffer,
                                 static_cast<size_t>(original.frameHeader.appendedFrameSize)))
            << "pixels of image " << k + 1;
    }
    return numbers;
}

TEST(Salvage, KeepsEveryIntactImageOfADamagedImc2File) {
    TempDir dir;
    QMBUNCHOFIMAGES saved = MakeSequence(3, 32, 16, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(saved);
    const std::string original = dir.file("three.imc2");
    ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, original.c_str()));
    const std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(original);
    const Layout at = LayoutOf(bytes);
    ASSERT_EQ(at.header.size(), 3u);
    ASSERT_LT(at.end[1] - at.pixels[1], 32u * 16u) << "the blocks must be compressed";

    using Edit = std::function<void(std::vector<unsigned char>&)>;
    auto cut = [](size_t length) -> Edit { return [length](std::vector<unsigned char>& b) { b.resize(length); }; };
    auto spoil = [](size_t offset, size_t count) -> Edit {
        return [offset, count](std::vector<unsigned char>& b) {
            for (size_t i = 0; i < count; ++i) b[offset + i] ^= 0x5A;
        };
    };
    auto retext = [](size_t offset, std::string text) -> Edit {
        return [offset, text](std::vector<unsigned char>& b) {
            std::copy(text.begin(), text.end(), b.begin() + static_cast<long>(offset));
        };
    };
    const size_t flags2 = Find(bytes, "image_flags=", at.sets[1]);
    const struct {
        const char* name;
        Edit edit;
        std::vector<unsigned> kept;
        std::vector<std::pair<unsigned, int>> dropped;
    } cases[] = {
        {"intact", [](std::vector<unsigned char>&) {}, {1, 2, 3}, {}},
        {"cut in the file header", cut(10), {}, {}},
        {"cut in the global metadata", cut(14 + 5 * 252 + 7), {}, {}},
        {"cut after the global metadata", cut(at.globalEnd), {}, {}},
        {"cut in image 1's header", cut(at.header[0] + 9), {}, {{1, QMV3_LOAD_SHORT_READ}}},
        {"cut after image 1", cut(at.end[0]), {1}, {}},
        {"cut in image 2's metadata", cut(at.sets[1] + 300), {1}, {{2, QMV3_LOAD_SHORT_READ}}},
        {"cut before image 2's pixels", cut(at.pixels[1]), {1}, {{2, QMV3_LOAD_SHORT_READ}}},
        {"cut in image 3's pixels", cut(at.pixels[2] + 5), {1, 2}, {{3, QMV3_LOAD_SHORT_READ}}},
        {"image 2's compressed block damaged",
         spoil((at.pixels[1] + at.end[1]) / 2, 4),
         {1, 3},
         {{2, QMV3_LOAD_DECOMPRESSION_FAILED}}},
        {"image 2's lengths damaged", spoil(at.header[1] + 3, 10), {1, 3}, {{2, QMV3_LOAD_INVALID_FILE}}},
        {"image 2's line ends damaged", spoil(at.sets[1] + 250, 2), {1, 3}, {{2, QMV3_LOAD_INVALID_FILE}}},
        {"image 2's flags damaged", retext(flags2 + 12, "LITTLE_XNDIAN"), {1, 3}, {{2, QMV3_LOAD_INVALID_FILE}}},
        {"a global scale damaged", retext(Find(bytes, "scale_x_mm/px=") + 14, "x.x"), {1, 2, 3}, {}},
        {"the magic numbers damaged", spoil(0, 8), {1, 2, 3}, {}},
        // A file being written whose header does not have its final count yet.
        {"the count not final", retext(Find(bytes, "number_of_images=3"), "number_of_images=1"), {1, 2, 3}, {}},
    };
    for (const auto& row : cases) {
        std::vector<unsigned char> damaged = bytes;
        row.edit(damaged);
        const std::string path = dir.file("damaged.imc2");
        qmv3test::WriteFileBytes(path, damaged);
        Recovered recovered = Recover(path);
        SequenceGuard keptGuard(recovered.images);
        EXPECT_EQ(recovered.code, row.kept.empty() ? QMV3_LOAD_INVALID_FILE : QMV3_LOAD_OK) << row.name;
        EXPECT_EQ(KeptNumbers(recovered, saved), row.kept) << row.name;
        EXPECT_EQ(recovered.report.kept, row.kept.size()) << row.name;
        EXPECT_EQ(recovered.report.fileKind, QMV3_FILE_IMC2_BKC2) << row.name;
        std::vector<std::pair<unsigned, int>> dropped;
        for (const Drop& drop : recovered.drops) dropped.emplace_back(drop.image, drop.code);
        EXPECT_EQ(dropped, row.dropped) << row.name;
        EXPECT_EQ(recovered.report.dropped, row.dropped.size()) << row.name;
    }
}

TEST(Salvage, KeepsTheWholeFramesOfOlderFilesCutShort) {
    TempDir dir;
    QMBUNCHOFIMAGES saved = MakeSequence(3, 20, 10, 1, QMV3_FORMAT_GRAY);
    SequenceGuard guard(saved);
    const size_t frame = 20 * 10;
    const struct {
        const char* name;
        size_t keep;   // bytes kept from the start, 0: all; for IMC the cut lies inside frame 3's stream
        size_t spoil;  // offset of 4 damaged bytes, 0: none
        std::vector<unsigned> kept;
        std::vector<std::pair<unsigned, int>> dropped;
    } cases[] = {
        {"run.imm", 2 * (frame + 16) + 50, 0, {1, 2}, {{3, QMV3_LOAD_SHORT_READ}}},
        {"run.imm", frame + 16 - 1, 0, {}, {{1, QMV3_LOAD_SHORT_READ}}},
        {"run.imc", 1, 0, {1, 2}, {{3, QMV3_LOAD_SHORT_READ}}},
        {"run.imc", 0, 1, {1, 3}, {{2, QMV3_LOAD_DECOMPRESSION_FAILED}}},
    };
    for (const auto& row : cases) {
        const std::string path = dir.file(row.name);
        std::remove(path.c_str());
        ASSERT_EQ(QMV3_SAVE_OK, qmSaveImagesToFile(&saved, path.c_str())) << row.name;
        std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(path);
        const bool imc = std::string(row.name).find(".imc") != std::string::npos;
        // IMC frame k starts after the 16-byte header and the records before it.
        std::vector<size_t> imcFrames = {16};
        while (imc && imcFrames.size() < 3)
            imcFrames.push_back(imcFrames.back() + 16 + LE(bytes, imcFrames.back() + 8, 4));
        if (row.keep != 0) bytes.resize(imc ? imcFrames[2] + 16 + 3 : row.keep);
        if (row.spoil != 0) {
            const size_t middle = imcFrames[1] + 16 + LE(bytes, imcFrames[1] + 8, 4) / 2;
            for (size_t i = 0; i < 4; ++i) bytes[middle + i] ^= 0x5A;
        }
        qmv3test::WriteFileBytes(path, bytes);
        Recovered recovered = Recover(path);
        SequenceGuard keptGuard(recovered.images);
        EXPECT_EQ(KeptNumbers(recovered, saved), row.kept) << row.name;
        std::vector<std::pair<unsigned, int>> dropped;
        for (const Drop& drop : recovered.drops) dropped.emplace_back(drop.image, drop.code);
        EXPECT_EQ(dropped, row.dropped) << row.name;
        EXPECT_EQ(recovered.report.fileKind, imc ? QMV3_FILE_IMC_BKC : QMV3_FILE_IMM) << row.name;
    }
}

TEST(Salvage, RefusesWhatItCannotWorkOn) {
    TempDir dir;
    QMBUNCHOFIMAGES images{nullptr, 0};
    QMV3_RECOVER_REPORT shortReport{};
    shortReport.size = 4;
    const struct {
        const char* name;
        std::string path;
        QMV3_RECOVER_REPORT* report;
        int code;
    } cases[] = {
        {"no path", "", nullptr, QMV3_LOAD_PARAMETER_ERROR},
        {"a missing file", dir.file("missing.imc2"), nullptr, QMV3_LOAD_OPEN_FAILED},
        {"a report too small", dir.file("missing.imc2"), &shortReport, QMV3_LOAD_PARAMETER_ERROR},
    };
    for (const auto& row : cases) {
        char message[200] = "";
        EXPECT_EQ(row.code, qmRecoverImagesFromFile(row.path.c_str(), &images, row.report, nullptr, nullptr, nullptr,
                                                    nullptr, message, sizeof message))
            << row.name;
        EXPECT_NE(message[0], '\0') << row.name;
        EXPECT_EQ(images.numFrames, 0u) << row.name;
    }
}

}  // namespace
