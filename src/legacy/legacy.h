// Internal interface of the older video data: the loaders with cancel flag and progress that the
// sequence loader uses, the savers behind the exported ones, the code texts for its messages, and
// the helpers of the BMP export and the frame reductions.
//
// No function keeps state.
#ifndef QMV3_LEGACY_LEGACY_H
#define QMV3_LEGACY_LEGACY_H

#include <string>

#include "qmv3/qmv3.h"

// Loaders. cancel: the value 1 stops the load with -9 (may be null); progress: receives the share
// done, rising to progressScale at the end (may be null). The caller's record must be empty. With
// headersOnly the pixels are passed over by their sizes (IMC/BKC: by the stored stream length, never
// inflated): every framebits entry stays null and the load memory limit is not consulted, but the
// frames' sizes and the file's length are checked as in a full load.
int _internal_load_imm_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                            bool headersOnly = false);
int _internal_load_bkg_file(const char* path, VIDINFHDR* rec, double* progress, double progressScale,
                            bool headersOnly = false);
int _internal_load_imc_bkc_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                                int type, bool headersOnly = false);
int _internal_load_imc_file(const char* path, VIDINFHDR* rec, int* cancel, double* progress, double progressScale,
                            bool headersOnly = false);

// Assigns the text of a load code to text and returns a copy of it.
std::string internal_load_imm_bkg_imc_file_return_code_to_string(int code, std::string& text);

// Savers with cancel flag and progress (both may be null); they return the save codes.
int save_imm_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
int save_imc_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress);
int save_bkc_file_internal(const char* path, VIDINFHDR* rec, int* cancel, double* progress);

// Reduce a multi-frame record to one frame (average or per-pixel maximum): 0, -5 or -6.
int downscale_average_function(VIDINFHDR* rec);
int downscale_envelope_function(VIDINFHDR* rec);

// BMP export helpers.
int vkl_internal_write_bmp_file(const char* name, unsigned width, unsigned height, void* pixels, int palette);
// Copies the rows of an 8-bit frame bottom-up into destination, each row zero-padded to 4 bytes;
// destination holds ((width * 8 + 31) / 32) * 4 * height bytes.
void vkl_internal_flipframe_with_adjustment(unsigned char* destination, const unsigned char* source, unsigned width,
                                            unsigned height, int bitsPerPixel);

#endif
