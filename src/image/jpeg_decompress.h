// The JPEG decoder of frames delivered compressed. Works only on its arguments; any thread.
#ifndef QMV3_IMAGE_JPEG_DECOMPRESS_H
#define QMV3_IMAGE_JPEG_DECOMPRESS_H

// Decodes jpegSize bytes of JPEG data into out, rows packed back to back. Fails (false) on corrupt or
// unsupported data (only grey or three-component colour) and when the decoded image does not fit in
// outCapacity; then width, height and format are unchanged. On success format is 0 (GRAY, 1 byte per
// pixel) or 1 (RGB, 3 bytes per pixel) and exactly width * height * (1 or 3) bytes have been written.
bool _internal_DecompressJPEG(const void* jpegData, int jpegSize, void* out, unsigned int outCapacity, int& width,
                              int& height, int& format);

#endif
