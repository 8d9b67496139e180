#include "model/RootElement.h"

#include <memory>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"
#include "model/ElementBudget.h"
#include "qorvelaex/C3DMScene.h"

CGraniteElement* CreateRootElement(CBasicString fileName, CBasicString displayName) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !granite::TakeElement()) return nullptr;
  // Owned here until the element list takes it.
  std::unique_ptr<CGraniteElement> element(parser->CreateElement(fileName, displayName));
  if (!element) return nullptr;
  C3DMGroup* group = element->GetGroup();
  if (!group) return nullptr;  // an element without a group is of no use to any walk
  element->SetFileType(GRANITE_FILE_ASSEMBLY);
  group->SetTopLevel(false);
  // A host that loads a single part into its own group may have set no world.
  if (C3DMWorld* world = parser->GetWorld()) world->AddGroup(group, 1);
  parser->AddElementToList(element.get());
  return element.release();
}
