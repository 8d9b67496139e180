// The test kit: models bound to paths, injected faults, records.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "helpers.h"

namespace {

const char* const kBoxPart = "color 0.5 0.5 0.5 primary solid box from 0 0 0 to 1 2 3 end end";

TEST(TestKit, BoundModelsOpenUnderAnySpellingWithPlaceholdersOnDisk) {
  gkit::Kit kit;
  {
    xrchandle<KPartModel> part = kit.Part(kBoxPart);
    kit.Bind(kit.Path("Bolt.PRT"), part);
    struct stat st;
    EXPECT_EQ(::stat(kit.Path("Bolt.PRT").c_str(), &st), 0);
    xrchandle<KModel> opened = ktest::OpenModel(kit.Path("bolt.prt"));
    EXPECT_EQ(opened, part);
    ASSERT_EQ(kit.OpenedPaths().size(), 1u);
    EXPECT_EQ(kit.OpenedPaths()[0], kit.Path("bolt.prt"));
    EXPECT_EQ(kit.Calls(KCall::OpenFile), 1);
    EXPECT_EQ(kit.Calls(KCall::Close), 1);
    EXPECT_THROW(kit.Part("primary blob end"), std::invalid_argument);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
  EXPECT_EQ(gkit::LiveReferences(), 0);
}

TEST(TestKit, ChosenCallsAnswerNullOrThrow) {
  gkit::Kit kit;
  {
    xrchandle<KPartModel> part = kit.Part(kBoxPart);
    kit.Bind(kit.Path("p.prt"), part);
    xrchandle<KBody> body;
    part->GetPrimaryBody(body);

    kit.Fail(KCall::GetFaces);  // every call
    xrchandle<KFaceSet> faces;
    body->GetFaces(faces);
    EXPECT_FALSE(faces);
    kit.ClearFaults();
    body->GetFaces(faces);
    ASSERT_TRUE(faces);

    kit.Fail(KCall::SequenceEntry, KFault::Null, 2);  // only the second entry asked for
    xrchandle<KFace> face;
    faces->GetAt(0, face);
    EXPECT_TRUE(face);
    faces->GetAt(1, face);
    EXPECT_FALSE(face);
    faces->GetAt(2, face);
    EXPECT_TRUE(face);

    kit.Fail(KCall::OpenFile, KFault::Throw);
    xrchandle<KSession> session;
    KGetSession(session);
    xrchandle<KFile> file;
    std::string message;
    try {
      session->OpenFile(kit.Path("p.prt").c_str(), file);
    } catch (xthrowable* e) {
      message = gkit::Message(e);
      e->xrcunirelease();
    }
    EXPECT_EQ(message, "injected failure of OpenFile");

    kit.Fail(KCall::Session);
    session.reset();
    KGetSession(session);
    EXPECT_FALSE(session);
    kit.Fail(KCall::Triangulator);
    xrchandle<KTriangulator> triangulator;
    KGetTriangulator(triangulator);
    EXPECT_FALSE(triangulator);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(TestKit, RecordsTolerancesPerTriangulator) {
  gkit::Kit kit;
  {
    xrchandle<KTriangulator> a, b;
    KGetTriangulator(a);
    KGetTriangulator(b);
    a->SetChordHeight(0.5);
    a->SetMaxDeviation(0.25);
    a->SetAngleTolerance(0.1);
    b->SetAngleTolerance(0.2);
  }
  auto records = kit.Triangulators();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].chordHeight, 0.5);
  EXPECT_EQ(records[0].maxDeviation, 0.25);
  EXPECT_EQ(records[0].angleTolerance, 0.1);
  EXPECT_EQ(records[0].settings, 3);
  EXPECT_TRUE(std::isnan(records[1].chordHeight));
  EXPECT_EQ(records[1].angleTolerance, 0.2);
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

TEST(TestKit, CyclesBuiltInMemoryAreReleasedWithTheKit) {
  gkit::Kit kit;
  {
    xrchandle<KAssembly> d = kit.Assembly(KUNITS_METER);
    const double shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1};
    kit.Component(d, "box.prt", "", shift, kit.Part(kBoxPart));
    kit.Component(d, "self.asm", "cfg", nullptr, d);  // D holds itself
    // Measuring stops at its depth limit; the box appears shifted once per level.
    xrchandle<KBox3D> box;
    d->GetModelBox(box);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->Min().x, 5);
    ktest::WalkCount count;
    ktest::Walk(d, count);
    EXPECT_GT(count.assemblies, 1);
  }
  EXPECT_GT(gkit::LiveObjects(), 0);
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

// Every kernel call of a walk, failed in turn, by a throw or a null: the
// walk never crashes and nothing leaks.
TEST(TestKit, FaultSweepOverEveryCallOfAWalk) {
  gkit::Kit kit;
  std::string part = kit.WriteFile("gear.prt", R"(granite-native 1 part color 1 0 0
      primary solid gear teeth 6 radius 3 4 height 0 1 color 0 0 1 end end
      item sphere radius 1 end end)");
  kit.WriteFile("top.asm",
                "granite-native 1 assembly component \"GEAR.prt\" translate 1 0 0 end "
                "component \"gear.prt\" end");
  ktest::WalkCount clean = ktest::WalkFile(kit.Path("top.asm"));
  EXPECT_EQ(clean.parts, 2);
  long calls = kit.TotalCalls();
  ASSERT_GT(calls, 50);
  for (KFault fault : {KFault::Throw, KFault::Null}) {
    for (long k = 1; k <= calls; ++k) {
      gkit::Kit sweep;
      sweep.FailNth(k, fault);
      try {
        ktest::WalkFile(kit.Path("top.asm"));
      } catch (xthrowable* e) {
        e->xrcunirelease();
      }
      // The session keeps the part it read (the cache of models read); the
      // kit's release lets go of it, and then nothing may be left.
      EXPECT_LE(KGetModelCacheStatistics().entries, 1) << "call " << k;
      sweep.Release();
      ASSERT_EQ(gkit::LiveObjects(), 0) << "call " << k;
    }
  }
  (void)part;
}

}  // namespace
