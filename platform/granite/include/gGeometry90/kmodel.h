// Models: assemblies of components, part models of bodies and faces.
#pragma once

#include <string>
#include <vector>

#include "gBase90/xsequence.h"
#include "gBase90/xstring.h"
#include "gGeometry90/kattribute.h"
#include "gGeometry90/kgeometry.h"

class KComponent;
class KBody;
class KFaceGeometry;
class KFace;
class KGeometryItem;
typedef xhandlesequence<KComponent> KComponentSequence;
typedef xhandlesequence<KGeometryItem> KGeometryItemSequence;
typedef xhandlesequence<KFace> KFaceSet;

// Units codes of GetUnits.
enum {
  KUNITS_INCH = 0,
  KUNITS_FOOT = 1,
  KUNITS_MILLIMETER = 2,
  KUNITS_METER = 3,
  KUNITS_CENTIMETER = 4,
  KUNITS_KILOMETER = 5,
  KUNITS_MICROMETER = 6,
};

// An assembly or a part model.
class GRANITE_VISIBLE KModel : public xobject, public virtual KBoundable {
  XOBJECT_DECLARE(KModel)
 public:
  // The exact box of everything the model holds; null when it holds no geometry.
  // A shared model measures itself once and keeps the box.
  void GetModelBox(xrchandle<KBox3D>& out) const;
  // The units code, 0..6 (KUNITS_...), as the model was written.
  int GetUnits() const;
  // Throws an xthrowable on a shared model.
  void SetUnits(int code);

  // Marks the model as shared by everyone who opens its file (the session's
  // cache of models read): from then on it must not change, and a change
  // through the setters of KModel and KPartModel throws. Not undone.
  void MarkShared() { m_shared = true; }
  bool IsShared() const { return m_shared; }

 protected:
  KModel() = default;
  // Throws when the model is shared; what names the change refused.
  void CheckChangeable(const char* what) const;

 private:
  int m_units = KUNITS_MILLIMETER;
  bool m_shared = false;
  mutable bool m_boxKnown = false;
  mutable KExtent m_box;
};

class GRANITE_VISIBLE KAssembly : public KModel {
  XOBJECT_DECLARE(KAssembly)
 public:
  KAssembly();
  void GetComponents(xrchandle<KComponentSequence>& out) const;
  void AddComponent(const xrchandle<KComponent>& component);
  void Measure(const KAffine& map, KExtent& extent, int depth) const override;
  const KComponentSequence& Components() const { return *m_components; }

 private:
  xrchandle<KComponentSequence> m_components;
};

// One occurrence of a model inside an assembly.
class GRANITE_VISIBLE KComponent : public xobject {
  XOBJECT_DECLARE(KComponent)
 public:
  // placement and definition may be null.
  KComponent(const xstring& fileName, const xstring& configName,
             const xrchandle<KMatrix3D>& placement, const xrchandle<KModel>& definition);
  // The file name as the assembly wrote it; empty when there is none.
  void GetReferencedFileName(xstring& out) const;
  // The configuration name; empty when there is none.
  void GetConfigName(xstring& out) const;
  // The placement in the assembly; null when none was given (identity).
  void GetPlacement(xrchandle<KMatrix3D>& out) const;
  // The model placed. A component read from a native assembly file loads its
  // file on first demand, looking beside the assembly (see docs/native-format.md).
  void GetDefinition(xrchandle<KModel>& out) const;

  // Where a native assembly's component looks for its file (UTF-8 directory).
  void SetSearchDirectory(const std::string& directory) { m_directory = directory; }
  // Drops the definition, which breaks a reference cycle built in memory.
  void ClearDefinition() { m_definition.reset(); }
  const xstring& FileName() const { return m_fileName; }
  const xrchandle<KMatrix3D>& Placement() const { return m_placement; }
  // The definition without counting a kernel call; loads the file of a native
  // component on first demand unless loads are rationed and none is left.
  xrchandle<KModel> Definition(int* loadsLeft = nullptr) const;

 private:
  xstring m_fileName, m_configName;
  xrchandle<KMatrix3D> m_placement;
  mutable xrchandle<KModel> m_definition;
  std::string m_directory;
  mutable bool m_loadTried = false;
};

