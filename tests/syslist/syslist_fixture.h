// Builders of system list documents for the tests, and a loader that writes them to a file and
// captures what the load writes to standard error.
#ifndef QMV3_TESTS_SYSLIST_SYSLIST_FIXTURE_H
#define QMV3_TESTS_SYSLIST_SYSLIST_FIXTURE_H

#include <unistd.h>

#include <string>

#include "common/temp_dir.h"
#include "platform/logging.h"
#include "syslist/sys_list.h"

namespace syslisttest {

inline std::string Element(const std::string& name, const std::string& text) {
    return "<" + name + ">" + text + "</" + name + ">";
}

inline std::string Source(const std::string& nameID, const std::string& type) {
    return Element("ImageSource", Element("NameID", nameID) + Element("SGPType", type));
}

inline std::string Group(const std::string& name, const std::string& names) {
    return Element("oImageSourceGroup", Element("Name", name) + Element("ImageSourceNames", names));
}

// An SGP with extra children (oImageSourceName, oImageSourceGroupName elements).
inline std::string Sgp(const std::string& name, const std::string& type, const std::string& children = "") {
    return Element("SGP", Element("Name", name) + Element("Type", type) + children);
}

// A GS2CL or Raw2Jpeg with oSGPName children for the ":"-separated names.
inline std::string Server(const std::string& kind, const std::string& name, const std::string& sgpNames = "") {
    std::string children = Element("Name", name);
    size_t start = 0;
    while (start < sgpNames.size()) {
        size_t end = sgpNames.find(':', start);
        if (end == std::string::npos) end = sgpNames.size();
        children += Element("oSGPName", sgpNames.substr(start, end - start));
        start = end + 1;
    }
    return Element(kind, children);
}

inline std::string Components(const std::string& sources, const std::string& sgps, const std::string& gs2cls = "",
                              const std::string& raw2Jpegs = "") {
    std::string text = Element("ImageSources", sources) + Element("SGPs", sgps);
    if (!gs2cls.empty()) text += Element("oGS2CLs", gs2cls);
    if (!raw2Jpegs.empty()) text += Element("oRaw2Jpegs", raw2Jpegs);
    return text;
}

inline std::string Document(const std::string& components, const std::string& name = "Plant",
                            const std::string& context = "CTX1") {
    return "<?xml version=\"1.0\"?>\n" + Element("QMv3", Element("Name", name) + Element("ZantContext", context) +
                                                             Element("ComponentList", components));
}

// A CLogging that writes to standard error only.
struct StderrLog {
    StderrLog() { log.InitializeLogging(nullptr, true, nullptr); }
    CLogging log;
};

// Writes xml to a file of its own folder and loads it into list; err receives standard error.
struct LoadResult {
    bool loaded;
    std::string err;
    std::string path;
};

inline LoadResult LoadText(CSysList& list, const qmv3test::TempDir& dir, const std::string& xml,
                           bool logErrors = true) {
    static int serial = 0;
    LoadResult result;
    result.path = dir.file("syslist" + std::to_string(++serial) + ".xml");
    qmv3test::WriteFileBytes(result.path, std::vector<unsigned char>(xml.begin(), xml.end()));
    StderrLog log;
    qmv3test::StreamCapture capture(STDERR_FILENO);
    result.loaded = list.LoadSysList(result.path.c_str(), logErrors, log.log);
    result.err = capture.End();
    return result;
}

// The message of a stamped log line as it must appear in the captured text.
inline std::string Line(const std::string& message) { return "] " + message + "\n"; }

}  // namespace syslisttest

#endif
