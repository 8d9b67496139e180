// What the list fuzz target (replayed in the suite as basic_list_replay) does
// not check: the cursor after a removal, an iterator outliving its
// list, and the item functions' refusals.
#include <gtest/gtest.h>

#include "granite/CBasicList.h"

namespace {

int a = 1, b = 2, c = 3;

TEST(BasicList, RemovingTheCurrentElementMovesItBack) {
  CBasicList list;
  for (int* item : {&a, &b, &c}) list.AddTail(item);
  list.SetCurrentElement(list.GetElementAt(1));
  EXPECT_TRUE(list.Remove(&b));
  EXPECT_EQ(list.GetCurrentElement()->m_item, &a);
}

TEST(BasicListIterator, OutlivingItsListIsSafe) {
  CBasicListIterator* it;
  {
    CBasicList list;
    list.AddTail(&a);
    it = new CBasicListIterator(&list);
    EXPECT_EQ(it->GetCurrent(), &a);
  }
  EXPECT_EQ(it->GetList(), nullptr);
  (*it)++;
  EXPECT_EQ(it->GetCurrent(), nullptr);
  delete it;
}

// Creating, copying, comparing and destroying items by value is what the list
// fuzz target's owned items go through; the refusals stay here.
TEST(BasicListItems, ItemFunctionsRefuseBadCalls) {
  for (BasicItemFunction fn :
       {BasicIntItemFunction, BasicDoubleItemFunction, BasicStringItemFunction}) {
    void* slot = nullptr;
    EXPECT_FALSE(fn(kItemCreate, nullptr, nullptr));
    EXPECT_FALSE(fn(7, &slot, nullptr));
    ASSERT_TRUE(fn(kItemCreate, &slot, nullptr));
    EXPECT_FALSE(fn(kItemCopy, &slot, nullptr));
    EXPECT_FALSE(fn(kItemEquals, &slot, nullptr));
    EXPECT_TRUE(fn(kItemDestroy, &slot, nullptr));
    EXPECT_EQ(slot, nullptr);
  }
}

}  // namespace
