// The characteristics of a control-system property (element count and format) and, from them, the
// largest frame a property can deliver, so that receive buffers can be sized. Runs on the caller's
// thread; each query blocks for up to 500 ms per attempt.
#include <cstdint>
#include <cstring>

#include "client/address_checks.h"
#include "client/library_frame.h"
#include "client/single_grab.h"
#include "util/c_boundary.h"

namespace {

constexpr size_t kCurrentAnswerSize = 400;  // the current answer needs at least 393 bytes
constexpr size_t kOlderAnswerSize = 68;
// The description is a fixed-width field of 16 characters, handed over as it is (not NUL-terminated).
constexpr size_t kCharacteristicsTextSize = 16;

// One "PROPS" query with the answer in the current (tagged) or the older form.
int QueryProps(const char* address, const char* property, bool currentForm, unsigned char* answer) {
    DTYPE request{};
    request.dArrayLength = static_cast<uint32_t>(std::strlen(property));
    request.dFormat = CF_TEXT;
    request.data = const_cast<char*>(property);
    DTYPE out{};
    out.dFormat = CF_STRUCT;
    out.data = answer;
    if (currentForm) {
        out.dArrayLength = 1;
        std::memcpy(out.dTag, "PRPQSr4", 8);
    } else {
        out.dArrayLength = kOlderAnswerSize;
    }
    return alsnExecLink(address, "PROPS", &out, &request, CA_READ, kPropsTimeoutMilliseconds);
}

}  // namespace

int _internal_zantReadPropertyCharacteristics(const char* address, const char* property, int* format, int* count,
                                              char* text) {
    int unusedFormat = 0, unusedCount = 0;
    if (format == nullptr) format = &unusedFormat;
    if (count == nullptr) count = &unusedCount;
    if (getPropertyInfoFromListenerEx(address, property, count, format, text) == 0) return 0;

    unsigned char answer[kCurrentAnswerSize] = {};
    int cc = QueryProps(address, property, true, answer);
    if (cc == 0) {
        int32_t elements = 0;
        std::memcpy(&elements, answer + 376, sizeof elements);
        *count = elements;
        *format = answer[392] + 512;
        if (text != nullptr) std::memcpy(text, answer + 320, kCharacteristicsTextSize);
        return 0;
    }
    if (cc == 2 || cc == 62) {
        std::memset(answer, 0, sizeof answer);
        cc = QueryProps(address, property, false, answer);
        if (cc == 0) {
            uint16_t elements = 0;
            std::memcpy(&elements, answer + 64, sizeof elements);
            *count = elements;
            *format = answer[66] + 512;
            return 0;
        }
    }
    *count = 0;
    return cc;
}

extern "C" {

QMV3_EXPORT unsigned int qmEstimateMaxFrameSizeBytes(const char* asZantAddress, const char* asZantPropertyName) {
    return qmv3::Guarded<unsigned int>(QMV3_MAX_TRANSPORT_SIZE, QMV3_MAX_TRANSPORT_SIZE, [&]() -> unsigned int {
        const int fallback = QMV3_MAX_TRANSPORT_SIZE;
        if (asZantAddress == nullptr) return fallback;
        const char* name = asZantPropertyName != nullptr ? asZantPropertyName : "Frame";
        const char* shown = asZantPropertyName != nullptr ? asZantPropertyName : "NULL";
        char address[kZantAddressBufferSize] = {};
        const int checked =
            _internal_checkZantAddress("qmEstimateMaxFrameSizeBytes", asZantAddress, address, sizeof address, true);
        if (checked != 1) {
            _internal_LOG(
                "qmEstimateMaxFrameSizeBytes(asZantAddress=\"%s\",asZantPropertyName=\"%s\"): Warning: "
                "_internal_checkZantAddress failed with return code %d. As fallback, maximum frame size set to default "
                "(MAX_TRANSPORT_SIZE: %d bytes).",
                asZantAddress, shown, checked, fallback);
            return fallback;
        }
        if (!_internal_checkZantPropertyName("qmEstimateMaxFrameSizeBytes", name, true)) {
            _internal_LOG(
                "qmEstimateMaxFrameSizeBytes(asZantAddress=\"%s\",asZantPropertyName=\"%s\"): Warning: "
                "_internal_checkZantPropertyName(...,\"%s\", true) failed.As fallback, maximum frame size set to "
                "default "
                "(MAX_TRANSPORT_SIZE: %d bytes).",
                asZantAddress, shown, name, fallback);
            return fallback;
        }
        _internal_StartZantIfNotStartedAlready();
        int format = CF_DEFAULT, count = 0;
        const int cc = _internal_zantReadPropertyCharacteristics(address, name, &format, &count, nullptr);
        if (cc != 0) {
            _internal_LOG(
                "qmEstimateMaxFrameSizeBytes(asZantAddress=\"%s\",asZantPropertyName=\"%s\"): Warning: "
                "_internal_zantReadPropertyCharacteristics(%s,%s,&int,&int,NULL) return code(%d) != 0. As fallback, "
                "maximum frame size set to default (MAX_TRANSPORT_SIZE: %d bytes).",
                asZantAddress, shown, address, name, cc, fallback);
            return fallback;
        }
        if (format != CF_IMAGE) {
            _internal_LOG(
                "qmEstimateMaxFrameSizeBytes(asZantAddress=\"%s\",asZantPropertyName=\"%s\"): Warning: "
                "_internal_zantReadPropertyCharacteristics(%s,%s,iZantFormat=%d,iZantSize=%d,NULL) iZantFormat is not "
                "CF_IMAGE (#%d). As fallback, maximum frame size set to default (MAX_TRANSPORT_SIZE: %d bytes).",
                asZantAddress, shown, address, name, format, count, CF_IMAGE, fallback);
            return fallback;
        }
        if (count >= 1 && count <= kMaxPropertyElementCount) return static_cast<unsigned int>(count);
        _internal_LOG(
            "qmEstimateMaxFrameSizeBytes(asZantAddress=\"%s\",asZantPropertyName=\"%s\"): Warning: "
            "_internal_zantReadPropertyCharacteristics(%s,%s,iZantFormat=%d,iZantSize=%d,NULL) iZantSize is unexpected "
            "(expected [1..100*1024*1024] bytes). As fallback, maximum frame size set to default (MAX_TRANSPORT_SIZE: "
            "%d "
            "bytes).",
            asZantAddress, shown, address, name, CF_IMAGE, count, fallback);
        return fallback;
    });
}

}  // extern "C"
