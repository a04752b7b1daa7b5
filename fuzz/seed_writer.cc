// Writes the seed corpus of every harness: small valid inputs (and a few near misses) from which the
// fuzzers start. Run through make_corpus.sh; the output is kept in fuzz/corpus/<harness>/.
#include "seed_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/jpeg_fixtures.h"
#include "image/cdimage.h"
#include "platform/platform.h"
#include "qmv3/qmv3.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::string g_root;

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace

void WriteSeed(const std::string& harness, const std::string& name, const std::vector<unsigned char>& bytes) {
    std::string folder = g_root + "/" + harness;
    mkdir(g_root.c_str(), 0755);
    mkdir(folder.c_str(), 0755);
    std::string path = folder + "/" + name;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file)) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

namespace {

// Selector byte, then text.
void numericSeeds() {
    const char* texts[] = {"0",    "-17",  "2147483647", "-2147483648", "4294967296", "0x7fffffff", "017", " +42",
                           "1e10", "3.25", "-1.5e-300",  "inf",         "nan",        "12abc",      "",    "1e39"};
    unsigned selector = 0;
    for (const char* text : texts) {
        Bytes bytes{static_cast<unsigned char>(selector++ % 6)};
        bytes.insert(bytes.end(), text, text + std::strlen(text));
        WriteSeed("numeric", "text" + std::to_string(selector), bytes);
    }
    Bytes stamp{0xFF};
    long seconds = 1700000000;
    int milliseconds = 999;
    stamp.insert(stamp.end(), reinterpret_cast<unsigned char*>(&seconds),
                 reinterpret_cast<unsigned char*>(&seconds) + 8);
    stamp.insert(stamp.end(), reinterpret_cast<unsigned char*>(&milliseconds),
                 reinterpret_cast<unsigned char*>(&milliseconds) + 4);
    stamp.push_back(40);
    WriteSeed("numeric", "timestamp", stamp);
}

void utcTextSeeds() {
    WriteSeed("utc_text", "morning", textBytes("2023-07-27 09:15:42.123456 AM UTC"));
    WriteSeed("utc_text", "noon", textBytes("2023-07-27 12:00:00.000000 PM UTC"));
    WriteSeed("utc_text", "epoch", textBytes("1970-01-01 12:00:00.000000 AM UTC"));
    WriteSeed("utc_text", "leap", textBytes("2024-02-29 11:59:59.999999 PM UTC"));
    char text[64];
    if (platformTimeToUTCString(1690449342, 654321, true, false, true, text, sizeof text) != nullptr)
        WriteSeed("utc_text", "written", textBytes(text));
    Bytes writer{0xFF};
    int64_t seconds = 1690449342;
    uint32_t fraction = 999;
    writer.insert(writer.end(), reinterpret_cast<unsigned char*>(&seconds),
                  reinterpret_cast<unsigned char*>(&seconds) + 8);
    writer.insert(writer.end(), reinterpret_cast<unsigned char*>(&fraction),
                  reinterpret_cast<unsigned char*>(&fraction) + 4);
    writer.push_back(7);
    writer.push_back(40);
    WriteSeed("utc_text", "writer", writer);
}

void accessModeSeeds() {
    const char* texts[] = {"CM_TIMER|CM_STREAM",
                           "TIMER",
                           "CM_EVENT|CM_NODUPLICATES|CM_CONNECT",
                           "CM_SINGLE",
                           "CM_TIMER|CM_TIMER",
                           "CM_DATACHANGE|CM_MCAST",
                           "CA_READ|CA_WRITE",
                           "CM_RETRY",
                           " CM_TIMER | CM_WAIT "};
    int index = 0;
    for (const char* text : texts) WriteSeed("access_modes", "text" + std::to_string(++index), textBytes(text));
    Bytes writer{0xFF};
    int mode = 3 | 128 | 16;
    writer.insert(writer.end(), reinterpret_cast<unsigned char*>(&mode), reinterpret_cast<unsigned char*>(&mode) + 4);
    writer.push_back(1);
    writer.push_back(24);
    WriteSeed("access_modes", "writer", writer);
}

std::string element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + text + "</" + name + ">";
}

