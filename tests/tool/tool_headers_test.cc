// The commands that need only headers: info of a long recording within a fixed memory bound, check
// --quick against the full check, and the reason given for a file that comes closest to an older kind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

using tooltest::Contains;
using tooltest::RunTool;

uint64_t LittleEndian(const std::vector<unsigned char>& bytes, size_t at, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + static_cast<size_t>(i)];
    return value;
}

// An IMC2 file of count copies of one image, made without compressing count frames: the one image's
// section is repeated and the global image count set to count.
void WriteRepeatedImage(const std::string& one, const std::string& path, unsigned count) {
    std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(one);
    const size_t globalEnd = 14 + LittleEndian(bytes, 8, 4) * 252;
    std::vector<unsigned char> out(bytes.begin(), bytes.begin() + static_cast<long>(globalEnd));
    for (size_t set = 14; set < globalEnd; set += 252) {
        if (std::strncmp(reinterpret_cast<const char*>(&out[set]), "number_of_images=", 17) != 0) continue;
        std::memset(&out[set], 0, 250);
        std::snprintf(reinterpret_cast<char*>(&out[set]), 250, "number_of_images=%u", count);
    }
    for (unsigned i = 0; i < count; ++i) out.insert(out.end(), bytes.begin() + static_cast<long>(globalEnd), bytes.end());
    qmv3test::WriteFileBytes(path, out);
}

#ifdef __SANITIZE_ADDRESS__
constexpr long kSanitizerKiB = 64 * 1024;  // the address sanitizer's shadow memory and quarantine
#else
constexpr long kSanitizerKiB = 0;
#endif

// info of 2000 frames of 2048 x 2048 16-bit pixels (16 GiB decoded) reads headers only: a few MiB.
TEST(ToolHeaders, InfoOfALongFileStaysWithinItsMemoryBound) {
    qmv3test::TempDir dir;
    const std::string one = dir.file("one.imc2"), path = dir.file("long.imc2");
    QMBUNCHOFIMAGES images;
    qmInitializeBunchStructure(&images);
    ASSERT_EQ(QMV3_BUNCH_OK, qmCreateBunchStructure(&images, 1, 2048u * 2048u * 2u));
    tooltest::FillImage(images.imageArray[0], 2048, 2048, 2, 1);
    std::memset(images.imageArray[0].frameBuffer, 0, 2048u * 2048u * 2u);  // deflates to a few KiB
    const int saved = qmSaveImagesToFile(&images, one.c_str());
    qmFreeBunch(&images);
    ASSERT_EQ(QMV3_SAVE_OK, saved);
    WriteRepeatedImage(one, path, 2000);
    const pid_t pid = tooltest::StartTool({"info", path}, dir);
    int status = 0;
    struct rusage usage;
    ASSERT_EQ(pid, wait4(pid, &status, 0, &usage));
    const tooltest::ToolResult result = tooltest::WaitTool(-1, dir);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << result.err;
    EXPECT_TRUE(Contains(result.out, "frames:        2000\n")) << result.out;
    EXPECT_TRUE(Contains(result.out, "frame bytes:   16777216000\n")) << result.out;
    EXPECT_LE(usage.ru_maxrss, 64 * 1024 + kSanitizerKiB) << "peak resident set in KiB";
}

// --quick takes the headers for what they say: a damaged pixel block passes it, the full check finds it.
TEST(ToolHeaders, QuickCheckReadsHeadersOnly) {
    qmv3test::TempDir dir;
    const std::string good = dir.file("good.imc2"), damaged = dir.file("damaged.imc2");
    ASSERT_TRUE(tooltest::WriteSequenceFile(good, 2, 64, 64, 2, 5));
    std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(good);
    for (size_t i = bytes.size() - 6; i < bytes.size(); ++i) bytes[i] ^= 0x5A;  // image 2's stream
    qmv3test::WriteFileBytes(damaged, bytes);
    const std::string passed = "image 1 of 2: valid (frame 5)\nimage 2 of 2: valid (frame 6)\n"
                               "2 images: a complete sequence\n";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
    } cases[] = {
        {{"check", good}, 0, good + ": IMC2/BKC2 file\n" + passed},
        {{"check", "--quick", good}, 0, good + ": IMC2/BKC2 file\n" + passed},
        {{"check", "--quick", damaged}, 0, damaged + ": IMC2/BKC2 file\n" + passed},
        {{"check", damaged}, 1, damaged + ": image 2: dropped: its compressed pixel block is damaged"},
    };
    for (const Case& c : cases) {
        const tooltest::ToolResult result = RunTool(c.arguments, dir);
        EXPECT_EQ(c.status, result.status) << c.arguments[1] << result.err;
        EXPECT_TRUE(Contains(result.out, c.out)) << c.arguments[1] << ": " << result.out;
    }
}

// An IMC file with a negative scale is of no kind: info and check say what IMC/BKC refused, not what the
// IMC2/BKC2 reader, the last one tried, thinks of it.
TEST(ToolHeaders, AFileClosestToAnOlderKindGetsThatKindsReason) {
    qmv3test::TempDir dir;
    const std::string imc2 = dir.file("run.imc2"), imc = dir.file("run.imc");
    ASSERT_TRUE(tooltest::WriteSequenceFile(imc2, 2, 24, 10, 1, 1));
    ASSERT_EQ(0, RunTool({"convert", "--quiet", imc2, imc}, dir).status);
    std::vector<unsigned char> bytes = qmv3test::ReadFileBytes(imc);
    const double negative = -1.0;
    std::memcpy(&bytes[16], &negative, sizeof negative);  // the first frame's scale
    qmv3test::WriteFileBytes(imc, bytes);
    for (const char* command : {"info", "check"}) {
        const tooltest::ToolResult result = RunTool({command, imc}, dir);
        EXPECT_EQ(1, result.status) << command;
        EXPECT_TRUE(Contains(result.err, "is no IMC/BKC file: the header announces 2 images")) << result.err;
        EXPECT_FALSE(Contains(result.err, "magic1")) << result.err;
    }
}

}  // namespace
