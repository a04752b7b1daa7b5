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

// Decodes the JPEG image `in` into `out` (capacity bytes) for callers that keep their own buffers.
// `needed` gets the decoded size (0 when the record's geometry is unusable). On QMV3_DECOMPRESS_DONE,
// `decoded` is in's header describing the decoded frame, with frameBuffer = out and frameBufferSize =
// needed; QMV3_DECOMPRESS_BUFFER_TOO_SMALL writes nothing. Never allocates beyond libjpeg's own pools.
int _internal_DecompressImageInto(const DIMAGE& in, unsigned char* out, uint32_t capacity, DIMAGE& decoded,
                                  uint32_t& needed);

#endif