void syslistSeeds() {
    std::string sources = element("ImageSource", element("NameID", "CAM1=1") + element("SGPType", "PCVision")) +
                          element("ImageSource", element("NameID", "CAM2=2") + element("SGPType", "DirectShow"));
    std::string group =
        element("oImageSourceGroup", element("Name", "GROUP1") + element("ImageSourceNames", "CAM1:CAM2"));
    std::string sgps =
        element("SGP", element("Name", "SGP1") + element("Type", "PCVision") + element("oImageSourceName", "CAM1")) +
        element("SGP",
                element("Name", "SGP2") + element("Type", "DirectShow") + element("oImageSourceGroupName", "GROUP1"));
    std::string servers =
        element("oGS2CLs", element("GS2CL", element("Name", "GS1") + element("oSGPName", "SGP1"))) +
        element("oRaw2Jpegs", element("Raw2Jpeg", element("Name", "RJ1") + element("oSGPName", "SGP2")));
    std::string full = "<?xml version=\"1.0\"?>\n" +
                       element("QMv3", element("Name", "Plant") + element("ZantContext", "CTX1") +
                                           element("ComponentList", element("ImageSources", sources + group) +
                                                                        element("SGPs", sgps) + servers));
    WriteSeed("syslist", "full.xml", textBytes(full + "\x01"));
    std::string minimal =
        "<?xml version=\"1.0\"?>\n" +
        element("QMv3", element("Name", "P") + element("ZantContext", "C") +
                            element("ComponentList", element("ImageSources", "") + element("SGPs", "")));
    WriteSeed("syslist", "minimal.xml", textBytes(minimal));
    WriteSeed("syslist", "broken.xml", textBytes(full.substr(0, full.size() / 2)));
    // Just past the reader's bounds of depth and attributes, for the fuzzer to mutate from.
    std::string deep = "<?xml version=\"1.0\"?><QMv3>", wide = "<?xml version=\"1.0\"?><QMv3><a";
    for (int i = 0; i < 257; ++i) deep += "<a>";
    for (int i = 0; i < 257; ++i) wide += " b" + std::to_string(i) + "=\"1\"";
    WriteSeed("syslist", "deep.xml", textBytes(deep));
    WriteSeed("syslist", "wide.xml", textBytes(wide + "/></QMv3>"));
}

// The stand-in's configuration: one of every attribute, and a replay whose file is missing.
void zantsimConfigSeeds() {
    WriteSeed("zantsim_config", "every-attribute.xml",
              textBytes("<zantsim keepDefaultCamera=\"true\"><device address=\"/LAB/GRABBER/CAM7\">"
                        "<property name=\"Frame\" width=\"64\" height=\"32\" format=\"GRAY\" bytesPerPixel=\"2\" "
                        "effectiveBits=\"10\" compression=\"none\" frameNumberStart=\"100\" minRateMs=\"20\" "
                        "maxRateMs=\"5000\" source=\"scene\" seed=\"7\" spotSigma=\"5.5\" spotPeak=\"0.5\" "
                        "noise=\"high\" jitterMs=\"3\" dropProbability=\"0.1\" repeatProbability=\"0.1\"/>"
                        "<property name=\"Jpeg\" width=\"16\" height=\"16\" format=\"RGB\" compression=\"jpeg\" "
                        "source=\"pattern\"/></device></zantsim>"));
    WriteSeed("zantsim_config", "replay.xml",
              textBytes("<zantsim><device address=\"/A/B/C\"><property name=\"P\" source=\"replay\" "
                        "file=\"missing.imc2\" loop=\"true\" frameNumbers=\"file\"/></device></zantsim>"));
}

