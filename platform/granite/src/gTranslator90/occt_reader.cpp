// Exchange files through Open CASCADE's document readers: the product
// structure becomes assemblies and components, the shapes part models. STEP
// is read here; IGES by the module gIges90, loaded with the first IGES file.
#include <dlfcn.h>
#include <sys/stat.h>

#include <BRep_Builder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <NCollection_DataMap.hxx>
#include <Quantity_Color.hxx>
#include <Resource_FormatType.hxx>
#include <STEPCAFControl_ExternFile.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <STEPControl_Reader.hxx>
#include <Standard_ErrorHandler.hxx>
#include <TColStd_HSequenceOfExtendedString.hxx>
#include <TColStd_SequenceOfAsciiString.hxx>
#include <TDF_Label.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDF_Tool.hxx>
#include <TDataStd_Name.hxx>
#include <TDocStd_Document.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>
#include <TopoDS_Iterator.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_ColorTool.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_LayerTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <XSControl_WorkSession.hxx>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gp_Trsf.hxx>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gBase90/kservices.h"
#include "gBase90/xthrowable.h"
#include "occt_document.h"
#include "occt_face.h"
#include "occt_stop.h"
#include "readers.h"
#include "win32/pathcase.h"

namespace ktranslate {

bool UnitFromName(std::string name, Unit& unit) {
  std::string n;
  for (char c : name)
    if (!std::isspace(static_cast<unsigned char>(c)) && c != '.' && c != '_')
      n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static const struct {
    const char* name;
    Unit unit;
  } kNames[] = {
      {"millimetre", {KUNITS_MILLIMETER, 1}},
      {"millimeter", {KUNITS_MILLIMETER, 1}},
      {"mm", {KUNITS_MILLIMETER, 1}},
      {"metre", {KUNITS_METER, 1000}},
      {"meter", {KUNITS_METER, 1000}},
      {"m", {KUNITS_METER, 1000}},
      {"centimetre", {KUNITS_CENTIMETER, 10}},
      {"centimeter", {KUNITS_CENTIMETER, 10}},
      {"cm", {KUNITS_CENTIMETER, 10}},
      {"kilometre", {KUNITS_KILOMETER, 1e6}},
      {"kilometer", {KUNITS_KILOMETER, 1e6}},
      {"km", {KUNITS_KILOMETER, 1e6}},
      {"micrometre", {KUNITS_MICROMETER, 1e-3}},
      {"micrometer", {KUNITS_MICROMETER, 1e-3}},
      {"micron", {KUNITS_MICROMETER, 1e-3}},
      {"um", {KUNITS_MICROMETER, 1e-3}},
      {"inch", {KUNITS_INCH, 25.4}},
      {"in", {KUNITS_INCH, 25.4}},
      {"foot", {KUNITS_FOOT, 304.8}},
      {"feet", {KUNITS_FOOT, 304.8}},
      {"ft", {KUNITS_FOOT, 304.8}},
  };
  for (const auto& e : kNames) {
    if (n == e.name) {
      unit = e.unit;
      return true;
    }
  }
  return false;
}

namespace {

// Open CASCADE's reading of a Windows code page; -1 when it has none.
int CodePageFormat(int codePage) {
  if (codePage >= 1250 && codePage <= 1258) return Resource_FormatType_CP1250 + (codePage - 1250);
  if (codePage >= 28591 && codePage <= 28599)
    return Resource_FormatType_iso8859_1 + (codePage - 28591);
  switch (codePage) {
    case 850:
      return Resource_FormatType_CP850;
    case 932:
      return Resource_FormatType_SJIS;
    case 936:
      return Resource_FormatType_GBK;
    case 949:
      return Resource_FormatType_EUC;
    case 950:
      return Resource_FormatType_Big5;
    default:
      return -1;
  }
}

// Whether the bytes are UTF-8 (ASCII included): no stray continuation byte,
// no truncated, overlong or surrogate sequence.
bool IsUtf8(const char* bytes, size_t size) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  const unsigned char* end = p + size;
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more;
    unsigned min;
    unsigned code;
    if ((c & 0xE0) == 0xC0) {
      more = 1, min = 0x80, code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2, min = 0x800, code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3, min = 0x10000, code = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    for (int i = 1; i <= more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    p += more + 1;
  }
  return true;
}

FileBytes Look(const std::string& path, bool whole) {
  std::ifstream in(path, std::ios::binary);
  FileBytes look;
  if (!whole) {
    look.head.resize(4096);
    in.read(&look.head[0], static_cast<std::streamsize>(look.head.size()));
    look.head.resize(static_cast<size_t>(in.gcount()));
    return look;
  }
  // Read in pieces: a block the size of the file, once freed, would make the
  // allocator keep the reader's own large blocks in the heap for the rest of
  // the load instead of giving them back. Each piece is checked up to the
  // last whole UTF-8 sequence that leaves the longest marker's length less
  // one, and what is left goes on with the next piece.
  static const char* const kMarkers[] = {"TESSELLATED_", "TRIANGULATED_FACE",
                                         "TRIANGULATED_SURFACE_SET"};
  constexpr size_t kCarried = 23;
  constexpr size_t kPiece = 64 * 1024;
  std::string buffer;
  for (bool first = true;; first = false) {
    const size_t carried = buffer.size();
    buffer.resize(carried + kPiece);
    in.read(&buffer[carried], static_cast<std::streamsize>(kPiece));
    const size_t got = static_cast<size_t>(in.gcount());
    buffer.resize(carried + got);
    const bool last = got < kPiece;
    if (first) look.head = buffer.substr(0, 4096);
    for (const char* marker : kMarkers)
      look.tessellated = look.tessellated || buffer.find(marker) != std::string::npos;
    size_t cut = last ? buffer.size() : buffer.size() - std::min(buffer.size(), kCarried);
    // Back to the start of a sequence (a valid one has at most three
    // continuation bytes; more are invalid wherever the cut falls).
    for (int k = 0; k < 3 && cut > 0 && cut < buffer.size() &&
                    (static_cast<unsigned char>(buffer[cut]) & 0xC0) == 0x80;
         ++k)
      --cut;
    look.utf8 = look.utf8 && IsUtf8(buffer.data(), cut);
    if (last) break;
    buffer.erase(0, cut);
  }
  return look;
}

// The exchange format the first bytes hold, whatever the file's name says;
// null when neither.
const char* HeldFormat(const std::string& head) {
  const size_t start = head.find_first_not_of(" \t\r\n");
  if (start != std::string::npos && head.compare(start, 12, "ISO-10303-21") == 0) return "STEP";
  // IGES: 80-column records, the first of the start section (S in column 73).
  const size_t end = head.find_first_of("\r\n");
  if (end != std::string::npos && end >= 73 && head[72] == 'S') return "IGES";
  return nullptr;
}

// How the 8-bit bytes of a STEP file's strings are read: as UTF-8 when the
// whole file is valid UTF-8, else through the code page the host chose. The
// escapes \X\, \X2\ and \X4\ mean the same either way.
int StepTextFormat(const FileBytes& look) {
  if (look.utf8) return Resource_FormatType_UTF8;
  const int format = CodePageFormat(KTranslator::GetNameCodePage());
  return format >= 0 ? format : Resource_FormatType_CP1252;
}

std::string Quote(const KFile& file);

// Why a file of the given format could not be read, from what its bytes hold.
std::string Unreadable(const KFile& file, const char* format, const FileBytes& look,
                       const char* otherwise) {
  const char* held = HeldFormat(look.head);
  if (held && std::string(held) != format)
    return Quote(file) + ": the file holds " + held + ", not " + format + " as its name says";
  return Quote(file) + ": " + otherwise;
}

// Open CASCADE reports its progress on standard output; a kernel keeps quiet.
void Silence() {
  static bool done = false;
  if (done) return;
  done = true;
  Message::DefaultMessenger()->ChangePrinters().Clear();
}

xstring Text(const TCollection_ExtendedString& s) {
  return xstring(reinterpret_cast<const WCHAR*>(s.ToExtString()), s.Length());
}

xstring Name(const TDF_Label& label) {
  Handle(TDataStd_Name) name;
  if (label.IsNull() || !label.FindAttribute(TDataStd_Name::GetID(), name)) return xstring();
  return Text(name->Get());
}

std::string Entry(const TDF_Label& label) {
  TCollection_AsciiString entry;
  TDF_Tool::Entry(label, entry);
  return entry.ToCString();
}

// A colour as the file gave it (sRGB components).
struct Colour {
  bool set = false;
  double r = 0, g = 0, b = 0;
  std::string Key() const {
    return set ? std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b) : "";
  }
};

Colour FromQuantity(const Quantity_Color& c) {
  Colour out;
  out.set = true;
  c.Values(out.r, out.g, out.b, Quantity_TOC_sRGB);
  // Open CASCADE keeps colours in single precision: 1 comes back as
  // 0.99999994. Six decimals are what the files write.
  for (double* v : {&out.r, &out.g, &out.b})
    *v = std::min(1.0, std::max(0.0, std::round(*v * 1e6) / 1e6));
  return out;
}

class Builder {
 public:
  // missing: the files the document refers to that could not be read, as
  // reasons naming each ("'a.stp' in '/dir'"), keyed by their lower-case stem.
  Builder(const Handle(TDocStd_Document) & doc, int units,
          const std::map<std::string, Unread>& missing)
      : m_missing(missing),
        m_shapes(XCAFDoc_DocumentTool::ShapeTool(doc->Main())),
        m_colours(XCAFDoc_DocumentTool::ColorTool(doc->Main())),
        m_layers(XCAFDoc_DocumentTool::LayerTool(doc->Main())),
        m_units(units),
        m_showHidden(KTranslator::GetShowHidden()) {}

