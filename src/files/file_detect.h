// Detectors that decide from a file's content (never its name) whether it is an IMM, BKG, IMC/BKC or
// IMC2/BKC2 file. Each reads the header, checks its values and checks that the file size agrees exactly
// with the structure the header announces. On false the reason goes into errorText (when it is not null
// and errorTextSize >= 2). No state; any thread.
#ifndef QMV3_FILES_FILE_DETECT_H
#define QMV3_FILES_FILE_DETECT_H

#include <cstddef>

bool _internal_is_file_imm(const char* asFilePath, char* errorText, size_t errorTextSize);
bool _internal_is_file_bkg(const char* asFilePath, char* errorText, size_t errorTextSize);
bool _internal_is_file_imc_bkc(const char* asFilePath, char* errorText, size_t errorTextSize);
bool _internal_is_file_imc2_bkc2(const char* asFilePath, char* errorText, size_t errorTextSize);

#endif
