// Faces translated through Open CASCADE: their exact boxes and their meshes.
#pragma once

#include <Standard_Failure.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <memory>

#include "gGeometry90/kmodel.h"

namespace kocct {

// Meshes the shape of one body, all its faces at once, so that neighbouring
// faces share their edge points. The mesh stays on the shape: asking again
// with tolerances no finer than before costs nothing.
class BodyMesher {
 public:
  explicit BodyMesher(const TopoDS_Shape& shape) : m_shape(shape) {}
  // The diagonal of the body's exact box (0 when it has none).
  double Size();
  // Makes sure every face has a triangulation within chord and angle.
  void Ensure(double chord, double angle);

 private:
  TopoDS_Shape m_shape;
  double m_size = -1;
  double m_chord = 0, m_angle = 0;
  bool m_meshed = false;
};

// The defaults and floors of the tolerances, relative to the body's size, as
// for the kernel's own surfaces.
constexpr double kDefaultChordRatio = 1.0 / 500;
constexpr double kFloorChordRatio = 1.0 / 10000;
constexpr double kDefaultAngle = 0.5;
constexpr double kFloorAngle = 0.01;

class FaceGeometry : public KFaceGeometry {
 public:
  FaceGeometry(const TopoDS_Face& face, const std::shared_ptr<BodyMesher>& mesher);
  void Measure(const KAffine& map, KExtent& extent) const override;
  void Tessellate(double chord, double angle, xrchandle<xdoublesequence>& vertices,
                  xrchandle<xdoublesequence>& normals) const override;
  const TopoDS_Face& Face() const { return m_face; }

 protected:
  ~FaceGeometry() override;

 private:
  struct Cache;
  TopoDS_Face m_face;
  std::shared_ptr<BodyMesher> m_mesher;
  std::unique_ptr<Cache> m_cache;
};

// Runs f, turning an Open CASCADE failure into a kernel exception whose
// message starts with what.
template <class F>
auto Guard(const char* what, F&& f) -> decltype(f());

[[noreturn]] void ThrowFailure(const char* what, const char* message);

template <class F>
auto Guard(const char* what, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const Standard_Failure& e) {
    ThrowFailure(what, e.GetMessageString());
  }
}

}  // namespace kocct
