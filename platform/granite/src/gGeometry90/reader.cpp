// The native text parser: models from the lexer's tokens. See
// docs/native-format.md for the format.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "gGeometry90/kbuild.h"
#include "lexer.h"
#include "native.h"

namespace knative {
namespace {

constexpr size_t kMaxFaces = 100000;
constexpr size_t kMaxPolygonPoints = 4096;
constexpr size_t kMaxTrianglePoints = 3000000;
constexpr size_t kMaxComponents = 100000;
constexpr size_t kMaxItems = 100000;
constexpr int kMaxAttributes = 1000;

class Reader : private Lexer {
 public:
  Reader(const char* text, size_t length, const std::string& name, const std::string& directory)
      : Lexer(text, length, name), m_directory(directory) {}

  xrchandle<KModel> ReadModel() {
    ExpectWord("granite-native", "the header 'granite-native 1'");
    double version = ExpectNumber("the format version after 'granite-native'");
    if (version != 1)
      Fail("unsupported format version " + Describe(m_last) + " (this kernel reads 1)");
    if (AcceptWord("assembly")) return ReadAssembly();
    if (AcceptWord("part")) return ReadPart();
    Fail("expected 'assembly' or 'part'");
  }

 private:
  // Shared statements.

  // translate / rotate / matrix: composes into placement, in the order written.
  bool AcceptPlacement(KAffine& placement, bool& given) {
    if (AcceptWord("translate")) {
      placement =
          placement.Then(KAffine::Translation(ExpectPoint("three numbers after 'translate'")));
    } else if (AcceptWord("rotate")) {
      KVec3 axis = ExpectPoint("an axis (three numbers) after 'rotate'");
      double angle = ExpectNumber("an angle in degrees after the axis of 'rotate'");
      if (!(Length(axis) > 0)) Fail("the axis of 'rotate' must not be 0 0 0");
      placement = placement.Then(KAffine::Rotation(axis, angle * kDegree));
    } else if (AcceptWord("matrix")) {
      double values[16];
      for (double& v : values) v = ExpectNumber("16 numbers after 'matrix'");
      if (values[3] != 0 || values[7] != 0 || values[11] != 0 || values[15] != 1)
        Fail("the last column of a matrix must be 0 0 0 1");
      placement = placement.Then(KMatrix3D(values).Affine());
    } else {
      return false;
    }
    given = true;
    return true;
  }

  template <class Target>
  bool AcceptAttribute(Target& target) {
    xrchandle<KAttribute> attribute;
    if (AcceptWord("color") || AcceptWord("colour")) {
      double c[3];
      for (double& v : c) {
        v = ExpectNumber("three colour components after 'color'");
        if (v < 0 || v > 1) Fail("colour components must lie between 0 and 1");
      }
      attribute = new KColorAttribute(c[0], c[1], c[2]);
    } else if (AcceptWord("name")) {
      attribute = new KNameAttribute(xstring::FromNarrow(ExpectString("a string after 'name'")));
    } else if (AcceptWord("layer")) {
      attribute = new KLayerAttribute(ExpectInteger("a layer number after 'layer'"));
    } else {
      return false;
    }
    if (target.AttributeCount() >= kMaxAttributes) Fail("too many attributes");
    target.AddAttribute(attribute);
    return true;
  }

  // Assemblies.

  xrchandle<KModel> ReadAssembly() {
    xrchandle<KAssembly> assembly(new KAssembly);
    AcceptUnits(*assembly);
    size_t count = 0;
    while (AcceptWord("component")) {
      if (++count > kMaxComponents) Fail("too many components");
      xstring file = xstring::FromNarrow(
          ExpectString("the referenced file name (a string) after 'component'"));
      xstring config;
      KAffine placement;
      bool placed = false, configured = false;
      for (;;) {
        if (AcceptWord("config")) {
          if (configured) Fail("a component has one configuration name");
          config =
              xstring::FromNarrow(ExpectString("a configuration name (a string) after 'config'"));
          configured = true;
        } else if (!AcceptPlacement(placement, placed)) {
          break;
        }
      }
      ExpectWord("end", "'config', 'translate', 'rotate', 'matrix' or 'end' in a component");
      xrchandle<KMatrix3D> matrix;
      if (placed) matrix = new KMatrix3D(placement);
      xrchandle<KComponent> component(new KComponent(file, config, matrix, xrchandle<KModel>()));
      component->SetSearchDirectory(m_directory);
      assembly->AddComponent(component);
    }
    if (m_token.kind != TokenKind::End) Fail("expected 'component' or the end of the file");
    return assembly;
  }

