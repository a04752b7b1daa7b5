// The libjpeg interface, with the C declarations it expects to be made before it (size_t, FILE).
#ifndef QMV3_IMAGE_JPEG_LIBRARY_H
#define QMV3_IMAGE_JPEG_LIBRARY_H

// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#endif
