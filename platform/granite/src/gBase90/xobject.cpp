#include "gBase90/xobject.h"

#include "gBase90/kservices.h"

namespace {
int g_liveObjects = 0;
}

xobject::xobject() : m_references(0) { ++g_liveObjects; }
xobject::~xobject() { --g_liveObjects; }

void xobject::xrcattach() { ++m_references; }

void xobject::xrcrelease() {
  if (--m_references <= 0) delete this;
}

int gkit::LiveObjects() { return g_liveObjects; }
