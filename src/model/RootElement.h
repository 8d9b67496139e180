// The root element of a load.
#pragma once

#include "granite/CBasicString.h"

class CGraniteElement;

// A new root element (file type 1) with its group in the world and in the
// element list; null when none could be made.
CGraniteElement* CreateRootElement(CBasicString fileName, CBasicString displayName);
