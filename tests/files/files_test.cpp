// File kinds, the existence test and the candidates of a component's file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/Files.h"
#include "gkit/testkit.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "win32/wfsopen.h"

namespace {

CBasicString S(const std::string& text) {
  return CBasicString(text.c_str());
}

std::string N(CBasicString text) {
  return text.GetLength() ? std::string(text.GetMultiByte()) : std::string();
}

TEST(FileFormat, TheFirstGroupFoundAnywhereInTheUpperCasedNameDecides) {
  const struct {
    const char* name;
    GraniteFormatTypes format;
  } cases[] = {
      {"ASSY.ASM", GRANITE_FORMAT_NATIVE},     {"assy.asm", GRANITE_FORMAT_NATIVE},
      {"Assy.Asm", GRANITE_FORMAT_NATIVE},     {"gear.xpr", GRANITE_FORMAT_NATIVE},
      {"gear.prt.3", GRANITE_FORMAT_NATIVE},   {"part.x_b", GRANITE_FORMAT_PARASOLID},
      {"part.X_T", GRANITE_FORMAT_PARASOLID},  {"model.iges", GRANITE_FORMAT_IGES},
      {"model.3gs", GRANITE_FORMAT_IGES},      {"model.step", GRANITE_FORMAT_STEP},
      {"model.stp", GRANITE_FORMAT_STEP},      {"body.sat", GRANITE_FORMAT_SAT},
      {"sheet.vda", GRANITE_FORMAT_VDA},       {"deck.neu", GRANITE_FORMAT_NEUTRAL},
      {"model.stl", GRANITE_FORMAT_UNKNOWN},   {"", GRANITE_FORMAT_UNKNOWN},
      {"prt/drawing.stp", GRANITE_FORMAT_STEP}, {"x.prt/drawing.stp", GRANITE_FORMAT_NATIVE},
      {"a.neu.igs", GRANITE_FORMAT_NEUTRAL},   {"gearprt", GRANITE_FORMAT_UNKNOWN},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFormatFromExtension(S(c.name)), c.format) << c.name;
}

TEST(FileExistence, OnlyRegularFilesNotHeldOpenElsewhereExist) {
  gkit::Kit kit;
  const std::string file = kit.WriteFile("Bolt.PRT", "x");
  EXPECT_FALSE(FileExists(CBasicString()));
  EXPECT_TRUE(FileExists(S(file)));
  EXPECT_TRUE(FileExists(S(kit.Path("bolt.prt"))));  // letter case does not matter
  EXPECT_FALSE(FileExists(S(kit.Path("nut.prt"))));
  EXPECT_FALSE(FileExists(S(kit.Directory())));  // a directory is not a file

#if !defined(_WIN32)
  // A FIFO would block an open for reading until a writer came.
  const std::string fifo = kit.Path("pipe.prt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(FileExists(S(fifo)));
#endif

  // Held open for writing by another handle: reported absent, as on Windows.
  CBasicString wide = S(file);
  FILE* writer = win32::_wfsopen(wide.GetWideString(), WSTR("a"), win32::_SH_DENYNO);
  ASSERT_NE(writer, nullptr);
  EXPECT_FALSE(FileExists(S(file)));
  win32::fclose(writer);
  EXPECT_TRUE(FileExists(S(file)));
  kit.Release();
}

// A parser whose file lies in the kit's directory, so that relative names
// resolve there.
class Resolution : public ::testing::Test {
 protected:
  void SetUp() override {
    m_parser.SetFilename(S(m_kit.Path("top.asm")));
    g_CurrentParser = &m_parser;
  }
  void TearDown() override {
    g_CurrentParser = nullptr;
    m_kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0);
  }
  std::string Resolved(const std::string& name) {
    return N(m_parser.GetResolvedFilename(S(name)));
  }
  // Resolves a component with the given names into a fresh element.
  bool Resolve(const std::string& file, const std::string& config, CGraniteElement& element) {
    xrchandle<KComponent> component = m_kit.Component(xrchandle<KAssembly>(), file, config,
                                                      nullptr, xrchandle<KModel>());
    return ResolveComponentFile(component, &element);
  }

  gkit::Kit m_kit;
  CGraniteParser m_parser;
};

TEST_F(Resolution, ReferencedFileCandidatesInTheirOrder) {
  CBasicString candidate = S("untouched");
  EXPECT_FALSE(ResolveReferencedFile(CBasicString(), &candidate));
  EXPECT_EQ(N(candidate), "untouched");

  // None exists: the candidate is the last one tried, the base with ".XAS".
  EXPECT_FALSE(ResolveReferencedFile(S("none"), &candidate));
  EXPECT_EQ(N(candidate), Resolved("none.XAS"));

  m_kit.WriteFile("c1.xas", "x");
  EXPECT_TRUE(ResolveReferencedFile(S("c1"), &candidate));
  EXPECT_EQ(N(candidate), Resolved("c1.XAS"));

  // ".XPR" on the resolved first candidate comes before ".XAS" on the base.
  m_kit.WriteFile("c2.xas", "x");
  m_kit.WriteFile("C2.XPR", "x");
  EXPECT_TRUE(ResolveReferencedFile(S("c2"), &candidate));
  EXPECT_EQ(N(candidate), Resolved(Resolved("c2") + ".XPR"));

  m_kit.WriteFile("c3", "x");
  m_kit.WriteFile("c3.xpr", "x");
  EXPECT_TRUE(ResolveReferencedFile(S("c3"), &candidate));
  EXPECT_EQ(N(candidate), Resolved("c3"));
}

TEST_F(Resolution, ComponentWithConfigurationPrefersItsInstanceFile) {
  m_kit.WriteFile("bolt.prt", "x");
  m_kit.WriteFile("BOLT_M6.XPR", "x");
  CGraniteElement element;
  ASSERT_TRUE(Resolve("bolt.prt", "bolt_m6", element));
  EXPECT_EQ(N(element.GetFilename()), Resolved(Resolved("bolt_m6") + ".XPR"));
  EXPECT_EQ(N(element.GetConfigurationName()), "bolt_m6");

  // No candidate of the configuration exists: the component's own file.
  CGraniteElement plain;
  ASSERT_TRUE(Resolve("bolt.prt", "bolt_m12", plain));
  EXPECT_EQ(N(plain.GetFilename()), Resolved("bolt.prt"));
  EXPECT_EQ(N(plain.GetConfigurationName()), "bolt_m12");

  // Nothing exists at all: the last candidate, left for the existence test.
  CGraniteElement lost;
  ASSERT_TRUE(Resolve("nut.prt", "nut_m6", lost));
  EXPECT_EQ(N(lost.GetFilename()), Resolved("nut.prt.XAS"));
}

TEST_F(Resolution, ComponentWithoutConfigurationIsResolvedOnceUntested) {
  CGraniteElement element;
  ASSERT_TRUE(Resolve("Missing.PRT", "", element));
  EXPECT_EQ(N(element.GetFilename()), Resolved("Missing.PRT"));
  EXPECT_EQ(element.GetConfigurationName().GetLength(), 0);

  CGraniteElement untouched;
  untouched.SetFilename(S("keep"));
  EXPECT_FALSE(Resolve("", "cfg", untouched));
  EXPECT_EQ(N(untouched.GetFilename()), "keep");
  EXPECT_FALSE(ResolveComponentFile(xrchandle<KComponent>(), &untouched));

  g_CurrentParser = nullptr;
  EXPECT_FALSE(Resolve("bolt.prt", "", untouched));
  CBasicString candidate;
  EXPECT_FALSE(ResolveReferencedFile(S("bolt"), &candidate));
}

}  // namespace
