// Loading a system list file into the model: parsing, validation, the add functions, uniqueness and
// reference checks, group expansion and type assignment. A failed load leaves the object empty.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/logging.h"
#include "syslist/sys_list.h"
#include "syslist/xml_file.h"
#include "syslist/xml_validation.h"
#include "syslist/xml_walk.h"

namespace {

constexpr int kNumLoadMessages = 15;

// Index = -code. Texts are relied on by the tools that read the log; keep them byte for byte.
const char* const kLoadMessages[kNumLoadMessages] = {
    "Unknown Error.",
    "Opening up syslist on startup failed.",
    "Syslist file contents could not be validated.",
    "Memory allocation error.",
    "Memory reallocation error.",
    "Invalid syslist. This should have been catched by validation before!",
    "Internal memory structures of syslist corrupted.",
    "At least one (unique) ID or Name exist more than once. This is illegal.",
    "One of the Raw2Jpeg components reference nonexisting SGP Name.",
    "One of the GS2CL components reference nonexisting SGP Name.",
    "One of the SGP components reference nonexisting Image Source Name.",
    "One of the SGP components reference nonexisting Image Source Group Name.",
    "One of the Image Source groups reference nonexisting Image Source Name.",
    "At least one SGP component must exist.",
    "At least one Image Source must exist.",
};

constexpr int kOpenFailed = -1;
constexpr int kNotValid = -2;
constexpr int kStructuresCorrupted = -6;
constexpr int kNameNotUnique = -7;
constexpr int kRaw2JpegReferencesUnknownSGP = -8;
constexpr int kGS2CLReferencesUnknownSGP = -9;
constexpr int kSGPReferencesUnknownImageSource = -10;
constexpr int kSGPReferencesUnknownGroup = -11;
constexpr int kGroupReferencesUnknownImageSource = -12;
constexpr int kNoSGP = -13;
constexpr int kNoImageSource = -14;

const char* childText(TiXmlElement* element, const char* name) {
    TiXmlElement* child = element != nullptr ? element->FirstChildElement(name) : nullptr;
    return child != nullptr ? child->GetText() : nullptr;
}

void logLoadFailure(int code, const char* path, CLogging& log) {
    if (code == kOpenFailed || code == kNotValid) {
        log.Log("[syslist] %s File=\"%s\"", SysListXMLAdvancedErrorString(code), path != nullptr ? path : "(null)");
    } else if (code <= -kNumLoadMessages || code >= 0) {
        log.Log("[syslist] %s (error code = %d)", SysListXMLAdvancedErrorString(0), code);
    } else {
        log.Log("[syslist] %s", SysListXMLAdvancedErrorString(code));
    }
}

// Appends the element's oSGPName entries (or another list child) to a name list.
int appendChildNames(TiXmlElement* element, const char* childName, tNameList& list) {
    return forEachChildElement(element, [&](TiXmlElement* child) {
        return isNamed(child, childName) ? nameListAppend(list, child->GetText()) : 0;
    });
}

template <typename Record>
int appendOrRelease(tTable<Record>& table, Record& record, int code, void (*release)(Record&)) {
    if (code == 0) code = tableAppend(table, record);
    if (code != 0) release(record);
    return code;
}

void releaseGroup(tImageSourceGroupRecord& group) { nameListFree(group.imageSources); }
void releaseSGP(tSGPRecord& sgp) {
    nameListFree(sgp.imageSources);
    nameListFree(sgp.groups);
}
void releaseServer(tServerRecord& server) { nameListFree(server.sgps); }

int addServer(tTable<tServerRecord>& table, TiXmlElement* element) {
    tServerRecord server = {};
    if (element == nullptr || !copyName(server.name, childText(element, "Name"))) return kSysListInvalidContent;
    if (!nameListCreate(server.sgps)) return kSysListAllocationError;
    return appendOrRelease(table, server, appendChildNames(element, "oSGPName", server.sgps), releaseServer);
}

}  // namespace

