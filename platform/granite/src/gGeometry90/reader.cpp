// The native text reader. See docs/native-format.md for the format.
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gBase90/kprogress.h"
#include "gGeometry90/kbuild.h"
#include "native.h"

namespace knative {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;
constexpr size_t kMaxToken = 4096;
constexpr size_t kMaxFaces = 100000;
constexpr size_t kMaxPolygonPoints = 4096;
constexpr size_t kMaxTrianglePoints = 3000000;
constexpr size_t kMaxComponents = 100000;
constexpr size_t kMaxItems = 100000;
constexpr int kMaxAttributes = 1000;
constexpr double kMaxMagnitude = 1e12;
// Tokens read between two progress reports and looks at the stop request.
constexpr unsigned kTokensPerStopCheck = 8192;

enum class TokenKind { End, Word, Number, String };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // words lowered; strings unescaped
  double number = 0;
  int line = 0;
};

struct ParseError {
  std::string message;
};

// What a statement expects, for the reason given when it is missing: text
// that lives while the call that takes it runs, made into a string only on
// failure.
struct Text {
  const char* text;
  Text(const char* t) : text(t) {}
  Text(const std::string& t) : text(t.c_str()) {}
};
std::string operator+(const char* a, Text b) {
  return std::string(a) + b.text;
}
std::string operator+(Text a, const char* b) {
  return std::string(a.text) + b;
}

class Reader {
 public:
  Reader(const char* text, size_t length, const std::string& name, const std::string& directory)
      : m_start(text), m_text(text), m_end(text + length), m_name(name), m_directory(directory) {
    Advance();
  }

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
  // Tokens.

  void Advance() {
    if (++m_tokens % kTokensPerStopCheck == 0) {
      KReportProgress(KPhase::Reading, static_cast<double>(m_text - m_start),
                      static_cast<double>(m_end - m_start));
      KCheckStop();
    }
    m_last = std::move(m_token);
    m_token = Token();
    for (;;) {
      while (m_text < m_end &&
             (*m_text == ' ' || *m_text == '\t' || *m_text == '\r' || *m_text == '\n')) {
        if (*m_text == '\n') ++m_line;
        ++m_text;
      }
      if (m_text < m_end && *m_text == '#') {
        while (m_text < m_end && *m_text != '\n') ++m_text;
        continue;
      }
      break;
    }
    m_token.line = m_line;
    if (m_text >= m_end) return;
    char c = *m_text;
    if (c == '"') {
      ReadString();
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      ReadNumber();
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') {
      const char* start = m_text;
      while (m_text < m_end &&
             ((*m_text >= 'A' && *m_text <= 'Z') || (*m_text >= 'a' && *m_text <= 'z') ||
              (*m_text >= '0' && *m_text <= '9') || *m_text == '_' || *m_text == '-'))
        ++m_text;
      if (static_cast<size_t>(m_text - start) > kMaxToken) FailHere("a word is too long");
      m_token.kind = TokenKind::Word;
      m_token.text.assign(start, m_text);
      for (char& ch : m_token.text)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    } else {
      unsigned char u = static_cast<unsigned char>(c);
      char buffer[32];
      if (u >= 0x20 && u < 0x7F)
        std::snprintf(buffer, sizeof buffer, "character '%c'", c);
      else
        std::snprintf(buffer, sizeof buffer, "byte 0x%02X", u);
      FailHere(std::string("unexpected ") + buffer);
    }
  }

  void ReadString() {
    ++m_text;
    std::string value;
    for (;;) {
      if (m_text >= m_end || *m_text == '\n') FailHere("a string is not closed on its line");
      char c = *m_text++;
      if (c == '"') break;
      if (c == '\0') FailHere("a string holds a NUL character");
      value.push_back(c);
      if (value.size() > kMaxToken) FailHere("a string is too long");
    }
    m_token.kind = TokenKind::String;
    m_token.text = std::move(value);
  }