  void AcceptUnits(KModel& model) {
    if (!AcceptWord("units")) return;
    static const char* const kNames[7][2] = {
        {"inch", "in"},       {"foot", "ft"},      {"millimeter", "mm"}, {"meter", "m"},
        {"centimeter", "cm"}, {"kilometer", "km"}, {"micrometer", "um"}};
    if (m_token.kind == TokenKind::Word) {
      for (int code = 0; code < 7; ++code) {
        if (m_token.text == kNames[code][0] || m_token.text == kNames[code][1]) {
          Advance();
          model.SetUnits(code);
          return;
        }
      }
      Fail("expected a units code 0..6 or a unit name (mm, cm, m, km, um, inch, foot)");
    }
    int code = ExpectInteger("a units code 0..6 or a unit name after 'units'");
    if (code < 0 || code > 6) Fail("the units code must be 0..6");
    model.SetUnits(code);
  }

  // Parts.

  xrchandle<KModel> ReadPart() {
    xrchandle<KPartModel> part(new KPartModel);
    AcceptUnits(*part);
    size_t items = 0;
    for (;;) {
      if (AcceptAttribute(*part)) continue;
      if (AcceptWord("primary")) {
        if (part->PrimaryBody()) Fail("a part has one primary body");
        part->SetPrimaryBody(ReadBody());
      } else if (AcceptWord("item")) {
        if (++items > kMaxItems) Fail("too many geometry items");
        part->AddItem(xrchandle<KGeometryItem>(new KGeometryItem(ReadBody())));
      } else {
        break;
      }
    }
    if (m_token.kind != TokenKind::End)
      Fail("expected 'primary', 'item', an attribute or the end of the file");
    return part;
  }

  xrchandle<KBody> ReadBody() {
    int line = m_last.line;
    xrchandle<KBody> body(new KBody);
    while (!AcceptWord("end")) {
      if (m_token.kind == TokenKind::End)
        FailAt(m_token.line, "expected 'end' for the body begun on line " + std::to_string(line) +
                                 ", found the end of the file");
      if (m_faces > kMaxFaces) Fail("too many faces");
      if (AcceptWord("solid"))
        ReadSolid(*body);
      else
        ReadFace(*body);
    }
    return body;
  }

  // The statements every face or solid ends with: attributes, placement, 'end'.
  struct Tail {
    KAffine placement;
    bool placed = false;
    bool reversed = false;
  };

  template <class Target>
  void ReadTail(Target& target, Tail& tail, bool allowReversed, const char* what) {
    for (;;) {
      if (AcceptAttribute(target) || AcceptPlacement(tail.placement, tail.placed)) continue;
      if (allowReversed && AcceptWord("reversed")) {
        tail.reversed = true;
        continue;
      }
      break;
    }
    ExpectWord("end", std::string("a parameter, an attribute, a placement or 'end' in ") + what);
    if (tail.placed && !tail.placement.IsRigid())
      Fail(std::string("the placement of ") + what + " must be a rotation and translation");
  }

  // Attributes gathered for a face before the face itself exists.
  struct AttributeList {
    std::vector<xrchandle<KAttribute>> list;
    int AttributeCount() const { return static_cast<int>(list.size()); }
    void AddAttribute(const xrchandle<KAttribute>& a) { list.push_back(a); }
  };

