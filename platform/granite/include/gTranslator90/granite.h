// Everything the loader uses of the Granite kernel.
#pragma once

#include "gBase90/kservices.h"
#include "gBase90/xobject.h"
#include "gBase90/xsequence.h"
#include "gBase90/xstring.h"
#include "gBase90/xthrowable.h"
#include "gGeometry90/kattribute.h"
#include "gGeometry90/kgeometry.h"
#include "gGeometry90/kmodel.h"
#include "gGeometry90/ksession.h"
#include "gGeometry90/ktriangulator.h"
#include "gTranslator90/ktranslator.h"
