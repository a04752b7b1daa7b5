// Decoded JPEG rows into a packed buffer in memory; see jpeg_memory_destination.h.
#include "image/jpeg_memory_destination.h"

struct JpegMemoryDestination {
    unsigned char* out;
    size_t capacity;
    size_t rowWidth;  // output width times output components
    size_t nextRow;
};

JpegMemoryDestination* _internal_jpegMemoryDestination(j_decompress_ptr cinfo, unsigned char* out, size_t capacity) {
    auto* destination = static_cast<JpegMemoryDestination*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, sizeof(JpegMemoryDestination)));
    destination->out = out;
    destination->capacity = capacity;
    destination->rowWidth = static_cast<size_t>(cinfo->output_width) * static_cast<size_t>(cinfo->output_components);
    destination->nextRow = 0;
    return destination;
}

bool _internal_jpegWriteNextRow(j_decompress_ptr cinfo, JpegMemoryDestination* destination) {
    const size_t offset = destination->nextRow * destination->rowWidth;
    if (destination->rowWidth == 0 || offset > destination->capacity ||
        destination->capacity - offset < destination->rowWidth) {
        return false;
    }
    JSAMPROW row = destination->out + offset;
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    ++destination->nextRow;
    return true;
}

size_t _internal_jpegBytesWritten(const JpegMemoryDestination* destination) {
    return destination->nextRow * destination->rowWidth;
}