  void ReadFace(KBody& body) {
    if (m_token.kind != TokenKind::Word)
      Fail(
          "expected a face (polygon, triangles, disc, cylinder, cone, sphere, torus), 'solid' or "
          "'end'");
    std::string kind = m_token.text;
    int line = m_token.line;
    Advance();
    KSurface s;
    AttributeList attributes;
    Tail tail;
    std::string what = "the " + kind + " begun on line " + std::to_string(line);
    if (kind == "polygon" || kind == "triangles") {
      bool polygon = kind == "polygon";
      s.kind = polygon ? KSurfaceKind::Polygon : KSurfaceKind::Triangles;
      size_t limit = polygon ? kMaxPolygonPoints : kMaxTrianglePoints - m_trianglePoints;
      while (m_token.kind == TokenKind::Number) {
        if (s.points.size() >= limit)
          Fail(polygon ? "a polygon has too many points" : "too many triangles");
        s.points.push_back(ExpectPoint("three numbers per point"));
      }
      ReadTail(attributes, tail, true, what.c_str());
      for (KVec3& p : s.points) p = tail.placement.Apply(p);
      if (polygon)
        CheckPolygon(s, line);
      else
        CheckTriangles(s, line);
      if (tail.reversed) std::vector<KVec3>(s.points.rbegin(), s.points.rend()).swap(s.points);
    } else {
      ReadAnalytic(kind, s, line);
      ReadTail(attributes, tail, true, what.c_str());
      s.frame = tail.placement;
      s.reversed = tail.reversed;
    }
    xrchandle<KFace> face = KMakeFace(std::move(s), nullptr);
    for (const auto& a : attributes.list) face->AddAttribute(a);
    body.AddFace(face);
    ++m_faces;
  }

  void ReadAnalytic(const std::string& kind, KSurface& s, int line) {
    s.u0 = 0;
    s.u1 = 360 * kDegree;
    bool radius = false, height = false;
    if (kind == "disc")
      s.kind = KSurfaceKind::Disc;
    else if (kind == "cylinder")
      s.kind = KSurfaceKind::Cylinder;
    else if (kind == "cone")
      s.kind = KSurfaceKind::Cone;
    else if (kind == "sphere")
      s.kind = KSurfaceKind::Sphere;
    else if (kind == "torus")
      s.kind = KSurfaceKind::Torus;
    else
      FailAt(line,
             "expected a face (polygon, triangles, disc, cylinder, cone, sphere, torus), 'solid' "
             "or 'end', found '" +
                 kind + "'");
    if (s.kind == KSurfaceKind::Sphere) {
      s.v0 = -90 * kDegree;
      s.v1 = 90 * kDegree;
    }
    if (s.kind == KSurfaceKind::Torus) s.v1 = 360 * kDegree;
    for (;;) {
      if (AcceptWord("radius")) {
        switch (s.kind) {
          case KSurfaceKind::Disc:
          case KSurfaceKind::Cylinder:
          case KSurfaceKind::Sphere: {
            double r = ExpectPositive("a radius after 'radius'");
            (s.kind == KSurfaceKind::Disc ? s.r1 : s.r0) = r;
            break;
          }
          case KSurfaceKind::Cone:
            s.r0 = ExpectNumber("two radii after 'radius'");
            s.r1 = ExpectNumber("two radii after 'radius'");
            if (s.r0 < 0 || s.r1 < 0 || (s.r0 == 0 && s.r1 == 0))
              Fail("the radii of a cone must not be negative, nor both 0");
            break;
          default:
            s.r0 = ExpectPositive("the major radius after 'radius'");
            s.r1 = ExpectPositive("the minor radius after the major radius");
            if (!(s.r1 < s.r0)) Fail("the minor radius of a torus must be smaller than the major");
        }
        radius = true;
      } else if (s.kind == KSurfaceKind::Disc && AcceptWord("inner")) {
        s.r0 = ExpectNumber("a radius after 'inner'");
        if (s.r0 < 0) Fail("the inner radius must not be negative");
      } else if ((s.kind == KSurfaceKind::Cylinder || s.kind == KSurfaceKind::Cone) &&
                 AcceptWord("height")) {
        ExpectRange("height", s.v0, s.v1);
        height = true;
      } else if (s.kind != KSurfaceKind::Sphere && AcceptWord("sweep")) {
        ExpectAngles("sweep", s.u0, s.u1, 360);
      } else if (s.kind == KSurfaceKind::Sphere && AcceptWord("longitude")) {
        ExpectAngles("longitude", s.u0, s.u1, 360);
      } else if (s.kind == KSurfaceKind::Sphere && AcceptWord("latitude")) {
        ExpectAngles("latitude", s.v0, s.v1, 180);
        if (s.v0 < -90 * kDegree - 1e-12 || s.v1 > 90 * kDegree + 1e-12)
          Fail("latitudes must lie between -90 and 90");
      } else if (s.kind == KSurfaceKind::Torus && AcceptWord("tube")) {
        ExpectAngles("tube", s.v0, s.v1, 360);
      } else {
        break;
      }
    }
    if (!radius) FailAt(line, "the " + kind + " needs 'radius'");
    if ((s.kind == KSurfaceKind::Cylinder || s.kind == KSurfaceKind::Cone) && !height)
      FailAt(line, "the " + kind + " needs 'height'");
    if (s.kind == KSurfaceKind::Disc && !(s.r0 < s.r1))
      FailAt(line, "the inner radius of a disc must be smaller than its radius");
  }

