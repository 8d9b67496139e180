// A load in progress over the kernel test kit: a parser with a world, a
// current group, a grey current colour and top.asm in the kit's folder as its
// file; helpers to bind in-memory models to names and to read element trees.
// After each test the matrix stack must be empty and nothing of the kernel alive.
#pragma once

#include <array>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "gkit/fixture.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "qorvelaex/C3DMScene.h"
#include "qorvelaex/velaMatrixEx.h"

namespace gkit {

inline const velaChroma kGrey(0.5f, 0.5f, 0.5f, 1.0f);
inline const velaChroma kRed(1.0f, 0.0f, 0.0f, 1.0f);
inline const velaChroma kBlue(0.0f, 0.0f, 1.0f, 1.0f);
inline const char* const kBox = "primary solid box from 0 0 0 to 1 1 1 end end";

typedef std::array<double, 16> Placement;  // in KMatrix3D Get order
inline Placement Move(double x, double y, double z) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

inline CBasicString Wide(const std::string& utf8) {
  return CBasicString(utf8.c_str());
}
inline std::string Narrow(CBasicString text) {
  return text.GetLength() ? std::string(text.GetMultiByte()) : std::string();
}
inline std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}
inline std::string Base(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);  // either separator (Windows)
}
inline bool Near(float a, float b, float tolerance = 1e-4f) {
  return std::fabs(a - b) <= tolerance;
}
inline bool SameColor(const velaChroma& a, const velaChroma& b) {
  return !(a != b);
}

inline CGraniteElement* Child(CGraniteElement* element, int i) {
  return static_cast<CGraniteElement*>(element->GetChildList()->GetAt(i));
}
// "name{child child{...}}" by the base names of the element files, braces for assemblies.
inline std::string Tree(CGraniteElement* element) {
  std::string text = Base(Narrow(element->GetFilename()));
  if (element->GetFileType() != GRANITE_FILE_ASSEMBLY) return text;
  text += "{";
  for (int i = 0; i < element->GetNumberChildren(); ++i)
    text += (i ? " " : "") + Tree(Child(element, i));
  return text + "}";
}

class LoadTest : public KitTest {
 protected:
  void SetUp() override {
    parser = std::make_unique<CGraniteParser>();
    parser->SetWorld(&world);
    parser->SetFilename(Wide(kit.Path("top.asm")));
    group = world.CreateGroup();
    parser->SetCurrentGroup(group);
    parser->SetCurrentColor(kGrey);
    g_CurrentParser = parser.get();
  }
  void TearDown() override {
    EXPECT_EQ(parser->GetNumberMatricesOnStack(), 0);
    elements.clear();
    parser.reset();
    g_CurrentParser = nullptr;
    CGraniteParser::RequestStop(false);
    KitTest::TearDown();
  }

  // An element with a group of its own, owned by the test.
  CGraniteElement* Element(const std::string& file = "", const std::string& config = "") {
    elements.emplace_back(parser->CreateElement(Wide(file), Wide(file)));
    elements.back()->SetConfigurationName(Wide(config));
    return elements.back().get();
  }
  // The n-th root element of the parser's list.
  CGraniteElement* RootAt(int i) {
    return static_cast<CGraniteElement*>(parser->GetElementList()->GetAt(i));
  }
  int Meshes(C3DMGroup* g) const { return g->GetNumberMeshes(); }
  // The primary body of a part written in the native text.
  xrchandle<KBody> Body(const std::string& text) { return kit.Part(text)->PrimaryBody(); }

  // An in-memory assembly that OpenFile of name gives, of unplaced components
  // "file" or "file|configuration".
  xrchandle<KAssembly> Assembly(const std::string& name,
                                std::initializer_list<std::string> components = {},
                                int units = KUNITS_MILLIMETER) {
    xrchandle<KAssembly> assembly = kit.Assembly(units);
    kit.Bind(kit.Path(name), assembly);
    for (const std::string& c : components) {
      const size_t bar = c.find('|');
      Add(assembly, c.substr(0, bar), bar == std::string::npos ? "" : c.substr(bar + 1));
    }
    return assembly;
  }
  // A part of one box that OpenFile of name gives.
  void Part(const std::string& name, const char* box = "from 0 0 0 to 1 1 1") {
    kit.Bind(kit.Path(name), kit.Part(std::string("primary solid box ") + box + " end end"));
  }
  void Parts(std::initializer_list<std::string> names) {
    for (const std::string& name : names) Part(name);
  }
  void Add(const xrchandle<KAssembly>& assembly, const std::string& file,
           const std::string& config = "", const Placement* placement = nullptr) {
    kit.Component(assembly, file, config, placement ? placement->data() : nullptr,
                  xrchandle<KModel>());
  }
  // A part file written in the native text.
  std::string WritePart(const std::string& name, const std::string& text = kBox) {
    return kit.WriteFile(name, "granite-native 1\npart\n" + text + "\n");
  }
  std::string Opened(const std::string& name) { return Lower(kit.Path(name)); }

  C3DMWorld world;
  std::unique_ptr<CGraniteParser> parser;
  C3DMGroup* group = nullptr;
  std::vector<std::unique_ptr<CGraniteElement>> elements;
};

}  // namespace gkit
