// Whether an image passes the validity rules (with the reason logged and given back), whether a set of
// images forms a sequence, and the header dump that explains a refusal in the log.
//
// Everything here works only on its arguments (apart from logging) and may run on any thread.
#ifndef QMV3_IMAGE_IMAGE_CHECKS_H
#define QMV3_IMAGE_IMAGE_CHECKS_H

#include <string>

#include "qmv3/qmv3.h"

// 1 valid, 0 null image, -1 invalid; for 0 and -1 the reason is logged and stored in errorText.
int _internal_internal_qmCheckImageValidity(const DIMAGE* apImg, std::string& errorText);

// True exactly when the image passes the validity rules.
bool _internal_qmCheckImageValidity(const DIMAGE& image);

// Whether two valid images belong to one sequence: 1, or minus the position of the first field that
// differs (-1 cameraPortId ... -15 imageRotation).
int _internal_qmcompareTwoValidImagesINT(const DIMAGE& first, const DIMAGE& second);
bool _internal_qmcompareTwoValidImages(const DIMAGE& first, const DIMAGE& second);

// Strictly within 0.00001 of each other; a NaN is never within.
bool _internal_qmisApproximately(float value, float reference);

// Writes the header of one image line by line to the library's log.
void _internal_LOG_dumpImageHeader(const DIMAGE& image);

#endif