  void ReadNumber() {
    const char* start = m_text;
    while (m_text < m_end && ((*m_text >= '0' && *m_text <= '9') || *m_text == '-' ||
                              *m_text == '+' || *m_text == '.' || *m_text == 'e' || *m_text == 'E'))
      ++m_text;
    size_t length = static_cast<size_t>(m_text - start);
    if (length > kMaxToken) FailHere("a number is too long");
    m_token.text.assign(start, length);
    const char* first = start;
    if (*first == '+') ++first;
    double value = 0;
    auto result = std::from_chars(first, m_text, value);
    if (result.ec != std::errc() || result.ptr != m_text || !std::isfinite(value))
      FailHere("'" + m_token.text + "' is not a number");
    if (std::fabs(value) > kMaxMagnitude) FailHere("the number " + m_token.text + " is too large");
    m_token.kind = TokenKind::Number;
    m_token.number = value;
  }

  static std::string Describe(const Token& t) {
    switch (t.kind) {
      case TokenKind::End:
        return "the end of the file";
      case TokenKind::Word:
        return "'" + t.text + "'";
      case TokenKind::Number:
        return t.text;
      case TokenKind::String:
        return "the string \"" + t.text + "\"";
    }
    return "";
  }

  [[noreturn]] void FailAt(int line, const std::string& what) {
    throw ParseError{m_name + ":" + std::to_string(line) + ": " + what};
  }
  [[noreturn]] void FailHere(const std::string& what) { FailAt(m_line, what); }
  // A failure about the token just read, or, with expected, about the next one.
  [[noreturn]] void Fail(const std::string& what) {
    if (what.compare(0, 9, "expected ") == 0)
      FailAt(m_token.line, what + ", found " + Describe(m_token));
    FailAt(m_last.line, what);
  }

  bool IsWord(const char* word) const {
    return m_token.kind == TokenKind::Word && m_token.text == word;
  }
  bool AcceptWord(const char* word) {
    if (!IsWord(word)) return false;
    Advance();
    return true;
  }
  void ExpectWord(const char* word, Text what) {
    if (!AcceptWord(word)) Fail("expected " + what);
  }
  double ExpectNumber(Text what) {
    if (m_token.kind != TokenKind::Number) Fail("expected " + what);
    Advance();
    return m_last.number;
  }
  double ExpectPositive(Text what) {
    double v = ExpectNumber(what);
    if (!(v > 0)) Fail(what + " must be greater than 0");
    return v;
  }
  int ExpectInteger(Text what) {
    double v = ExpectNumber(what);
    if (v != std::floor(v) || std::fabs(v) > 1e9) Fail(what + " must be a whole number");
    return static_cast<int>(v);
  }
  std::string ExpectString(Text what) {
    if (m_token.kind != TokenKind::String) Fail("expected " + what);
    Advance();
    return m_last.text;
  }
  KVec3 ExpectPoint(Text what) {
    KVec3 p;
    p.x = ExpectNumber(what);
    p.y = ExpectNumber(what);
    p.z = ExpectNumber(what);
    return p;
  }
  // Two numbers lo hi with lo < hi.
  void ExpectRange(Text what, double& lo, double& hi) {
    lo = ExpectNumber("two numbers after '" + what + "'");
    hi = ExpectNumber("two numbers after '" + what + "'");
    if (!(hi > lo)) Fail("the second number after '" + what + "' must be greater than the first");
  }
  void ExpectAngles(Text what, double& lo, double& hi, double limit) {
    ExpectRange(what, lo, hi);
    if (hi - lo > limit)
      Fail("the angles after '" + what + "' span more than " +
           std::to_string(static_cast<int>(limit)) + " degrees");
    lo *= kDegree;
    hi *= kDegree;
  }

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

