// The names of a device's properties, from the device's stock property "PROPS" queried without a
// property name. Used to suggest the right name after a grab of an unknown property failed.
#include <cstdint>
#include <cstring>
#include <vector>

#include "client/address_checks.h"
#include "client/library_frame.h"
#include "client/single_grab.h"
#include "qmv3/qmv3.h"
#include "util/c_boundary.h"
#include "zant.h"

namespace {

constexpr int kBufferTooSmall = 23;  // the control system's code for an output too small
// Room for the answer: grows after "buffer too small" up to a limit no real device needs.
constexpr uint32_t kFirstAnswerSize = 4096;
constexpr uint32_t kLargestAnswerSize = 1u << 20;

int QueryNames(const char* address, std::vector<char>& answer) {
    for (uint32_t size = kFirstAnswerSize;; size *= 2) {
        answer.assign(size, '\0');
        DTYPE request{};
        request.dFormat = CF_TEXT;
        DTYPE out{};
        out.dFormat = CF_TEXT;
        out.dArrayLength = size;
        out.data = answer.data();
        const int cc = alsnExecLink(address, "PROPS", &out, &request, CA_READ, kPropsTimeoutMilliseconds);
        if (cc != kBufferTooSmall || size >= kLargestAnswerSize) return cc;
    }
}

}  // namespace

extern "C" {

QMV3_EXPORT int qmListDeviceProperties(const char* asZantAddress, char* asOutNames, unsigned int auiNamesSize,
                                       int* apiOutZantReturnCode) {
    return qmv3::Guarded<int>(QMV3_PROPERTY_LIST_UNKNOWN, QMV3_PROPERTY_LIST_UNKNOWN, [&]() -> int {
        if (asZantAddress == nullptr || (asOutNames == nullptr && auiNamesSize > 0)) return QMV3_PROPERTY_LIST_REFUSED;
        char address[kZantAddressBufferSize] = {};
        if (_internal_checkZantAddress("qmListDeviceProperties", asZantAddress, address, sizeof address, true) != 1)
            return QMV3_PROPERTY_LIST_REFUSED;
        _internal_StartZantIfNotStartedAlready();
        std::vector<char> answer;
        const int cc = QueryNames(address, answer);
        if (apiOutZantReturnCode != nullptr) *apiOutZantReturnCode = cc;
        if (cc != 0) return QMV3_PROPERTY_LIST_UNKNOWN;
        // Only what the control system wrote, even if it left out the terminating NUL.
        const size_t length = strnlen(answer.data(), answer.size());
        if (auiNamesSize > 0) {
            size_t kept = 0;  // whole names only
            for (size_t end = 0; end < length; ++end)
                if (answer[end] == '\n' && end + 1 < auiNamesSize) kept = end + 1;
            std::memcpy(asOutNames, answer.data(), kept);
            asOutNames[kept] = '\0';
        }
        return length > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(length);
    });
}

}  // extern "C"
