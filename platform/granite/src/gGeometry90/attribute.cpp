#include "gBase90/kcall.h"
#include "gGeometry90/kattribute.h"

XOBJECT_DEFINE(KAttribute, xobject)
XOBJECT_DEFINE(KColorAttribute, KAttribute)
XOBJECT_DEFINE(KNameAttribute, KAttribute)
XOBJECT_DEFINE(KLayerAttribute, KAttribute)

KColorAttribute::KColorAttribute(double red, double green, double blue)
    : m_color(new KColor(red, green, blue)) {}

void KColorAttribute::GetColor(xrchandle<KColor>& out) const {
  out = KEnter(KCall::GetColor) ? xrchandle<KColor>() : m_color;
}

KAttributable::KAttributable() : m_attributes(new KAttributeSequence) {}
KAttributable::~KAttributable() = default;

void KAttributable::GetAttributes(int kind, xrchandle<KAttributeSequence>& out) const {
  if (KEnter(KCall::GetAttributes) || kind != KATTRIBUTES_OWN) {
    out.reset();
    return;
  }
  out = m_attributes;
}

void KAttributable::AddAttribute(const xrchandle<KAttribute>& attribute) {
  m_attributes->Add(attribute);
}

int KAttributable::AttributeCount() const {
  return m_attributes->GetCount();
}

void KBoundable::GetBoundingBox(xrchandle<KBox3D>& out) const {
  out.reset();
  if (KEnter(KCall::GetBoundingBox)) return;
  KExtent extent;
  Measure(KAffine(), extent, 0);
  if (!extent.IsEmpty()) out = new KBox3D(extent.lo, extent.hi);
}