  void CheckPolygon(const KSurface& s, int line) {
    if (s.points.size() < 3) FailAt(line, "a polygon needs at least 3 points");
    KVec3 normal, centre;
    for (size_t i = 0; i < s.points.size(); ++i) {
      normal = normal + Cross(s.points[i], s.points[(i + 1) % s.points.size()]);
      centre = centre + s.points[i];
    }
    centre = centre * (1.0 / s.points.size());
    double area2 = Length(normal);
    KExtent e;
    for (KVec3 p : s.points) e.Add(p);
    double size = Length(e.hi - e.lo);
    if (!(area2 > 1e-12 * size * size)) FailAt(line, "the polygon has no area");
    KVec3 n = normal * (1 / area2);
    for (KVec3 p : s.points)
      if (std::fabs(Dot(p - centre, n)) > 1e-6 * size)
        FailAt(line, "the points of the polygon do not lie in one plane");
  }

  void CheckTriangles(const KSurface& s, int line) {
    if (s.points.empty() || s.points.size() % 3)
      FailAt(line, "triangles need three points (nine numbers) each");
    for (size_t i = 0; i < s.points.size(); i += 3) {
      KVec3 a = s.points[i], b = s.points[i + 1], c = s.points[i + 2];
      double scale = std::fmax(Length(b - a), std::fmax(Length(c - a), Length(c - b)));
      if (!(Length(Cross(b - a, c - a)) > 1e-12 * scale * scale))
        FailAt(line, "triangle " + std::to_string(i / 3 + 1) + " has no area");
    }
    m_trianglePoints += s.points.size();
  }

  // Solids.

  // What a solid is made from, read before the shared tail.
  struct SolidParameters {
    KVec3 lo, hi;
    double r0 = 0, r1 = 0, z0 = 0, z1 = 0;
    int teeth = 0;
    std::vector<double> outline;
  };

  // A solid's faces, each with every attribute of the solid (its colour among them).
  void ReadSolid(KBody& body) {
    if (m_token.kind != TokenKind::Word)
      Fail(
          "expected a solid (box, cylinder, cone, tube, sphere, torus, prism, gear) after 'solid'");
    std::string kind = m_token.text;
    int line = m_token.line;
    Advance();
    std::string what = "the solid " + kind + " begun on line " + std::to_string(line);
    SolidParameters p;
    ReadSolidParameters(kind, line, what, p);
    AttributeList attributes;
    Tail tail;
    ReadTail(attributes, tail, false, what.c_str());
    xrchandle<KBody> solid(new KBody);
    KSolidStyle style;
    style.frame = tail.placement;
    if (!BuildSolid(*solid, style, kind, p))
      FailAt(line, "the " + what.substr(4) + " describes no solid");
    for (const xrchandle<KFace>& face : solid->Faces().Items()) {
      for (const auto& a : attributes.list) face->AddAttribute(a);
      body.AddFace(face);
      ++m_faces;
    }
  }

  void ReadSolidParameters(const std::string& kind, int line, const std::string& what,
                           SolidParameters& p) {
    if (kind == "box") {
      ExpectWord("from", "'from' and a corner in " + what);
      p.lo = ExpectPoint("three numbers after 'from'");
      ExpectWord("to", "'to' and a corner in " + what);
      p.hi = ExpectPoint("three numbers after 'to'");
      if (!(p.hi.x > p.lo.x && p.hi.y > p.lo.y && p.hi.z > p.lo.z))
        Fail("each coordinate after 'to' must be greater than after 'from'");
    } else if (kind == "cylinder" || kind == "sphere") {
      ExpectWord("radius", "'radius' in " + what);
      p.r0 = ExpectPositive("a radius after 'radius'");
      if (kind == "cylinder") ReadSolidHeight(what, p);
    } else if (kind == "cone" || kind == "tube" || kind == "torus") {
      ReadTwoRadii(kind, what, p);
      if (kind != "torus") ReadSolidHeight(what, p);
    } else if (kind == "prism") {
      ReadSolidHeight(what, p);
      ReadOutline(what, p);
    } else if (kind == "gear") {
      ReadGear(what, p);
    } else {
      FailAt(line,
             "expected a solid (box, cylinder, cone, tube, sphere, torus, prism, gear), found '" +
                 kind + "'");
    }
  }

