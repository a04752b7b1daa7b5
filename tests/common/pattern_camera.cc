#include "common/pattern_camera.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "zantsim.h"

namespace qmv3test {

void ServePatternCamera() {
    TempDir dir;
    const std::string path = dir.file("pattern.xml");
    const std::string text = "<zantsim><device address=\"" ZANTSIM_DEFAULT_ADDRESS
                             "\">"
                             "<property name=\"Frame\" source=\"pattern\"/>"
                             "<property name=\"Frame16\" source=\"pattern\" bytesPerPixel=\"2\" effectiveBits=\"12\"/>"
                             "<property name=\"FrameRGB\" source=\"pattern\" format=\"RGB\"/>"
                             "<property name=\"FrameJpeg\" source=\"pattern\" compression=\"jpeg\"/>"
                             "</device></zantsim>";
    WriteFileBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
    ASSERT_EQ(0, zantsim_LoadConfiguration(path.c_str()));
}

}  // namespace qmv3test
