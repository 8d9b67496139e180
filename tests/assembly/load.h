// A load over kernel models held in memory: a parser with a world, whose
// file is top.asm in the kit's directory, and helpers to build and read trees.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "assembly/Assembly.h"
#include "gkit/testkit.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/RootElement.h"
#include "qorvelaex/C3DMScene.h"

namespace asmtest {

typedef std::array<double, 16> Placement;

inline Placement Move(double x, double y, double z) {
  return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
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

inline CGraniteElement* Child(CGraniteElement* element, int i) {
  return static_cast<CGraniteElement*>(element->GetChildList()->GetAt(i));
}

// "name{child child{...}}" by the base names of the element files, braces for
// assemblies.
inline std::string Tree(CGraniteElement* element) {
  std::string text = Base(Narrow(element->GetFilename()));
  if (element->GetFileType() != GRANITE_FILE_ASSEMBLY) return text;
  text += "{";
  for (int i = 0; i < element->GetNumberChildren(); ++i)
    text += (i ? " " : "") + Tree(Child(element, i));
  return text + "}";
}

class Load : public ::testing::Test {
 protected:
  void SetUp() override {
    m_parser.SetWorld(&m_world);
    m_parser.SetFilename(CBasicString(m_kit.Path("top.asm").c_str()));
    g_CurrentParser = &m_parser;
  }
  void TearDown() override {
    m_kit.Release();
    EXPECT_EQ(gkit::LiveObjects(), 0);
    EXPECT_EQ(gkit::LiveReferences(), 0);
  }

  // An empty in-memory assembly that OpenFile of name gives.
  xrchandle<KAssembly> Assembly(const std::string& name, int units = KUNITS_MILLIMETER) {
    xrchandle<KAssembly> assembly = m_kit.Assembly(units);
    m_kit.Bind(m_kit.Path(name), assembly);
    return assembly;
  }
  // A part of one box that OpenFile of name gives.
  void Part(const std::string& name, const char* box = "from 0 0 0 to 1 1 1") {
    m_kit.Bind(m_kit.Path(name),
               m_kit.Part(std::string("primary solid box ") + box + " end end"));
  }
  void Add(const xrchandle<KAssembly>& assembly, const std::string& file,
           const std::string& config = "", const Placement* placement = nullptr) {
    m_kit.Component(assembly, file, config, placement ? placement->data() : nullptr,
                    xrchandle<KModel>());
  }

  // A root element for the parser's file, as BuildElementList makes it.
  CGraniteElement* Root() {
    return CreateRootElement(m_parser.GetFilename(), m_parser.GetFilename());
  }
  std::string Resolved(const std::string& name) {
    return Narrow(m_parser.GetResolvedFilename(CBasicString(name.c_str())));
  }
  std::string Opened(const std::string& name) { return Lower(m_kit.Path(name)); }

  gkit::Kit m_kit;
  C3DMWorld m_world;
  CGraniteParser m_parser;
};

// Takes a kernel exception thrown through the loader and gives back its reference.
template <class F>
std::string KernelThrow(F&& call) {
  try {
    call();
  } catch (xthrowable* error) {
    std::string message = gkit::Message(error);
    error->xrcunirelease();
    return message.empty() ? "?" : message;
  }
  return "";
}

}  // namespace asmtest
