// Internal interface of image and sequence management, shared by the grab, file and conversion code:
// creation of images, validity checks, the sequence comparison, the header dump and the JPEG decoder.
//
// Everything here works only on its arguments (apart from logging) and may run on any thread.
#ifndef QMV3_CLIENT_IMAGE_MANAGEMENT_H
#define QMV3_CLIENT_IMAGE_MANAGEMENT_H

#include <string>

#include "qmv3/qmv3.h"

// A new record with a malloc frame buffer of the given size (>= 1); the header is not initialised.
// Null on a size below 1 or on allocation failure (logged). Release it with qmFreeImage.
DIMAGE* qmInitializeImageEx(int aiFrameBufferSizeBytes);

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

// Decodes jpegSize bytes of JPEG data into out, rows packed back to back. Fails (false) on corrupt or
// unsupported data (only grey or three-component colour) and when the decoded image does not fit in
// outCapacity; then width, height and format are unchanged. On success format is 0 (GRAY, 1 byte per
// pixel) or 1 (RGB, 3 bytes per pixel) and exactly width * height * (1 or 3) bytes have been written.
bool _internal_DecompressJPEG(const void* jpegData, int jpegSize, void* out, unsigned int outCapacity, int& width,
                              int& height, int& format);

// Decodes the JPEG image `in` into `out` (capacity bytes) for callers that keep their own buffers.
// `needed` gets the decoded size (0 when the record's geometry is unusable). On QMV3_DECOMPRESS_DONE,
// `decoded` is in's header describing the decoded frame, with frameBuffer = out and frameBufferSize =
// needed; QMV3_DECOMPRESS_BUFFER_TOO_SMALL writes nothing. Never allocates beyond libjpeg's own pools.
int _internal_DecompressImageInto(const DIMAGE& in, unsigned char* out, uint32_t capacity, DIMAGE& decoded,
                                  uint32_t& needed);

#endif
