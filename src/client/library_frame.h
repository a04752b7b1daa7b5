// The frame of every exported call: the library's log, its detail level, and the once-per-process
// start and the stop of the control-system client.
//
// All state behind these functions is process-wide and unprotected: the library expects one
// application thread. _internal_LOG may also run on the control system's delivery thread; the log
// file is opened and closed per line, so lines are not lost, but they may interleave.
#ifndef QMV3_CLIENT_LIBRARY_FRAME_H
#define QMV3_CLIENT_LIBRARY_FRAME_H

#include <cstdio>

// Writes one stamped line to the destination chosen by the verbosity (nothing at verbosity 0).
// Errors and warnings are written always; call traces only when _internal_getLogLevel() > 1.
void _internal_LOG(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log level from ORSEL_CLIENTLIB_LOGLEVEL, read once per process: 1 (default) or 2.
int _internal_getLogLevel();

// Works out the log file name (when composeFileName is true) and, at verbosity 3, writes the start lines.
void _internal_LOG_initialize(bool composeFileName);

// Writes the library information line to a stream (null: standard error) behind a prefix (null: empty).
void _internal_LOG_printLibraryInfo(FILE* stream, const char* prefix);

// Starts the control-system client once per process; problems are logged and otherwise ignored.
void _internal_StartZantIfNotStartedAlready();

// Stops the control-system client if it was started (the unload hook).
void _internal_StopZantIfAlreadyStarted();

// Closes a control-system link, repeating for up to 3 seconds while it fails; returns the last code.
int _internal_ZantCloseLink(int aZantLinkID);

#endif
