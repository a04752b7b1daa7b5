// Checks, and where possible corrections, of the two texts that name a data source of the control
// system: the device address (/CONTEXT/SERVER/DEVICE) and the property name. The grab functions run
// both before they touch the control system and pass on only the corrected address.
#ifndef QMV3_CLIENT_ADDRESS_CHECKS_H
#define QMV3_CLIENT_ADDRESS_CHECKS_H

// Size of the buffer every caller passes for the corrected address.
constexpr int kZantAddressBufferSize = 133;

// Checks `asZantAddress` and writes the corrected address into `output` (at least 133 bytes).
// Returns 1 valid, 0 malformed (output empty), -4 wrong length (output untouched), -5 invalid arguments.
// `functionName` names the caller in the messages, which are written only when `logErrors` is true.
int _internal_checkZantAddress(const char* functionName, const char* asZantAddress, char* output, int outputSize,
                               bool logErrors);

// True when `asZantPropertyName` is a valid property name (1 to 63 characters, no '/', '[' or ']').
bool _internal_checkZantPropertyName(const char* functionName, const char* asZantPropertyName, bool logErrors);

#endif
