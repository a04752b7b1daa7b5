// Tolerance comparison, inclusive range test and clamped position scaling between two coordinate ranges.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "util/numeric.h"

// The preconditions of performScaling guard programming errors of the caller; they stay checked in every
// build, because a violated one would otherwise turn into an undefined integer conversion.
#define QMV3_SCALING_REQUIRE(condition, text, signature) \
    ((condition) ? static_cast<void>(0) : ScalingPreconditionFailed(text, __LINE__, signature))

namespace {

// Reports like a failed assertion of the module and stops the process.
[[noreturn]] void ScalingPreconditionFailed(const char* text, int line, const char* signature) {
    std::fprintf(stderr, "usefulfunctions:%d: %s: Assertion `%s' failed.\n", line, signature, text);
    std::fflush(stderr);
    std::abort();
}

const char kFourArgumentSignature[] = "int performScaling(int, double, int, int)";
const char kThreeArgumentSignature[] = "int performScaling(int, int, int)";

}  // namespace

bool isApproximately(float a, float b, float tolerance) {
    const float margin = std::fabs(tolerance);
    return b - margin < a && a < b + margin;
}

bool isApproximately(double a, double b, double tolerance) {
    const double margin = std::fabs(tolerance);
    return b - margin < a && a < b + margin;
}

bool uf_valueInRange(int value, int min, int max) { return min <= value && value <= max; }

int performScaling(int aiSrcPos, double adScale, int aiDestMaxPos, int aiDestMinPos) {
    QMV3_SCALING_REQUIRE(adScale > 0.0, "adScale>0.0", kFourArgumentSignature);
    QMV3_SCALING_REQUIRE(isApproximately(adScale, 0.0, 0.00001) == false,
                         "isApproximately(adScale, 0.0, 0.00001)==false", kFourArgumentSignature);
    QMV3_SCALING_REQUIRE(aiDestMaxPos > 0, "aiDestMaxPos>0", kFourArgumentSignature);
    QMV3_SCALING_REQUIRE(aiDestMinPos >= 0, "aiDestMinPos>=0", kFourArgumentSignature);
    QMV3_SCALING_REQUIRE(aiSrcPos >= 0, "aiSrcPos>=0", kFourArgumentSignature);
    // Rounded half up and compared in double, so a scaled position beyond the int range cannot wrap; a NaN
    // (infinite scale of position 0) fails the overshoot check.
    const double scaled = std::floor(aiSrcPos * adScale + 0.5);
    if (!(scaled <= aiDestMaxPos)) {
        const double allowedOvershoot = adScale > 1 ? std::trunc(adScale) + 1 : 2;
        QMV3_SCALING_REQUIRE(scaled - aiDestMaxPos < allowedOvershoot,
                             "(reti-aiDestMaxPos)<((adScale>1)?(((int)adScale)+1):2)", kFourArgumentSignature);
        return aiDestMaxPos;
    }
    const int reti = static_cast<int>(scaled);
    if (reti < aiDestMinPos) {
        QMV3_SCALING_REQUIRE(aiDestMinPos - reti < 2, "(aiDestMinPos-reti)<2", kFourArgumentSignature);
        return aiDestMinPos;
    }
    return reti;
}

int performScaling(int aiSrcPos, int aiSrcMaxPos, int aiDestMaxPos) {
    QMV3_SCALING_REQUIRE(aiSrcMaxPos > 0, "aiSrcMaxPos>0", kThreeArgumentSignature);
    return performScaling(aiSrcPos, static_cast<double>(aiDestMaxPos) / aiSrcMaxPos, aiDestMaxPos, 0);
}
