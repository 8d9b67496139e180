#include "Reference.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <stdexcept>
#include <utility>

#include <BRepBndLib.hxx>
#include <BRepMesh_IncrementalMesh.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <GeomLib.hxx>
#include <Geom_Surface.hxx>
#include <Poly_Triangulation.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TDF_LabelSequence.hxx>
#include <TopExp_Explorer.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Face.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>

namespace occtref {

bool ParseArguments(int argc, char** argv, bool wantsOut, Options& options) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if ((std::strcmp(a, "--deflection") == 0 || std::strcmp(a, "--angle") == 0) && i + 1 < argc) {
      double value = std::strtod(argv[++i], nullptr);
      (a[2] == 'd' ? options.deflection : options.angle) = value;
    } else if (a[0] == '-') {
      positional.clear();
      break;
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != (wantsOut ? 2u : 1u)) {
    std::fprintf(stderr, "usage: %s FILE.stp%s [--deflection D] [--angle RADIANS]\n", argv[0],
                 wantsOut ? " OUT.glb" : "");
    return false;
  }
  options.file = positional[0];
  if (wantsOut) options.out = positional[1];
  return true;
}

namespace {

// Millimetres in a length unit as STEP files name it ("MILLIMETRE", "INCH");
// 0 for a name not known here. The names the loader's translator knows.
double Millimetres(const char* text) {
  std::string n;
  for (const char* c = text; *c; ++c)
    if (!std::isspace(static_cast<unsigned char>(*c)) && *c != '.' && *c != '_')
      n += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  static const std::map<std::string, double> kUnits = {
      {"millimetre", 1},    {"millimeter", 1},    {"mm", 1},        {"metre", 1000},
      {"meter", 1000},      {"m", 1000},          {"centimetre", 10}, {"centimeter", 10},
      {"cm", 10},           {"kilometre", 1e6},   {"kilometer", 1e6}, {"km", 1e6},
      {"micrometre", 1e-3}, {"micrometer", 1e-3}, {"micron", 1e-3}, {"um", 1e-3},
      {"inch", 25.4},       {"in", 25.4},         {"foot", 304.8},  {"feet", 304.8},
      {"ft", 304.8}};
  auto found = kUnits.find(n);
  return found == kUnits.end() ? 0 : found->second;
}

}  // namespace

Handle(TDocStd_Document) ReadStep(const std::string& file) {
  Handle(TDocStd_Document) document;
  XCAFApp_Application::GetApplication()->NewDocument("MDTV-XCAF", document);
  STEPCAFControl_Reader reader;
  reader.SetColorMode(Standard_True);
  reader.SetNameMode(Standard_True);
  reader.SetLayerMode(Standard_True);
  if (reader.ReadFile(file.c_str()) != IFSelect_RetDone)
    throw std::runtime_error(file + ": not a readable STEP file");
  // Coordinates stay in the file's length unit, as the loader keeps them:
  // the deflection it is given is in that unit. (Without a unit on the
  // document Open CASCADE converts to millimetres, and an inch file would be
  // meshed 25.4 times finer than the loader meshes it.)
  double unit = 1;
  TColStd_SequenceOfAsciiString lengths, angles, solidAngles;
  reader.ChangeReader().FileUnits(lengths, angles, solidAngles);
  for (int i = 1; i <= lengths.Length(); ++i) {
    const double mm = Millimetres(lengths.Value(i).ToCString());
    if (mm > 0) {
      unit = mm;
      break;
    }
  }
  XCAFDoc_DocumentTool::SetLengthUnit(document, unit, UnitsMethods_LengthUnit_Millimeter);
  if (!reader.Transfer(document)) throw std::runtime_error(file + ": nothing could be transferred");
  return document;
}