  void ReadSolid(KBody& body) {
    if (m_token.kind != TokenKind::Word)
      Fail(
          "expected a solid (box, cylinder, cone, tube, sphere, torus, prism, gear) after 'solid'");
    std::string kind = m_token.text;
    int line = m_token.line;
    Advance();
    std::string what = "the solid " + kind + " begun on line " + std::to_string(line);
    // Parameters first, then the shared tail.
    KVec3 lo, hi;
    double r0 = 0, r1 = 0, z0 = 0, z1 = 0;
    int teeth = 0;
    std::vector<double> outline;
    bool ok = true;
    auto needHeight = [&] {
      ExpectWord("height", "'height' and two heights in " + what);
      ExpectRange("height", z0, z1);
    };
    if (kind == "box") {
      ExpectWord("from", "'from' and a corner in " + what);
      lo = ExpectPoint("three numbers after 'from'");
      ExpectWord("to", "'to' and a corner in " + what);
      hi = ExpectPoint("three numbers after 'to'");
      if (!(hi.x > lo.x && hi.y > lo.y && hi.z > lo.z))
        Fail("each coordinate after 'to' must be greater than after 'from'");
    } else if (kind == "cylinder" || kind == "sphere") {
      ExpectWord("radius", "'radius' in " + what);
      r0 = ExpectPositive("a radius after 'radius'");
      if (kind == "cylinder") needHeight();
    } else if (kind == "cone" || kind == "tube" || kind == "torus") {
      ExpectWord("radius", "'radius' and two radii in " + what);
      r0 = ExpectNumber("two radii after 'radius'");
      r1 = ExpectNumber("two radii after 'radius'");
      if (kind == "cone" && (r0 < 0 || r1 < 0 || (r0 == 0 && r1 == 0)))
        Fail("the radii of a cone must not be negative, nor both 0");
      if (kind != "cone" && !(r1 > 0 && r0 > r1))
        Fail("the first radius of a " + kind + " must be greater than the second, both above 0");
      if (kind != "torus") needHeight();
    } else if (kind == "prism") {
      needHeight();
      ExpectWord("outline", "'outline' and x y pairs in " + what);
      while (m_token.kind == TokenKind::Number) {
        if (outline.size() >= 2 * kMaxPolygonPoints) Fail("the outline has too many points");
        outline.push_back(ExpectNumber("x y pairs after 'outline'"));
      }
      if (outline.size() % 2 || outline.size() < 6) Fail("an outline needs at least 3 x y pairs");
    } else if (kind == "gear") {
      ExpectWord("teeth", "'teeth' and a count in " + what);
      teeth = ExpectInteger("a number of teeth after 'teeth'");
      if (teeth < 3 || teeth > kMaxGearTeeth)
        Fail("a gear has 3 to " + std::to_string(kMaxGearTeeth) + " teeth");
      ExpectWord("radius", "'radius' with the root and tip radii in " + what);
      r0 = ExpectPositive("the root radius after 'radius'");
      r1 = ExpectPositive("the tip radius after the root radius");
      if (!(r1 > r0)) Fail("the tip radius must be greater than the root radius");
      needHeight();
    } else {
      FailAt(line,
             "expected a solid (box, cylinder, cone, tube, sphere, torus, prism, gear), found '" +
                 kind + "'");
    }
    AttributeList attributes;
    Tail tail;
    ReadTail(attributes, tail, false, what.c_str());
    // A solid's faces share its colour; other attributes go to every face too.
    xrchandle<KBody> solid(new KBody);
    KSolidStyle style;
    style.frame = tail.placement;
    switch (kind[0]) {
      case 'b':
        ok = KAddBox(*solid, style, lo, hi);
        break;
      case 'c':
        ok = kind == "cylinder" ? KAddCylinder(*solid, style, r0, z0, z1)
                                : KAddCone(*solid, style, r0, r1, z0, z1);
        break;
      case 't':
        ok = kind == "tube" ? KAddTube(*solid, style, r0, r1, z0, z1)
                            : KAddTorus(*solid, style, r0, r1);
        break;
      case 's':
        ok = KAddSphere(*solid, style, r0);
        break;
      case 'p':
        ok = KAddPrism(*solid, style, outline, z0, z1);
        break;
      case 'g':
        ok = KAddGear(*solid, style, teeth, r0, r1, z0, z1);
        break;
    }
    if (!ok) FailAt(line, "the " + what.substr(4) + " describes no solid");
    for (const xrchandle<KFace>& face : solid->Faces().Items()) {
      for (const auto& a : attributes.list) face->AddAttribute(a);
      body.AddFace(face);
      ++m_faces;
    }
  }

  const char* m_start;
  const char* m_text;
  const char* m_end;
  unsigned m_tokens = 0;
  std::string m_name, m_directory;
  int m_line = 1;
  Token m_token, m_last;
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
