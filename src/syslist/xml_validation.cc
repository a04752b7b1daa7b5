// Structural validation of a parsed system list.
#include "syslist/xml_validation.h"

#include <cstdio>
#include <cstring>

#include "platform/logging.h"
#include "syslist/name_rules.h"
#include "syslist/sgp_types.h"
#include "syslist/xml_walk.h"

namespace {

constexpr int kNumValidationMessages = 38;

// Index = -code. Texts are relied on by the tools that read the log; keep them byte for byte.
const char* const kValidationMessages[kNumValidationMessages] = {
    "Unknown Error.",
    "Main Tag 'QMv3' missing.",
    "Tag QMv3>/<Name> missing or malformed valid:String[len=1..64].",
    "Tag <QMv3>/<Components> not found.",
    "Tag <QMv3>/<ComponentList>/<ImageSources> not found.",
    "<ImageSources>/<ImageSource> #%03d: Illegal ImageSource node.",
    "<ImageSources>/<ImageSource> #%03d /NameID was found multiple times.",
    "<ImageSources>/<ImageSource> #%03d /SGPType was found multiple times.",
    "<ImageSources>/<ImageSource> #%03d /NameID is malformed or invalid (valid: Name=ID, Name String[len=1..64], "
    "no ':', ID 0..99999999).",
    "<ImageSources>/<ImageSource> #%03d /SGPType is malformed or invalid (valid: special strings[len<=32]), e.g. "
    "PCVision, ProsilicaGigE, ...",
    "<ImageSources>/<ImageSource> #%03d /NameID was not found.",
    "<ImageSources>/<ImageSource> #%03d /SGPType was not found.",
    "<ImageSources>/<oImageSourceGroup> #%03d: Illegal oImageSourceGroup node.",
    "<ImageSources>/<oImageSourceGroup> #%03d /<Name> is missing or invalid (valid:String[len=1..64]).",
    "<ImageSources>/<oImageSourceGroup> #%03d /<ImageSourceNames> is missing or invalid (valid:String[len=1..200]).",
    "<ImageSources>/<oImageSourceGroup> #%03d /<ImageSourceNames>/<ImageSourceName> One of the single names is "
    "invalid (valid:String[1..64], no ':', no '=').",
    "<ImageSources>/<oImageSourceGroup> #%03d /<ImageSourceNames>/<ImageSourceName> must contain at least one image "
    "source name.",
    "<QMv3>/<SGPs>/<SGP> not found a single time. This is invalid. One or more tags like this must exist.",
    "<SGPs>/<SGP> #%03d Illegal SGP node.",
    "<SGPs>/<SGP> #%03d one of the oImageSourceGroupName subtags is malformed (valid:String[1..64], no ':', no '=').",
    "<SGPs>/<SGP> #%03d one of the oImageSourceName subtags is malformed (valid:String[1..64], no ':', no '=').",
    "<SGPs>/<SGP> #%03d Name node malformed (valid:String[1..64], no ':', no '=').",
    "<SGPs>/<SGP> #%03d Name node found multiple times.",
    "<SGPs>/<SGP> #%03d Type node malformed/invalid (valid: special strings[len<=32]), e.g. PCVision, "
    "ProsilicaGigE, ...).",
    "<SGPs>/<SGP> #%03d Type node found multiple times.",
    "<SGPs>/<SGP> #%03d Name node not found.",
    "<SGPs>/<SGP> #%03d Type node not found.",
    "<oGS2CLs>/<GS2CL> #%03d Illegal GS2CLnode",
    "<oGS2CLs>/<GS2CL> #%03d one of the oSGPName subtags is malformed. ",
    "<oGS2CLs>/<GS2CL> #%03d Name node malformed (valid:String[1..64], no ':', no '=').",
    "<oGS2CLs>/<GS2CL> #%03d Name node not found.",
    "<oGS2CLs>/<GS2CL> #%03d Name node found multiple times.",
    "<oRaw2Jpegs>/<Raw2Jpeg> #%03d Illegal Raw2Jpeg node",
    "<oRaw2Jpegs>/<Raw2Jpeg> #%03d one of the oSGPName subtags malformed (valid:String[1..64], no ':', no '=').",
    "<oRaw2Jpegs>/<Raw2Jpeg> #%03d Name node malformed (valid:String[1..64], no ':', no '=').",
    "<oRaw2Jpegs>/<Raw2Jpeg> #%03d Name node not found.",
    "<oRaw2Jpegs>/<Raw2Jpeg> #%03d Name node found multiple times.",
    "Mandatory tag <QMv3>/<ZantContext> missing or malformed (valid:String[len=1..32]).",
};

const char* elementText(TiXmlNode* node) {
    TiXmlElement* element = node != nullptr ? node->ToElement() : nullptr;
    return element != nullptr ? element->GetText() : nullptr;
}

bool textLengthInRange(const char* text, size_t minimum, size_t maximum) {
    if (text == nullptr) return false;
    const size_t length = strnlen(text, maximum + 1);
    return length >= minimum && length <= maximum;
}

// A server's element check: Name once and following the name rule, every oSGPName following it.
// codes: {null element, bad oSGPName, bad Name, no Name, second Name}.
struct tServerCodes {
    int nullElement, badSGPName, badName, noName, secondName;
};

int checkServer(TiXmlElement* element, const tServerCodes& codes) {
    if (element == nullptr) return codes.nullElement;
    int names = 0;
    const int code = forEachChildElement(element, [&](TiXmlElement* child) {
        if (isNamed(child, "oSGPName")) return checkNameNode(child) ? 0 : codes.badSGPName;
        if (!isNamed(child, "Name")) return 0;
        if (++names > 1) return codes.secondName;
        return checkNameNode(child) ? 0 : codes.badName;
    });
    if (code != 0) return code;
    return names == 0 ? codes.noName : 0;
}

// Checks every element child of container with the given name; number receives the failing
// element's number (counting from 1 among the checked elements).
int checkEachNamed(TiXmlNode* container, const char* name, int (*check)(TiXmlElement*), int& number) {
    number = 0;
    return forEachChildElement(container, [&](TiXmlElement* child) {
        if (!isNamed(child, name)) return 0;
        ++number;
        return check(child);
    });
}

int validateImageSources(TiXmlElement* imageSources, int& number) {
    int sourceNumber = 0;
    int groupNumber = 0;
    return forEachChildElement(imageSources, [&](TiXmlElement* child) {
        if (isNamed(child, "ImageSource")) {
            number = ++sourceNumber;
            return checkImageSource(child);
        }
        if (isNamed(child, "oImageSourceGroup")) {
            number = ++groupNumber;
            return checkImageSourceGroup(child);
        }
        return 0;
    });
}

// 0 or the negative code of the first violation; number is the failing element's number.
int validateDocument(TiXmlDocument& doc, int& number) {
    number = 0;
    TiXmlHandle root = TiXmlHandle(&doc).FirstChildElement("QMv3");
    if (root.ToElement() == nullptr) return -1;
    if (!textLengthInRange(elementText(root.FirstChildElement("Name").ToElement()), 1, 64)) return -2;
    if (!textLengthInRange(elementText(root.FirstChildElement("ZantContext").ToElement()), 1, 32)) return -37;
    TiXmlHandle components = root.FirstChildElement("ComponentList");
    if (components.ToElement() == nullptr) return -3;
    TiXmlElement* imageSources = components.FirstChildElement("ImageSources").ToElement();
    if (imageSources == nullptr) return -4;
    int code = validateImageSources(imageSources, number);
    if (code != 0) return code;
    TiXmlElement* sgps = components.FirstChildElement("SGPs").ToElement();
    if (sgps == nullptr || sgps->FirstChildElement("SGP") == nullptr) return -17;
    if ((code = checkEachNamed(sgps, "SGP", checkSGP, number)) != 0) return code;
    TiXmlElement* gs2cls = components.FirstChildElement("oGS2CLs").ToElement();
    if (gs2cls != nullptr && (code = checkEachNamed(gs2cls, "GS2CL", checkGS2CL, number)) != 0) return code;
    TiXmlElement* raw2Jpegs = components.FirstChildElement("oRaw2Jpegs").ToElement();
    if (raw2Jpegs != nullptr && (code = checkEachNamed(raw2Jpegs, "Raw2Jpeg", checkRaw2Jpeg, number)) != 0) {
        return code;
    }
    return 0;
}

}  // namespace

