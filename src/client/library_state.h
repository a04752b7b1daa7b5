// Process-wide state of the library frame, one instance per loaded library, without a lock: the library
// expects its exported functions to be called from one application thread. The log's state is declared
// in util/library_log.h.
#ifndef QMV3_CLIENT_LIBRARY_STATE_H
#define QMV3_CLIENT_LIBRARY_STATE_H

#include "util/library_log.h"

// The control-system client has been started, and the pipe named by the environment opened (both
// changed only under the start and stop's own mutex, see zant_session.cc).
extern bool _global_internal_bZantStarted;
extern bool _global_internal_bZantPipeOpened;

#endif
