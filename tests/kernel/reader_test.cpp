// Reading native files: structure, boxes, and refusal of malformed input.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "helpers.h"

namespace {

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
  polygon 0 0 50  4 0 50  4 4 50  2 1 50  0 4 50  name "notch" color 0 1 0 end
  triangles 0 0 60  1 0 60  0 1 60   1 0 60  1 1 60  0 1 60 reversed end
end
)";

TEST(NativeReader, PartHoldsAttributesBodiesAndFacesInOrder) {
  gkit::Kit kit;
  {
    xrchandle<KModel> model = ktest::OpenModel(kit.WriteFile("Bracket.prt", kPart));
    ASSERT_TRUE(model) << KGetLastError();
    KPartModel* part = KPartModel::cast(model.get());
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->GetUnits(), KUNITS_CENTIMETER);
    EXPECT_EQ(ktest::FirstColor(part), (std::vector<double>{0.2, 0.4, 0.6}));
    xrchandle<KAttributeSequence> attributes;
    part->GetAttributes(1, attributes);
    ASSERT_EQ(attributes->GetCount(), 3);
    xrchandle<KAttribute> a;
    attributes->GetAt(2, a);
    ASSERT_NE(KLayerAttribute::cast(a.get()), nullptr);
    EXPECT_EQ(KLayerAttribute::cast(a.get())->GetLayer(), 7);

    xrchandle<KBody> primary;
    part->GetPrimaryBody(primary);
    auto faces = ktest::Faces(primary);
    ASSERT_EQ(faces.size(), 7u);  // six box faces and the half cylinder
    EXPECT_TRUE(ktest::FirstColor(faces[0]).empty());
    EXPECT_EQ(ktest::FirstColor(faces[6]), (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(faces[6]->Surface().kind, KSurfaceKind::Cylinder);

    xrchandle<KGeometryItemSequence> items;
    part->GetGeometryItems(items);
    ASSERT_EQ(items->GetCount(), 2);
    xrchandle<KGeometryItem> item;
    items->GetAt(1, item);
    xrchandle<KBody> body;
    item->GetBody(body);
    EXPECT_NE(body, primary);
    faces = ktest::Faces(body);
    ASSERT_EQ(faces.size(), 2u);
    // A face whose first attribute is a name has no face colour.
    EXPECT_TRUE(ktest::FirstColor(faces[0]).empty());
    // reversed turns explicit triangles around.
    const KSurface& t = faces[1]->Surface();
    EXPECT_LT(Cross(t.points[1] - t.points[0], t.points[2] - t.points[0]).z, 0);

    // The exact box: the half cylinder reaches y = 5 only on one side, and the
    // second item's cylinder lies along -y after its quarter turn about x.
    xrchandle<KBox3D> box;
    part->GetModelBox(box);
    KVec3 lo = ktest::Corner(box, false), hi = ktest::Corner(box, true);
    EXPECT_NEAR(lo.x, -2, 1e-9);
    EXPECT_NEAR(lo.y, -8, 1e-9);
    EXPECT_NEAR(lo.z, -2, 1e-9);
    EXPECT_NEAR(hi.x, 105, 1e-9);
    EXPECT_NEAR(hi.y, 20, 1e-9);
    EXPECT_NEAR(hi.z, 60, 1e-9);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(NativeReader, AssemblyKeepsComponentsNamesConfigurationsAndPlacements) {
  gkit::Kit kit;
  {
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
    file->Close();
    ASSERT_TRUE(assembly);
    EXPECT_EQ(assembly->GetUnits(), KUNITS_INCH);
    xrchandle<KComponentSequence> components;
    assembly->GetComponents(components);
    ASSERT_EQ(components->GetCount(), 3);

    xrchandle<KComponent> c;
    xstring name, config;
    xrchandle<KMatrix3D> placement;
    components->GetAt(0, c);
    c->GetReferencedFileName(name);
    c->GetConfigName(config);
    c->GetPlacement(placement);
    EXPECT_STREQ(name.GetNarrow(), "..\\Parts\\Shaft.PRT");
    EXPECT_TRUE(config.IsEmpty());
    EXPECT_FALSE(placement);

    components->GetAt(1, c);
    c->GetConfigName(config);
    c->GetPlacement(placement);
    EXPECT_STREQ(config.GetNarrow(), "bolt_m6");
    ASSERT_TRUE(placement);
    const double expected[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(placement->Get(k / 4, k % 4), expected[k], 1e-12) << k;

    components->GetAt(2, c);
    c->GetPlacement(placement);
    EXPECT_EQ(placement->Get(0, 0), 2);
    EXPECT_EQ(placement->Get(3, 2), 3);

    // The root component of an assembly file places the assembly at identity.
    xrchandle<KFile> again;
    session->OpenFile(path.c_str(), again);
    xrchandle<KComponent> root;
    session->GetRootComponent(again, 1, root);
    again->Close();
    xrchandle<KModel> definition;
    root->GetDefinition(definition);
    EXPECT_EQ(KAssembly::cast(definition.get()) != nullptr, true);
    root->GetPlacement(placement);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(placement->Get(k / 4, k % 4), k % 5 == 0 ? 1 : 0);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(NativeReader, PartFileHasNoAssemblyAndRootComponentIsAtIdentity) {
  gkit::Kit kit;
  {
    std::string path =
        kit.WriteFile("p.xpr", "granite-native 1 part primary solid sphere radius 1 end end");
    xrchandle<KSession> session;
    KGetSession(session);
    xrchandle<KFile> file;
    session->OpenFile(path.c_str(), file);
    ASSERT_TRUE(file);
    xrchandle<KAssembly> assembly;
    session->GetAssembly(file, 1, assembly);
    EXPECT_FALSE(assembly);
    xrchandle<KComponent> root;
    session->GetRootComponent(file, 1, root);
    ASSERT_TRUE(root);
    xrchandle<KMatrix3D> placement;
    root->GetPlacement(placement);
    for (int k = 0; k < 16; ++k) EXPECT_EQ(placement->Get(k / 4, k % 4), k % 5 == 0 ? 1 : 0);
    file->Close();
    // Closed: the file gives nothing more.
    session->GetRootComponent(file, 1, root);
    EXPECT_FALSE(root);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

struct Malformed {
  const char* text;
  int line;
  const char* reason;
};

TEST(NativeReader, MalformedFilesGiveNoFileAndAReasonWithTheLine) {
  const Malformed cases[] = {
      {"", 1, "expected the header 'granite-native 1', found the end of the file"},
      {"granite 1\npart", 1, "expected the header"},
      {"granite-native 2\npart", 1, "unsupported format version 2"},
      {"granite-native 1\nthing", 2, "expected 'assembly' or 'part'"},
      {"granite-native 1\npart\nunits 9", 3, "units code must be 0..6"},
      {"granite-native 1\npart\nunits parsec", 3, "expected a units code"},
      {"granite-native 1\npart\nprimary\n  solid box from 0 0 0 to 1 1\nend", 5,
       "expected three numbers after 'to', found 'end'"},
      {"granite-native 1\npart\nprimary\n  solid box from 0 0 0 to 1 -1 1 end\nend", 4,
       "must be greater"},
      {"granite-native 1\npart\nprimary\n  cylinder radius 1 end\nend", 4, "needs 'height'"},
      {"granite-native 1\npart\nprimary\n  cylinder radius -1 height 0 1 end\nend", 4,
       "must be greater than 0"},
      {"granite-native 1\npart\nprimary\n  torus radius 1 2 end\nend", 4, "minor radius"},
      {"granite-native 1\npart\nprimary\n  sphere radius 1 latitude -100 0 end\nend", 4,
       "between -90 and 90"},
      {"granite-native 1\npart\nprimary\n  disc radius 1 sweep 0 400 end\nend", 4,
       "span more than 360"},
      {"granite-native 1\npart\nprimary\n  polygon 0 0 0 1 0 0 end\nend", 4, "at least 3 points"},
      {"granite-native 1\npart\nprimary\n  polygon 0 0 0 1 0 0 1 1 0 0 1 1 end\nend", 4,
       "one plane"},
      {"granite-native 1\npart\nprimary\n  triangles 0 0 0 1 0 0 2 0 0 end\nend", 4, "has no area"},
      {"granite-native 1\npart\nprimary\n  triangles 0 0 0 1 0 0 end\nend", 4, "three points"},
      {"granite-native 1\npart\nprimary\n  sphere radius 1 matrix 2 0 0 0 0 2 0 0 0 0 2 0 0 0 0 1 "
       "end\nend",
       4, "rotation and translation"},
      {"granite-native 1\npart\nprimary\n  sphere radius 1 rotate 0 0 0 5 end\nend", 4,
       "must not be 0 0 0"},
      {"granite-native 1\npart\nprimary\n  sphere radius 1\n", 5, "expected a parameter"},
      {"granite-native 1\npart\nprimary\n  sphere radius 1 end\n", 5,
       "expected 'end' for the body begun on line 3"},
      {"granite-native 1\npart\nprimary\n  blob end\nend", 4, "expected a face"},
      {"granite-native 1\npart\nprimary\n  solid blob end\nend", 4, "expected a solid"},
      {"granite-native 1\npart\nprimary end\nprimary end", 4, "one primary body"},
      {"granite-native 1\npart\ncolor 1 2 0", 3, "between 0 and 1"},
      {"granite-native 1\npart\nname \"open", 3, "not closed"},
      {"granite-native 1\npart\nlayer 1.5", 3, "whole number"},
      {"granite-native 1\npart\ncolor 1e999 0 0", 3, "is not a number"},
      {"granite-native 1\npart\ncolor 1e13 0 0", 3, "too large"},
      {"granite-native 1\npart\ncolor 1.2.3 0 0", 3, "is not a number"},
      {"granite-native 1\npart\n\n  @", 4, "unexpected character '@'"},
      {"granite-native 1\npart\n\x01", 3, "unexpected byte 0x01"},
      {"granite-native 1\npart\nprimary solid gear teeth 2 radius 1 2 height 0 1 end end", 3,
       "3 to 1000 teeth"},
      {"granite-native 1\npart\nprimary solid prism height 0 1 outline 0 0 1 0 end end", 3,
       "at least 3 x y pairs"},
      {"granite-native 1\npart\nprimary solid prism height 0 1 outline 0 0 1 0 2 0 end end", 3,
       "describes no solid"},
      {"granite-native 1\nassembly\ncomponent bolt.prt end", 3,
       "expected the referenced file name"},
      {"granite-native 1\nassembly\ncomponent \"a\" config \"x\" config \"y\" end", 3,
       "one configuration name"},
      {"granite-native 1\nassembly\ncomponent \"a\" matrix 1 0 0 1 0 1 0 0 0 0 1 0 0 0 0 1 end", 3,
       "last column"},
      {"granite-native 1\nassembly\ncomponent \"a\" end\nprimary", 4,
       "expected 'component' or the end of the file"},
  };
  gkit::Kit kit;
  int index = 0;
  for (const Malformed& c : cases) {
    std::string name = "bad" + std::to_string(index++) + ".prt";
    std::string path = kit.WriteFile(name, c.text);
    KClearLastError();
    {
      xrchandle<KSession> session;
      KGetSession(session);
      xrchandle<KFile> file;
      session->OpenFile(path.c_str(), file);
      EXPECT_FALSE(file) << c.text;
    }
    std::string reason = KGetLastError();
    std::string where = path + ":" + std::to_string(c.line) + ": ";
    EXPECT_EQ(reason.compare(0, where.size(), where), 0) << reason << "\nfor: " << c.text;
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason << "\nfor: " << c.text;
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(NativeReader, LimitsRefuseHugeInputWithoutRunningAway) {
  gkit::Kit kit;
  std::string polygon = "granite-native 1\npart\nprimary\npolygon";
  for (int i = 0; i < 5000; ++i)
    polygon += " " + std::to_string(std::cos(i * 0.001)) + " " +
               std::to_string(std::sin(i * 0.001)) + " 0";
  polygon += " end end";
  std::string longWord = "granite-native 1\npart\n" + std::string(5000, 'a');
  std::string longString = "granite-native 1\npart\nname \"" + std::string(5000, 'a') + "\"";
  for (const std::string& text : {polygon, longWord, longString}) {
    EXPECT_FALSE(KReadNative(text, "big", "."));
    EXPECT_NE(std::string(KGetLastError()).find("too"), std::string::npos) << KGetLastError();
  }
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

// Random damage to a valid file: each result is a model or a reason with a
// line number, never a crash (run under the sanitizers too).
TEST(NativeReader, DamagedInputNeverCrashes) {
  const std::string good = kPart;
  std::mt19937 random(1234);
  const char alphabet[] = "granite-native 1 part primary end solid box 0.5e-3 -\"#\n\\@\x7f\xff";
  int parsed = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = good;
    int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) {
      size_t at = random() % (text.size() + 1);
      switch (random() % 4) {
        case 0:
          text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]);
          break;
        case 1:
          if (at < text.size()) text.erase(at, 1 + random() % 8);
          break;
        case 2:
          text.resize(at);
          break;
        default:
          if (at < text.size()) text[at] = static_cast<char>(random());
          break;
      }
    }
    xrchandle<KModel> model = KReadNative(text, "damaged", ".");
    if (model) {
      ++parsed;
      continue;
    }
    std::string reason = KGetLastError();
    ASSERT_EQ(reason.compare(0, 8, "damaged:"), 0) << reason;
    ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(reason[8]))) << reason;
  }
  EXPECT_GT(parsed, 0);
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

// Boxes are exact: sampled surface points lie inside, and the box is no larger
// than the samples reach (up to the sampling step).
TEST(NativeReader, ModelBoxesAreExactForTurnedAnalyticFaces) {
  std::mt19937 random(99);
  std::uniform_real_distribution<double> unit(-1, 1);
  const KSurfaceKind kinds[] = {KSurfaceKind::Disc, KSurfaceKind::Cylinder, KSurfaceKind::Cone,
                                KSurfaceKind::Sphere, KSurfaceKind::Torus};
  for (int round = 0; round < 60; ++round) {
    KSurface s;
    s.kind = kinds[round % 5];
    s.frame = KAffine::Rotation({unit(random), unit(random), unit(random)}, 3 * unit(random))
                  .Then(KAffine::Translation({unit(random), unit(random), unit(random)}));
    s.u0 = 2 * unit(random);
    s.u1 = s.u0 + 0.3 + 2.9 * std::fabs(unit(random));
    s.r0 = 2;
    s.r1 = s.kind == KSurfaceKind::Torus ? 0.7 : s.kind == KSurfaceKind::Disc ? 3 : 1;
    if (s.kind == KSurfaceKind::Disc) s.r0 = 1;
    s.v0 = s.kind == KSurfaceKind::Sphere ? -1.2 : -1;
    s.v1 = s.kind == KSurfaceKind::Sphere ? 0.9 : 2.5;
    xrchandle<KBody> body = gkit::Kit::FaceBody(s);
    xrchandle<KBox3D> box;
    body->GetBoundingBox(box);
    ASSERT_TRUE(box);
    KExtent exact{box->Min(), box->Max()}, sampled;
    const int n = 400;
    double vlo = s.kind == KSurfaceKind::Disc ? s.r0 : s.v0,
           vhi = s.kind == KSurfaceKind::Disc ? s.r1 : s.v1;
    for (int i = 0; i <= n; ++i)
      for (int j = 0; j <= 40; ++j) {
        double u = s.u0 + (s.u1 - s.u0) * i / n, v = vlo + (vhi - vlo) * j / 40;
        KVec3 local;
        double cu = std::cos(u), su = std::sin(u);
        switch (s.kind) {
          case KSurfaceKind::Disc:
            local = {v * cu, v * su, 0};
            break;
          case KSurfaceKind::Cylinder:
            local = {2 * cu, 2 * su, v};
            break;
          case KSurfaceKind::Cone: {
            double r = 2 + (1 - 2) * (v - s.v0) / (s.v1 - s.v0);
            local = {r * cu, r * su, v};
            break;
          }
          case KSurfaceKind::Sphere:
            local = {2 * std::cos(v) * cu, 2 * std::cos(v) * su, 2 * std::sin(v)};
            break;
          default:
            local = {(2 + 0.7 * std::cos(v)) * cu, (2 + 0.7 * std::cos(v)) * su, 0.7 * std::sin(v)};
        }
        sampled.Add(s.frame.Apply(local));
      }
    const double step = 0.03;  // what the samples may fall short by
    for (double d :
         {sampled.lo.x - exact.lo.x, sampled.lo.y - exact.lo.y, sampled.lo.z - exact.lo.z,
          exact.hi.x - sampled.hi.x, exact.hi.y - sampled.hi.y, exact.hi.z - sampled.hi.z}) {
      EXPECT_GE(d, -1e-9) << "round " << round;
      EXPECT_LE(d, step) << "round " << round;
    }
  }
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
