// The kernel's object model (counted handles, strings, exceptions), the test
// kit (bindings, faults) and the translator's refusals. Casts, matrices and the
// kit's records are exercised by every load test.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

#include "helpers.h"

namespace {

using namespace ktest;
using KernelObjects = KitTest;
using TestKit = KitTest;
using Translator = KitTest;

const char* const kBoxPart = "color 0.5 0.5 0.5 primary solid box from 0 0 0 to 1 2 3 end end";

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

TEST_F(KernelObjects, StringsLowerAndConvert) {
  xstring s(WSTR("C:\\Models\\Gear\u00C9.PRT"));
  xstring lower = s.ToLower();
  // The run-time's towlower maps ASCII letters only.
  EXPECT_EQ(lower, xstring(WSTR("c:\\models\\gear\u00C9.prt")));
  EXPECT_STREQ(lower.GetNarrow(), "c:\\models\\gear\xC3\x89.prt");
  EXPECT_EQ(s.GetLength(), 19);  // lowering gives a new string
  // UTF-8 both ways, a surrogate pair included; invalid bytes become U+FFFD.
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

TEST_F(TestKit, BoundModelsOpenUnderAnySpellingWithPlaceholdersOnDisk) {
  xrchandle<KPartModel> part = kit.Part(kBoxPart);
  kit.Bind(kit.Path("Bolt.PRT"), part);
  struct stat st;
  EXPECT_EQ(::stat(kit.Path("Bolt.PRT").c_str(), &st), 0);
  EXPECT_EQ(OpenModel(kit.Path("bolt.prt")), part);
  EXPECT_EQ(kit.OpenedPaths(), std::vector<std::string>{kit.Path("bolt.prt")});
  EXPECT_EQ(kit.Calls(KCall::Close), 1);
  EXPECT_THROW(kit.Part("primary blob end"), std::invalid_argument);
}

TEST_F(TestKit, ChosenCallsAnswerNullOrThrow) {
  xrchandle<KPartModel> part = kit.Part(kBoxPart);
  kit.Bind(kit.Path("p.prt"), part);
  xrchandle<KBody> body = part->PrimaryBody();
  kit.Fail(KCall::GetFaces);  // every call
  EXPECT_TRUE(Faces(body).empty());
  kit.ClearFaults();
  xrchandle<KFaceSet> faces;
  body->GetFaces(faces);
  ASSERT_TRUE(faces);
  kit.Fail(KCall::SequenceEntry, KFault::Null, 2);  // only the second entry asked for
  xrchandle<KFace> face[3];
  for (int i = 0; i < 3; ++i) faces->GetAt(i, face[i]);
  EXPECT_TRUE(face[0] && !face[1] && face[2]);

  kit.Fail(KCall::OpenFile, KFault::Throw);
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  EXPECT_EQ(Thrown([&] { session->OpenFile(kit.Path("p.prt").c_str(), file); }),
            "injected failure of OpenFile");
  kit.Fail(KCall::Session);
  session.reset();
  KGetSession(session);
  EXPECT_FALSE(session);
  kit.Fail(KCall::Triangulator);
  xrchandle<KTriangulator> triangulator;
  KGetTriangulator(triangulator);
  EXPECT_FALSE(triangulator);
}

// Every kernel call of a walk, failed in turn, by a throw or a null: the
// walk never crashes and nothing leaks.
TEST_F(TestKit, FaultSweepOverEveryCallOfAWalk) {
  kit.WriteFile("gear.prt", R"(granite-native 1 part color 1 0 0
      primary solid gear teeth 6 radius 3 4 height 0 1 color 0 0 1 end end
      item sphere radius 1 end end)");
  const std::string top = kit.WriteFile("top.asm",
                                        "granite-native 1 assembly component \"GEAR.prt\" "
                                        "translate 1 0 0 end component \"gear.prt\" end");
  EXPECT_EQ(WalkFile(top).parts, 2);
  long calls = kit.TotalCalls();
  ASSERT_GT(calls, 50);
  for (KFault fault : {KFault::Throw, KFault::Null}) {
    for (long k = 1; k <= calls; ++k) {
      Kit sweep;
      sweep.FailNth(k, fault);
      Thrown([&] { WalkFile(top); });
      // The session keeps the part it read (the cache of models read); the
      // kit's release lets go of it, and then nothing may be left.
      EXPECT_LE(KGetModelCacheStatistics().entries, 1) << "call " << k;
      sweep.Release();
      ASSERT_EQ(LiveObjects(), 0) << "call " << k;
    }
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
