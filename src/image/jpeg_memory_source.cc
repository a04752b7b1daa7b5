// The library's own libjpeg data source over a block in memory; see jpeg_memory_source.h.
#include "image/jpeg_memory_source.h"

namespace {

struct MemorySource {
    jpeg_source_mgr pub;  // first member: libjpeg sees only this part
    const unsigned char* data;
    size_t size;
};

// Two bytes that end any stream: a decoder that runs out of data sees the end-of-image marker.
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

// The whole block is handed to the decoder at once.
void initSource(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    source->pub.next_input_byte = source->data;
    source->pub.bytes_in_buffer = source->size;
}

// Called only when the block is used up: an empty block was never anything, a used one was cut short.
boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    if (source->size == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    source->pub.next_input_byte = kEndOfImage;
    source->pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<MemorySource*>(cinfo->src);
    if (count <= 0) return;
    if (static_cast<unsigned long>(count) > source->pub.bytes_in_buffer) {
        // Skipping past the end is the end of the data; the marker supplied is not skipped.
        source->pub.bytes_in_buffer = 0;
        fillInputBuffer(cinfo);
        return;
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

}  // namespace

void _internal_jpegMemorySource(j_decompress_ptr cinfo, const unsigned char* data, size_t size) {
    auto* source = static_cast<MemorySource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(MemorySource)));
    source->pub.init_source = initSource;
    source->pub.fill_input_buffer = fillInputBuffer;
    source->pub.skip_input_data = skipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = termSource;
    source->data = data;
    source->size = size;
    source->pub.next_input_byte = nullptr;
    source->pub.bytes_in_buffer = 0;
    cinfo->src = &source->pub;
}
