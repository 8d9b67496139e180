// The assembly parse: one child element per component whose file is found,
// recursively for sub-assemblies; component placements and model units.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "assembly/Assembly.h"
#include "files/Files.h"
#include "gGeometry90/ksession.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "interface/CurrentParser.h"
#include "kernel/Guards.h"
#include "model/ElementBudget.h"
#include "qorvelaex/C3DMScene.h"
#include "win32/wfsopen.h"

namespace {

// Nesting beyond this many assemblies is refused like a cycle; no real
// assembly comes near it.
constexpr size_t kMaxAssemblyDepth = 256;

// An assembly being parsed: the file's identity when it could be had (the
// same file under any spelling: a link, "x/./", another letter case),
// otherwise the lower-cased path handed to the kernel.
struct OpenAssembly {
  bool identified;
  win32::FileIdentity identity;
  std::basic_string<WCHAR> path;

  bool Same(const OpenAssembly& other) const {
    return identified && other.identified ? identity == other.identity : path == other.path;
  }
};

OpenAssembly Identify(const WCHAR* path) {
  OpenAssembly open{false, {}, path};
  open.identified = win32::GetFileIdentity(path, open.identity);
  return open;
}

// The assemblies being parsed now, outermost first.
std::vector<OpenAssembly>& OpenAssemblies() {
  static std::vector<OpenAssembly> open;
  return open;
}

// Holds an assembly on the open-assembly stack for the scope of one parse.
class OpenAssemblyEntry {
 public:
  explicit OpenAssemblyEntry(OpenAssembly open) { OpenAssemblies().push_back(std::move(open)); }
  OpenAssemblyEntry(const OpenAssemblyEntry&) = delete;
  OpenAssemblyEntry& operator=(const OpenAssemblyEntry&) = delete;
  ~OpenAssemblyEntry() { OpenAssemblies().pop_back(); }
};

// True when the file is already being parsed further up, or the nesting is full.
bool RefusedAsCycle(const OpenAssembly& file) {
  const auto& open = OpenAssemblies();
  if (open.size() >= kMaxAssemblyDepth) return true;
  for (const OpenAssembly& entry : open) {
    if (entry.Same(file)) return true;
  }
  return false;
}

CBasicString ReferencedFileName(KComponent* component) {
  xstring name;
  component->GetReferencedFileName(name);
  return CBasicString(name.GetWide());
}

}  // namespace

velaMatrix4x4 GetComponentTransform(KComponent* component) {
  velaMatrix4x4 matrix;
  matrix.SetIdentity();
  if (!component) return matrix;
  xrchandle<KMatrix3D> placement;
  component->GetPlacement(placement);
  if (!placement) return matrix;
  // Element k is the kernel's (k / 4, k % 4), copied without transposition.
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) matrix.m[i * 4 + j] = static_cast<float>(placement->Get(i, j));
  }
  return matrix;
}

void RetrieveModelUnits(KModel* model) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !model || parser->GetUnitsRetrieved()) return;
  parser->SetUnitsRetrieved(true);
  int code;
  try {
    code = model->GetUnits();
  } catch (...) {
    parser->SetUnitsRetrieved(false);
    throw;
  }
  switch (code) {
    case 0:
      parser->SetModelUnits(ImageUnitsTypes(1));
      break;
    case 1:
      parser->SetModelUnits(ImageUnitsTypes(2));
      break;
    case 2:
      parser->SetModelUnits(ImageUnitsTypes(3));
      break;
    case 3:
      parser->SetModelUnits(ImageUnitsTypes(6));
      break;
    case 4:
      parser->SetModelUnits(ImageUnitsTypes(4));
      break;
    case 5:
      parser->SetModelUnits(ImageUnitsTypes(7));
      break;
    case 6:
      parser->SetModelUnits(ImageUnitsTypes(8));
      break;
    default:
      // Unknown code: a later model may still give the units.
      parser->SetUnitsRetrieved(false);
      break;
  }
}

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
  if (RefusedAsCycle(file)) return GRANITE_LOAD_INCOMPLETE;
  OpenAssemblyEntry openEntry(std::move(file));

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
