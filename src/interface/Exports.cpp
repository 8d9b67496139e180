#include "granite/GraniteLoader.h"

#include "gBase90/kservices.h"
#include "interface/CurrentParser.h"

CGraniteParser* g_CurrentParser = nullptr;

void ShutdownGranite() {
  KStopGPIClients();  // the list of stopped clients is released unread
  KUnloadAuxModules();
}
