#include "gBase90/xobject.h"

#include "gBase90/kdiag.h"
#include "gBase90/kservices.h"

namespace {
int g_liveObjects = 0;
long g_liveReferences = 0;
}  // namespace

xobject::xobject() : m_references(0) {
  ++g_liveObjects;
}

xobject::~xobject() {
  --g_liveObjects;
  g_liveReferences -= m_references;
}

const xrtti* xobject::getClassRtti() {
  static const xrtti rtti = {"xobject", nullptr};
  return &rtti;
}

const xrtti* xobject::getRtti() const {
  return getClassRtti();
}

bool xobject::isKindOf(const xrtti* rtti) const {
  for (const xrtti* r = getRtti(); r; r = r->base)
    if (r == rtti) return true;
  return false;
}

void xobject::xrcattach() {
  ++m_references;
  ++g_liveReferences;
}

void xobject::xrcrelease() {
  --g_liveReferences;
  if (--m_references <= 0) {
    m_references = 0;
    delete this;
  }
}

bool xobject::isRefCountable() const {
  return true;
}

void xobject::xrcuniattach() {
  if (isRefCountable()) xrcattach();
}

void xobject::xrcunirelease() {
  if (isRefCountable()) xrcrelease();
}

int KLiveObjects() {
  return g_liveObjects;
}
long KLiveReferences() {
  return g_liveReferences;
}
int gkit::LiveObjects() {
  return g_liveObjects;
}
