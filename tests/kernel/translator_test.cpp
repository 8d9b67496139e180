// Exchange files: the session opens them; the translator reads STEP and IGES
// (tests/occt) and says the other formats are not supported.
#include <gtest/gtest.h>

#include "helpers.h"

namespace {

TEST(Translator, ExchangeFilesOpenAndOnlyStepAndIgesHaveReaders) {
  gkit::Kit kit;
  {
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
                   {42, "format code 42 is not supported"}};
    for (const auto& f : formats) {
      xrchandle<KModel> model;
      translator->Translate(f.code, file, xrchandle<xobject>(), xrchandle<xobject>(), model);
      EXPECT_FALSE(model);
      std::string reason = KGetLastError();
      EXPECT_NE(reason.find(path), std::string::npos) << reason;
      EXPECT_NE(reason.find(f.reason), std::string::npos) << reason;
    }
    file->Close();
    xrchandle<KModel> model;
    translator->Translate(KFORMAT_STEP, file, xrchandle<xobject>(), xrchandle<xobject>(), model);
    EXPECT_NE(std::string(KGetLastError()).find("closed"), std::string::npos);
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}

}  // namespace
