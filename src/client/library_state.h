// Process-wide state of the library frame, one instance per loaded library, without a lock: the library
// expects its exported functions to be called from one application thread.
#ifndef QMV3_CLIENT_LIBRARY_STATE_H
#define QMV3_CLIENT_LIBRARY_STATE_H

#include <cstdio>

// Verbosity: 0 silent, 1 standard error, 2 standard output, 3 log file (the default).
extern int _global_internal_qmVerboseLevel;
// Path of the log file used at verbosity 3.
extern char _g_str_LogFileNamePath[1024];
// Stream used at verbosity 1 and 2; standard error from the load hook on.
extern FILE* _g_fp_LogDest;
// The log file name has been worked out and the log started.
extern bool _global_internal_loggingInitialized;
// The control-system client has been started, and the pipe named by the environment opened (both
// changed only under the start and stop's own mutex, see zant_session.cc).
extern bool _global_internal_bZantStarted;
extern bool _global_internal_bZantPipeOpened;

#endif
