// Data calls of the stand-in. Until the simulated video servers exist, every data call answers
// "not implemented" (24), which the library treats as any other failure of the control system.
#include "zant.h"

namespace {
constexpr int kNotImplemented = 24;
}

extern "C" {

int getPropertyInfoFromListenerEx(const char*, const char*, int*, int*, char*) { return kNotImplemented; }
int alsnExecLink(const char*, const char*, DTYPE*, DTYPE*, short, int) { return kNotImplemented; }
int alsnExecLinkEx(const char*, const char*, DTYPE*, DTYPE*, short, int, int*) { return kNotImplemented; }
int AttachLinkEx2(const char*, const char*, DTYPE*, DTYPE*, short, int, ZANT_CALLBACK, int, int, void*) {
    return -kNotImplemented;
}
int SetSubscriptionRenewalThreshold(int, int) { return kNotImplemented; }
int GetDataFromCallbackId(int, DTYPE*, short*) { return kNotImplemented; }
int CloseLink(int) { return kNotImplemented; }

}  // extern "C"
