// The first log line of a process works out the file name from host, user and process; when memory
// runs out meanwhile, the name takes the fixed error texts and nothing escapes the log call.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "client/library_frame.h"
#include "common/failing_allocator.h"
#include "common/temp_dir.h"

namespace {

TEST(LogAllocationFailure, FirstLineWithoutMemoryUsesTheUserErrorText) {
    qmv3test::TempDir dir;
    ASSERT_EQ(setenv("ORSEL_CLIENTLIB_LOGGING_PATH", dir.path().c_str(), 1), 0);
    qmv3test::g_failAllocations = true;
    _internal_LOG("written without memory");
    qmv3test::g_failAllocations = false;

    std::string found;
    DIR* folder = opendir(dir.path().c_str());
    ASSERT_NE(folder, nullptr);
    while (dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') found = entry->d_name;
    }
    closedir(folder);
    EXPECT_NE(found.find("--u-USERNAME-QUERY-ERROR--"), std::string::npos) << found;
    EXPECT_NE(qmv3test::ReadFileText(dir.file(found)).find("written without memory"), std::string::npos);
}

}  // namespace