void formatValidationMessage(int code, int number, char* out, size_t size) {
    if (code >= 0 || code <= -kNumValidationMessages) {
        snprintf(out, size, "%s (error code = %d)", kValidationMessages[0], code);
        return;
    }
    const char* text = kValidationMessages[-code];
    if (strstr(text, "%03d") != nullptr) {
        snprintf(out, size, text, number);
    } else {
        snprintf(out, size, "%s", text);
    }
}

int checkNameNode(TiXmlNode* node) { return checkName(elementText(node)) ? 1 : 0; }

int checkNameIDNode(TiXmlNode* node) { return parseNameID(elementText(node), nullptr, nullptr) ? 1 : 0; }

int checkSGPTypeNode(TiXmlNode* node) {
    tSGPTYPES type = SGPTYPE_NONE;
    return translateSGPStringToSGPType(elementText(node), type);
}

int checkImageSource(TiXmlElement* element) {
    if (element == nullptr) return -5;
    int nameIDs = 0;
    int types = 0;
    const int code = forEachChildElement(element, [&](TiXmlElement* child) {
        if (isNamed(child, "NameID")) {
            if (++nameIDs > 1) return -6;
            return checkNameIDNode(child) ? 0 : -8;
        }
        if (isNamed(child, "SGPType")) {
            if (++types > 1) return -7;
            return checkSGPTypeNode(child) ? 0 : -9;
        }
        return 0;
    });
    if (code != 0) return code;
    if (nameIDs == 0) return -10;
    return types == 0 ? -11 : 0;
}

