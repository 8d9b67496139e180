// File kinds, the existence test and the candidates of a component's file.
#include "files/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

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
      {"ASSY.ASM", GRANITE_FORMAT_NATIVE},      {"assy.asm", GRANITE_FORMAT_NATIVE},
      {"Assy.Asm", GRANITE_FORMAT_NATIVE},      {"gear.xpr", GRANITE_FORMAT_NATIVE},
      {"gear.prt.3", GRANITE_FORMAT_NATIVE},    {"part.x_b", GRANITE_FORMAT_PARASOLID},
      {"part.X_T", GRANITE_FORMAT_PARASOLID},   {"model.iges", GRANITE_FORMAT_IGES},
      {"model.3gs", GRANITE_FORMAT_IGES},       {"model.step", GRANITE_FORMAT_STEP},
      {"model.stp", GRANITE_FORMAT_STEP},       {"body.sat", GRANITE_FORMAT_SAT},
      {"sheet.vda", GRANITE_FORMAT_VDA},        {"deck.neu", GRANITE_FORMAT_NEUTRAL},
      {"model.stl", GRANITE_FORMAT_UNKNOWN},    {"", GRANITE_FORMAT_UNKNOWN},
      {"prt/drawing.stp", GRANITE_FORMAT_STEP}, {"x.prt/drawing.stp", GRANITE_FORMAT_NATIVE},
      {"a.neu.igs", GRANITE_FORMAT_NEUTRAL},    {"gearprt", GRANITE_FORMAT_UNKNOWN},
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

// The candidates of a component's file, resolved by a parser whose file lies
// in the kit's directory. A row without a configuration asks for the
// referenced file of a bare name (config null); "keep" is a result untouched.
TEST(Resolution, CandidatesInTheirOrder) {
  gkit::Kit kit;
  CGraniteParser parser;
  parser.SetFilename(S(kit.Path("top.asm")));
  g_CurrentParser = &parser;
  for (const char* name : {"c1.xas", "c2.xas", "C2.XPR", "c3", "c3.xpr", "bolt.prt", "BOLT_M6.XPR"})
    kit.WriteFile(name, "x");
  const struct {
    const char *file, *config;
    bool ok;
    const char* result;
  } rows[] = {
      {"", nullptr, false, "keep"},
      {"none", nullptr, false, "none.XAS"},  // none exists: the last candidate tried
      {"c1", nullptr, true, "c1.XAS"},
      {"c2", nullptr, true, "c2.XPR"},  // on the resolved name, before ".XAS" on the base
      {"c3", nullptr, true, "c3"},
      {"bolt.prt", "bolt_m6", true, "bolt_m6.XPR"},  // the configuration's instance file
      {"bolt.prt", "bolt_m12", true, "bolt.prt"},    // none for it: the component's own
      {"nut.prt", "nut_m6", true, "nut.prt.XAS"},    // nothing exists: left for the existence test
      {"Missing.PRT", "", true, "Missing.PRT"},      // no configuration: resolved, untested
      {"", "cfg", false, "keep"},
  };
  for (const auto& r : rows) {
    CGraniteElement element;
    element.SetFilename(S("keep"));
    CBasicString got = S("keep");
    bool ok = false;
    if (r.config) {
      xrchandle<KComponent> component =
          kit.Component(xrchandle<KAssembly>(), r.file, r.config, nullptr, xrchandle<KModel>());
      ok = ResolveComponentFile(component, &element);
      got = element.GetFilename();
      EXPECT_EQ(N(element.GetConfigurationName()), ok ? r.config : "") << r.file;
    } else {
      ok = ResolveReferencedFile(S(r.file), &got);
    }
    EXPECT_EQ(ok, r.ok) << r.file;
    EXPECT_EQ(N(got),
              std::string(r.result) == "keep" ? "keep" : N(parser.GetResolvedFilename(S(r.result))))
        << r.file << " " << (r.config ? r.config : "");
  }
  CGraniteElement untouched;
  EXPECT_FALSE(ResolveComponentFile(xrchandle<KComponent>(), &untouched));
  g_CurrentParser = nullptr;  // no parser: nothing resolves
  CBasicString candidate;
  EXPECT_FALSE(ResolveReferencedFile(S("bolt"), &candidate));
  EXPECT_FALSE(ResolveComponentFile(
      kit.Component(xrchandle<KAssembly>(), "bolt.prt", "", nullptr, xrchandle<KModel>()),
      &untouched));
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
