// Property characteristics through the listener and the "PROPS" forms, and every fallback of the
// frame-size estimate with its log line.
#include <cstring>
#include <string>

#include "acquisition/grab_fixture.h"
#include "client/single_grab.h"
#include "qmv3/qmv3.h"

namespace {

using qmv3test::CountContaining;
using qmv3test::GrabTest;
using qmv3test::LogCapture;

const char* const kCam = ZANTSIM_DEFAULT_ADDRESS;
constexpr unsigned kFallback = 27262976;

using FrameSizeEstimate = GrabTest;

TEST_F(FrameSizeEstimate, ListenerAnswersGiveTheFrameSizeOfEachProperty) {
    LogCapture log;
    EXPECT_EQ(307200u, qmEstimateMaxFrameSizeBytes(kCam, "Frame"));
    EXPECT_EQ(614400u, qmEstimateMaxFrameSizeBytes(kCam, "Frame16"));
    EXPECT_EQ(921600u, qmEstimateMaxFrameSizeBytes("SIM/CAMSERVER/CAM0/X", "FrameRGB"));
    EXPECT_EQ(307200u, qmEstimateMaxFrameSizeBytes(kCam, nullptr));
    const auto listener = Calls("getPropertyInfoFromListenerEx");
    ASSERT_EQ(4u, listener.size());
    EXPECT_STREQ(kCam, listener[2].address);      // the corrected address is asked
    EXPECT_STREQ("Frame", listener[3].property);  // a null property stands for "Frame"
    EXPECT_TRUE(Calls("alsnExecLink").empty());
    EXPECT_EQ(1u, Calls("SystemStartCycleTimer").size());  // the control system is started once
    EXPECT_EQ(1, CountContaining(log.End(), "was corrected to \"/SIM/CAMSERVER/CAM0\"."));
}

TEST_F(FrameSizeEstimate, PropsAnswersInBothFormsWhenTheListenerFails) {
    zantsim_ScriptPropertyQuery(5, 0, 0);
    EXPECT_EQ(921600u, qmEstimateMaxFrameSizeBytes(kCam, "FrameRGB"));
    const auto props = Calls("alsnExecLink");
    ASSERT_EQ(1u, props.size());
    EXPECT_STREQ("PROPS", props[0].property);
    EXPECT_STREQ("FrameRGB", props[0].input);
    EXPECT_EQ(1u, props[0].arrayLength);
    EXPECT_EQ(CF_STRUCT, props[0].format);
    EXPECT_EQ(CA_READ, props[0].access);
    EXPECT_EQ(500, props[0].rate);

    char text[17];
    std::memset(text, '#', sizeof text);
    int format = 0, count = 0;
    EXPECT_EQ(0, _internal_zantReadPropertyCharacteristics(kCam, "Frame16", &format, &count, text));
    EXPECT_EQ("GRAY 640x480    ", std::string(text, 16));
    EXPECT_EQ('#', text[16]);  // 16 characters and nothing beyond
    EXPECT_EQ(614400, count);

    for (int code : {2, 62}) {
        zantsim_ClearJournal();
        zantsim_ScriptPropertyQuery(5, code, 0);
        zantsim_ScriptPropertyInfo(50000, CF_IMAGE);
        EXPECT_EQ(50000u, qmEstimateMaxFrameSizeBytes(kCam, "Frame"));
        const auto calls = Calls("alsnExecLink");
        ASSERT_EQ(2u, calls.size());
        EXPECT_EQ(68u, calls[1].arrayLength);  // the older form
    }
    zantsim_ScriptPropertyQuery(5, 62, 44);
    EXPECT_EQ(44, _internal_zantReadPropertyCharacteristics(kCam, "Frame", &format, &count, nullptr));
    EXPECT_EQ(0, count);
    zantsim_ScriptPropertyQuery(5, 17, 0);  // only 2 and 62 ask for the older form
    zantsim_ClearJournal();
    EXPECT_EQ(17, _internal_zantReadPropertyCharacteristics(kCam, "Frame", &format, &count, nullptr));
    EXPECT_EQ(1u, Calls("alsnExecLink").size());
}

TEST_F(FrameSizeEstimate, EveryProblemGivesTheFallbackAndOneLine) {
    const std::string head = "qmEstimateMaxFrameSizeBytes(asZantAddress=\"/SIM/CAMSERVER/CAM0\",asZantPropertyName=";
    const std::string tail = "As fallback, maximum frame size set to default (MAX_TRANSPORT_SIZE: 27262976 bytes).";
    const struct {
        const char* address;
        const char* property;
        int listener, props, count, format;  // count -1: not scripted
        std::string message;
    } table[] = {
        {"/C/S", "Frame", 0, 0, -1, 0,
         "(asZantAddress=\"/C/S\",asZantPropertyName=\"Frame\"): Warning: _internal_checkZantAddress failed with "
         "return code -4. " +
             tail},
        {"/CTXSRV", nullptr, 0, 0, -1, 0,
         "asZantPropertyName=\"NULL\"): Warning: _internal_checkZantAddress failed with return code 0. " + tail},
        {kCam, "Fr]", 0, 0, -1, 0,
         head + "\"Fr]\"): Warning: _internal_checkZantPropertyName(...,\"Fr]\", true) failed.As fallback, maximum "
                "frame size set to default (MAX_TRANSPORT_SIZE: 27262976 bytes)."},
        {kCam, "Frame", 5, 7, -1, 0,
         head +
             "\"Frame\"): Warning: _internal_zantReadPropertyCharacteristics(/SIM/CAMSERVER/CAM0,Frame,&int,&int,"
             "NULL) return code(7) != 0. " +
             tail},
        {kCam, nullptr, 0, 0, 1000, 519,
         head +
             "\"NULL\"): Warning: _internal_zantReadPropertyCharacteristics(/SIM/CAMSERVER/CAM0,Frame,"
             "iZantFormat=519,iZantSize=1000,NULL) iZantFormat is not CF_IMAGE (#567). " +
             tail},
        {kCam, "Frame", 0, 0, 0, 567,
         "iZantFormat=567,iZantSize=0,NULL) iZantSize is unexpected (expected [1..100*1024*1024] bytes). " + tail},
        {kCam, "Frame", 0, 0, 104857601, 567, "iZantSize=104857601,NULL) iZantSize is unexpected"},
        {kCam, "Frame", 0, 0, -5, 567, "iZantSize=-5,NULL) iZantSize is unexpected"},
    };
    for (const auto& row : table) {
        zantsim_Reset();
        zantsim_ScriptPropertyQuery(row.listener, row.props, 0);
        if (row.count != -1) zantsim_ScriptPropertyInfo(row.count, row.format);
        LogCapture log;
        EXPECT_EQ(kFallback, qmEstimateMaxFrameSizeBytes(row.address, row.property)) << row.message;
        const auto messages = log.End();
        EXPECT_EQ(1, CountContaining(messages, row.message)) << row.message;
        EXPECT_EQ(1, CountContaining(messages, "qmEstimateMaxFrameSizeBytes(asZantAddress=")) << row.message;
    }
    zantsim_ScriptPropertyInfo(104857600, CF_IMAGE);
    EXPECT_EQ(104857600u, qmEstimateMaxFrameSizeBytes(kCam, "Frame"));
    zantsim_ScriptPropertyInfo(1, CF_IMAGE);
    EXPECT_EQ(1u, qmEstimateMaxFrameSizeBytes(kCam, "Frame"));
    LogCapture log;
    EXPECT_EQ(kFallback, qmEstimateMaxFrameSizeBytes(nullptr, "Frame"));
    EXPECT_TRUE(log.End().empty());
}

TEST_F(FrameSizeEstimate, DevicePropertiesAreListedAsWholeNames) {
    const std::string all = "Frame\nFrame16\nFrameRGB\nFrameJpeg\n";
    const struct {
        const char* address;
        unsigned size;  // bytes offered
        int props;      // scripted failure of the "PROPS" query
        int result, zantCode;
        std::string names;
    } table[] = {
        {kCam, 64, 0, 33, 0, all},
        {"SIM/CAMSERVER/CAM0", 34, 0, 33, 0, all},           // corrected as for a grab
        {kCam, 33, 0, 33, 0, "Frame\nFrame16\nFrameRGB\n"},  // no room for the NUL: the last name goes
        {kCam, 6, 0, 33, 0, ""},
        {kCam, 7, 0, 33, 0, "Frame\n"},
        {kCam, 0, 0, 33, 0, ""},
        {"/SIM/CAMSERVER/NOCAM", 64, 0, QMV3_PROPERTY_LIST_UNKNOWN, 12, ""},
        {kCam, 64, 5, QMV3_PROPERTY_LIST_UNKNOWN, 5, ""},
        {"/C/S", 64, 0, QMV3_PROPERTY_LIST_REFUSED, -99, ""},
        {nullptr, 64, 0, QMV3_PROPERTY_LIST_REFUSED, -99, ""},
    };
    for (const auto& row : table) {
        zantsim_Reset();
        zantsim_ScriptPropertyQuery(0, row.props, 0);
        std::string names(64, '#');
        int code = -99;
        EXPECT_EQ(row.result, qmListDeviceProperties(row.address, row.size == 0 ? nullptr : &names[0], row.size, &code))
            << row.size;
        EXPECT_EQ(row.zantCode, code) << row.size;
        if (row.result < 0) continue;
        if (row.size > 0) {
            EXPECT_EQ(row.names, names.c_str()) << row.size;
        }
        EXPECT_STREQ("", Calls("alsnExecLink").at(0).input);  // no property named
    }
    char buffer[8];
    EXPECT_EQ(QMV3_PROPERTY_LIST_REFUSED, qmListDeviceProperties(kCam, nullptr, sizeof buffer, nullptr));
}

}  // namespace
