// The assembly parse: one child element per component whose file is found,
// recursively for sub-assemblies; component placements and model units.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "files/Files.h"
#include "gGeometry90/ksession.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ElementBudget.h"
#include "model/NestingPath.h"
#include "qorvelaex/C3DMScene.h"
#include "win32/wfsopen.h"

namespace {

// An assembly being parsed: the file's identity when it could be had (the
// same file under any spelling: a link, "x/./", another letter case),
// otherwise the lower-cased path handed to the kernel.
struct OpenAssembly {
  bool identified;
  win32::FileIdentity identity;
  std::basic_string<WCHAR> path;

  bool operator==(const OpenAssembly& other) const {
    return identified && other.identified ? identity == other.identity : path == other.path;
  }
};

// The assemblies being parsed now, outermost first.
using OpenAssemblies = granite::NestingPath<OpenAssembly>;

OpenAssembly Identify(const WCHAR* path) {
  OpenAssembly open{false, {}, path};
  open.identified = win32::GetFileIdentity(path, open.identity);
  return open;
}

CBasicString ReferencedFileName(KComponent* component) {
  xstring name;
  component->GetReferencedFileName(name);
  return CBasicString(name.GetWide());
}

}  // namespace

GraniteLoadResultTypes ParseAssembly(CGraniteElement* element, void* /*component*/) {
  if (!element || !g_CurrentParser) return GRANITE_LOAD_FAILURE;
  granite::ElementCountScope elements;
  CBasicString fileName = element->GetFilename();
  if (fileName.GetLength() == 0) return GRANITE_LOAD_FAILURE;
  xstring path(fileName.GetWideString());

  xrchandle<KSession> session;
  KGetSession(session);
  if (!session) return GRANITE_LOAD_FAILURE;
  path = path.ToLower();

  // An assembly that is already open on the current path (it contains itself)
  // stays a childless element; the 3 tells the caller the tree is cut there.
  OpenAssembly file = Identify(path.GetWide());
  if (OpenAssemblies::Refuses(file)) return GRANITE_LOAD_INCOMPLETE;
  OpenAssemblies onPath(std::move(file));

  xrchandle<KAssembly> assembly;
  {
    xrchandle<KFile> file;
    session->OpenFile(path.GetNarrow(), file);
    if (!file) return GRANITE_LOAD_INCOMPLETE;
    granite::FileCloseGuard closer(file);
    session->GetAssembly(file, 1, assembly);
    closer.Close();
  }
  session.reset();
  if (!assembly) return GRANITE_LOAD_INCOMPLETE;

  RetrieveModelUnits(assembly.get());
  xrchandle<KComponentSequence> components;
  assembly->GetComponents(components);
  assembly.reset();
  if (!components) return GRANITE_LOAD_FAILURE;
  if (components->GetCount() <= 0) return GRANITE_LOAD_INCOMPLETE;

  GraniteLoadResultTypes result = GRANITE_LOAD_SUCCESS;
  ReferencingFileScope referencing(fileName);  // components are looked for beside it first
  for (int i = 0; i < components->GetCount(); ++i) {
    xrchandle<KComponent> component;
    components->GetAt(i, component);
    if (!component) continue;
    CBasicString kernelName = ReferencedFileName(component.get());

    // The load has made all the elements it may: the rest of this assembly is left out.
    if (!granite::TakeElement()) {
      result = GRANITE_LOAD_INCOMPLETE;
      break;
    }
    // Owned here until the parent takes it.
    std::unique_ptr<CGraniteElement> child(
        g_CurrentParser->CreateElement(CBasicString(), CBasicString()));
    if (!child) continue;
    ResolveComponentFile(component, child.get());
    CBasicString configName = child->GetConfigurationName();
    child->SetDisplayName(configName.GetLength() != 0 ? configName : kernelName);
    child->SetFileType(g_CurrentParser->GetFileIsPart(child->GetFilename()) ? GRANITE_FILE_PART
                                                                             : GRANITE_FILE_ASSEMBLY);
    if (!FileExists(child->GetFilename())) {
      child.reset();  // never attached
      result = GRANITE_LOAD_INCOMPLETE;
      continue;
    }
    if (element->GetGroup() && child->GetGroup()) element->GetGroup()->AddGroup(child->GetGroup(), 1);
    child->SetTransform(GetComponentTransform(component.get()));
    if (!element->AddChild(child.get())) continue;  // refused: still ours to delete
    CGraniteElement* attached = child.release();
    if (attached->GetFileType() == GRANITE_FILE_ASSEMBLY) {
      GraniteLoadResultTypes sub = ParseAssembly(attached, component.get());
      if (result == GRANITE_LOAD_SUCCESS) result = sub;
    }
  }
  return result;
}
