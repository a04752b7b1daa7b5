// The warning of "check" and "report" for pixel values above an image's effective bits.
#include "value_warning.h"

namespace qmv3tool {

std::string ValuesAboveEffectiveBits(const DIMAGE& image) {
    unsigned first = 0;
    const int count = qmCountValuesAboveEffectiveBits(&image, &first);
    if (count <= 0) return "";
    return std::to_string(count) + (count == 1 ? " value" : " values") + " above its " +
           std::to_string(image.frameHeader.effectiveBitsPerPixel) + " effective bits, the first " +
           std::to_string(first);
}

}  // namespace qmv3tool
