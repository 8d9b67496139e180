// Reading native files: structure, boxes, the triangles of planar faces and
// refusal of malformed input; exchange files that only the translator reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <utility>

#include "gkit/bodies.h"
#include "gkit/fixture.h"

namespace {

using namespace gkit;
using NativeReader = KitTest;
using Translator = KitTest;

const char* const kPart = R"(granite-native 1
part
units cm
color 0.2 0.4 0.6
name "bracket"
layer 7
primary
  solid box from 0 0 0 to 10 20 30 end
  cylinder radius 5 height 0 10 sweep 0 180 color 1 0 0 translate 100 0 0 end
end
item
  solid cylinder radius 2 height 0 8 rotate 1 0 0 90 end
end
item
  polygon 0 4 50  2 1 50  4 4 50  4 0 50  0 0 50  name "notch" color 0 1 0 reversed end
  triangles 0 0 60  1 0 60  0 1 60   1 0 60  1 1 60  0 1 60 reversed end
end
item
  solid gear teeth 12 radius 8 10 height 0 3 translate 50 10 70 end
  disc radius 5 inner 2 sweep 0 90 translate 0 0 55 end
end
)";

TEST_F(NativeReader, PartHoldsAttributesBodiesAndFacesInOrder) {
  xrchandle<KModel> model = OpenModel(kit.WriteFile("Bracket.prt", kPart));
  KPartModel* part = KPartModel::cast(model.get());
  ASSERT_NE(part, nullptr) << KGetLastError();
  EXPECT_EQ(part->GetUnits(), KUNITS_CENTIMETER);
  EXPECT_EQ(FirstColour(*part), (std::vector<double>{0.2, 0.4, 0.6}));

  const std::vector<xrchandle<KBody>> bodies = Bodies(model);
  ASSERT_EQ(bodies.size(), 4u);
  auto faces = Faces(bodies[0]);
  ASSERT_EQ(faces.size(), 7u);  // six box faces and the half cylinder
  EXPECT_TRUE(FirstColour(*faces[0]).empty());
  EXPECT_EQ(FirstColour(*faces[6]), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(faces[6]->Surface().kind, KSurfaceKind::Cylinder);
  faces = Faces(bodies[2]);
  ASSERT_EQ(faces.size(), 2u);
  // A face whose first attribute is a name has no face colour.
  EXPECT_TRUE(FirstColour(*faces[0]).empty());
  EXPECT_EQ(Faces(bodies[3]).size(), 2u + 48u + 1u);  // the gear's caps and sides, the ring

  // Triangles face outward and cover the planar faces: the notched polygon,
  // written clockwise from +z and reversed, faces up; the reversed triangles
  // face down; each tooth adds a trapezoid to the gear's root circle.
  double notch = 0, down = 0, ring = 0, gear = 0;
  for (const xrchandle<KBody>& body : bodies) {
    const Triangles t = Triangulate(body, 0.001, 0.001, 0.1);
    for (size_t i = 0; i < t.points.size(); i += 3) {
      const KVec3 a = t.points[i], b = t.points[i + 1], c = t.points[i + 2];
      const KVec3 n = Cross(b - a, c - a);
      EXPECT_GT(Dot(n, t.normals[i]), 0);
      for (auto [z, area] :
           {std::pair<double, double*>{50, &notch}, {60, &down}, {55, &ring}, {73, &gear}})
        if (a.z == z && b.z == z && c.z == z) *area += n.z / 2;
    }
  }
  EXPECT_NEAR(notch, 10, 1e-9);
  EXPECT_NEAR(down, -1, 1e-9);
  EXPECT_NEAR(ring, std::acos(-1.0) / 4 * (25 - 4), 0.01);
  EXPECT_GT(gear, std::acos(-1.0) * 64 * 0.97);
  EXPECT_LT(gear, std::acos(-1.0) * 100);

  // The exact box: the half cylinder reaches y = 5 only on one side, and the
  // second item's cylinder lies along -y after its quarter turn about x.
  xrchandle<KBox3D> box;
  part->GetModelBox(box);
  const KVec3 lo = box->Min(), hi = box->Max();
  const double expected[6] = {-2, -8, -2, 105, 20, 73},
               got[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(got[k], expected[k], 1e-9) << k;
}

// A component as text: its file, its configuration and its placement's 16
// numbers in Get order (none without a placement).
std::string Describe(const xrchandle<KComponent>& component) {
  xstring name, config;
  xrchandle<KMatrix3D> placement;
  component->GetReferencedFileName(name);
  component->GetConfigName(config);
  component->GetPlacement(placement);
  std::string text = std::string(name.GetNarrow()) + "|" + config.GetNarrow();
  for (int k = 0; placement && k < 16; ++k) {
    char number[32];
    std::snprintf(number, sizeof number, " %g",
                  std::round(placement->Get(k / 4, k % 4) * 1e9) / 1e9 + 0.0);
    text += number;
  }
  return text;
}

TEST_F(NativeReader, AssemblyKeepsComponentsNamesConfigurationsAndPlacements) {
  std::string path = kit.WriteFile("top.asm", R"(granite-native 1
assembly
units 0
component "..\Parts\Shaft.PRT" end
component "bolt.prt" config "bolt_m6" rotate 0 0 1 90 translate 10 0 0 end
component "plate.prt"
  matrix 2 0 0 0  0 2 0 0  0 0 2 0  1 2 3 1
end
)");
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  session->OpenFile(path.c_str(), file);
  ASSERT_TRUE(file) << KGetLastError();
  xrchandle<KAssembly> assembly;
  session->GetAssembly(file, 1, assembly);
  xrchandle<KComponent> root;
  session->GetRootComponent(file, 1, root);
  file->Close();
  ASSERT_TRUE(assembly);
  EXPECT_EQ(Definition(root), xrchandle<KModel>(assembly));
  EXPECT_EQ(assembly->GetUnits(), KUNITS_INCH);
  std::vector<std::string> components;
  for (const xrchandle<KComponent>& c : Components(assembly)) components.push_back(Describe(c));
  EXPECT_EQ(components,
            (std::vector<std::string>{"..\\Parts\\Shaft.PRT|",
                                      "bolt.prt|bolt_m6 0 1 0 0 -1 0 0 0 0 0 1 0 10 0 0 1",
                                      "plate.prt| 2 0 0 0 0 2 0 0 0 0 2 0 1 2 3 1"}));
}

struct Malformed {
  std::string text;
  int line;
  const char* reason;
};

TEST_F(NativeReader, MalformedFilesGiveNoFileAndAReasonWithTheLine) {
  std::string polygon = "*polygon";
  for (int i = 0; i < 5000; ++i)
    polygon += " " + std::to_string(std::cos(i * 0.001)) + " " +
               std::to_string(std::sin(i * 0.001)) + " 0";
  const Malformed cases[] = {
      {"", 1, "expected the header 'granite-native 1', found the end of the file"},
      {"granite-native 2\npart", 1, "unsupported format version 2"},
      {"granite-native 1\nthing", 2, "expected 'assembly' or 'part'"},
      {"granite-native 1\npart\nunits 9", 3, "units code must be 0..6"},
      {"*solid box from 0 0 0 to 1 1\nend", 5, "expected three numbers after 'to', found 'end'"},
      {"*solid box from 0 0 0 to 1 -1 1 end\nend", 4, "must be greater"},
      {"*solid box from 0 0 0 to nan 1 1 end\nend", 4, "expected three numbers after 'to'"},
      {"*cylinder radius 1 end\nend", 4, "needs 'height'"},
      {"*cylinder radius -1 height 0 1 end\nend", 4, "must be greater than 0"},
      {"*polygon 0 0 0 1 0 0 end\nend", 4, "at least 3 points"},
      {"*polygon 0 0 0 1 0 0 1 1 0 0 1 1 end\nend", 4, "one plane"},
      {"*triangles 0 0 0 1 0 0 2 0 0 end\nend", 4, "has no area"},
      {"*sphere radius 1 matrix 2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1 "
       "end\nend",
       4, "rotation and translation"},
      {"*sphere radius 1 rotate 0 0 0 5 end\nend", 4, "must not be 0 0 0"},
      {"*sphere radius 1 end\n", 5, "expected 'end' for the body begun on line 3"},
      {"*blob end\nend", 4, "expected a face"},
      {"granite-native 1\npart\nprimary end\nprimary end", 4, "one primary body"},
      {"granite-native 1\npart\ncolor 1 2 0", 3, "between 0 and 1"},
      {"granite-native 1\npart\nlayer 1.5", 3, "whole number"},
      {"granite-native 1\npart\ncolor 1e999 0 0", 3, "is not a number"},
      {"granite-native 1\npart\ncolor 1e13 0 0", 3, "too large"},
      {"granite-native 1\npart\n\n  @", 4, "unexpected character '@'"},
      {"granite-native 1\npart\n\x01", 3, "unexpected byte 0x01"},
      {"granite-native 1\npart\nprimary solid gear teeth 2 radius 1 2 height 0 1 end end", 3,
       "3 to 1000 teeth"},
      {"granite-native 1\npart\nprimary solid prism height 0 1 outline 0 0 1 0 2 0 end end", 3,
       "describes no solid"},
      {"granite-native 1\nassembly\ncomponent bolt.prt end", 3,
       "expected the referenced file name"},
      {"granite-native 1\nassembly\ncomponent \"a\" matrix 1 0 0 1 0 1 0 0 0 0 1 0 0 0 0 1 end", 3,
       "last column"},
      // Limits that keep huge input from running away.
      {polygon + " end\nend", 4, "a polygon has too many points"},
      {"granite-native 1\npart\n" + std::string(5000, 'a'), 3, "a word is too long"},
  };
  for (const Malformed& c : cases) {
    // '*' stands for a part's primary body begun on line 3.
    const std::string text =
        c.text[0] == '*' ? "granite-native 1\npart\nprimary\n  " + c.text.substr(1) : c.text;
    EXPECT_FALSE(KReadNative(text, "bad.prt", kit.Directory())) << text;
    const std::string reason = KGetLastError(), where = "bad.prt:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(reason.compare(0, where.size(), where), 0)
        << reason << "\nfor: " << text.substr(0, 80);
    EXPECT_NE(reason.find(c.reason), std::string::npos)
        << reason << "\nfor: " << text.substr(0, 80);
  }
}

TEST_F(Translator, ExchangeFilesOpenAndOnlyStepAndIgesHaveReaders) {
  std::string path = kit.WriteFile("Shaft.STP", "ISO-10303-21;\nEND-ISO-10303-21;\n");
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KTranslator> translator;
  KGetTranslator(translator);
  ASSERT_TRUE(translator);
  xrchandle<KFile> file;
  session->OpenFile(kit.Path("shaft.stp").c_str(), file);
  ASSERT_TRUE(file) << KGetLastError();
  const struct {
    int code;
    const char* reason;
  } formats[] = {{KFORMAT_STEP, "STEP file"},
                 {KFORMAT_IGES, "holds STEP, not IGES"},  // a STEP text read as IGES
                 {KFORMAT_NEUTRAL, "the neutral format"},
                 {KFORMAT_PARASOLID, "the Parasolid format"}};
  for (const auto& f : formats) {
    xrchandle<KModel> model;
    translator->Translate(f.code, file, xrchandle<xobject>(), xrchandle<xobject>(), model);
    EXPECT_FALSE(model);
    const std::string reason = KGetLastError();
    EXPECT_NE(reason.find(path), std::string::npos) << reason;
    EXPECT_NE(reason.find(f.reason), std::string::npos) << reason;
  }
}

}  // namespace
