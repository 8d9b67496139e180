#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "granite/CBasicMap.h"

namespace {

int a = 1, b = 2, c = 3;

const CBasicString& Text(void* item) {
  return *static_cast<CBasicString*>(item);
}

TEST(BasicMap, HashSizeIsGuarded) {
  CBasicMap map;
  EXPECT_EQ(map.GetHashSize(), 10009);
  EXPECT_EQ(map.LookupKeyed(0), nullptr);
  EXPECT_EQ(map.LookupKeyed(INT_MIN), nullptr);
  EXPECT_FALSE(map.RemoveKeyed(5));
  EXPECT_FALSE(map.SetHashSize(0));
  EXPECT_FALSE(map.SetHashSize(-3));
  EXPECT_FALSE(map.SetHashSize(INT_MAX));  // its byte size does not fit
  EXPECT_EQ(map.GetHashSize(), 10009);
  EXPECT_TRUE(map.SetHashSize(3));
  EXPECT_FALSE(map.AddKeyed(5, nullptr));
  EXPECT_TRUE(map.SetHashSize(2));  // a refused add made no table

  EXPECT_TRUE(map.AddKeyed(5, &a));
  EXPECT_FALSE(map.SetHashSize(7));  // the table exists
  EXPECT_EQ(map.GetHashSize(), 2);
  EXPECT_TRUE(map.AddKeyed(-5, &b));
  EXPECT_TRUE(map.AddKeyed(7, &c));
  EXPECT_EQ(map.LookupKeyed(5), &a);
  EXPECT_EQ(map.LookupKeyed(-5), &b);
  EXPECT_EQ(map.LookupKeyed(7), &c);
  EXPECT_EQ(map.LookupKeyed(3), nullptr);
  EXPECT_TRUE(map.RemoveAll());
  EXPECT_EQ(map.LookupKeyed(5), nullptr);
  EXPECT_FALSE(map.SetHashSize(7));  // emptied, but the table stays
  EXPECT_TRUE(map.AddKeyed(5, &c));
  EXPECT_EQ(map.LookupKeyed(5), &c);
}

TEST(BasicMap, KeysDuplicatesAndOrder) {
  CBasicMap map;
  EXPECT_TRUE(map.AddKeyed(INT_MIN, &a));
  EXPECT_TRUE(map.AddKeyed(5, &b));
  EXPECT_TRUE(map.AddKeyed(-5, &c));  // same bucket as 5, another key
  EXPECT_TRUE(map.AddKeyed(5, &c));   // duplicate: seen first
  EXPECT_EQ(map.GetCount(), 4);
  EXPECT_EQ(map.LookupKeyed(INT_MIN), &a);
  EXPECT_EQ(map.LookupKeyed(-5), &c);
  EXPECT_EQ(map.LookupKeyed(5), &c);

  std::vector<void*> order;
  for (CBasicListIterator it(&map); it.GetCurrent() != nullptr; it++)
    order.push_back(it.GetCurrent());
  EXPECT_EQ(order, (std::vector<void*>{&a, &b, &c, &c}));

  CBasicListIterator it(&map);
  it.MoveTo(3);
  EXPECT_TRUE(map.RemoveKeyed(5));  // the newest entry and its own node
  EXPECT_EQ(it.GetCurrent(), &a);
  EXPECT_EQ(map.LookupKeyed(5), &b);
  EXPECT_EQ(map.LookupKeyed(-5), &c);  // its node was not the one removed
  EXPECT_EQ(map.GetAt(2), &c);
  EXPECT_TRUE(map.RemoveKeyed(INT_MIN));
  EXPECT_EQ(map.LookupKeyed(INT_MIN), nullptr);
  EXPECT_FALSE(map.RemoveKeyed(INT_MIN));
  EXPECT_FALSE(map.RemoveKeyed(6));
  EXPECT_EQ(map.GetCount(), 2);
}

TEST(BasicMap, NamesAreHashedOptionallyUpperCased) {
  CBasicMap map;
  EXPECT_TRUE(map.AddNamed(CBasicString("Part"), &a, true));
  EXPECT_EQ(map.LookupNamed(CBasicString("PART"), true), &a);
  EXPECT_EQ(map.LookupNamed(CBasicString("part"), true), &a);
  EXPECT_EQ(map.LookupNamed(CBasicString("PART"), false), &a);  // stored under the upper-cased key
  EXPECT_EQ(map.LookupNamed(CBasicString("Part"), false), nullptr);
  EXPECT_EQ(map.LookupKeyed(CBasicString("PART").GetHashValue()), &a);

  EXPECT_TRUE(map.AddNamed(CBasicString("Part"), &b, false));
  EXPECT_EQ(map.LookupNamed(CBasicString("Part"), false), &b);
  EXPECT_EQ(map.LookupNamed(CBasicString("PART"), false), &a);
  EXPECT_TRUE(map.AddNamed(CBasicString(), &c, false));  // the empty name is key 0
  EXPECT_EQ(map.LookupKeyed(0), &c);

  EXPECT_FALSE(map.RemoveNamed(CBasicString("part"), false));
  EXPECT_TRUE(map.RemoveNamed(CBasicString("part"), true));
  EXPECT_EQ(map.LookupNamed(CBasicString("Part"), true), nullptr);
  EXPECT_EQ(map.LookupNamed(CBasicString("Part"), false), &b);
}

TEST(BasicMap, ListRemovalsDropTheirEntries) {
  CBasicMap map;
  map.AddKeyed(7, &a);
  map.AddKeyed(8, &b);
  map.AddKeyed(9, &c);
  map.AddTail(&a);  // a node without an entry
  EXPECT_EQ(map.RemoveHead(), &a);
  EXPECT_EQ(map.LookupKeyed(7), nullptr);
  EXPECT_TRUE(map.Remove(&c));
  EXPECT_EQ(map.LookupKeyed(9), nullptr);
  EXPECT_TRUE(map.Delete(&b));  // no item function: Remove
  EXPECT_EQ(map.LookupKeyed(8), nullptr);
  EXPECT_TRUE(map.Remove(&a));
  EXPECT_EQ(map.GetCount(), 0);
  EXPECT_FALSE(map.DestroyAll());

  // Without an item function DestroyAll keeps both the items and their keys.
  map.AddKeyed(7, &a);
  EXPECT_FALSE(map.DestroyAll());
  EXPECT_EQ(map.LookupKeyed(7), &a);

  CBasicList& list = map;  // through the base, as a walk would
  EXPECT_TRUE(list.Remove(&a));
  EXPECT_EQ(map.LookupKeyed(7), nullptr);
}

TEST(BasicMap, OwnedItems) {
  CBasicMap map;
  map.UseStringItems();
  const CBasicString one("one"), two("two");
  EXPECT_TRUE(map.AddKeyed(1, const_cast<CBasicString*>(&one)));
  EXPECT_TRUE(map.AddKeyed(2, const_cast<CBasicString*>(&one)));  // equal text, another key
  EXPECT_TRUE(map.AddKeyed(3, const_cast<CBasicString*>(&two)));
  EXPECT_NE(map.LookupKeyed(1), &one);
  EXPECT_TRUE(Text(map.LookupKeyed(2)) == one);

  // Removal by key destroys the entry's own copy, not the first equal one.
  EXPECT_TRUE(map.RemoveKeyed(2));
  ASSERT_NE(map.LookupKeyed(1), nullptr);
  EXPECT_TRUE(Text(map.LookupKeyed(1)) == one);
  EXPECT_EQ(map.GetCount(), 2);

  EXPECT_TRUE(map.RemoveAndDestroy(&one));
  EXPECT_EQ(map.LookupKeyed(1), nullptr);
  EXPECT_TRUE(map.Delete(const_cast<CBasicString*>(&two)));
  EXPECT_EQ(map.LookupKeyed(3), nullptr);

  map.AddNamed(CBasicString("a"), const_cast<CBasicString*>(&one), false);
  map.AddNamed(CBasicString("b"), const_cast<CBasicString*>(&two), false);
  EXPECT_TRUE(map.DestroyAll());
  EXPECT_EQ(map.LookupNamed(CBasicString("a"), false), nullptr);
  map.AddKeyed(4, const_cast<CBasicString*>(&two));
  map.UseIntItems();  // empties through DestroyAll
  EXPECT_EQ(map.LookupKeyed(4), nullptr);
  int forty = 40;
  map.AddKeyed(4, &forty);
  EXPECT_EQ(*static_cast<int*>(map.LookupKeyed(4)), 40);
  EXPECT_TRUE(map.RemoveKeyed(4));  // destroys the copy
}

}  // namespace
