// The frame-grabber type table and its translations.
#include "syslist/sgp_types.h"

#include <strings.h>

const tSGPTypeRow sgpTypes[kNumSGPTypes] = {
    {SGPTYPE_PCVISION, "PCVision"},
    {SGPTYPE_PROSILICA_GIGE, "ProsilicaGigE"},
    {SGPTYPE_NI_IMAQ_PCI, "NI_IMAQ_PCI"},
    {SGPTYPE_DIRECTSHOW, "DirectShow"},
    {SGPTYPE_ANIMATION_PLAYBACK, "AnimationPlayback"},
    {SGPTYPE_JAIPULNIX_GIGE, "JaiPulnixGigE"},
    {SGPTYPE_LABVIEW_TO_QMV3, "LabVIEWToQMv3"},
    {SGPTYPE_PLEORA_EBUS, "pleora-ebus"},
};

const char* translateSGPTypeToString(tSGPTYPES code) {
    for (const tSGPTypeRow& row : sgpTypes) {
        if (row.code == code) return row.name;
    }
    return "Unknown SGP Type";
}

int translateSGPStringToSGPType(const char* text, tSGPTYPES& code) {
    if (text == nullptr) return 0;
    for (const tSGPTypeRow& row : sgpTypes) {
        if (strcasecmp(text, row.name) == 0) {
            code = static_cast<tSGPTYPES>(row.code);
            return 1;
        }
    }
    return 0;
}
