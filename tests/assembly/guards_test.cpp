// The scope guards the walks rely on when a kernel exception passes.
#include "load.h"
#include "model/ParserGuards.h"

namespace asmtest {
namespace {

class Guards : public Load {};

TEST_F(Guards, EachChangeIsUndoneOnceAtTheStepOrWhenTheScopeEnds) {
  C3DMGroup* a = m_world.CreateGroup();
  C3DMGroup* b = m_world.CreateGroup();
  const velaChroma red(1, 0, 0, 1), blue(0, 0, 1, 1);
  m_parser.SetCurrentGroup(a);
  m_parser.SetCurrentColor(red);
  velaMatrix4x4 move = velaMatrix4x4::Translation(1, 0, 0);
  EXPECT_NE(KernelThrow([&] {
              granite::MatrixPushGuard outer(&m_parser, move);
              granite::MatrixPushGuard inner(&m_parser, move);
              granite::CurrentGroupGuard group(&m_parser);
              granite::CurrentColorGuard color(&m_parser);
              m_parser.SetCurrentGroup(b);
              m_parser.SetCurrentColor(blue);
              inner.Pop();
              inner.Pop();  // already popped
              EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 1);
              KThrow("thrown in the middle");
            }),
            "");
  EXPECT_EQ(m_parser.GetNumberMatricesOnStack(), 0);
  EXPECT_EQ(m_parser.GetCurrentGroup(), a);
  EXPECT_TRUE(m_parser.GetCurrentColor() == red);

  {
    granite::CurrentColorGuard kept(&m_parser);
    m_parser.SetCurrentColor(blue);
    kept.Release();  // a part colour stays current
  }
  EXPECT_TRUE(m_parser.GetCurrentColor() == blue);
}

TEST_F(Guards, FileIsClosedOnceAndAThrowingCloseIsSwallowedOnTheWayOut) {
  Part("p.prt");
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KFile> file;
  session->OpenFile(m_kit.Path("p.prt").c_str(), file);
  ASSERT_TRUE(file);
  {
    granite::FileCloseGuard closer(file);
    closer.Close();
  }
  EXPECT_EQ(m_kit.Calls(KCall::Close), 1);
  const int live = gkit::LiveObjects();
  m_kit.Fail(KCall::Close, KFault::Throw);
  { granite::FileCloseGuard closer(file); }
  EXPECT_EQ(m_kit.Calls(KCall::Close), 2);
  EXPECT_EQ(gkit::LiveObjects(), live);  // no exception object left behind
}

}  // namespace
}  // namespace asmtest