  // The model of the document: its one free shape, or an assembly placing
  // each of several at identity. Null when there is none.
  xrchandle<KModel> Top() {
    TDF_LabelSequence free;
    m_shapes->GetFreeShapes(free);
    if (free.Length() == 1) return Definition(free.Value(1), Colour());
    if (free.Length() == 0) return xrchandle<KModel>();
    xrchandle<KAssembly> assembly(new KAssembly);
    assembly->SetUnits(m_units);
    for (int i = 1; i <= free.Length(); ++i) {
      const TDF_Label& label = free.Value(i);
      xrchandle<KModel> definition =
          Hidden(label) ? xrchandle<KModel>() : Definition(label, Colour());
      assembly->AddComponent(xrchandle<KComponent>(
          new KComponent(Name(label), xstring(), Placement(gp_Trsf()), definition)));
    }
    return assembly;
  }

 private:
  static xrchandle<KMatrix3D> Placement(const gp_Trsf& t) {
    // Row i is the image of axis i, row 3 the image of the origin.
    double v[16];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) v[i * 4 + j] = t.Value(j + 1, i + 1);
      v[i * 4 + 3] = 0;
    }
    for (int j = 0; j < 3; ++j) v[12 + j] = t.Value(j + 1, 4);
    v[15] = 1;
    return xrchandle<KMatrix3D>(new KMatrix3D(v));
  }

  bool Hidden(const TDF_Label& label) const {
    return !m_showHidden && !m_colours->IsVisible(label);
  }

  Colour Own(const TDF_Label& label) const {
    Quantity_Color c;
    if (m_colours->GetColor(label, XCAFDoc_ColorSurf, c) ||
        m_colours->GetColor(label, XCAFDoc_ColorGen, c))
      return FromQuantity(c);
    return Colour();
  }

  void AddLayers(const TDF_Label& label, KAttributable& target) {
    Handle(TColStd_HSequenceOfExtendedString) names;
    if (!m_layers->GetLayers(label, names) || names.IsNull()) return;
    for (int i = 1; i <= names->Length(); ++i) {
      const TCollection_ExtendedString& name = names->Value(i);
      TCollection_AsciiString ascii(name);
      int number = ascii.IsIntegerValue() ? ascii.IntegerValue() : -1;
      if (number < 0) {
        // A layer known by name only: its place among the document's layers.
        auto it = m_layerNumbers.find(ascii.ToCString());
        if (it == m_layerNumbers.end())
          it =
              m_layerNumbers.emplace(ascii.ToCString(), static_cast<int>(m_layerNumbers.size()) + 1)
                  .first;
        number = it->second;
      }
      target.AddAttribute(xrchandle<KAttribute>(new KLayerAttribute(number, Text(name))));
    }
  }

  // One model per definition label (and per colour a placement passes down
  // to an uncoloured part), so that shared definitions stay shared.
  xrchandle<KModel> Definition(const TDF_Label& label, const Colour& inherited) {
    bool assembly = m_shapes->IsAssembly(label);
    Colour passed = inherited;
    if (!assembly && Own(label).set) passed = Colour();
    std::string key = Entry(label) + "|" + passed.Key();
    auto found = m_models.find(key);
    if (found != m_models.end()) return found->second;
    // A definition met again on its own path would contain itself.
    for (const TDF_Label& open : m_path)
      if (open == label) return xrchandle<KModel>();
    m_path.push_back(label);
    xrchandle<KModel> model = assembly ? Assembly(label, passed) : Part(label, passed);
    m_path.pop_back();
    m_models.emplace(key, model);
    return model;
  }

  xrchandle<KModel> Assembly(const TDF_Label& label, const Colour& inherited) {
    xrchandle<KAssembly> assembly(new KAssembly);
    assembly->SetUnits(m_units);
    TDF_LabelSequence components;
    XCAFDoc_ShapeTool::GetComponents(label, components, Standard_False);
    for (int i = 1; i <= components.Length(); ++i) {
      const TDF_Label& component = components.Value(i);
      TDF_Label referred;
      if (!XCAFDoc_ShapeTool::GetReferredShape(component, referred)) continue;
      Colour colour = Own(component);
      if (!colour.set) colour = inherited;
      xstring name = Name(referred);
      if (name.IsEmpty()) name = Name(component);
      // A component the file hides is kept, placed and named, with nothing to draw.
      xrchandle<KModel> definition = Hidden(component) || Hidden(referred)
                                         ? xrchandle<KModel>()
                                         : Definition(referred, colour);
      gp_Trsf placement = XCAFDoc_ShapeTool::GetLocation(component).Transformation();
      assembly->AddComponent(
          xrchandle<KComponent>(new KComponent(name, xstring(), Placement(placement), definition)));
    }
    return assembly;
  }

  // The file that should give a part that holds no shape and that could not
  // be read, and the reason; empty when the part is not such.
  Unread MissingFile(const TDF_Label& label, const TopoDS_Shape& shape) const {
    if (m_missing.empty() || (!shape.IsNull() && TopoDS_Iterator(shape).More())) return {};
    std::string stem;
    for (char c : std::string(Name(label).GetNarrow()))
      stem += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto it = m_missing.find(stem);
    if (it != m_missing.end()) return it->second;
    Unread all;
    for (const auto& entry : m_missing)
      all.reason += (all.reason.empty() ? "" : ", ") + entry.second.reason;
    return all;
  }

  // The model of a referenced file found in the host's search folders; null
  // when it is in none or cannot be read. Bounded, as a file may refer to
  // itself.
  static xrchandle<KModel> FromSearchFolders(const std::string& name, std::string& looked) {
    static thread_local int depth = 0;
    for (const std::string& folder : KTranslator::GetSearchFolders()) {
      looked += ", '" + folder + "'";
      std::string found;
      struct stat st;
      if (name.empty() || depth >= 8 || !win32::ResolvePathCase(folder + "/" + name, found) ||
          ::stat(found.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        continue;
      xrchandle<KFile> file(new KFile);
      file->SetPath(found);
      std::string reason;
      bool selfContained = true;
      ++depth;
      xrchandle<KModel> model;
      try {
        model = ReadStep(*file, reason, selfContained);
      } catch (...) {
        --depth;
        throw;
      }
      --depth;
      if (model) return model;
      KSetLastError(reason.c_str());
    }
    return xrchandle<KModel>();
  }

  xrchandle<KModel> Part(const TDF_Label& label, const Colour& inherited) {
    xrchandle<KPartModel> part(new KPartModel);
    part->SetUnits(m_units);
    TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label);
    const Unread missing = MissingFile(label, shape);
    if (!missing.reason.empty()) {
      std::string looked;
      if (xrchandle<KModel> found = FromSearchFolders(missing.file, looked)) return found;
      // Nothing to tessellate: the load of this part fails, with the reason.
      KSetLastError(("part '" + std::string(Name(label).GetNarrow()) + "': cannot find " +
                     missing.reason + (looked.empty() ? "" : " or in" + looked.substr(1)))
                        .c_str());
      return part;
    }
    Colour colour = Own(label);
    if (!colour.set) colour = inherited;
    if (colour.set)
      part->AddAttribute(xrchandle<KAttribute>(new KColorAttribute(colour.r, colour.g, colour.b)));
    xstring name = Name(label);
    if (!name.IsEmpty()) part->AddAttribute(xrchandle<KAttribute>(new KNameAttribute(name)));
    AddLayers(label, *part);

    // Colours and layers the document gives to pieces of the shape.
    NCollection_DataMap<TopoDS_Shape, TDF_Label, TopTools_ShapeMapHasher> pieces;
    TDF_LabelSequence subShapes;
    XCAFDoc_ShapeTool::GetSubShapes(label, subShapes);
    for (int i = 1; i <= subShapes.Length(); ++i) {
      TopoDS_Shape piece = XCAFDoc_ShapeTool::GetShape(subShapes.Value(i));
      if (!piece.IsNull()) pieces.Bind(piece, subShapes.Value(i));
    }

    std::vector<TopoDS_Shape> bodies;
    for (TopExp_Explorer x(shape, TopAbs_SOLID); x.More(); x.Next()) bodies.push_back(x.Current());
    for (TopExp_Explorer x(shape, TopAbs_SHELL, TopAbs_SOLID); x.More(); x.Next())
      bodies.push_back(x.Current());
    // Faces outside any shell make one body together.
    TopoDS_Compound loose;
    bool anyLoose = false;
    BRep_Builder builder;
    builder.MakeCompound(loose);
    for (TopExp_Explorer x(shape, TopAbs_FACE, TopAbs_SHELL); x.More(); x.Next()) {
      builder.Add(loose, x.Current());
      anyLoose = true;
    }
    if (anyLoose) bodies.push_back(loose);
    // Edges outside any face and points outside any edge count for the box.
    TopoDS_Compound wires;
    bool anyWire = false;
    builder.MakeCompound(wires);
    for (TopExp_Explorer x(shape, TopAbs_EDGE, TopAbs_FACE); x.More(); x.Next()) {
      builder.Add(wires, x.Current());
      anyWire = true;
    }
    for (TopExp_Explorer x(shape, TopAbs_VERTEX, TopAbs_EDGE); x.More(); x.Next()) {
      builder.Add(wires, x.Current());
      anyWire = true;
    }
    if (anyWire)
      part->AddLooseGeometry(xrchandle<KFaceGeometry>(new kocct::FaceGeometry(wires, nullptr)));

    for (size_t b = 0; b < bodies.size(); ++b) {
      const TopoDS_Shape& bodyShape = bodies[b];
      Colour bodyColour;
      const TDF_Label* bodyLabel = pieces.Seek(bodyShape);
      if (bodyLabel) bodyColour = Own(*bodyLabel);
      auto mesher = std::make_shared<kocct::BodyMesher>(bodyShape, m_meshGroup);
      m_meshGroup->Add(mesher);
      xrchandle<KBody> body(new KBody);
      // When some faces of the body have a colour and others not, the others
      // carry the part's colour: a body with one coloured face would
      // otherwise be drawn whole in that face's colour.
      bool someFaceColoured = bodyColour.set;
      for (TopExp_Explorer x(bodyShape, TopAbs_FACE); x.More() && !someFaceColoured; x.Next()) {
        const TDF_Label* faceLabel = pieces.Seek(x.Current());
        someFaceColoured = faceLabel && Own(*faceLabel).set;
      }
      if (!bodyColour.set && someFaceColoured) bodyColour = colour;
      for (TopExp_Explorer x(bodyShape, TopAbs_FACE); x.More(); x.Next()) {
        const TopoDS_Face& f = TopoDS::Face(x.Current());
        xrchandle<KFace> face(
            new KFace(xrchandle<KFaceGeometry>(new kocct::FaceGeometry(f, mesher))));
        const TDF_Label* faceLabel = pieces.Seek(f);
        Colour faceColour = faceLabel ? Own(*faceLabel) : Colour();
        if (!faceColour.set) faceColour = bodyColour;
        if (faceColour.set)
          face->AddAttribute(
              xrchandle<KAttribute>(new KColorAttribute(faceColour.r, faceColour.g, faceColour.b)));
        if (faceLabel) AddLayers(*faceLabel, *face);
        body->AddFace(face);
      }
      if (b == 0)
        part->SetPrimaryBody(body);
      else
        part->AddItem(xrchandle<KGeometryItem>(new KGeometryItem(body)));
    }
    // A part without faces (wireframe, annotations, an empty product) has
    // nothing to draw, which is not a failure: an empty body.
    if (bodies.empty()) part->SetPrimaryBody(xrchandle<KBody>(new KBody));
    return part;
  }

  std::map<std::string, Unread> m_missing;
  Handle(XCAFDoc_ShapeTool) m_shapes;
  Handle(XCAFDoc_ColorTool) m_colours;
  Handle(XCAFDoc_LayerTool) m_layers;
  int m_units;
  bool m_showHidden;
  std::map<std::string, xrchandle<KModel>> m_models;
  std::map<std::string, int> m_layerNumbers;
  std::vector<TDF_Label> m_path;
  // Every body of the model, meshed together when the first is asked.
  std::shared_ptr<kocct::MeshGroup> m_meshGroup = std::make_shared<kocct::MeshGroup>();
};

