// The extent pass: the kernel's boxes of a part file, carried into model space
// by the current matrix, grow the parser's model bounding box.
#include "files/Files.h"
#include "gGeometry90/ksession.h"
#include "gTranslator90/ktranslator.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "kernel/Kernel.h"
#include "model/ParserGuards.h"
#include "parts/Parts.h"

bool ComputePartExtent(CGraniteParser* parser, CBasicString fileName, CGraniteElement* element) {
  g_CurrentParser = parser;
  if (!parser || fileName.GetLength() == 0) return false;
  xstring path(fileName.GetWideString());
  xrchandle<KSession> session;
  KGetSession(session);
  xrchandle<KTranslator> translator;
  KGetTranslator(translator);
  if (!session || !translator) return false;

  path = path.ToLower();
  xrchandle<KFile> file;
  session->OpenFile(path.GetNarrow(), file);
  if (!file) return false;
  granite::FileCloseGuard closer(file);

  bool added = false;
  const GraniteFormatTypes format = GetFormatFromExtension(fileName);
  if (format == GRANITE_FORMAT_NATIVE) {
    xrchandle<KComponent> root;
    session->GetRootComponent(file, 1, root);
    added = AddComponentExtent(root.get(), element);
  } else if (GetTranslatorFormatCode(format) >= 0) {
    xrchandle<KModel> model;
    translator->Translate(GetTranslatorFormatCode(format), file, xrchandle<xobject>(),
                          xrchandle<xobject>(), model);
    // A translated single part adds nothing here: the tessellation sets the
    // box from its first body.
    if (model && IsAssemblyObject(model.get())) {
      xrchandle<KComponentSequence> components;
      KAssembly::cast(model.get())->GetComponents(components);
      if (components) added = AddComponentsExtent(components.get(), element);
    }
  }
  closer.Close();
  return added;
}

bool AddComponentExtent(KComponent* component, CGraniteElement* /*element*/) {
  if (!component || !g_CurrentParser) return false;
  xrchandle<KModel> definition;
  component->GetDefinition(definition);
  if (!definition) return false;

  velaMatrix4x4 placement = GetComponentTransform(component);
  granite::MatrixPushGuard push(g_CurrentParser, placement);
  xrchandle<KBox3D> box;
  definition->GetModelBox(box);
  if (!box) return false;
  xrchandle<KPoint3D> low, high;
  box->GetMinPoint(low);
  box->GetMaxPoint(high);
  if (!low || !high) return false;

  velaFloatPoint a(static_cast<float>(low->GetX()), static_cast<float>(low->GetY()),
                   static_cast<float>(low->GetZ()));
  velaFloatPoint b(static_cast<float>(high->GetX()), static_cast<float>(high->GetY()),
                   static_cast<float>(high->GetZ()));
  const velaMatrix4x4 current = g_CurrentParser->GetCurrentMatrix();
  a = a * current;
  b = b * current;
  // Only the two corners are carried over, in the order they come out.
  velaBBox extent;
  extent.Reset();
  extent.SetMinMax(a, b);
  g_CurrentParser->GetModelBoundingBox().Update(extent);

  low.reset();
  high.reset();
  push.Pop();
  return true;
}

bool AddComponentsExtent(KComponentSequence* components, CGraniteElement* element) {
  if (!components || !g_CurrentParser) return false;
  bool any = false;
  for (int i = 0; i < components->GetCount(); ++i) {
    xrchandle<KComponent> component;
    components->GetAt(i, component);
    if (component && AddComponentExtent(component.get(), element)) any = true;
  }
  return any;
}
