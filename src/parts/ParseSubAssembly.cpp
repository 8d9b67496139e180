// The component walk of a translated assembly: one child element per component,
// each part component tessellated into its own group on the spot.
#include <memory>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ElementBudget.h"
#include "model/NestingPath.h"
#include "model/ParserGuards.h"
#include "parts/Parts.h"
#include "qorvelaex/C3DMScene.h"
#include "tessellation/Tessellation.h"

namespace {

// The translated assembly definitions the walk is descending.
using DefinitionPath = granite::NestingPath<const xobject*>;

// The colour current when the outermost walk began (the colour generated for
// the file): every part component starts from it, so that a part without a
// colour of its own does not take the colour of the part before it.
struct {
  bool set = false;
  velaChroma colour;
} g_walkColour;

class WalkColour {
 public:
  explicit WalkColour(const velaChroma& current) : m_outermost(!g_walkColour.set) {
    if (!m_outermost) return;
    g_walkColour.set = true;
    g_walkColour.colour = current;
  }
  ~WalkColour() {
    if (m_outermost) g_walkColour.set = false;
  }
  WalkColour(const WalkColour&) = delete;
  WalkColour& operator=(const WalkColour&) = delete;
  const velaChroma& Colour() const { return g_walkColour.colour; }

 private:
  bool m_outermost;
};

}  // namespace

int ParseSubAssembly(xrchandle<KComponentSequence> components, CGraniteElement* parent) {
  if (!components) return GRANITE_LOAD_INCOMPLETE;
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !parent) return GRANITE_LOAD_FAILURE;
  const int count = components->GetCount();
  if (count <= 0) return GRANITE_LOAD_FAILURE;

  // 0 when every component with a definition loaded, 3 when one failed, 1
  // when none had a definition.
  bool anyLoaded = false, anyFailed = false;
  const WalkColour walkColour(parser->GetCurrentColor());
  for (int i = 0; i < count; ++i) {
    xrchandle<KComponent> component;
    components->GetAt(i, component);
    if (!component) continue;
    xrchandle<KModel> definition;
    component->GetDefinition(definition);
    // The load has made all the elements it may: the rest of this assembly is left out.
    if (!granite::TakeElement()) {
      anyFailed = true;
      break;
    }
    // Owned here until its parent takes it.
    std::unique_ptr<CGraniteElement> made(parser->CreateElement(CBasicString(), CBasicString()));
    if (!made) continue;
    CGraniteElement* child = made.get();
    if (parent->GetGroup() && child->GetGroup()) parent->GetGroup()->AddGroup(child->GetGroup(), 1);
    child->SetTransform(GetComponentTransform(component.get()));
    if (!parent->AddChild(child)) continue;
    made.release();
    CBasicString configuration = child->GetConfigurationName();
    if (configuration.GetLength() > 0) {
      child->SetDisplayName(configuration);
    } else {
      xstring referenced;
      component->GetReferencedFileName(referenced);
      child->SetDisplayName(CBasicString(referenced.GetWide()));
    }

    granite::CurrentGroupGuard group(parser);
    parser->SetCurrentGroup(child->GetGroup());
    if (!definition) continue;
    int loaded;
    if (IsAssemblyObject(definition.get())) {
      child->SetFileType(GRANITE_FILE_ASSEMBLY);
      if (DefinitionPath::Refuses(definition.get())) {
        // A definition that places itself: the child shows the reference, the 3 explains it.
        loaded = GRANITE_LOAD_INCOMPLETE;
      } else {
        DefinitionPath onPath(definition.get());
        xrchandle<KComponentSequence> subComponents;
        KAssembly::cast(definition.get())->GetComponents(subComponents);
        granite::MatrixPushGuard placed(parser, child->GetTransform());
        loaded = ParseSubAssembly(std::move(subComponents), child);
      }
    } else {
      child->SetFileType(GRANITE_FILE_PART);
      parser->SetCurrentColor(walkColour.Colour());
      loaded = TessellateComponent(component.get(), child);
    }
    (loaded == GRANITE_LOAD_SUCCESS ? anyLoaded : anyFailed) = true;
  }
  components.reset();
  return anyFailed   ? GRANITE_LOAD_INCOMPLETE
         : anyLoaded ? GRANITE_LOAD_SUCCESS
                     : GRANITE_LOAD_FAILURE;
}
