// Savers under failing C++ allocations: they answer with a code and leave no file, instead of
// letting the exception cross the C interface.
#include <gtest/gtest.h>

#include <string>

#include "common/failing_allocator.h"
#include "common/temp_dir.h"
#include "legacy_fixture.h"

namespace {

using qmv3test::FileExists;
using qmv3test::RecordGuard;
using qmv3test::TempDir;

TEST(AllocationFailure, SaversReportInsteadOfThrowing) {
    TempDir dir;
    RecordGuard source;
    qmv3test::FillRecord(&source.rec, 2, 2, 8, 8, 1, {{1, 2, 3, 4}}, {1.0});
    // Names well beyond any short-string buffer, so that keeping them needs the heap.
    const std::string stem = dir.file("a_rather_long_file_name_for_the_heap");
    const struct {
        std::string argument;
        std::string written;
        int expected;
        int (*save)(const char*, VIDINFHDR*);
    } cases[] = {
        {stem + ".imm", stem + ".imm", -4, save_imm_file},
        {stem + ".bkg", stem + ".bkg", -4, save_bkg_file},
        {stem + ".imc", stem + ".imc", -4, save_imc_file},
        {stem + ".bkc", stem + ".bkc", -4, save_bkc_file},
        {stem, stem + ".imm", -4, [](const char* p, VIDINFHDR* r) { return save_file(0, p, r); }},
        {stem, stem + "1.bmp", -5, [](const char* p, VIDINFHDR* r) { return save_bmp_files(p, r, 0, 0); }},
    };
    for (const auto& c : cases) {
        qmv3test::g_failAllocations = true;
        const int code = c.save(c.argument.c_str(), &source.rec);
        qmv3test::g_failAllocations = false;
        EXPECT_EQ(c.expected, code) << c.written;
        EXPECT_FALSE(FileExists(c.written)) << c.written;
    }
}

}  // namespace
