// Kernel-wide services.
#pragma once

#include "gBase90/xobject.h"
#include "gBase90/xsequence.h"

// Stops the kernel's client processes; the sequence lists those stopped.
GRANITE_VISIBLE xrchandle<xintsequence> KStopGPIClients();
// Unloads the kernel's auxiliary modules; answers how many were unloaded.
// Also lets go of what the modules keep between calls (the session's models
// read from files), unless the call is made to give nothing.
GRANITE_VISIBLE int KUnloadAuxModules();

// Why the last kernel call of this thread that failed did so, as UTF-8 text
// ("file:line: expected ..."); empty when nothing has failed since the last clear.
GRANITE_VISIBLE const char* KGetLastError();
GRANITE_VISIBLE void KClearLastError();
GRANITE_VISIBLE void KSetLastError(const char* reason);
// Every distinct reason set since the last clear, in order (at most 64): a
// load of many files may fail for several.
GRANITE_VISIBLE int KGetErrorCount();
GRANITE_VISIBLE const char* KGetError(int index);
