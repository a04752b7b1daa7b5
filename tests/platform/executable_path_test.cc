// Files beside the running executable: the directory is the executable's, the name is appended once, a
// long name is cut within the result storage, and each thread keeps its own result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

std::string ExecutableDirectory() {
    char path[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    EXPECT_GT(length, 0);
    const std::string text(path, length > 0 ? static_cast<size_t>(length) : 0);
    return text.substr(0, text.rfind('/'));
}

TEST(ExecutablePath, NameIsPlacedBesideTheExecutable) {
    EXPECT_EQ(ExecutableDirectory() + "/a.log", ObtainExecutablePathWithFilename("a.log"));
    EXPECT_EQ(ExecutableDirectory() + "/", ObtainExecutablePathWithFilename(nullptr));
}

TEST(ExecutablePath, LongNameIsCutWithinTheResultStorage) {
    const std::string longName(400, 'n');
    const std::string result = ObtainExecutablePathWithFilename(longName.c_str());
    EXPECT_EQ(253u, result.size());
    EXPECT_EQ(0u, result.find(ExecutableDirectory() + "/nnn"));
}

TEST(ExecutablePath, EachThreadKeepsItsOwnResult) {
    const char* mine = ObtainExecutablePathWithFilename("main.log");
    std::string other;
    std::thread worker([&other] { other = ObtainExecutablePathWithFilename("worker.log"); });
    worker.join();
    EXPECT_EQ(ExecutableDirectory() + "/main.log", mine);
    EXPECT_EQ(ExecutableDirectory() + "/worker.log", other);
}

}  // namespace