  void ReadSolidHeight(const std::string& what, SolidParameters& p) {
    ExpectWord("height", "'height' and two heights in " + what);
    ExpectRange("height", p.z0, p.z1);
  }

  // The radii of a cone (either may be 0), a tube or a torus (outer, then inner).
  void ReadTwoRadii(const std::string& kind, const std::string& what, SolidParameters& p) {
    ExpectWord("radius", "'radius' and two radii in " + what);
    p.r0 = ExpectNumber("two radii after 'radius'");
    p.r1 = ExpectNumber("two radii after 'radius'");
    if (kind == "cone" && (p.r0 < 0 || p.r1 < 0 || (p.r0 == 0 && p.r1 == 0)))
      Fail("the radii of a cone must not be negative, nor both 0");
    if (kind != "cone" && !(p.r1 > 0 && p.r0 > p.r1))
      Fail("the first radius of a " + kind + " must be greater than the second, both above 0");
  }

  void ReadOutline(const std::string& what, SolidParameters& p) {
    ExpectWord("outline", "'outline' and x y pairs in " + what);
    while (m_token.kind == TokenKind::Number) {
      if (p.outline.size() >= 2 * kMaxPolygonPoints) Fail("the outline has too many points");
      p.outline.push_back(ExpectNumber("x y pairs after 'outline'"));
    }
    if (p.outline.size() % 2 || p.outline.size() < 6) Fail("an outline needs at least 3 x y pairs");
  }

  void ReadGear(const std::string& what, SolidParameters& p) {
    ExpectWord("teeth", "'teeth' and a count in " + what);
    p.teeth = ExpectInteger("a number of teeth after 'teeth'");
    if (p.teeth < 3 || p.teeth > kMaxGearTeeth)
      Fail("a gear has 3 to " + std::to_string(kMaxGearTeeth) + " teeth");
    ExpectWord("radius", "'radius' with the root and tip radii in " + what);
    p.r0 = ExpectPositive("the root radius after 'radius'");
    p.r1 = ExpectPositive("the tip radius after the root radius");
    if (!(p.r1 > p.r0)) Fail("the tip radius must be greater than the root radius");
    ReadSolidHeight(what, p);
  }

  // The solid's faces into solid; false when the parameters describe no solid.
  static bool BuildSolid(KBody& solid, const KSolidStyle& style, const std::string& kind,
                         const SolidParameters& p) {
    switch (kind[0]) {
      case 'b':
        return KAddBox(solid, style, p.lo, p.hi);
      case 'c':
        return kind == "cylinder" ? KAddCylinder(solid, style, p.r0, p.z0, p.z1)
                                  : KAddCone(solid, style, p.r0, p.r1, p.z0, p.z1);
      case 't':
        return kind == "tube" ? KAddTube(solid, style, p.r0, p.r1, p.z0, p.z1)
                              : KAddTorus(solid, style, p.r0, p.r1);
      case 's':
        return KAddSphere(solid, style, p.r0);
      case 'p':
        return KAddPrism(solid, style, p.outline, p.z0, p.z1);
      case 'g':
        return KAddGear(solid, style, p.teeth, p.r0, p.r1, p.z0, p.z1);
    }
    return true;
  }

  std::string m_directory;
  size_t m_faces = 0, m_trianglePoints = 0;
};

}  // namespace

xrchandle<KModel> Read(const char* text, size_t length, const std::string& name,
                       const std::string& directory, std::string& reason) {
  try {
    Reader reader(text, length, name, directory);
    return reader.ReadModel();
  } catch (const ParseError& e) {
    reason = e.message;
  }
  return xrchandle<KModel>();
}

}  // namespace knative
