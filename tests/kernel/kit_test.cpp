// The kernel's object model (counted handles, strings, exceptions) and the
// translator's refusals. Casts, matrices, the test kit's bindings and records
// are exercised by every load test, its injected faults by cache_test.cpp and
// the fault sweep.

#include <cmath>
#include <cstdlib>

#include "helpers.h"

namespace {

using namespace ktest;
using KernelObjects = KitTest;
using Translator = KitTest;


TEST_F(KernelObjects, HandlesCountReferencesAndReleaseTheLastOne) {
  int before = LiveObjects();
  {
    xrchandle<KColor> a(new KColor(1, 0, 0));
    xrchandle<KColor> b = a, c;
    c = b;
    c = c;  // self-assignment keeps the object
    EXPECT_EQ(a->xrccount(), 3);
    xrchandle<xobject> base = a;  // converting copy
    EXPECT_EQ(a->xrccount(), 4);
    b = xrchandle<KColor>(new KColor(0, 1, 0));  // reassigning releases the old one
    EXPECT_EQ(a->xrccount(), 3);
    xrchandle<KColor> moved = std::move(c);
    EXPECT_TRUE(c.isNull());
    EXPECT_EQ(a->xrccount(), 3);
    EXPECT_EQ(LiveObjects(), before + 2);
  }
  EXPECT_EQ(LiveObjects(), before);
}

TEST_F(KernelObjects, StringsConvertUtf8BothWays) {
  // UTF-8 both ways, a surrogate pair included; invalid bytes become U+FFFD.
  // (Lowering, ASCII letters only: files_test.cpp.)
  xstring wide = xstring::FromNarrow("a\xF0\x9F\x98\x80z");
  EXPECT_EQ(wide.GetLength(), 4);
  EXPECT_STREQ(wide.GetNarrow(), "a\xF0\x9F\x98\x80z");
  EXPECT_EQ(xstring::FromNarrow("x\xFF\xC3"), xstring(WSTR("x\uFFFD\uFFFD")));
  EXPECT_EQ(xstring(static_cast<const WCHAR*>(nullptr)).GetLength(), 0);
  EXPECT_STREQ(xstring().GetNarrow(), "");
}

TEST_F(KernelObjects, ExceptionsThrownByTheKernelAreCaughtHere) {
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
    EXPECT_NE(Message(e).find("index 2"), std::string::npos);
    e->xrcunirelease();
    caught = true;
  }
  EXPECT_TRUE(caught);
  EXPECT_NE(std::string(KGetLastError()).find("index 2"), std::string::npos);
  xrchandle<KMatrix3D> matrix(new KMatrix3D(KAffine()));
  for (int bad : {-1, 4}) EXPECT_NE(Thrown([&] { matrix->Get(bad, 0); }), "") << bad;
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
  // Not a native file: no assembly, no root component.
  xrchandle<KAssembly> assembly;
  session->GetAssembly(file, 1, assembly);
  EXPECT_FALSE(assembly);
  xrchandle<KComponent> root;
  session->GetRootComponent(file, 1, root);
  EXPECT_FALSE(root);
  const struct {
    int code;
    const char* reason;
  } formats[] = {{KFORMAT_STEP, "STEP file"},
                 {KFORMAT_IGES, "holds STEP, not IGES"},  // a STEP text read as IGES
                 {KFORMAT_NEUTRAL, "the neutral format"},
                 {KFORMAT_SAT, "the SAT format"},
                 {KFORMAT_VDA, "the VDA format"},
                 {KFORMAT_PARASOLID, "the Parasolid format"},
                 {42, "format code 42 is not supported"},
                 {-KFORMAT_STEP, "closed"}};  // after the file is closed
  for (const auto& f : formats) {
    if (f.code < 0) file->Close();
    xrchandle<KModel> model;
    translator->Translate(std::abs(f.code), file, xrchandle<xobject>(), xrchandle<xobject>(),
                          model);
    EXPECT_FALSE(model);
    std::string reason = KGetLastError();
    EXPECT_TRUE(f.code < 0 || reason.find(path) != std::string::npos) << reason;
    EXPECT_NE(reason.find(f.reason), std::string::npos) << reason;
  }
}

}  // namespace
