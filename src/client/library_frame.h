// The frame of every exported call that talks to the control system: the once-per-process start and
// the stop of its client, and the closing of links. The library's log is util/library_log.h.
//
// All state behind these functions is process-wide and unprotected: the library expects one
// application thread.
#ifndef QMV3_CLIENT_LIBRARY_FRAME_H
#define QMV3_CLIENT_LIBRARY_FRAME_H

#include "util/library_log.h"

// Starts the control-system client once per process; problems are logged and otherwise ignored.
void _internal_StartZantIfNotStartedAlready();

// Stops the control-system client if it was started (the unload hook).
void _internal_StopZantIfAlreadyStarted();

// Closes a control-system link, repeating for up to 3 seconds while it fails; returns the last code.
int _internal_ZantCloseLink(int aZantLinkID);

#endif
