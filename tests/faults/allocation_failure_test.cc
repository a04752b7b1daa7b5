// Allocation failures in every operation that reads or writes files or builds sequences: each failure
// gives the documented code, loses nothing and leaves no partial file.
#include <cstdio>

#include "faults/fault_runner.h"
#include "qmv3/qmv3.h"
#include "syslist/syslist_fixture.h"

namespace {

using qmv3faults::Operation;
using qmv3faults::RunUntilSuccess;
using namespace syslisttest;

std::string SystemList() {
    std::string sources = Source("CAM1=1", "PCVision") + Source("CAM2=2", "DirectShow") +
                          Source("CAM3=3", "DirectShow") + Group("GROUP1", "CAM2:CAM3");
    std::string sgps = Sgp("SGP1", "PCVision", Element("oImageSourceName", "CAM1")) +
                       Sgp("SGP2", "DirectShow", Element("oImageSourceGroupName", "GROUP1"));
    return Document(Components(sources, sgps, Server("GS2CL", "GS1", "SGP1"), Server("Raw2Jpeg", "RJ1", "SGP1:SGP2")));
}

class AllocationFailure : public ::testing::Test {
  protected:
    void SetUp() override { qmSetVerbose(0); }
    std::string writeSystemList() {
        std::string path = dir.file("syslist.xml");
        std::string xml = SystemList();
        qmv3test::WriteFileBytes(path, std::vector<unsigned char>(xml.begin(), xml.end()));
        return path;
    }
    qmv3test::TempDir dir;
};

TEST_F(AllocationFailure, SystemListServerNames) {
    const std::string path = writeSystemList();
    NAME64 names[4];
    char context[64];
    unsigned int count = 4;
    Operation listing;
    listing.run = [&] {
        count = 4;
        return qmGetAllRawVideoServerNames(path.c_str(), context, names, &count);
    };
    listing.successCode = 1;
    listing.failureCodes = {-1};
    listing.correct = [&] {
        return count == 2 && std::string(names[0].name) == "SGP1" && std::string(context) == "CTX1";
    };
    EXPECT_GT(RunUntilSuccess(listing), 10u);
}

TEST_F(AllocationFailure, SystemListImageSourceNames) {
    const std::string path = writeSystemList();
    NAME64 names[4];
    NAME64I ids[4];
    unsigned int count = 4;
    Operation listing;
    listing.run = [&] {
        count = 4;
        return qmGetAllImageSourceNames(path.c_str(), names, ids, &count);
    };
    listing.successCode = 1;
    listing.failureCodes = {-1};
    listing.correct = [&] { return count == 3 && std::string(names[2].name) == "CAM3" && ids[2].ID == 3; };
    EXPECT_GT(RunUntilSuccess(listing), 10u);
}

}  // namespace
