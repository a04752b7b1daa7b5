// The frame-grabber types a system list may name, with their codes and the translations between the
// two. The table is constant; the functions keep no state and may be called from any thread.
#ifndef QMV3_SYSLIST_SGP_TYPES_H
#define QMV3_SYSLIST_SGP_TYPES_H

#include <cstdint>

// Codes of the frame-grabber types; 0 marks "none". Other values may occur and translate to the
// unknown-type text.
enum tSGPTYPES : uint32_t {
    SGPTYPE_NONE = 0,
    SGPTYPE_PCVISION = 1,
    SGPTYPE_PROSILICA_GIGE = 2,
    SGPTYPE_NI_IMAQ_PCI = 3,
    SGPTYPE_DIRECTSHOW = 4,
    SGPTYPE_ANIMATION_PLAYBACK = 5,
    SGPTYPE_JAIPULNIX_GIGE = 6,
    SGPTYPE_LABVIEW_TO_QMV3 = 7,
    SGPTYPE_PLEORA_EBUS = 8,
};

struct tSGPTypeRow {
    uint32_t code;
    char name[68];
};

constexpr unsigned kNumSGPTypes = 8;
extern const tSGPTypeRow sgpTypes[kNumSGPTypes];

// The row's name, or "Unknown SGP Type" for a code not in the table.
const char* translateSGPTypeToString(tSGPTYPES code);

// 1 and the row's code when text names a type (without regard to case); 0 for null or unknown text,
// leaving code unchanged.
int translateSGPStringToSGPType(const char* text, tSGPTYPES& code);

#endif
