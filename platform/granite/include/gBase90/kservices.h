// Kernel-wide services.
#pragma once

#include "gBase90/xobject.h"
#include "gBase90/xsequence.h"

// Stops the kernel's client processes; the sequence lists those stopped.
GRANITE_VISIBLE xrchandle<xintsequence> KStopGPIClients();
// Unloads the kernel's auxiliary modules; answers how many were unloaded.
GRANITE_VISIBLE int KUnloadAuxModules();

// What tests observe of the kernel.
namespace gkit {
GRANITE_VISIBLE int StopGPIClientsCalls();
GRANITE_VISIBLE int UnloadAuxModulesCalls();
GRANITE_VISIBLE int LiveObjects();
}  // namespace gkit