DIMAGE validRecord(int format, int width, int height, int bytesPerPixel, uint32_t pixelBytes) {
    CDIMAGE fresh;
    DIMAGE record = fresh.m_Img;
    record.frameHeader.sourceFormat = record.frameHeader.imageFormat = format;
    record.frameHeader.sourceWidth = width;
    record.frameHeader.sourceHeight = height;
    record.frameHeader.xStart = record.frameHeader.yStart = 0;
    record.frameHeader.bytesPerPixel = bytesPerPixel;
    record.frameHeader.appendedFrameSize = static_cast<int>(pixelBytes);
    record.sourceHeader.totalLength = pixelBytes + 188;
    // A fixed time, so that the seeds do not change with every run of the writer.
    record.sourceHeader.timestampSeconds = 1690449342;
    record.sourceHeader.timestampMicroseconds = 250000;
    return record;
}

void cdimageSeeds() {
    struct Shape {
        int format, width, height, bytesPerPixel;
    };
    const Shape shapes[] = {{0, 4, 3, 1}, {0, 4, 4, 2}, {1, 3, 2, 3}, {0, 8, 2, 1}, {2, 2, 2, 4}};
    for (unsigned operation = 0; operation < 12; ++operation) {
        const Shape& shape = shapes[operation % 5];
        uint32_t pixelBytes = static_cast<uint32_t>(shape.width * shape.height * shape.bytesPerPixel);
        DIMAGE record = validRecord(shape.format, shape.width, shape.height, shape.bytesPerPixel, pixelBytes);
        if (operation == 5) {
            record.frameHeader.aoiWidth = 2;
            record.frameHeader.aoiHeight = 2;
        }
        Bytes bytes{static_cast<unsigned char>(operation), 2, 2, 1, 64};
        const unsigned char* header = reinterpret_cast<const unsigned char*>(&record);
        bytes.insert(bytes.end(), header, header + 188);
        for (uint32_t i = 0; i < pixelBytes; ++i) bytes.push_back(static_cast<unsigned char>(i * 37));
        WriteSeed("cdimage", "operation" + std::to_string(operation), bytes);
    }
}

// Geometry header, then a real stream; one seed declares a larger frame than the stream holds.
void jpegSeeds() {
    struct Shape {
        uint16_t width, height;
        int components;
        bool progressive;
        uint8_t bytesPerPixel;
    };
    const Shape shapes[] = {{16, 8, 1, false, 0}, {8, 8, 3, false, 2}, {17, 5, 3, true, 2},
                            {9, 9, 1, true, 0},   {4, 4, 4, false, 3}, {24, 16, 1, false, 0}};
    int index = 0;
    for (const Shape& shape : shapes) {
        std::vector<unsigned char> jpeg =
            qmv3test::MakeJpeg(shape.width, shape.height, shape.components, shape.progressive);
        uint16_t declaredWidth = index == 5 ? 32 : shape.width;
        Bytes bytes;
        bytes.push_back(declaredWidth & 0xFF);
        bytes.push_back(declaredWidth >> 8);
        bytes.push_back(shape.height & 0xFF);
        bytes.push_back(shape.height >> 8);
        bytes.push_back(shape.bytesPerPixel);
        bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
        WriteSeed("jpeg", "stream" + std::to_string(++index), bytes);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    qmSetVerbose(0);
    numericSeeds();
    utcTextSeeds();
    accessModeSeeds();
    syslistSeeds();
    zantsimConfigSeeds();
    cdimageSeeds();
    jpegSeeds();
    const std::string scratch = g_root + "/.scratch";
    mkdir(g_root.c_str(), 0755);
    mkdir(scratch.c_str(), 0755);
    WriteOlderFileSeeds(scratch);
    WriteSequenceFileSeeds(scratch);
    rmdir(scratch.c_str());
    return 0;
}
