// The exported time texts over the platform layer's time functions.
#include "platform/platform.h"
#include "qmv3/qmv3.h"

extern "C" {

QMV3_EXPORT char* QMV3_INTERNAL_getTimeString(char* buffer, int size) { return platformTimeGetLocalText(buffer, size); }

QMV3_EXPORT char* QMV3_INTERNAL_platformTimeToUTCString(int64_t seconds, uint32_t fraction, int microseconds,
                                                        int brackets, int twelveHour, char* buffer, unsigned size) {
    return platformTimeToUTCString(seconds, fraction, microseconds != 0, brackets != 0, twelveHour != 0, buffer, size);
}

}  // extern "C"
