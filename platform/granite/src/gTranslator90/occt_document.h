// Reading an exchange file into an Open CASCADE document and building the
// kernel model from it, shared by the format readers: STEP in this module,
// IGES in a module of its own (gIges90), which links this one.
#pragma once

#include <IFSelect_ReturnStatus.hxx>
#include <Message_ProgressRange.hxx>
#include <TDocStd_Document.hxx>
#include <map>
#include <memory>
#include <string>

#include "gTranslator90/ktranslator.h"

namespace ktranslate {

// A length unit: the kernel's units code and its size in millimetres.
struct Unit {
  int code;
  double millimetres;
};

constexpr Unit kMillimetre{KUNITS_MILLIMETER, 1};

// The kernel's unit for a unit name as the files spell it ("millimetre",
// "INCH", "METRE"); false for a unit the kernel has no code for.
GRANITE_KTRANSLATOR_API bool UnitFromName(std::string name, Unit& unit);

// What the bytes of a file tell before it is parsed.
struct FileBytes {
  std::string head;          // the first bytes
  bool utf8 = true;          // every byte sequence valid UTF-8 (STEP files only)
  bool tessellated = false;  // holds tessellated geometry (STEP files only)
};

// A file a STEP file refers to that could not be read: its name as written,
// and where it was looked for.
struct Unread {
  std::string file, reason;
};

// One format's reader, as ReadDocument drives it.
class DocumentReader {
 public:
  virtual ~DocumentReader() = default;
  // Reads the file at its absolute path.
  virtual IFSelect_ReturnStatus Read(const std::string& path, const FileBytes& look) = 0;
  // The file's length unit, once it is read.
  virtual Unit FileUnit() = 0;
  // Transfers shapes, names, colours and layers into the document.
  virtual bool Transfer(Handle(TDocStd_Document) & doc, const Message_ProgressRange& range) = 0;
  // The files it refers to that could not be read, by lower-case stem;
  // selfContained is set false when it refers to any.
  virtual std::map<std::string, Unread> Missing(const std::string& /*path*/,
                                                bool& /*selfContained*/) {
    return {};
  }
};

// A reader over one of Open CASCADE's document readers, with names, colours
// and layers read.
template <class Reader>
class CafReader : public DocumentReader {
 public:
  CafReader() {
    m_reader.SetColorMode(Standard_True);
    m_reader.SetNameMode(Standard_True);
    m_reader.SetLayerMode(Standard_True);
  }
  bool Transfer(Handle(TDocStd_Document) & doc, const Message_ProgressRange& range) override {
    return m_reader.Transfer(doc, range);
  }

 protected:
  Reader m_reader;
};

// Reads the file with the reader make returns and builds its model; null with
// reason when it holds nothing the kernel can use. wholeLook: whether every
// byte is looked at first (for text encoding and tessellated geometry), or the
// first only. Throws as the translator does on a fault or a stop.
GRANITE_KTRANSLATOR_API xrchandle<KModel> ReadDocument(const KFile& file, const char* format,
                                                       bool wholeLook,
                                                       std::unique_ptr<DocumentReader> (*make)(),
                                                       std::string& reason, bool& selfContained);

}  // namespace ktranslate
