// Attributes of parts and faces: colours, names, layers.
#pragma once

#include "gBase90/xsequence.h"
#include "gBase90/xstring.h"
#include "gGeometry90/kgeometry.h"

class GRANITE_KGEOMETRY_API KAttribute : public xobject {
  XOBJECT_DECLARE(KAttribute)
 protected:
  KAttribute() = default;
};

class GRANITE_KGEOMETRY_API KColorAttribute : public KAttribute {
  XOBJECT_DECLARE(KColorAttribute)
 public:
  KColorAttribute(double red, double green, double blue);
  void GetColor(xrchandle<KColor>& out) const;

 private:
  xrchandle<KColor> m_color;
};

class GRANITE_KGEOMETRY_API KNameAttribute : public KAttribute {
  XOBJECT_DECLARE(KNameAttribute)
 public:
  explicit KNameAttribute(const xstring& name) : m_name(name) {}
  void GetName(xstring& out) const { out = m_name; }

 private:
  xstring m_name;
};

class GRANITE_KGEOMETRY_API KLayerAttribute : public KAttribute {
  XOBJECT_DECLARE(KLayerAttribute)
 public:
  explicit KLayerAttribute(int layer) : m_layer(layer) {}
  // A named layer; layer is its number (the name's value when it is one).
  KLayerAttribute(int layer, const xstring& name) : m_layer(layer), m_name(name) {}
  int GetLayer() const { return m_layer; }
  // The layer's name; empty for a layer known by number only.
  void GetName(xstring& out) const { out = m_name; }

 private:
  int m_layer;
  xstring m_name;
};

typedef xhandlesequence<KAttribute> KAttributeSequence;

// What GetAttributes takes: the object's own attributes, in the order given.
enum { KATTRIBUTES_OWN = 1 };

// Base of everything that carries attributes.
class GRANITE_KGEOMETRY_API KAttributable {
 public:
  // The attributes of kind KATTRIBUTES_OWN (an empty sequence when there are
  // none); null for any other kind.
  void GetAttributes(int kind, xrchandle<KAttributeSequence>& out) const;
  void AddAttribute(const xrchandle<KAttribute>& attribute);
  int AttributeCount() const;

 protected:
  KAttributable();
  ~KAttributable();

 private:
  xrchandle<KAttributeSequence> m_attributes;
};

// Base of everything that has an extent.
class GRANITE_KGEOMETRY_API KBoundable {
 public:
  // The exact axis-aligned box; null when there is no geometry.
  void GetBoundingBox(xrchandle<KBox3D>& out) const;
  // The exact box of the geometry carried by map; depth bounds the descent
  // through assemblies.
  virtual void Measure(const KAffine& map, KExtent& extent, int depth) const = 0;

 protected:
  ~KBoundable() = default;
};
