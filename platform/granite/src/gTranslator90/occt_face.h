// Faces translated through Open CASCADE: their exact boxes and their meshes.
#pragma once

#include <Bnd_Box.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS_Face.hxx>
#include <TopoDS_Shape.hxx>
#include <gp_Pnt.hxx>
#include <memory>
#include <vector>

#include "gGeometry90/kmodel.h"

namespace kocct {

class MeshGroup;

// Whether this thread is one of a MeshGroup's workers.
bool InMeshingWorker();

// Meshes the shape of one body, all its faces at once, so that neighbouring
// faces share their edge points. The mesh stays on the shape: asking again
// with tolerances no finer than before costs nothing. A body of a group (the
// bodies of one translated model) has the group mesh the others too, on
// worker threads, when it is first asked.
class BodyMesher {
 public:
  explicit BodyMesher(const TopoDS_Shape& shape,
                      const std::shared_ptr<MeshGroup>& group = nullptr)
      : m_shape(shape), m_group(group) {}
  // The diagonal of the body's exact box (0 when it has none).
  double Size();
  // The diagonal of a box that encloses the body, quick to find but possibly
  // much larger than the exact one (0 when the body has no geometry).
  double UpperSize();
  // The diagonal of the box of points on the body's edges, which the exact
  // box holds (0 when there are none).
  double EdgeSize();
  // The distance to mesh at for chord (model units; 0 or less: the default),
  // within the floor relative to the exact size; 0 when the body has no size.
  // The exact size is only worked out when the floor or the default needs it.
  double Chord(double chord);
  // The angle to mesh at for angle (radians; 0 or less: the default).
  static double Angle(double angle);
  // Makes sure every face has a triangulation within Chord(chord) and
  // Angle(angle); false when the body has no size (nothing to mesh).
  bool Ensure(double chord, double angle);
  const TopoDS_Shape& Shape() const { return m_shape; }
  // Whether the body has a mesh within h and a.
  bool MeshedWithin(double h, double a) const { return m_meshed && m_chord <= h && m_angle <= a; }
  // Sets mesh up to mesh the body at h and a; Meshed records it done.
  void Prepare(BRepMesh_IncrementalMesh& mesh, double h, double a) const;
  void Meshed(double h, double a);

 private:
  double Measured(double& slot, Bnd_Box (*measure)(const TopoDS_Shape&));
  TopoDS_Shape m_shape;
  std::shared_ptr<MeshGroup> m_group;
  double m_size = -1, m_upperSize = -1, m_edgeSize = -1;
  double m_chord = 0, m_angle = 0;
  bool m_meshed = false;
};

// The bodies of one translated model. The first Ensure of one of them at
// some tolerances meshes every body not meshed within them on a pool of
// worker threads (see KTranslator::SetMeshingThreads), each body alone on one
// thread as the calling thread would mesh it, so the triangles are the same.
// Bodies that share faces or edges with another body are left to their own
// Ensure, in the order asked. The calling thread waits, reports progress and
// makes every call to the host; a stop request ends the workers.
class MeshGroup {
 public:
  void Add(const std::shared_ptr<BodyMesher>& body) { m_bodies.push_back(body); }
  void MeshAll(double chord, double angle);

 private:
  std::vector<std::weak_ptr<BodyMesher>> m_bodies;
  std::vector<bool> m_alone;  // per body: shares no face or edge with another
  bool m_sorted = false;
  std::vector<std::pair<double, double>> m_done;  // tolerances meshed at
};

// The defaults and floors of the tolerances, relative to the body's size, as
// for the kernel's own surfaces.
constexpr double kDefaultChordRatio = 1.0 / 500;
constexpr double kFloorChordRatio = 1.0 / 10000;
constexpr double kDefaultAngle = 0.5;
constexpr double kFloorAngle = 0.01;
// How far (a part of the size of the body's edges) the quick box of a face
// may stand off the face's edges and still be taken for its box.
constexpr double kQuickBoxSlack = 0.005;

// A face of a body, or (without a mesher) loose edges and points, which are
// measured but have no triangles.
class FaceGeometry : public KFaceGeometry {
 public:
  FaceGeometry(const TopoDS_Shape& shape, const std::shared_ptr<BodyMesher>& mesher);
  void Measure(const KAffine& map, KExtent& extent) const override;
  void Tessellate(double chord, double angle, xrchandle<xdoublesequence>& vertices,
                  xrchandle<xdoublesequence>& normals) const override;

 protected:
  ~FaceGeometry() override;

 private:
  struct Cache;
  // Open CASCADE's quick box of the face (surface poles, tolerances).
  const Bnd_Box& QuickBox() const;
  // The box the face is measured by in its own frame.
  const Bnd_Box& LocalBox() const;
  // Points on the face's edges and surface, in its own frame.
  const std::vector<gp_Pnt>& Points() const;
  TopoDS_Shape m_shape;
  std::shared_ptr<BodyMesher> m_mesher;
  std::unique_ptr<Cache> m_cache;
};

// While alive, Open CASCADE's signal handlers are installed: a fault inside
// it (a null entity of a malformed file dereferenced, say) jumps to the
// innermost jump buffer of this thread (RunCatchingSignals, or one of Open
// CASCADE's own) instead of ending the process. The signal handlers found are
// put back when it goes, so the host's own handling is left alone.
class SignalGuard {
 public:
  SignalGuard();
  ~SignalGuard();
  SignalGuard(const SignalGuard&) = delete;
  SignalGuard& operator=(const SignalGuard&) = delete;

 private:
  struct Saved;
  std::unique_ptr<Saved> m_saved;
};

// Runs run(context) under a jump buffer of its own. A fault caught by the
// signal handlers of a live SignalGuard comes back to this frame and leaves it
// as a Standard_Failure thrown here, in ordinary code, never from the signal
// handler. The frames it jumps over are not unwound: what run builds on its
// own stack is not destroyed, so keep what must be released outside it.
void RunCatchingSignals(void (*run)(void*), void* context);

template <class F>
void RunCatchingSignals(F& f) {
  RunCatchingSignals([](void* c) { (*static_cast<F*>(c))(); }, &f);
}

[[noreturn]] void ThrowFailure(const char* what, const char* message);

// Runs f under RunCatchingSignals, turning an Open CASCADE failure into a
// kernel exception whose message starts with what.
template <class F>
auto Guard(const char* what, F&& f) -> decltype(f()) {
  decltype(f()) result{};
  auto run = [&] { result = f(); };
  try {
    RunCatchingSignals(run);
  } catch (const Standard_Failure& e) {
    ThrowFailure(what, e.GetMessageString());
  }
  return result;
}

}  // namespace kocct