namespace {

bool IsPart(const TDF_Label& label) {
  return XCAFDoc_ShapeTool::IsSimpleShape(label) && !XCAFDoc_ShapeTool::IsAssembly(label);
}

double Diagonal(const TopoDS_Shape& shape) {
  Bnd_Box box;
  BRepBndLib::Add(shape, box);
  return box.IsVoid() ? 0.0 : std::sqrt(box.SquareExtent());
}

// A face's triangles in its triangulation's frame, turned outwards, with one
// unit normal per corner: worked out once per triangulation and orientation.
struct FaceMesh {
  std::vector<gp_XYZ> points, normals;  // per corner
};

class FaceMeshes {
 public:
  const FaceMesh* Get(const TopoDS_Face& face, TopLoc_Location& location) {
    Handle(Poly_Triangulation) t = BRep_Tool::Triangulation(face, location);
    if (t.IsNull() || t->NbTriangles() == 0) return nullptr;
    const bool reversed = face.Orientation() == TopAbs_REVERSED;
    auto key = std::make_pair(t.get(), reversed);
    auto found = m_meshes.find(key);
    if (found != m_meshes.end()) return &found->second;
    FaceMesh& mesh = m_meshes[key];
    m_held.push_back(t);

    const int nodes = t->NbNodes();
    std::vector<gp_XYZ> facet(static_cast<size_t>(nodes) + 1, gp_XYZ(0, 0, 0));
    std::vector<int> corners(static_cast<size_t>(t->NbTriangles()) * 3);
    for (int k = 1; k <= t->NbTriangles(); ++k) {
      int a, b, c;
      t->Triangle(k).Get(a, b, c);
      if (reversed) std::swap(b, c);
      const size_t i = static_cast<size_t>(k - 1) * 3;
      corners[i] = a;
      corners[i + 1] = b;
      corners[i + 2] = c;
      gp_XYZ g = (t->Node(b).XYZ() - t->Node(a).XYZ()).Crossed(t->Node(c).XYZ() - t->Node(a).XYZ());
      facet[static_cast<size_t>(a)] += g;
      facet[static_cast<size_t>(b)] += g;
      facet[static_cast<size_t>(c)] += g;
    }
    // Surface normals at the nodes; the mean of the triangles around a node
    // where the surface has none.
    TopLoc_Location surfaceLocation;
    Handle(Geom_Surface) surface = BRep_Tool::Surface(face, surfaceLocation);
    gp_Trsf toTriangulation = location.Transformation().Inverted();
    toTriangulation.Multiply(surfaceLocation.Transformation());
    std::vector<gp_XYZ> unit(static_cast<size_t>(nodes) + 1);
    for (int i = 1; i <= nodes; ++i) {
      gp_XYZ n(0, 0, 0);
      gp_Dir d;
      if (!surface.IsNull() && t->HasUVNodes() && GeomLib::NormEstim(surface, t->UVNode(i), 1e-7, d) <= 1) {
        d.Transform(toTriangulation);
        n = reversed ? d.XYZ().Reversed() : d.XYZ();
      } else {
        n = facet[static_cast<size_t>(i)];
        double l = n.Modulus();
        n = l > 0 ? n / l : gp_XYZ(0, 0, 1);
      }
      unit[static_cast<size_t>(i)] = n;
    }
    mesh.points.reserve(corners.size());
    mesh.normals.reserve(corners.size());
    for (int c : corners) {
      mesh.points.push_back(t->Node(c).XYZ());
      mesh.normals.push_back(unit[static_cast<size_t>(c)]);
    }
    return &mesh;
  }

 private:
  std::map<std::pair<const Poly_Triangulation*, bool>, FaceMesh> m_meshes;
  std::vector<Handle(Poly_Triangulation)> m_held;
};

void CopyPart(const TopoDS_Shape& shape, const gp_Trsf& placement, FaceMeshes& faces, Mesh& out) {
  for (TopExp_Explorer e(shape, TopAbs_FACE); e.More(); e.Next()) {
    TopLoc_Location location;
    const FaceMesh* face = faces.Get(TopoDS::Face(e.Current()), location);
    if (!face) continue;
    gp_Trsf trsf = placement;
    trsf.Multiply(location.Transformation());
    out.counts.push_back(static_cast<int>(face->points.size()));
    for (size_t i = 0; i < face->points.size(); ++i) {
      gp_XYZ p = face->points[i];
      trsf.Transforms(p);
      gp_XYZ n = face->normals[i];
      n.Multiply(trsf.VectorialPart());
      double l = n.Modulus();
      if (l > 0) n /= l;
      out.points.insert(out.points.end(), {float(p.X()), float(p.Y()), float(p.Z())});
      out.normals.insert(out.normals.end(), {float(n.X()), float(n.Y()), float(n.Z())});
    }
  }
}

void Walk(const TDF_Label& label, const gp_Trsf& placement, FaceMeshes& faces,
          std::vector<Mesh>& meshes) {
  TDF_Label shapeLabel = label;
  gp_Trsf here = placement;
  if (XCAFDoc_ShapeTool::IsReference(label)) {
    XCAFDoc_ShapeTool::GetReferredShape(label, shapeLabel);
    here.Multiply(XCAFDoc_ShapeTool::GetLocation(label).Transformation());
  }
  if (XCAFDoc_ShapeTool::IsAssembly(shapeLabel)) {
    TDF_LabelSequence components;
    XCAFDoc_ShapeTool::GetComponents(shapeLabel, components);
    for (const TDF_Label& c : components) Walk(c, here, faces, meshes);
    return;
  }
  TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(shapeLabel);
  if (shape.IsNull()) return;
  // The label's shape carries its own location; the triangulation is on the
  // located faces already.
  meshes.emplace_back();
  CopyPart(shape, here, faces, meshes.back());
}

}  // namespace

int MeshParts(const Handle(TDocStd_Document)& document, double deflection, double angle) {
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(document->Main());
  TDF_LabelSequence labels;
  tool->GetShapes(labels);
  int meshed = 0;
  for (const TDF_Label& label : labels) {
    if (!IsPart(label)) continue;
    TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label);
    if (shape.IsNull()) continue;
    double d = deflection > 0 ? deflection : Diagonal(shape) / 500;
    if (!(d > 0)) continue;
    BRepMesh_IncrementalMesh mesh(shape, d, Standard_False, angle, Standard_False);
    ++meshed;
  }
  return meshed;
}

void CopyOccurrences(const Handle(TDocStd_Document)& document, std::vector<Mesh>& meshes) {
  Handle(XCAFDoc_ShapeTool) tool = XCAFDoc_DocumentTool::ShapeTool(document->Main());
  TDF_LabelSequence roots;
  tool->GetFreeShapes(roots);
  FaceMeshes faces;
  for (const TDF_Label& root : roots) Walk(root, gp_Trsf(), faces, meshes);
}

}  // namespace occtref
