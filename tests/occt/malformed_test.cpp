// Files Open CASCADE cannot read. A program of its own: its faults leave
// behind what the jump to the nearest handler passes over, which the other
// programs must not be allowed to leak.
#include <gtest/gtest.h>

#include <BRepPrimAPI_MakeBox.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <STEPControl_Writer.hxx>
#include <fstream>
#include <sstream>

#include "gkit/load_fixture.h"
#include "granite/GraniteLoader.h"
#include "helpers.h"

namespace {

// A file Open CASCADE cannot read gives no model and a reason naming it, or
// a kernel exception; never a crash, and nothing is left behind.
TEST(Malformed, FilesGiveNoModelAndAReason) {
  gkit::Kit kit;
  Message::DefaultMessenger()->ChangePrinters().Clear();
  std::string good = kit.Path("good.stp");
  STEPControl_Writer writer;
  writer.Transfer(BRepPrimAPI_MakeBox(2, 3, 4).Shape(), STEPControl_AsIs);
  ASSERT_EQ(writer.Write(good.c_str()), IFSelect_RetDone);
  std::ifstream in(good, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string whole = text.str();
  std::string dataStart = whole.substr(0, whole.find("DATA;") + 5);
  // A vertex whose point is missing: Open CASCADE's transfer dereferences
  // the null entity, which must not end the process.
  std::string dangling = whole;
  size_t vertex = dangling.find("VERTEX_POINT('',#");
  ASSERT_NE(vertex, std::string::npos);
  std::string point = dangling.substr(vertex + 16, dangling.find(')', vertex) - vertex - 16);
  size_t definition = dangling.find("\n" + point + " = ");
  ASSERT_NE(definition, std::string::npos) << point;
  dangling.replace(definition + 1, point.size(), "#999999");

  const struct {
    const char* name;
    std::string text;
    int format;
  } cases[] = {
      {"empty.stp", "", KFORMAT_STEP},
      {"garbage.stp", std::string(4000, '\x7f') + "\x01\x02 #1=(", KFORMAT_STEP},
      {"truncated.stp", whole.substr(0, whole.size() / 2), KFORMAT_STEP},
      {"headeronly.stp", dataStart + "\nENDSEC;\nEND-ISO-10303-21;\n", KFORMAT_STEP},
      {"missingpoint.stp", dangling, KFORMAT_STEP},
      {"dangling.stp",
       dataStart + "\n#1=MANIFOLD_SOLID_BREP('',#99);\nENDSEC;\nEND-ISO-10303-21;\n", KFORMAT_STEP},
      {"garbage.igs", "S      1\nnot an iges file at all\n", KFORMAT_IGES},
      {"empty.igs", "", KFORMAT_IGES},
  };
  for (const auto& c : cases) {
    std::string path = kit.WriteFile(c.name, c.text);
    std::string reason;
    try {
      xrchandle<KModel> model = otest::Translate(path, c.format, &reason);
      if (!model) {
        EXPECT_NE(reason.find(path), std::string::npos) << c.name << ": " << reason;
      } else {
        // What could be read of a damaged file is still a well-formed model.
        otest::Parts(model);
      }
    } catch (xthrowable* e) {
      EXPECT_FALSE(gkit::Message(e).empty()) << c.name;
      e->xrcunirelease();
    }
  }
  kit.Release();
  EXPECT_EQ(gkit::LiveObjects(), 0);
}


// The whole part load of a damaged STEP file.
class MalformedLoad : public gkit::LoadTest {
 protected:
  void SetUp() override {
    gkit::LoadTest::SetUp();
    Message::DefaultMessenger()->ChangePrinters().Clear();
  }
  int Parse(const std::string& path) {
    parser->SetFilename(gkit::Wide(path));
    return ParsePart(parser.get(), gkit::Wide(path), nullptr);
  }
};

TEST_F(MalformedLoad, TruncatedOrCorruptStepGivesAFailureWithAReason) {
  if (!otest::HaveRealData()) GTEST_SKIP() << "no sample files";
  std::ifstream in(otest::RealData() + "io1-cm-214.stp", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string whole = text.str();
  // A fill-area colour whose entity is gone: Open CASCADE dereferences the
  // null style while it reads the colours, outside its own fault handlers.
  std::string noFillColour = whole;
  const size_t fill = noFillColour.find("=FILL_AREA_STYLE_COLOUR(");
  ASSERT_NE(fill, std::string::npos);
  noFillColour.replace(noFillColour.rfind('#', fill), 1, "#9");
  for (const std::string& damaged : {whole.substr(0, 200),
                                     std::string("ISO-10303-21;\nHEADER;\n#1=#2=(;;\n"),
                                     std::string(), noFillColour}) {
    std::string path = kit.WriteFile("broken.stp", damaged);
    int result = Parse(path);
    EXPECT_TRUE(result == GRANITE_LOAD_FAILURE || result == GRANITE_LOAD_INCOMPLETE) << result;
    EXPECT_NE(std::string(KGetLastError()).find("broken.stp"), std::string::npos)
        << KGetLastError();
    EXPECT_EQ(Meshes(group), 0);
  }
  // Tessellated geometry only: read as no shape, and said so.
  const std::string tessellated = kit.WriteFile(
      "mesh.stp",
      "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\nFILE_NAME('','',(''),(''),'','','');"
      "\n"
      "FILE_SCHEMA(('AP242_MANAGED_MODEL_BASED_3D_ENGINEERING_MIM_LF'));\nENDSEC;\nDATA;\n"
      "#1=COORDINATES_LIST('',3,((0.,0.,0.),(1.,0.,0.),(0.,1.,0.)));\n"
      "#2=TRIANGULATED_FACE('',#1,3,((0.,0.,1.)),$,(1,2,3),((1,2,3)));\nENDSEC;\nEND-ISO-10303-21;"
      "\n");
  EXPECT_EQ(Parse(tessellated), GRANITE_LOAD_FAILURE);
  EXPECT_NE(std::string(KGetLastError()).find("no B-rep geometry"), std::string::npos)
      << KGetLastError();
}

}  // namespace