const char* SysListXMLAdvancedErrorString(int code) {
    if (code <= -kNumLoadMessages || code >= kNumLoadMessages) return kLoadMessages[0];
    return kLoadMessages[code < 0 ? -code : code];
}

CSysList::CSysList()
    : loaded(false), raw2Jpegs(), gs2cls(), imageSources(), sgps(), imageSourceGroups(), name(), context() {}

CSysList::~CSysList() { freeStructs(); }

const char* CSysList::getName() const { return loaded ? name : ""; }

const char* CSysList::getZantContext() const { return loaded ? context : ""; }

void CSysList::ResetContent() {
    document.Clear();
    // Out of memory leaves the document merely empty: no exception may leave the class.
    try {
        document.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
        document.LinkEndChild(new TiXmlElement("QMv3"));
    } catch (const std::bad_alloc&) {
    }
}

void CSysList::freeStructs() {
    for (uint32_t i = 0; i < imageSourceGroups.count; ++i) releaseGroup(imageSourceGroups.records[i]);
    for (uint32_t i = 0; i < sgps.count; ++i) releaseSGP(sgps.records[i]);
    for (uint32_t i = 0; i < gs2cls.count; ++i) releaseServer(gs2cls.records[i]);
    for (uint32_t i = 0; i < raw2Jpegs.count; ++i) releaseServer(raw2Jpegs.records[i]);
    tableFree(imageSourceGroups);
    tableFree(sgps);
    tableFree(gs2cls);
    tableFree(raw2Jpegs);
    tableFree(imageSources);
    memset(name, 0, sizeof name);
    memset(context, 0, sizeof context);
}

bool CSysList::LoadSysList(const char* path, bool logErrors, CLogging& log) {
    if (loaded) {
        loaded = false;
        ResetContent();
    }
    freeStructs();
    int code;
    try {
        code = loadContent(path, logErrors, log);
    } catch (const std::bad_alloc&) {
        code = kSysListAllocationError;
    }
    if (code == 0) {
        loaded = true;
        return true;
    }
    if (logErrors) logLoadFailure(code, path, log);
    ResetContent();
    freeStructs();
    return false;
}

int CSysList::loadContent(const char* path, bool logErrors, CLogging& log) {
    if (path == nullptr) return kOpenFailed;
    std::string refusal;
    if (!LoadXmlFile(document, path, &refusal)) {
        if (logErrors && !refusal.empty()) log.Log("[syslist] File=\"%s\" refused: %s", path, refusal.c_str());
        return kOpenFailed;
    }
    if (!ValidateConfigurationXML_SysList(document, true, log)) return kNotValid;
    TiXmlHandle root = TiXmlHandle(&document).FirstChildElement("QMv3");
    if (!copyName(name, childText(root.ToElement(), "Name"))) return kSysListInvalidContent;
    if (!copyName(context, childText(root.ToElement(), "ZantContext"))) return kSysListInvalidContent;
    TiXmlElement* components = root.FirstChildElement("ComponentList").ToElement();
    if (components == nullptr) return kSysListInvalidContent;
    int code = loadComponents(components);
    if (code == 0) code = checkUniqueNames();
    if (code == 0) code = checkServerReferences();
    if (code == 0) code = expandGroups(logErrors, log);
    if (code == 0) code = assignImageSourcesByType();
    // The groups served only for expansion.
    for (uint32_t i = 0; i < imageSourceGroups.count; ++i) releaseGroup(imageSourceGroups.records[i]);
    tableFree(imageSourceGroups);
    if (code == 0) code = checkSGPReferences();
    return code;
}

