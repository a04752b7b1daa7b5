// Internal interface of the single-frame grab and the frame-size estimate: the query of a property's
// characteristics, shared with the multi-frame grab, and the parameter log of qmGrabFrame.
#ifndef QMV3_CLIENT_SINGLE_GRAB_H
#define QMV3_CLIENT_SINGLE_GRAB_H

#include "qmv3/qmv3.h"
#include "zant.h"

// Largest element count that the frame-size estimate accepts from the control system.
constexpr int kMaxPropertyElementCount = 100 * 1024 * 1024;

// Time limit of each query of a device's stock property "PROPS".
constexpr int kPropsTimeoutMilliseconds = 500;

// Asks the control system for the element count and format of a property: the local listener first,
// then the device's "PROPS" property (current answer form, then the older one after codes 2 and 62).
// Returns 0 with format and count filled, or the last completion code with count 0. `text`, when not
// null, receives the description: 16 characters, space-padded, without a terminating NUL (not from
// the older form).
int _internal_zantReadPropertyCharacteristics(const char* address, const char* property, int* format, int* count,
                                              char* text);

// Logs the arguments of qmGrabFrame behind a prefix (null: empty).
void _internal_qmGrabFrame_LogParameters(const char* prefix, const DIMAGE* apInOutImage, const DTYPE* apDOut,
                                         const char* asZantAddress, const char* asZantPropertyName,
                                         int aiZantTimeoutMilliseconds, int aiZantMode,
                                         const int* apiOutZantReturnCode);

#endif