int checkImageSourceGroup(TiXmlElement* element) {
    if (element == nullptr) return -12;
    int names = 0;
    int lists = 0;
    const int code = forEachChildElement(element, [&](TiXmlElement* child) {
        if (isNamed(child, "Name")) {
            ++names;
            return textLengthInRange(child->GetText(), 1, 64) ? 0 : -13;
        }
        if (!isNamed(child, "ImageSourceNames")) return 0;
        ++lists;
        const char* text = child->GetText();
        if (!textLengthInRange(text, 1, 200)) return -14;
        return forEachNamePiece(text, checkNamePiece) ? 0 : -15;
    });
    if (code != 0) return code;
    if (names != 1) return -13;
    return lists == 0 ? -16 : 0;
}

int checkSGP(TiXmlElement* element) {
    if (element == nullptr) return -18;
    int names = 0;
    int types = 0;
    const int code = forEachChildElement(element, [&](TiXmlElement* child) {
        if (isNamed(child, "oImageSourceGroupName")) return checkNameNode(child) ? 0 : -19;
        if (isNamed(child, "oImageSourceName")) return checkNameNode(child) ? 0 : -20;
        if (isNamed(child, "Name")) {
            if (++names > 1) return -22;
            return checkNameNode(child) ? 0 : -21;
        }
        if (isNamed(child, "Type")) {
            if (++types > 1) return -24;
            return checkSGPTypeNode(child) ? 0 : -23;
        }
        return 0;
    });
    if (code != 0) return code;
    if (names == 0) return -25;
    return types == 0 ? -26 : 0;
}

int checkGS2CL(TiXmlElement* element) { return checkServer(element, {-27, -28, -29, -30, -31}); }

int checkRaw2Jpeg(TiXmlElement* element) { return checkServer(element, {-32, -33, -34, -35, -36}); }

int ValidateConfigurationXML_SysList(TiXmlDocument& doc, bool logErrors, CLogging& log) {
    int number = 0;
    const int code = validateDocument(doc, number);
    if (code == 0) return 1;
    if (logErrors) {
        char message[512];
        formatValidationMessage(code, number, message, sizeof message);
        log.Log("%s", message);
    }
    return 0;
}
