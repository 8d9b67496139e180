// model_box FILE...: for each exchange file, the CPU time the translator's
// model box takes against the whole load of the file through ParsePart, and
// how far that box lies from Open CASCADE's exact box of the same file
// (BRepBndLib::AddOptimal over its free shapes), in parts of the diagonal.
#include <time.h>

#include <BRepBndLib.hxx>
#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <IGESCAFControl_Reader.hxx>
#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <STEPCAFControl_Reader.hxx>
#include <TDF_LabelSequence.hxx>
#include <TDocStd_Document.hxx>
#include <TopoDS_Compound.hxx>
#include <XCAFApp_Application.hxx>
#include <XCAFDoc_DocumentTool.hxx>
#include <XCAFDoc_ShapeTool.hxx>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "gTranslator90/granite.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "qorvelaex/C3DMScene.h"

namespace {

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

bool IsIges(const std::string& path) {
  std::string ext = path.substr(path.find_last_of('.') + 1);
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == "igs" || ext == "iges";
}

// The whole load as a host does it for one exchange file; CPU seconds.
double LoadSeconds(const std::string& path) {
  C3DMWorld world;
  const double t0 = CpuSeconds();
  {
    CGraniteParser parser;
    parser.SetFilename(CBasicString(path.c_str()));
    parser.SetWorld(&world);
    C3DMGroup* top = world.CreateGroup();
    world.AddGroup(top, 0);
    parser.SetCurrentGroup(top);
    try {
      ParsePart(&parser, CBasicString(path.c_str()), nullptr);
    } catch (xthrowable* e) {
      xrcunihandle<xthrowable> held(e);
    }
  }
  return CpuSeconds() - t0;
}

// The translator's box of a fresh translation, and its CPU seconds.
bool KernelBox(const std::string& path, double box[6], double* seconds, double* millimetres) {
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KTranslator> translator;
  KGetTranslator(translator);
  xrchandle<KFile> file;
  session->OpenFile(path.c_str(), file);
  if (!file) return false;
  xrchandle<KModel> model;
  translator->Translate(IsIges(path) ? KFORMAT_IGES : KFORMAT_STEP, file, xrchandle<xobject>(),
                        xrchandle<xobject>(), model);
  file->Close();
  if (!model) return false;
  static const double kMillimetres[] = {25.4, 304.8, 1, 1000, 10, 1e6, 1e-3};
  const int units = model->GetUnits();
  *millimetres = units >= 0 && units <= 6 ? kMillimetres[units] : 1;
  const double t0 = CpuSeconds();
  xrchandle<KBox3D> b;
  model->GetModelBox(b);
  *seconds = CpuSeconds() - t0;
  if (!b) return false;
  const KVec3 lo = b->Min(), hi = b->Max();
  const double v[6] = {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z};
  std::copy(v, v + 6, box);
  return true;
}

// Open CASCADE's exact box of the file, in the file's unit (mm per unit given).
bool ExactBox(const std::string& path, double millimetres, double box[6]) {
  Handle(TDocStd_Document) doc = new TDocStd_Document("MDTV-XCAF");
  XCAFApp_Application::GetApplication()->InitDocument(doc);
  XCAFDoc_DocumentTool::SetLengthUnit(doc, millimetres, UnitsMethods_LengthUnit_Millimeter);
  bool read;
  if (IsIges(path)) {
    IGESCAFControl_Reader reader;
    read = reader.ReadFile(path.c_str()) == IFSelect_RetDone && reader.Transfer(doc);
  } else {
    STEPCAFControl_Reader reader;
    read = reader.ReadFile(path.c_str()) == IFSelect_RetDone && reader.Transfer(doc);
  }
  Bnd_Box exact;
  if (read) {
    Handle(XCAFDoc_ShapeTool) shapes = XCAFDoc_DocumentTool::ShapeTool(doc->Main());
    TDF_LabelSequence free;
    shapes->GetFreeShapes(free);
    TopoDS_Compound all;
    BRep_Builder builder;
    builder.MakeCompound(all);
    for (int i = 1; i <= free.Length(); ++i) builder.Add(all, shapes->GetShape(free.Value(i)));
    BRepBndLib::AddOptimal(all, exact, false, false);
  }
  doc->Main().Root().ForgetAllAttributes(Standard_True);
  if (!read || exact.IsVoid()) return false;
  exact.Get(box[0], box[1], box[2], box[3], box[4], box[5]);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: model_box FILE...\n");
    return 2;
  }
  Message::DefaultMessenger()->ChangePrinters().Clear();
  std::printf("%-34s %9s %9s %7s %9s\n", "file", "load s", "box s", "share", "off/diag");
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string path = argv[i];
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const double load = LoadSeconds(path);
    double kernel[6], exact[6], seconds = 0, millimetres = 1;
    if (!KernelBox(path, kernel, &seconds, &millimetres) || !ExactBox(path, millimetres, exact)) {
      std::printf("%-34s %9.3f  no box\n", name.c_str(), load);
      continue;
    }
    double diagonal = 0, off = 0;
    for (int k = 0; k < 3; ++k) diagonal += (exact[k + 3] - exact[k]) * (exact[k + 3] - exact[k]);
    diagonal = std::sqrt(diagonal);
    for (int k = 0; k < 6; ++k) off = std::max(off, std::fabs(kernel[k] - exact[k]));
    const double share = load > 0 ? seconds / load : 0;
    std::printf("%-34s %9.3f %9.3f %6.1f%% %9.2e\n", name.c_str(), load, seconds, 100 * share,
                off / diagonal);
    if (off > 0.02 * diagonal) status = 1;
  }
  ShutdownGranite();
  return status;
}
