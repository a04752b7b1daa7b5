// The warning of "check" and "report" for pixel values above an image's effective bits, which the
// validity rules do not look at.
#ifndef QMV3_TOOL_VALUE_WARNING_H
#define QMV3_TOOL_VALUE_WARNING_H

#include <string>

#include "qmv3/qmv3.h"

namespace qmv3tool {

// "3 values above its 12 effective bits, the first 5000"; empty when the image holds none (or the library
// cannot tell, as for a JPEG frame).
std::string ValuesAboveEffectiveBits(const DIMAGE& image);

}  // namespace qmv3tool

#endif
