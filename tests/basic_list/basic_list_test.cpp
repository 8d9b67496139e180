// What the list fuzz target (replayed in the suite as basic_list_replay) does
// not check: the cursor after a removal, an iterator outliving its
// list, and the item functions' own answers.
#include <gtest/gtest.h>

#include <cmath>

#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

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

TEST(BasicListItems, ItemFunctionsRefuseBadCallsAndCompareByValue) {
  const int zeroInt = 0, five = 5, six = 6;
  const double zero = 0, half = 0.5, nan = std::nan("");
  const CBasicString empty, part("Part"), upper("PART");
  const struct {
    BasicItemFunction fn;
    const void *zero, *value, *other;
  } cases[] = {{BasicIntItemFunction, &zeroInt, &five, &six},
               {BasicDoubleItemFunction, &zero, &half, &nan},
               {BasicStringItemFunction, &empty, &part, &upper}};
  for (const auto& t : cases) {
    void* slot = nullptr;
    EXPECT_FALSE(t.fn(kItemCreate, nullptr, nullptr));
    EXPECT_FALSE(t.fn(7, &slot, nullptr));
    ASSERT_TRUE(t.fn(kItemCreate, &slot, nullptr));
    EXPECT_TRUE(t.fn(kItemEquals, &slot, t.zero));
    EXPECT_FALSE(t.fn(kItemCopy, &slot, nullptr));
    EXPECT_FALSE(t.fn(kItemEquals, &slot, nullptr));
    EXPECT_TRUE(t.fn(kItemCopy, &slot, t.value));
    EXPECT_TRUE(t.fn(kItemEquals, &slot, t.value));
    EXPECT_FALSE(t.fn(kItemEquals, &slot, t.other));
    EXPECT_TRUE(t.fn(kItemCopy, &slot, t.other));
    EXPECT_FALSE(t.fn(kItemEquals, &slot, t.other) && t.fn == BasicDoubleItemFunction);  // NaN
    EXPECT_TRUE(t.fn(kItemDestroy, &slot, nullptr));
    EXPECT_EQ(slot, nullptr);
  }
}

}  // namespace
