// The library's log: its detail level, its destination (chosen by the verbosity) and the start lines.
// Every subsystem from the image layer up writes through _internal_LOG.
//
// All state behind these functions is process-wide and unprotected: the library expects one
// application thread. _internal_LOG may also run on the control system's delivery thread; the log
// file is opened and closed per line, so lines are not lost, but they may interleave.
#ifndef QMV3_UTIL_LIBRARY_LOG_H
#define QMV3_UTIL_LIBRARY_LOG_H

#include <cstdio>

// Verbosity: 0 silent, 1 standard error, 2 standard output, 3 log file (the default).
extern int _global_internal_qmVerboseLevel;
// Path of the log file used at verbosity 3.
extern char _g_str_LogFileNamePath[1024];
// Stream used at verbosity 1 and 2; standard error from the load hook on.
extern FILE* _g_fp_LogDest;
// The log file name has been worked out and the log started.
extern bool _global_internal_loggingInitialized;

// Writes one stamped line to the destination chosen by the verbosity (nothing at verbosity 0).
// Errors and warnings are written always; call traces only when _internal_getLogLevel() > 1.
void _internal_LOG(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log level from ORSEL_CLIENTLIB_LOGLEVEL, read once per process: 1 (default) or 2.
int _internal_getLogLevel();

// Works out the log file name (when composeFileName is true) and, at verbosity 3, writes the start lines.
void _internal_LOG_initialize(bool composeFileName);

// Writes the library information line to a stream (null: standard error) behind a prefix (null: empty).
void _internal_LOG_printLibraryInfo(FILE* stream, const char* prefix);

#endif
