// One part or exchange file into the current group: an earlier occurrence
// reused, a native part through the session, an exchange file through the
// translator (one part, or an assembly walked into elements).
#include <algorithm>

#include "files/Files.h"
#include "gTranslator90/granite.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ElementBudget.h"
#include "model/NestingPath.h"
#include "model/ParserGuards.h"
#include "model/RootElement.h"
#include "parts/Parts.h"
#include "qorvelaex/C3DMScene.h"
#include "qorvelaex/velaMatrixEx.h"
#include "tessellation/Tessellation.h"

namespace {

// Shows the meshes of an earlier occurrence in the current group, moved from
// the placement they were built under to the current one. No kernel call.
GraniteLoadResultTypes PlaceResolvedPart(CGraniteParser* parser, CGraniteElement* found) {
  C3DMGroup* current = parser->GetCurrentGroup();
  C3DMGroup* shown = found->GetGroup();
  if (!current || !shown) return GRANITE_LOAD_FAILURE;
  // The group already shows them (a second load of the same tree): inserting it
  // into itself would make the scene cyclic, inserting it again would show the
  // part twice and move it by the placement once more.
  if (shown == current || !parser->RecordPlacedPart(current, shown)) return GRANITE_LOAD_SUCCESS;
  velaMatrix4x4 placement = parser->GetCurrentMatrix();
  void* token = current->BeginInsert();
  current->InsertGroup(shown);
  current->EndInsert(token);
  velaMatrix4x4 inverse = GetInverseMatrix(found->GetFinalTransform());
  current->ApplyMatrix(inverse, 1);
  current->ApplyMatrix(placement, 1);
  return GRANITE_LOAD_SUCCESS;
}

// A translated model of several parts is measured as a whole: while the load
// has no tolerances yet, its own box through the current matrix (all eight
// corners) becomes the model box and the tolerances follow from it, before
// any body is tessellated. The first body alone may be one nut of the model.
void ComputeTolerancesFromModel(CGraniteParser* parser, KModel* model) {
  if (parser->GetChordalTolerance() != 0.0) return;
  xrchandle<KBox3D> box;
  model->GetModelBox(box);
  SetModelBoxFromKernelBox(parser, box.get(), parser->GetCurrentMatrix(), true);
}

// The model a translator built: a root element for the file, then the part
// tessellated, or the assembly's components walked below the root.
int LoadTranslatedModel(CGraniteParser* parser, const xrchandle<KModel>& model) {
  if (!model) return GRANITE_LOAD_FAILURE;
  const bool assembly = IsAssemblyObject(model.get());
  CGraniteElement* root = CreateRootElement(parser->GetFilename(), parser->GetFilename());
  if (!root) return GRANITE_LOAD_INCOMPLETE;
  ComputeTolerancesFromModel(parser, model.get());
  if (assembly) {
    root->SetFileType(GRANITE_FILE_ASSEMBLY);
    xrchandle<KComponentSequence> components;
    KAssembly::cast(model.get())->GetComponents(components);
    granite::MatrixPushGuard placed(parser, root->GetTransform());
    granite::NestingPath<const xobject*> onPath(model.get());
    const int walked = ParseSubAssembly(std::move(components), root);
    return walked == 0 ? GRANITE_LOAD_SUCCESS : GRANITE_LOAD_INCOMPLETE;
  }
  root->SetFileType(GRANITE_FILE_PART);
  const int tessellated =
      TessellatePart(xrchandle<KPartModel>(KPartModel::cast(model.get())), root);
  return tessellated == 0 ? GRANITE_LOAD_SUCCESS : GRANITE_LOAD_INCOMPLETE;
}

// Opens the file and loads it by format; the file object is closed on every way out.
int LoadFile(CGraniteParser* parser, KSession* session, KTranslator* translator,
             const CBasicString& fileName, xstring& path, CGraniteElement* element) {
  path = path.ToLower();
  xrchandle<KFile> file;
  session->OpenFile(path.GetNarrow(), file);
  if (!file) return GRANITE_LOAD_INCOMPLETE;
  granite::FileCloseGuard open(file);
  const GraniteFormatTypes format = GetFormatFromExtension(fileName);
  parser->GenerateColorForPart();

  int result = GRANITE_LOAD_FAILURE;
  if (format == GRANITE_FORMAT_NATIVE) {
    xrchandle<KComponent> root;
    session->GetRootComponent(file, 1, root);
    result = TessellateComponent(root.get(), element);
    root.reset();
  } else if (format >= GRANITE_FORMAT_IGES && format <= GRANITE_FORMAT_PARASOLID) {
    xrchandle<KModel> model;
    translator->Translate(GetTranslatorFormatCode(format), file, xrchandle<xobject>(),
                          xrchandle<xobject>(), model);
    result = LoadTranslatedModel(parser, model);
    model.reset();
  }
  open.Close();
  return result;
}

}  // namespace

GraniteLoadResultTypes ParsePart(CGraniteParser* parser, CBasicString fileName,
                                 CGraniteElement* element) {
  g_CurrentParser = parser;
  if (!parser) return GRANITE_LOAD_FAILURE;
  if (fileName.GetLength() == 0) return GRANITE_LOAD_FAILURE;
  granite::ElementCountScope elements;

  CBasicString configuration;
  if (element) configuration = element->GetConfigurationName();
  if (CGraniteElement* found = parser->FindResolvedPart(fileName, configuration))
    return PlaceResolvedPart(parser, found);

  xstring path(fileName.GetWideString());
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KTranslator> translator;
  KGetTranslator(translator);
  if (!session || !translator) return GRANITE_LOAD_FAILURE;

  int result = GRANITE_LOAD_FAILURE;
  try {
    result = LoadFile(parser, session.get(), translator.get(), fileName, path, element);
  } catch (xthrowable* error) {
    // The guards of every level passed have put the matrix stack, the current
    // group and the face colours back; the file is closed, the handles released.
    granite::DropKernelException(error);
    result = GRANITE_LOAD_FAILURE;
  }
  return static_cast<GraniteLoadResultTypes>(result);
}