Handle(TDocStd_Document) NewDocument() {
  Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
  XCAFApp_Application::GetApplication()->InitDocument(doc);
  return doc;
}

// Lets go of everything the document holds.
void Dispose(const Handle(TDocStd_Document) & doc) {
  if (!doc.IsNull()) doc->Main().Root().ForgetAllAttributes(Standard_True);
}

// Throws "interrupted", letting go of the document first, when a stop is requested.
void StopIfRequested(const Handle(TDocStd_Document) & doc) {
  if (!KStopRequested()) return;
  Dispose(doc);
  KCheckStop();
}

// The file's absolute path: Open CASCADE finds the files a STEP assembly
// refers to beside it only when the path it was given is absolute.
std::string AbsolutePath(const KFile& file) {
  char* absolute = ::realpath(file.Path().c_str(), nullptr);
  if (!absolute) return file.Path();
  std::string path(absolute);
  std::free(absolute);
  return path;
}

std::string Quote(const KFile& file) {
  return "'" + file.Path() + "'";
}

const char* StatusText(IFSelect_ReturnStatus status) {
  switch (status) {
    case IFSelect_RetVoid:
      return "it is empty or missing";
    case IFSelect_RetError:
      return "it could not be opened";
    case IFSelect_RetFail:
      return "it is malformed";
    case IFSelect_RetStop:
      return "reading stopped";
    default:
      return "it could not be read";
  }
}