int CSysList::loadComponents(TiXmlElement* components) {
    if (!tableCreate(imageSources) || !tableCreate(imageSourceGroups)) return kSysListAllocationError;
    TiXmlElement* sourceList = components->FirstChildElement("ImageSources");
    if (sourceList == nullptr) return kSysListInvalidContent;
    int code = forEachChildElement(sourceList, [this](TiXmlElement* child) {
        if (isNamed(child, "ImageSource")) return addImageSource(child);
        return isNamed(child, "oImageSourceGroup") ? addImageSourceGroup(child) : 0;
    });
    if (code != 0) return code;
    if (imageSources.count == 0) return kNoImageSource;
    if (!tableCreate(sgps)) return kSysListAllocationError;
    code = forEachChildElement(components->FirstChildElement("SGPs"),
                               [this](TiXmlElement* child) { return isNamed(child, "SGP") ? addSGP(child) : 0; });
    if (code != 0) return code;
    if (sgps.count == 0) return kNoSGP;
    if (!tableCreate(gs2cls)) return kSysListAllocationError;
    code = forEachChildElement(components->FirstChildElement("oGS2CLs"),
                               [this](TiXmlElement* child) { return isNamed(child, "GS2CL") ? addGS2CL(child) : 0; });
    if (code != 0) return code;
    if (!tableCreate(raw2Jpegs)) return kSysListAllocationError;
    return forEachChildElement(components->FirstChildElement("oRaw2Jpegs"), [this](TiXmlElement* child) {
        return isNamed(child, "Raw2Jpeg") ? addRaw2Jpeg(child) : 0;
    });
}

int CSysList::addImageSource(TiXmlElement* element) {
    tImageSourceRecord source = {};
    if (!parseNameID(childText(element, "NameID"), &source.name, &source.ID)) return kSysListInvalidContent;
    if (!translateSGPStringToSGPType(childText(element, "SGPType"), source.type)) return kSysListInvalidContent;
    return tableAppend(imageSources, source);
}

int CSysList::addImageSourceGroup(TiXmlElement* element) {
    tImageSourceGroupRecord group = {};
    if (element == nullptr || !copyName(group.name, childText(element, "Name"))) return kSysListInvalidContent;
    if (!nameListCreate(group.imageSources)) return kSysListAllocationError;
    const int code = forEachChildElement(element, [&group](TiXmlElement* child) {
        if (!isNamed(child, "ImageSourceNames")) return 0;
        const char* text = child->GetText();
        // One below the validator's limit: such lists are refused here.
        if (text == nullptr || text[0] == '\0' || strnlen(text, 200) > 199) return kSysListInvalidContent;
        int pieceCode = 0;
        forEachNamePiece(text, [&](const char* piece, size_t length) {
            pieceCode = nameListAppend(group.imageSources, piece, length);
            return pieceCode == 0;
        });
        return pieceCode;
    });
    return appendOrRelease(imageSourceGroups, group, code, releaseGroup);
}

int CSysList::addSGP(TiXmlElement* element) {
    tSGPRecord sgp = {};
    if (element == nullptr || !copyName(sgp.name, childText(element, "Name"))) return kSysListInvalidContent;
    if (!translateSGPStringToSGPType(childText(element, "Type"), sgp.type)) return kSysListInvalidContent;
    if (!nameListCreate(sgp.imageSources) || !nameListCreate(sgp.groups)) {
        releaseSGP(sgp);
        return kSysListAllocationError;
    }
    int code = appendChildNames(element, "oImageSourceName", sgp.imageSources);
    if (code == 0) code = appendChildNames(element, "oImageSourceGroupName", sgp.groups);
    return appendOrRelease(sgps, sgp, code, releaseSGP);
}

int CSysList::addGS2CL(TiXmlElement* element) { return addServer(gs2cls, element); }

int CSysList::addRaw2Jpeg(TiXmlElement* element) { return addServer(raw2Jpegs, element); }

