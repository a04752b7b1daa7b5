// A libjpeg data source over one block of compressed bytes in memory. The source keeps no copy: the
// block must stay alive and unchanged until the decompressor is destroyed.
#ifndef QMV3_IMAGE_JPEG_MEMORY_SOURCE_H
#define QMV3_IMAGE_JPEG_MEMORY_SOURCE_H

#include <cstddef>
#include <cstdio>

#include "image/jpeg_library.h"

// Installs the source on a created decompressor. The source object lives in the decompressor's
// permanent pool and goes with it. An empty block makes the first read a fatal decoder error; reading
// past the end gives the decoder's warning and an end-of-image marker, so decoding ends with what was
// read.
void _internal_jpegMemorySource(j_decompress_ptr cinfo, const unsigned char* data, size_t size);

#endif