// Builds the kernel model of a transferred document, or null with reason.
xrchandle<KModel> Build(const Handle(TDocStd_Document) & doc, int units, const KFile& file,
                        const char* format, std::string& reason,
                        const std::map<std::string, Unread>& missing = {}) {
  Builder builder(doc, units, missing);
  xrchandle<KModel> model = builder.Top();
  if (!model) reason = Quote(file) + ": the " + format + " file holds no shape";
  return model;
}

// The STEP reader: the file through a stream whose buffer reports the bytes
// read and ends the input early once a stop is requested.
class StepReader : public CafReader<STEPCAFControl_Reader> {
 public:
  IFSelect_ReturnStatus Read(const std::string& path, const FileBytes& look) override {
    Interface_Static::SetIVal("read.step.codepage", StepTextFormat(look));
    kocct::StopCheckingBuffer buffer(path);
    std::istream stream(&buffer);
    if (!buffer.IsOpen()) return IFSelect_RetError;
    return m_reader.ChangeReader().ReadStream(path.c_str(), stream);
  }

  Unit FileUnit() override {
    Unit unit = kMillimetre;
    TColStd_SequenceOfAsciiString lengths, angles, solidAngles;
    m_reader.ChangeReader().FileUnits(lengths, angles, solidAngles);
    for (int i = 1; i <= lengths.Length(); ++i)
      if (UnitFromName(lengths.Value(i).ToCString(), unit)) break;
    return unit;
  }

