// The output module of the JPEG decoder: decoded scanlines go row after row, packed, into a caller
// buffer of fixed capacity. Rows are decoded straight into that buffer, so no pixel is copied twice,
// and a row that would not fit entirely is never written.
#ifndef QMV3_IMAGE_JPEG_MEMORY_DESTINATION_H
#define QMV3_IMAGE_JPEG_MEMORY_DESTINATION_H

#include <cstddef>
#include <cstdio>

#include "image/jpeg_library.h"

struct JpegMemoryDestination;

// Attaches the module to a decompressor after jpeg_start_decompress (the output geometry is known
// then). The module lives in the decompressor's image pool and goes with it.
JpegMemoryDestination* _internal_jpegMemoryDestination(j_decompress_ptr cinfo, unsigned char* out, size_t capacity);

// Decodes the next scanline into its place. False when the row would not fit in the capacity or the
// decoder delivered no row; nothing is written then.
bool _internal_jpegWriteNextRow(j_decompress_ptr cinfo, JpegMemoryDestination* destination);

// Bytes written so far (rows written times the row width).
size_t _internal_jpegBytesWritten(const JpegMemoryDestination* destination);

#endif
