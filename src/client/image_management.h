// Internal interface of image and sequence management, shared by the grab, file and conversion code:
// creation of images; the validity checks, the sequence comparison, the header dump and the JPEG decoder
// live in the image layer and are included here for the callers of this header.
//
// Everything here works only on its arguments (apart from logging) and may run on any thread.
#ifndef QMV3_CLIENT_IMAGE_MANAGEMENT_H
#define QMV3_CLIENT_IMAGE_MANAGEMENT_H

#include "image/image_checks.h"
#include "image/jpeg_decompress.h"
#include "qmv3/qmv3.h"

// A new record with a malloc frame buffer of the given size (>= 1); the header is not initialised.
// Null on a size below 1 or on allocation failure (logged). Release it with qmFreeImage.
DIMAGE* qmInitializeImageEx(int aiFrameBufferSizeBytes);

#endif