  std::map<std::string, Unread> Missing(const std::string& path, bool& selfContained) override {
    std::map<std::string, Unread> missing;
    if (!m_reader.ExternFiles().IsEmpty()) selfContained = false;
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    for (NCollection_DataMap<TCollection_AsciiString, Handle(STEPCAFControl_ExternFile)>::Iterator
             it(m_reader.ExternFiles());
         it.More(); it.Next()) {
      if (it.Value().IsNull() || it.Value()->GetLoadStatus() == IFSelect_RetDone) continue;
      std::string name = it.Key().ToCString();
      std::string stem = name.substr(0, name.rfind('.'));
      for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      missing[stem] = {name, "'" + name + "' in '" + folder + "'"};
    }
    return missing;
  }
};

std::unique_ptr<DocumentReader> MakeStepReader() {
  return std::unique_ptr<DocumentReader>(new StepReader);
}

}  // namespace

// The reader, the document and the model live outside the guarded call: a
// fault inside Open CASCADE jumps over the frames of the call, not over their
// clean-up.
xrchandle<KModel> ReadDocument(const KFile& file, const char* format, bool wholeLook,
                               std::unique_ptr<DocumentReader> (*make)(), std::string& reason,
                               bool& selfContained) {
  Silence();
  kocct::SignalGuard signals;
  const std::string path = AbsolutePath(file);
  const FileBytes look = Look(path, wholeLook);
  std::unique_ptr<DocumentReader> owned = make();
  Handle(TDocStd_Document) doc;
  xrchandle<KModel> model;
  auto read = [&] {
    DocumentReader& reader = *owned;
    const IFSelect_ReturnStatus status = reader.Read(path, look);
    KCheckStop();
    if (status != IFSelect_RetDone) {
      reason = Unreadable(
          file, format, look,
          (std::string("not a readable ") + format + " file (" + StatusText(status) + ")").c_str());
      return;
    }
    // Coordinates stay in the file's length unit.
    const Unit unit = reader.FileUnit();
    doc = NewDocument();
    XCAFDoc_DocumentTool::SetLengthUnit(doc, unit.millimetres, UnitsMethods_LengthUnit_Millimeter);
    Handle(kocct::StopIndicator) progress = new kocct::StopIndicator(KPhase::Transferring);
    const bool transferred = reader.Transfer(doc, progress->Start());
    const std::map<std::string, Unread> missing = reader.Missing(path, selfContained);
    // The file's entities, the transfer's map of them and their graph (the
    // largest part of what the read holds) are not needed once the document
    // has the shapes: let go of before the model is built.
    owned.reset();
    StopIfRequested(doc);
    if (transferred)
      model = Build(doc, unit.code, file, format, reason, missing);
    else
      reason = Quote(file) + ": the " + format + " file holds no shape that could be translated";
    if (!model && look.tessellated)
      reason = Quote(file) + ": no B-rep geometry: tessellated-only files are not read";
  };
  try {
    kocct::RunCatchingSignals(read);
  } catch (const Standard_Failure& e) {
    Dispose(doc);
    kocct::ThrowFailure((Quote(file) + ": reading " + format).c_str(), e.GetMessageString());
  }
  Dispose(doc);
  KCheckStop();
  return model;
}

