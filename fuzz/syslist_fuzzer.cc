// Fuzzes the system list: the validator on the parsed document, the load of the same bytes as a file,
// the queries on what loaded, and the exported name-listing calls with rooms of every small size.
#include <cstdlib>
#include <vector>

#include "fuzz_support.h"
#include "platform/logging.h"
#include "qmv3/qmv3.h"
#include "syslist/sys_list.h"
#include "syslist/xml_validation.h"
#include "util/xml_bounds.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

CLogging& silentLog() {
    static CLogging* log = [] {
        CLogging* made = new CLogging();
        made->InitializeLogging(nullptr, false, nullptr);
        made->SetLogDestinations(false, false, false, false);
        return made;
    }();
    return *log;
}

void queryLoadedList(CSysList& list, unsigned room) {
    unsigned int sources = 0, sgps = 0, gs2cls = 0, raw2Jpegs = 0;
    require(list.returnNumImageSources(sources) && list.returnNumSGPs(sgps));
    require(list.returnNumGS2CLs(gs2cls) && list.returnNumRaw2Jpegs(raw2Jpegs));
    std::vector<NAME64> names(room + 1);
    std::vector<NAME64> scratch(room + 1);
    std::vector<NAME64I> ids(room + 1);
    unsigned int n = room;
    list.returnImageSources(ids.data(), n);
    n = room;
    list.returnSGPs(names.data(), n);
    require(n <= room);
    // Every SGP name that came back is asked about, with the first image source as partner.
    unsigned int listed = n;
    for (unsigned int i = 0; i < listed && i < 4; ++i) {
        char sgp[65];
        std::memcpy(sgp, names[i].name, 64);
        sgp[64] = '\0';
        unsigned int count = 0;
        list.returnNumImageSourcesAvailableAtSGP(sgp, count);
        unsigned int inner = room;
        list.returnImageSourcesAvailableAtSGP(sgp, ids.data(), inner);
        inner = room;
        list.returnGS2CLsPossibleForSGP(sgp, scratch.data(), inner);
        inner = room;
        list.returnLayersPossibleForSGP(sgp, scratch.data(), inner);
        tSGPTYPES type;
        list.returnSGPType(sgp, type);
        int reason = 0;
        list.isComponentAAllowedAtB(sgp, sgp, reason);
        if (sources > 0) {
            char source[65];
            unsigned int one = 1;
            NAME64 first;
            if (list.returnImageSources(&first, one) && one == 1) {
                std::memcpy(source, first.name, 64);
                source[64] = '\0';
                list.isComponentAAllowedAtB(source, sgp, reason);
                unsigned int may = room;
                list.returnSGPsWhereTheImageSourceMayBeAvailableAt(source, scratch.data(), may);
            }
        }
    }
}

void fuzzExportedCalls(const std::string& path, unsigned room) {
    std::vector<NAME64> names(room + 1);
    std::vector<NAME64I> ids(room + 1);
    char context[64];
    unsigned int count = room;
    qmGetAllRawVideoServerNames(path.c_str(), context, names.data(), &count);
    count = room;
    qmGetAllImageSourceNames(path.c_str(), names.data(), ids.data(), &count);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qmv3fuzz::QuietLibrary();
    silentLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Long enough for nesting and attribute counts far beyond the bounds the reader enforces.
    if (size > 1000000) return 0;
    std::string text = qmv3fuzz::AsText(data, size);
    unsigned room = size > 0 ? data[size - 1] % 9 : 0;
    {
        // Padded as the library's own file reader pads (the parser may step past the terminating zero).
        // Only what the file reader lets through reaches the parser, as in the library.
        if (xml_bounds::Refusal(text.data(), text.size()).empty()) {
            text.append(16, '\0');
            TiXmlDocument document;
            document.Parse(text.c_str());
            if (!document.Error()) ValidateConfigurationXML_SysList(document, true, silentLog());
        }
    }
    std::string path = qmv3fuzz::WriteScratchFile("syslist.xml", data, size);
    CSysList list;
    if (list.LoadSysList(path.c_str(), true, silentLog())) {
        queryLoadedList(list, room);
        // A second load into the same object replaces the first.
        require(list.LoadSysList(path.c_str(), false, silentLog()));
        if (room == 1) fuzzExportedCalls(path, room);
    } else {
        unsigned int n = 0;
        require(!list.returnNumSGPs(n));
    }
    return 0;
}
