// Elements and resolved-file entries: construction, copies and the release of
// a tree.
#include <gtest/gtest.h>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "qorvelaex/C3DMScene.h"

namespace {

TEST(Element, CopiesOwnTheirNamesAndReleaseNoChildren) {
  CGraniteElement* source = new CGraniteElement();
  source->SetFilename(CBasicString("a.asm"));
  source->SetDisplayName(CBasicString("A"));
  source->GetTransform() = velaMatrix4x4::Translation(1, 0, 0);
  CGraniteElement* child = new CGraniteElement();
  CGraniteElement* grandchild = new CGraniteElement();
  EXPECT_TRUE(source->AddChild(child));
  EXPECT_TRUE(child->AddChild(grandchild));
  EXPECT_EQ(child->GetParentElement(), source);

  CGraniteElement* copy = new CGraniteElement(*source);
  copy->SetDisplayName(CBasicString("B"));
  EXPECT_TRUE(source->GetDisplayName() == "A");
  EXPECT_EQ(copy->GetTransform(), source->GetTransform());
  EXPECT_EQ(copy->GetNumberChildren(), 1);

  CGraniteElement assigned;
  assigned.AddChild(new CGraniteElement());  // released by the assignment
  assigned = *source;
  EXPECT_EQ(assigned.GetNumberChildren(), 1);
  // Not from its own child or grandchild: releasing the children would free the source.
  for (CGraniteElement* below : {child, grandchild}) {
    *source = *below;
    EXPECT_TRUE(source->GetDisplayName() == "A");
    EXPECT_EQ(source->GetNumberChildren(), 1);
  }

  // Either order: the children go with the source, once (the sanitizers check).
  delete source;
  delete copy;
}

TEST(Element, AddChildRefusesSecondOwnersAndCycles) {
  CGraniteElement root;
  CGraniteElement* child = new CGraniteElement();
  CGraniteElement* other = new CGraniteElement();
  EXPECT_TRUE(root.AddChild(child));
  EXPECT_FALSE(root.AddChild(child));    // already a child
  EXPECT_FALSE(other->AddChild(child));  // has a parent
  EXPECT_FALSE(child->AddChild(&root));  // an ancestor
  EXPECT_FALSE(root.AddChild(&root));
  EXPECT_FALSE(root.AddChild(nullptr));
  EXPECT_TRUE(child->AddChild(other));
  EXPECT_EQ(root.GetNumberChildren(), 1);
  root.ClearChildList();
  EXPECT_EQ(root.GetNumberChildren(), 0);
}

TEST(Element, DeepTreeIsReleasedWithoutARecursionPerLevel) {
  CGraniteElement* root = new CGraniteElement();
  CGraniteElement* at = root;
  for (int i = 0; i < 200000; ++i) {
    CGraniteElement* child = new CGraniteElement();
    ASSERT_TRUE(at->AddChild(child));
    at = child;
  }
  at->SetFileType(GRANITE_FILE_PART);
  EXPECT_FALSE(at->AddChild(root));  // the cycle is still seen
  delete root;
}

// A parser's element has a group (the parser's own without a world) and a
// display name of the given name's file; a root is no one's child.
TEST(Element, CreateElementGivesAGroupAndRootsAreNotAdopted) {
  CGraniteParser parser;
  CGraniteElement* loose = parser.CreateElement(CBasicString("a.prt"), CBasicString("a.prt"));
  EXPECT_EQ(loose->GetGroup()->GetWorld(), nullptr);
  delete loose;
  C3DMWorld world;
  parser.SetWorld(&world);
  CGraniteElement* element =
      parser.CreateElement(CBasicString("/m/sub/gear.prt"), CBasicString("C:\\m\\Gear.prt"));
  ASSERT_NE(element->GetGroup(), nullptr);
  EXPECT_TRUE(element->GetDisplayName() == "Gear.prt");
  EXPECT_EQ(parser.GetNumberElements(), 0);
  delete element;  // not attached: its maker deletes it; the world keeps the group

  CGraniteElement* root = parser.CreateElement(CBasicString("r.asm"), CBasicString("r.asm"));
  parser.AddElementToList(root);
  EXPECT_FALSE(parser.AddElementToList(root));
  CGraniteElement holder;
  EXPECT_FALSE(holder.AddChild(root));
  EXPECT_EQ(parser.GetNumberElements(), 1);
}

}  // namespace
