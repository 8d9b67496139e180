// Kernel-wide services.
#pragma once

#include "gBase90/xobject.h"
#include "gBase90/xsequence.h"

// Stops the kernel's client processes; the sequence lists those stopped.
GRANITE_KBASE_API xrchandle<xintsequence> KStopGPIClients();
// Unloads the kernel's auxiliary modules; answers how many were unloaded.
// Also lets go of what the modules keep between calls (the session's models
// read from files), unless the call is made to give nothing.
GRANITE_KBASE_API int KUnloadAuxModules();

// Why the last kernel call of this thread that failed did so, as UTF-8 text
// ("file:line: expected ..."); empty when nothing has failed since the last clear.
GRANITE_KBASE_API const char* KGetLastError();
GRANITE_KBASE_API void KClearLastError();
GRANITE_KBASE_API void KSetLastError(const char* reason);
// Every distinct reason set since the last clear, in order (at most 64): a
// load of many files may fail for several.
GRANITE_KBASE_API int KGetErrorCount();
GRANITE_KBASE_API const char* KGetError(int index);
