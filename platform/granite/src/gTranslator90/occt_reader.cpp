// STEP and IGES through Open CASCADE's document readers: the product
// structure becomes assemblies and components, the shapes part models.
#include <BRep_Builder.hxx>
#include <IFSelect_ReturnStatus.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <IGESData_IGESModel.hxx>
#include <Interface_Static.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <NCollection_DataMap.hxx>
#include <Quantity_Color.hxx>
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
#include <gp_Trsf.hxx>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gBase90/xthrowable.h"
#include "occt_face.h"
#include "occt_stop.h"
#include "readers.h"

namespace ktranslate {
namespace {

// A length unit: the kernel's units code and its size in millimetres.
struct Unit {
  int code;
  double millimetres;
};

constexpr Unit kMillimetre{KUNITS_MILLIMETER, 1};

// The kernel's unit for a unit name as STEP files spell it ("millimetre",
// "INCH", "METRE"); false for a unit the kernel has no code for.
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

// The kernel's unit for an IGES unit flag (global section, parameter 14).
bool UnitFromIgesFlag(int flag, const Handle(TCollection_HAsciiString) & name, Unit& unit) {
  switch (flag) {
    case 1:
      unit = {KUNITS_INCH, 25.4};
      return true;
    case 2:
      unit = {KUNITS_MILLIMETER, 1};
      return true;
    case 3:
      return !name.IsNull() && UnitFromName(name->ToCString(), unit);
    case 4:
      unit = {KUNITS_FOOT, 304.8};
      return true;
    case 6:
      unit = {KUNITS_METER, 1000};
      return true;
    case 7:
      unit = {KUNITS_KILOMETER, 1e6};
      return true;
    case 9:
      unit = {KUNITS_MICROMETER, 1e-3};
      return true;
    case 10:
      unit = {KUNITS_CENTIMETER, 10};
      return true;
    default:
      return false;
  }
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
  Builder(const Handle(TDocStd_Document) & doc, int units)
      : m_shapes(XCAFDoc_DocumentTool::ShapeTool(doc->Main())),
        m_colours(XCAFDoc_DocumentTool::ColorTool(doc->Main())),
        m_layers(XCAFDoc_DocumentTool::LayerTool(doc->Main())),
        m_units(units) {}

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
      xrchandle<KModel> definition = Definition(label, Colour());
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
      xrchandle<KModel> definition = Definition(referred, colour);
      gp_Trsf placement = XCAFDoc_ShapeTool::GetLocation(component).Transformation();
      assembly->AddComponent(
          xrchandle<KComponent>(new KComponent(name, xstring(), Placement(placement), definition)));
    }
    return assembly;
  }

  xrchandle<KModel> Part(const TDF_Label& label, const Colour& inherited) {
    xrchandle<KPartModel> part(new KPartModel);
    part->SetUnits(m_units);
    TopoDS_Shape shape = XCAFDoc_ShapeTool::GetShape(label);
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
      auto mesher = std::make_shared<kocct::BodyMesher>(bodyShape);
      xrchandle<KBody> body(new KBody);
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
    return part;
  }

  Handle(XCAFDoc_ShapeTool) m_shapes;
  Handle(XCAFDoc_ColorTool) m_colours;
  Handle(XCAFDoc_LayerTool) m_layers;
  int m_units;
  std::map<std::string, xrchandle<KModel>> m_models;
  std::map<std::string, int> m_layerNumbers;
  std::vector<TDF_Label> m_path;
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
                        const char* format, std::string& reason) {
  Builder builder(doc, units);
  xrchandle<KModel> model = builder.Top();
  if (!model) reason = Quote(file) + ": the " + format + " file holds no shape";
  return model;
}

// Reads a STEP or IGES file into a document and builds its model. The reader,
// the document and the model live outside the guarded call: a fault inside
// Open CASCADE jumps over the frames of the call, not over their clean-up.
template <class Reader, class ReadFile, class UnitOf>
xrchandle<KModel> ReadDocument(const KFile& file, const char* format, ReadFile readFile,
                               UnitOf unitOf, std::string& reason) {
  Silence();
  kocct::SignalGuard signals;
  Reader reader;
  Handle(TDocStd_Document) doc;
  xrchandle<KModel> model;
  auto read = [&] {
    reader.SetColorMode(Standard_True);
    reader.SetNameMode(Standard_True);
    reader.SetLayerMode(Standard_True);
    const IFSelect_ReturnStatus status = readFile(reader, AbsolutePath(file));
    KCheckStop();
    if (status != IFSelect_RetDone) {
      reason = Quote(file) + ": not a readable " + format + " file (" + StatusText(status) + ")";
      return;
    }
    // Coordinates stay in the file's length unit.
    const Unit unit = unitOf(reader);
    doc = NewDocument();
    XCAFDoc_DocumentTool::SetLengthUnit(doc, unit.millimetres, UnitsMethods_LengthUnit_Millimeter);
    Handle(kocct::StopIndicator) progress = new kocct::StopIndicator(KPhase::Transferring);
    const bool transferred = reader.Transfer(doc, progress->Start());
    StopIfRequested(doc);
    if (!transferred) {
      reason = Quote(file) + ": the " + format + " file holds no shape that could be translated";
      return;
    }
    model = Build(doc, unit.code, file, format, reason);
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

}  // namespace

xrchandle<KModel> ReadStep(const KFile& file, std::string& reason) {
  return ReadDocument<STEPCAFControl_Reader>(
      file, "STEP",
      // Through a stream whose buffer reports the bytes read and ends the
      // input early once a stop is requested.
      [](STEPCAFControl_Reader& reader, const std::string& path) {
        kocct::StopCheckingBuffer buffer(path);
        std::istream stream(&buffer);
        if (!buffer.IsOpen()) return IFSelect_RetError;
        return reader.ChangeReader().ReadStream(path.c_str(), stream);
      },
      [](STEPCAFControl_Reader& reader) {
        Unit unit = kMillimetre;
        TColStd_SequenceOfAsciiString lengths, angles, solidAngles;
        reader.ChangeReader().FileUnits(lengths, angles, solidAngles);
        for (int i = 1; i <= lengths.Length(); ++i)
          if (UnitFromName(lengths.Value(i).ToCString(), unit)) break;
        return unit;
      },
      reason);
}

xrchandle<KModel> ReadIges(const KFile& file, std::string& reason) {
  return ReadDocument<IGESCAFControl_Reader>(
      file, "IGES",
      // Open CASCADE reads IGES from a file name only: the request is checked
      // before and after.
      [](IGESCAFControl_Reader& reader, const std::string& path) {
        KCheckStop();
        return reader.ReadFile(path.c_str());
      },
      [](IGESCAFControl_Reader& reader) {
        Unit unit = kMillimetre;
        Handle(IGESData_IGESModel) igesModel =
            Handle(IGESData_IGESModel)::DownCast(reader.Model());
        if (!igesModel.IsNull()) {
          const IGESData_GlobalSection& global = igesModel->GlobalSection();
          if (!UnitFromIgesFlag(global.UnitFlag(), global.UnitName(), unit)) unit = kMillimetre;
        }
        return unit;
      },
      reason);
}

}  // namespace ktranslate
