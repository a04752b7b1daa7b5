// File copy, removal, existence, 64-bit seek and tell, modification time; byte order and address texts.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "platform/platform.h"

namespace {

using qmv3test::ReadFileBytes;
using qmv3test::TempDir;
using qmv3test::WriteFileBytes;

std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 251);
    return bytes;
}

TEST(PlatformFiles, CopyHandlesBlockBoundaries) {
    TempDir dir;
    for (size_t size : {size_t{0}, size_t{1}, size_t{16383}, size_t{16384}, size_t{16385}, size_t{50000}}) {
        const std::string src = dir.file("src" + std::to_string(size));
        const std::string dst = dir.file("dst" + std::to_string(size));
        WriteFileBytes(src, Pattern(size));
        ASSERT_TRUE(platformFileCopy(src.c_str(), dst.c_str(), true)) << size;
        EXPECT_EQ(Pattern(size), ReadFileBytes(dst)) << size;
    }
}

TEST(PlatformFiles, CopyRespectsAnExistingDestination) {
    TempDir dir;
    const std::string src = dir.file("src"), dst = dir.file("dst");
    WriteFileBytes(src, Pattern(100));
    WriteFileBytes(dst, {1, 2, 3});
    EXPECT_FALSE(platformFileCopy(src.c_str(), dst.c_str(), true));
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3}), ReadFileBytes(dst));
    EXPECT_TRUE(platformFileCopy(src.c_str(), dst.c_str(), false));
    EXPECT_EQ(Pattern(100), ReadFileBytes(dst));
}

TEST(PlatformFiles, CopyFailuresLeaveDataAlone) {
    TempDir dir;
    const std::string src = dir.file("src");
    WriteFileBytes(src, Pattern(100));
    EXPECT_FALSE(platformFileCopy(dir.file("missing").c_str(), dir.file("out").c_str(), false));
    EXPECT_FALSE(platformFileExists(dir.file("out").c_str()));
    EXPECT_FALSE(platformFileCopy(src.c_str(), dir.file("no/such/folder").c_str(), false));
    // Copying a file onto itself must not truncate it.
    EXPECT_FALSE(platformFileCopy(src.c_str(), src.c_str(), false));
    EXPECT_EQ(Pattern(100), ReadFileBytes(src));
    EXPECT_FALSE(platformFileCopy(nullptr, src.c_str(), false));
}

TEST(PlatformFiles, ExistsRemoveAndModifiedTime) {
    TempDir dir;
    const std::string path = dir.file("f");
    EXPECT_TRUE(platformFileExists(dir.path().c_str()));
    EXPECT_FALSE(platformFileExists(path.c_str()));
    PLF_TIME modified{1, 1};
    EXPECT_FALSE(platformFileGetLastModifiedTime64(path.c_str(), modified));
    WriteFileBytes(path, {1});
    struct timespec times[2] = {{1690470245, 123456789}, {1690470245, 987654321}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
    ASSERT_TRUE(platformFileGetLastModifiedTime64(path.c_str(), modified));
    EXPECT_EQ(1690470245u, modified.seconds);
    EXPECT_EQ(987, modified.milliseconds);
    EXPECT_TRUE(platformFileRemove(path.c_str()));
    EXPECT_FALSE(platformFileRemove(path.c_str()));
    EXPECT_FALSE(platformFileExists(nullptr));
}

TEST(PlatformFiles, SeekAndTellBeyondFourGigabytes) {
    TempDir dir;
    const std::string path = dir.file("sparse");
    FILE* file = fopen(path.c_str(), "wb+");
    ASSERT_NE(nullptr, file);
    const int64_t far = (int64_t{1} << 32) + 5;
    ASSERT_TRUE(platformFileSeek64(file, far, SEEK_SET));
    EXPECT_EQ(far, platformFileTell64(file));
    fputc('x', file);
    ASSERT_TRUE(platformFileSeek64(file, 0, SEEK_END));
    EXPECT_EQ(far + 1, platformFileTell64(file));
    EXPECT_FALSE(platformFileSeek64(file, -1, SEEK_SET));
    fclose(file);
    EXPECT_EQ(-1, platformFileTell64(nullptr));
}

TEST(PlatformEndian, BigEndianReversesAndLittleEndianKeeps) {
    EXPECT_EQ(0x3412, platformHostToBigEndian(static_cast<unsigned short>(0x1234)));
    EXPECT_EQ(0x78563412u, platformBigEndianToHost(0x12345678u));
    EXPECT_EQ(0x0807060504030201ull, platformHostToBigEndian(0x0102030405060708ull));
    EXPECT_EQ(-2, platformLittleEndianToHost(-2));
    EXPECT_EQ(1.5, platformBigEndianToHost(platformHostToBigEndian(1.5)));
    EXPECT_NE(1.5f, platformHostToBigEndian(1.5f));
}

TEST(PlatformSocket, AddressTextsInBothDirections) {
    EXPECT_STREQ("192.168.1.20", platformIPAddrConvert(0xC0A80114u));
    EXPECT_EQ(0xC0A80114, platformIPAddrConvert("192.168.1.20"));
    EXPECT_EQ(0xFFFFFFFF, platformIPAddrConvert("255.255.255.255"));
    for (const char* bad : {"1.2.3", "1.2.3.256", "1.2.-3.4", "1..3.4", "1.2.3.4x", "99999999999.1.1.1", ""}) {
        EXPECT_EQ(-1, platformIPAddrConvert(bad)) << bad;
    }
    EXPECT_TRUE(platformSocketIsBlockingError(11));
    EXPECT_FALSE(platformSocketIsBlockingError(4));
    EXPECT_STREQ("unimplemented", platformSocketGetOSErrorString(0));
}

TEST(PlatformSocket, DatagramRoundTripOnLoopback) {
    const uint32_t loopback = 0x7F000001;
    int receiver = platformSocketCreateInet(SOCK_DGRAM);
    int sender = platformSocketCreateInet(SOCK_DGRAM);
    ASSERT_GE(receiver, 0);
    ASSERT_GE(sender, 0);
    ASSERT_EQ(0, platformSocketBind(receiver, loopback, 0));
    struct sockaddr_in bound;
    socklen_t length = sizeof bound;
    ASSERT_EQ(0, getsockname(receiver, reinterpret_cast<struct sockaddr*>(&bound), &length));
    const uint16_t port = ntohs(bound.sin_port);
    ASSERT_EQ(4, platformSocketSendToFunction(sender, "ping", 4, 0, loopback, port));
    char buf[8] = {};
    uint32_t from = 0;
    uint16_t fromPort = 0;
    ASSERT_EQ(4, platformSocketReceiveFromFunction(receiver, buf, sizeof buf, 0, &from, &fromPort));
    EXPECT_STREQ("ping", buf);
    EXPECT_EQ(loopback, from);
    EXPECT_NE(0, fromPort);
    ASSERT_EQ(0, platformSocketSetNonblocking(receiver, true));
    EXPECT_EQ(-1, platformSocketReceiveFunction(receiver, buf, sizeof buf, 0));
    EXPECT_TRUE(platformSocketIsBlockingError(platformSocketGetLastError()));
    ASSERT_EQ(0, platformSocketConnect(sender, loopback, port));
    EXPECT_EQ(0, platformSocketDisconnectUDP(sender));
    EXPECT_EQ(0, platformSocketClose(sender));
    EXPECT_EQ(0, platformSocketClose(receiver));
}

}  // namespace
