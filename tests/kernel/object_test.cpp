// The object model: counted handles, run-time classes, strings, exceptions.
#include <gtest/gtest.h>

#include "gkit/testkit.h"

namespace {

TEST(KernelObjects, HandlesCountReferencesAndReleaseTheLastOne) {
  gkit::Kit kit;
  int before = gkit::LiveObjects();
  {
    xrchandle<KColor> a(new KColor(1, 0, 0));
    EXPECT_EQ(a->xrccount(), 1);
    xrchandle<KColor> b = a;
    xrchandle<KColor> c;
    c = b;
    EXPECT_EQ(a->xrccount(), 3);
    c = c;  // self-assignment keeps the object
    EXPECT_EQ(a->xrccount(), 3);
    xrchandle<xobject> base = a;  // converting copy
    EXPECT_EQ(a->xrccount(), 4);
    b = xrchandle<KColor>(new KColor(0, 1, 0));  // reassigning releases the old one
    EXPECT_EQ(a->xrccount(), 3);
    xrchandle<KColor> moved = std::move(c);
    EXPECT_TRUE(c.isNull());
    EXPECT_EQ(a->xrccount(), 3);
    EXPECT_EQ(gkit::LiveObjects(), before + 2);
  }
  EXPECT_EQ(gkit::LiveObjects(), before);
  EXPECT_EQ(gkit::LiveReferences(), 0);
}

TEST(KernelObjects, RuntimeClassesAndCasts) {
  xrchandle<KAssembly> assembly(new KAssembly);
  xrchandle<KPartModel> part(new KPartModel);
  xrchandle<KAttribute> color(new KColorAttribute(0.1, 0.2, 0.3));
  xrchandle<KAttribute> name(new KNameAttribute(xstring(WSTR("n"))));

  EXPECT_TRUE(assembly->isKindOf(KAssembly::getClassRtti()));
  EXPECT_TRUE(assembly->isKindOf(KModel::getClassRtti()));
  EXPECT_TRUE(assembly->isKindOf(xobject::getClassRtti()));
  EXPECT_FALSE(part->isKindOf(KAssembly::getClassRtti()));
  EXPECT_EQ(KAssembly::cast(assembly.get()), assembly.get());
  EXPECT_EQ(KAssembly::cast(part.get()), nullptr);
  EXPECT_EQ(KAssembly::cast(static_cast<xobject*>(nullptr)), nullptr);
  EXPECT_NE(KColorAttribute::cast(color.get()), nullptr);
  EXPECT_EQ(KColorAttribute::cast(name.get()), nullptr);
  // A part reaches its attributes through a virtual base; casts still work.
  EXPECT_EQ(KPartModel::cast(static_cast<xobject*>(part.get())), part.get());
}

TEST(KernelObjects, StringsLowerAndConvert) {
  xstring s(WSTR("C:\\Models\\Gear\u00C9.PRT"));
  EXPECT_EQ(s.GetLength(), 19);
  xstring lower = s.ToLower();
  // The run-time's towlower maps ASCII letters only.
  EXPECT_EQ(lower, xstring(WSTR("c:\\models\\gear\u00C9.prt")));
  EXPECT_STREQ(lower.GetNarrow(), "c:\\models\\gear\xC3\x89.prt");
  EXPECT_EQ(s.GetLength(), 19);  // lowering gives a new string

  // UTF-8 both ways, a surrogate pair included; invalid bytes become U+FFFD.
  xstring wide = xstring::FromNarrow("a\xF0\x9F\x98\x80z");
  EXPECT_EQ(wide.GetLength(), 4);
  EXPECT_STREQ(wide.GetNarrow(), "a\xF0\x9F\x98\x80z");
  xstring bad = xstring::FromNarrow("x\xFF\xC3");
  EXPECT_EQ(bad, xstring(WSTR("x\uFFFD\uFFFD")));
  EXPECT_EQ(xstring(static_cast<const WCHAR*>(nullptr)).GetLength(), 0);
  EXPECT_STREQ(xstring().GetNarrow(), "");
}

TEST(KernelObjects, ExceptionsThrownByTheKernelAreCaughtHere) {
  gkit::Kit kit;
  xrchandle<xdoublesequence> values(new xdoublesequence({1.0, 2.0}));
  bool caught = false;
  try {
    values->GetAt(2);
  } catch (xthrowable* e) {
    // The catcher's handle attaches and releases; the thrown reference is
    // given back with xrcunirelease.
    {
      xrcunihandle<xthrowable> held(e);
      EXPECT_EQ(e->xrccount(), 2);
    }
    EXPECT_NE(gkit::Message(e).find("index 2"), std::string::npos);
    e->xrcunirelease();
    caught = true;
  }
  EXPECT_TRUE(caught);
  EXPECT_NE(std::string(KGetLastError()).find("index 2"), std::string::npos);
  xrchandle<KMatrix3D> matrix(new KMatrix3D(KAffine()));
  for (int bad : {-1, 4}) {
    caught = false;
    try {
      matrix->Get(bad, 0);
    } catch (xthrowable* e) {
      e->xrcunirelease();
      caught = true;
    }
    EXPECT_TRUE(caught) << bad;
  }
}

TEST(KernelObjects, MatrixGetIsRowMajorWithTranslationInRowThree) {
  KAffine m = KAffine::Rotation({0, 0, 1}, 3.14159265358979323846 / 2)
                  .Then(KAffine::Translation({10, 20, 30}));
  xrchandle<KMatrix3D> matrix(new KMatrix3D(m));
  EXPECT_NEAR(matrix->Get(0, 1), 1, 1e-12);  // x axis turns to y
  EXPECT_NEAR(matrix->Get(1, 0), -1, 1e-12);
  EXPECT_EQ(matrix->Get(3, 0), 10);
  EXPECT_EQ(matrix->Get(3, 2), 30);
  EXPECT_EQ(matrix->Get(3, 3), 1);
  EXPECT_EQ(matrix->Get(0, 3), 0);
  // A point times the matrix lands where the placement puts it.
  KVec3 p = m.Apply({1, 0, 0});
  EXPECT_NEAR(p.x, 10, 1e-12);
  EXPECT_NEAR(p.y, 21, 1e-12);
}

}  // namespace