int CSysList::checkUniqueNames() {
    std::vector<const char*> names;
    for (uint32_t i = 0; i < imageSources.count; ++i) names.push_back(imageSources.records[i].name);
    for (uint32_t i = 0; i < imageSourceGroups.count; ++i) names.push_back(imageSourceGroups.records[i].name);
    for (uint32_t i = 0; i < sgps.count; ++i) names.push_back(sgps.records[i].name);
    for (uint32_t i = 0; i < gs2cls.count; ++i) names.push_back(gs2cls.records[i].name);
    for (uint32_t i = 0; i < raw2Jpegs.count; ++i) names.push_back(raw2Jpegs.records[i].name);
    std::sort(names.begin(), names.end(), [](const char* a, const char* b) { return strcasecmp(a, b) < 0; });
    for (size_t i = 1; i < names.size(); ++i) {
        if (strcasecmp(names[i - 1], names[i]) == 0) return kNameNotUnique;
    }
    return 0;
}

int CSysList::checkServerReferences() {
    for (uint32_t i = 0; i < raw2Jpegs.count; ++i) {
        const tNameList& list = raw2Jpegs.records[i].sgps;
        for (uint32_t k = 0; k < list.count; ++k) {
            if (!existSGP(list.names[k])) return kRaw2JpegReferencesUnknownSGP;
        }
    }
    for (uint32_t i = 0; i < gs2cls.count; ++i) {
        const tNameList& list = gs2cls.records[i].sgps;
        for (uint32_t k = 0; k < list.count; ++k) {
            if (!existSGP(list.names[k])) return kGS2CLReferencesUnknownSGP;
        }
    }
    return 0;
}

int CSysList::expandGroups(bool logErrors, CLogging& log) {
    for (uint32_t i = 0; i < sgps.count; ++i) {
        tSGPRecord& sgp = sgps.records[i];
        for (uint32_t g = 0; g < sgp.groups.count; ++g) {
            unsigned int index = 0;
            if (!existImageSourceGroup(sgp.groups.names[g], index)) return kSGPReferencesUnknownGroup;
            const int code = expandGroupIntoSGP(sgp, imageSourceGroups.records[index], logErrors, log);
            if (code != 0) return code;
        }
        nameListFree(sgp.groups);
    }
    return 0;
}

int CSysList::expandGroupIntoSGP(tSGPRecord& sgp, const tImageSourceGroupRecord& group, bool logErrors, CLogging& log) {
    if (group.imageSources.count == 0) return kStructuresCorrupted;
    for (uint32_t k = 0; k < group.imageSources.count; ++k) {
        const char* source = group.imageSources.names[k];
        if (!existImageSource(source)) {
            if (logErrors) {
                log.Log("[syslist] Warning: Imagesourcegroup (\"%s\") contains non-existant image source (\"%s\").",
                        group.name, source);
            }
            return kGroupReferencesUnknownImageSource;
        }
        if (nameListCount(sgp.imageSources, source, false) > 0) {
            if (logErrors) {
                log.Log(
                    "[syslist] Warning: Imagesourcegroup contains image source (\"%s\") that is already bound to "
                    "that SGP (\"%s\").",
                    source, sgp.name);
            }
            continue;
        }
        const int code = nameListAppend(sgp.imageSources, source);
        if (code != 0) return code;
    }
    return 0;
}

int CSysList::assignImageSourcesByType() {
    for (uint32_t i = 0; i < sgps.count; ++i) {
        tSGPRecord& sgp = sgps.records[i];
        if (sgp.imageSources.count != 0) continue;
        for (uint32_t k = 0; k < imageSources.count; ++k) {
            if (imageSources.records[k].type != sgp.type) continue;
            const int code = nameListAppend(sgp.imageSources, imageSources.records[k].name);
            if (code != 0) return code;
        }
    }
    return 0;
}

int CSysList::checkSGPReferences() {
    for (uint32_t i = 0; i < sgps.count; ++i) {
        const tNameList& list = sgps.records[i].imageSources;
        for (uint32_t k = 0; k < list.count; ++k) {
            if (!existImageSource(list.names[k])) return kSGPReferencesUnknownImageSource;
        }
    }
    return 0;
}