class GRANITE_VISIBLE KPartModel : public KModel, public virtual KAttributable {
  XOBJECT_DECLARE(KPartModel)
 public:
  KPartModel();
  void GetPrimaryBody(xrchandle<KBody>& out) const;
  void GetGeometryItems(xrchandle<KGeometryItemSequence>& out) const;
  // The three below throw an xthrowable on a shared model (see MarkShared).
  void SetPrimaryBody(const xrchandle<KBody>& body);
  void AddItem(const xrchandle<KGeometryItem>& item);
  // Geometry outside any body (loose edges and points of a translated part):
  // measured with the part, never meshed.
  void AddLooseGeometry(const xrchandle<KFaceGeometry>& geometry);
  void Measure(const KAffine& map, KExtent& extent, int depth) const override;
  const xrchandle<KBody>& PrimaryBody() const { return m_primary; }
  const KGeometryItemSequence& Items() const { return *m_items; }

 private:
  xrchandle<KBody> m_primary;
  xrchandle<KGeometryItemSequence> m_items;
  std::vector<xrchandle<KFaceGeometry>> m_loose;
};

class GRANITE_VISIBLE KGeometryItem : public xobject {
  XOBJECT_DECLARE(KGeometryItem)
 public:
  explicit KGeometryItem(const xrchandle<KBody>& body) : m_body(body) {}
  void GetBody(xrchandle<KBody>& out) const;
  const xrchandle<KBody>& Body() const { return m_body; }

 private:
  xrchandle<KBody> m_body;
};

class GRANITE_VISIBLE KBody : public xobject,
                              public virtual KBoundable,
                              public virtual KAttributable {
  XOBJECT_DECLARE(KBody)
 public:
  KBody();
  void GetFaces(xrchandle<KFaceSet>& out) const;
  void AddFace(const xrchandle<KFace>& face);
  int FaceCount() const;
  const KFaceSet& Faces() const { return *m_faces; }
  void Measure(const KAffine& map, KExtent& extent, int depth) const override;

 private:
  xrchandle<KFaceSet> m_faces;
};

// The surface a face lies on, and the patch of it the face covers. Analytic
// surfaces live in a local frame (a rigid placement); their parameters are:
//   Disc      plane z = 0, radius r0 (inner, may be 0) .. r1 (outer), angle u0 .. u1
//   Cylinder  radius r0, angle u0 .. u1, height v0 .. v1
//   Cone      radius r0 at height v0 and r1 at height v1, angle u0 .. u1
//   Sphere    radius r0, longitude u0 .. u1, latitude v0 .. v1 (within -pi/2 .. pi/2)
//   Torus     major radius r0, minor radius r1, angle u0 .. u1 about the axis,
//             angle v0 .. v1 about the tube
// Angles are radians. Polygon (a planar loop, counter-clockwise seen from
// outside) and Triangles (three points each, counter-clockwise) hold points
// in part coordinates. An analytic face faces away from its axis or centre
// (a disc along +z) unless reversed.
enum class KSurfaceKind { Polygon, Triangles, Disc, Cylinder, Cone, Sphere, Torus };

struct KSurface {
  KSurfaceKind kind = KSurfaceKind::Polygon;
  KAffine frame;
  bool reversed = false;
  double r0 = 0, r1 = 0, u0 = 0, u1 = 0, v0 = 0, v1 = 0;
  std::vector<KVec3> points;
};

// The geometry of a face that lives outside the kernel's own surfaces: faces
// translated from exchange files, measured and meshed by the module that read
// them.
class GRANITE_VISIBLE KFaceGeometry : public xobject {
  XOBJECT_DECLARE(KFaceGeometry)
 public:
  // Grows extent by the exact box of the face carried by map.
  virtual void Measure(const KAffine& map, KExtent& extent) const = 0;
  // The face's triangles within chord (largest distance, model units; 0 or
  // less: the default) and angle (radians; 0 or less: the default): three
  // vertices each, counter-clockwise seen from outside, one unit normal per
  // vertex. The sequences may be shared with earlier calls and must not be
  // changed.
  virtual void Tessellate(double chord, double angle, xrchandle<xdoublesequence>& vertices,
                          xrchandle<xdoublesequence>& normals) const = 0;

 protected:
  KFaceGeometry() = default;
};

class GRANITE_VISIBLE KFace : public xobject,
                              public virtual KAttributable,
                              public virtual KBoundable {
  XOBJECT_DECLARE(KFace)
 public:
  explicit KFace(KSurface surface) : m_surface(std::move(surface)) {}
  // A face of outside geometry; its Surface() is an empty polygon.
  explicit KFace(const xrchandle<KFaceGeometry>& geometry) : m_geometry(geometry) {}
  const KSurface& Surface() const { return m_surface; }
  // The outside geometry; null for a face on a kernel surface.
  const KFaceGeometry* Geometry() const { return m_geometry.get(); }
  void Measure(const KAffine& map, KExtent& extent, int depth) const override;

 private:
  KSurface m_surface;
  xrchandle<KFaceGeometry> m_geometry;
};