bool IsKnownCodePage(int codePage) {
  return CodePageFormat(codePage) >= 0;
}

xrchandle<KModel> ReadStep(const KFile& file, std::string& reason, bool& selfContained) {
  return ReadDocument(file, "STEP", true, MakeStepReader, reason, selfContained);
}

// IGES is read by a module of its own, loaded with the first IGES file: its
// libraries would cost every other load their start-up and their memory. The
// module is never unloaded; Open CASCADE keeps its state in them.
xrchandle<KModel> ReadIges(const KFile& file, std::string& reason, bool& selfContained) {
  using Read = void (*)(const KFile*, std::string*, bool*, xrchandle<KModel>*);
  static std::string error;
  static const Read read = []() -> Read {
    // Beside this module, wherever that is.
    std::string path = GRANITE_IGES_MODULE;
    Dl_info self;
    if (::dladdr(reinterpret_cast<void*>(&ReadIges), &self) && self.dli_fname) {
      const std::string here = self.dli_fname;
      const size_t slash = here.rfind('/');
      if (slash != std::string::npos) path = here.substr(0, slash + 1) + path;
    }
    void* module = ::dlopen(path.c_str(), RTLD_NOW);
    void* symbol = module ? ::dlsym(module, "GraniteReadIges") : nullptr;
    if (!symbol) error = ::dlerror();
    return reinterpret_cast<Read>(symbol);
  }();
  if (!read) {
    reason = Quote(file) + ": the IGES reader could not be loaded (" + error + ")";
    return xrchandle<KModel>();
  }
  xrchandle<KModel> model;
  read(&file, &reason, &selfContained, &model);
  return model;
}

}  // namespace ktranslate
