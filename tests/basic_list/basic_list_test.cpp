#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

namespace {

// Items of a plain pointer list: the list never owns them.
int a = 1, b = 2, c = 3, d = 4;

std::vector<void*> Walk(CBasicList& list) {
  std::vector<void*> items;
  CBasicListIterator it(&list);
  for (void* item = it.GetCurrent(); item != nullptr; item = (it++, it.GetCurrent()))
    items.push_back(item);
  return items;
}

std::vector<int> Ints(CBasicList& list) {
  std::vector<int> values;
  for (void* item : Walk(list)) values.push_back(*static_cast<int*>(item));
  return values;
}

TEST(BasicList, AddingKeepsOrderAndRefusesNull) {
  CBasicList list;
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetHead(), nullptr);
  EXPECT_EQ(list.GetHeadElement(), nullptr);
  EXPECT_FALSE(list.AddTail(nullptr));
  EXPECT_FALSE(list.AddHead(nullptr));
  EXPECT_FALSE(list.InsertAfter(nullptr, &a));

  EXPECT_TRUE(list.AddTail(&b));
  EXPECT_TRUE(list.AddHead(&a));
  EXPECT_TRUE(list.InsertAfter(list.GetTailElement(), &d));  // new tail
  EXPECT_TRUE(list.InsertAfter(list.GetElementAt(1), &c));
  EXPECT_FALSE(list.InsertAfter(list.GetHeadElement(), nullptr));
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a, &b, &c, &d}));
  EXPECT_EQ(list.GetTail(), &d);
  EXPECT_EQ(list.GetTailElement()->m_next, nullptr);
  EXPECT_EQ(list.GetHeadElement()->m_previous, nullptr);

  // The list's own cursor.
  EXPECT_EQ(list.GetHeadElement()->m_item, &a);
  EXPECT_EQ(list.GetNextElement()->m_item, &b);
  EXPECT_EQ(list.GetPrevElement()->m_item, &a);
  EXPECT_EQ(list.GetPrevElement(), nullptr);
  EXPECT_EQ(list.GetCurrentElement(), nullptr);
  EXPECT_EQ(list.GetNextElement(), nullptr);
  EXPECT_EQ(list.GetAt(2), &c);
  EXPECT_EQ(list.GetCurrentElement()->m_item, &c);
}

TEST(BasicList, ElementIndexFollowsEveryChange) {
  CBasicList list;
  EXPECT_EQ(list.GetElementAt(0), nullptr);
  list.AddTail(&a);
  list.AddTail(&b);
  EXPECT_EQ(list.GetAt(-1), nullptr);
  EXPECT_EQ(list.GetAt(2), nullptr);
  EXPECT_EQ(list.GetAt(1), &b);
  list.AddHead(&c);  // c a b
  EXPECT_EQ(list.GetAt(0), &c);
  EXPECT_EQ(list.GetAt(2), &b);
  list.AddTail(&d);  // c a b d
  EXPECT_EQ(list.GetAt(3), &d);
  list.InsertAfter(list.GetElementAt(0), &d);  // c d a b d
  EXPECT_EQ(list.GetAt(1), &d);
  EXPECT_EQ(list.GetAt(4), &d);
  list.Remove(&c);  // d a b d
  EXPECT_EQ(list.GetAt(0), &d);
  EXPECT_EQ(list.GetAt(3), &d);
  EXPECT_EQ(list.GetAt(4), nullptr);
  EXPECT_EQ(list.RemoveHead(), &d);  // a b d
  EXPECT_EQ(list.GetAt(0), &a);
  EXPECT_EQ(list.GetAt(2), &d);
  list.RemoveAll();
  EXPECT_EQ(list.GetAt(0), nullptr);
  list.AddTail(&b);
  EXPECT_EQ(list.GetAt(0), &b);
}

TEST(BasicList, RemovalsAndTheCurrentElement) {
  CBasicList list;
  EXPECT_FALSE(list.RemoveAll());
  EXPECT_EQ(list.RemoveHead(), nullptr);
  EXPECT_FALSE(list.Remove(nullptr));
  list.AddTail(&a);
  list.AddTail(&b);
  list.AddTail(&c);
  EXPECT_FALSE(list.Remove(&d));
  EXPECT_EQ(list.GetCount(), 3);

  // Unlinking the list's current element moves it to the predecessor.
  list.FindElement(&b);
  list.SetCurrentElement(list.GetElementAt(1));
  EXPECT_TRUE(list.Remove(&b));
  EXPECT_EQ(list.GetCurrentElement()->m_item, &a);
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.RemoveHead(), &a);
  EXPECT_EQ(list.GetHead(), &c);
  EXPECT_EQ(list.GetTail(), &c);
  EXPECT_TRUE(list.Remove(&c));
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetHead(), nullptr);
  EXPECT_EQ(list.GetTail(), nullptr);
  EXPECT_EQ(list.GetCurrentElement(), nullptr);
}

TEST(BasicListIterator, WalksAndWraps) {
  CBasicList list;
  {
    CBasicListIterator empty(&list);
    EXPECT_EQ(empty.GetCurrent(), nullptr);
    EXPECT_FALSE(empty.MoveToHead());
    EXPECT_FALSE(empty.InsertAfterCurrent(&a));  // nothing to insert after
    EXPECT_EQ(list.GetNumberIterators(), 1);
  }
  EXPECT_EQ(list.GetNumberIterators(), 0);

  list.AddTail(&a);
  list.AddTail(&b);
  CBasicListIterator it(&list);
  EXPECT_EQ(it.GetCount(), 2);
  EXPECT_EQ(it.GetCurrent(), &a);
  it++;
  EXPECT_EQ(it.GetCurrent(), &b);
  list.AddTail(&c);  // appended while walking: reached later
  EXPECT_EQ(it.GetCurrent(), &b);
  ++it;
  EXPECT_EQ(it.GetCurrent(), &c);
  it++;
  EXPECT_EQ(it.GetCurrent(), nullptr);
  it++;  // past the end: back to the head
  EXPECT_EQ(it.GetCurrent(), &a);
  it--;
  EXPECT_EQ(it.GetCurrent(), nullptr);
  --it;  // before the head: to the tail
  EXPECT_EQ(it.GetCurrent(), &c);
  EXPECT_EQ(it.MoveTo(1), &b);
  EXPECT_EQ(it.MoveTo(3), nullptr);
  EXPECT_EQ(it.GetCurrent(), &b);
  EXPECT_TRUE(it.InsertAfterCurrent(&d));
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a, &b, &d, &c}));
  EXPECT_TRUE(it.MoveToTail());
  EXPECT_EQ(it.GetCurrent(), &c);

  CBasicListIterator detached;
  EXPECT_EQ(detached.GetList(), nullptr);
  EXPECT_EQ(detached.GetCurrent(), nullptr);
  EXPECT_EQ(detached.GetCount(), 0);
  EXPECT_EQ(detached.MoveTo(0), nullptr);
  EXPECT_FALSE(detached.AddTail(&a));
  EXPECT_FALSE(detached.RemoveAll());
  EXPECT_EQ(detached.RemoveHead(), nullptr);
  detached++;
  EXPECT_EQ(detached.GetCurrent(), nullptr);
}

TEST(BasicListIterator, EveryRemovalSendsAllIteratorsToTheHead) {
  CBasicList list;
  list.AddTail(&a);
  list.AddTail(&b);
  list.AddTail(&c);
  list.AddTail(&d);
  CBasicListIterator first(&list), second(&list);
  EXPECT_EQ(list.GetNumberIterators(), 2);
  first.MoveTo(2);
  second.MoveTo(3);

  EXPECT_TRUE(list.Remove(&d));  // second stood on the removed node
  EXPECT_EQ(first.GetCurrent(), &a);
  EXPECT_EQ(second.GetCurrent(), &a);

  first.MoveTo(2);
  second.MoveTo(1);
  EXPECT_FALSE(list.Remove(&d));  // not found: still reset
  EXPECT_EQ(first.GetCurrent(), &a);
  EXPECT_EQ(second.GetCurrent(), &a);

  first.MoveTo(2);
  EXPECT_EQ(second.RemoveHead(), &a);
  EXPECT_EQ(first.GetCurrent(), &b);
  EXPECT_EQ(second.GetCurrent(), &b);

  first.MoveTo(1);
  EXPECT_TRUE(first.Remove(&c));
  EXPECT_EQ(first.GetCurrent(), &b);
  EXPECT_EQ(second.GetCurrent(), &b);

  // Emptied: both stand nowhere, never on a deleted node.
  EXPECT_TRUE(second.RemoveAll());
  EXPECT_EQ(first.GetCurrent(), nullptr);
  EXPECT_EQ(second.GetCurrent(), nullptr);
  EXPECT_EQ(first.GetCurrentElement(), nullptr);
  list.AddTail(&a);
  first++;
  EXPECT_EQ(first.GetCurrent(), &a);
}

TEST(BasicListIterator, AttachmentFollowsCopiesAndLists) {
  CBasicList one, two;
  one.AddTail(&a);
  one.AddTail(&b);
  two.AddTail(&c);
  CBasicListIterator it(&one);
  it++;
  CBasicListIterator copy(it);
  EXPECT_EQ(copy.GetCurrent(), &b);
  EXPECT_EQ(one.GetNumberIterators(), 2);

  CBasicListIterator other(&two);
  other = it;
  EXPECT_EQ(other.GetCurrent(), &b);
  EXPECT_EQ(one.GetNumberIterators(), 3);
  EXPECT_EQ(two.GetNumberIterators(), 0);
  other = other;
  EXPECT_EQ(one.GetNumberIterators(), 3);

  copy.SetList(&two);
  EXPECT_EQ(copy.GetCurrent(), &c);
  EXPECT_EQ(one.GetNumberIterators(), 2);
  EXPECT_EQ(two.GetNumberIterators(), 1);
  copy.SetList(nullptr);
  EXPECT_EQ(copy.GetList(), nullptr);
  EXPECT_EQ(two.GetNumberIterators(), 0);

  EXPECT_FALSE(one.AttachIterator(nullptr));
  EXPECT_FALSE(two.DetachIterator(&it));
  EXPECT_TRUE(one.DetachAllIterators());
  EXPECT_EQ(one.GetNumberIterators(), 0);
  CBasicList fresh;
  EXPECT_FALSE(fresh.DetachAllIterators());
  EXPECT_FALSE(fresh.DetachIterator(&it));
  it.SetList(nullptr);  // was silently detached; must not disturb anything
  other.SetList(nullptr);
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
  EXPECT_EQ(it->GetCurrent(), nullptr);
  (*it)++;
  EXPECT_EQ(it->GetCurrent(), nullptr);
  delete it;
}

TEST(BasicListItems, ItemFunctions) {
  void* slot = nullptr;
  for (BasicItemFunction fn :
       {BasicIntItemFunction, BasicDoubleItemFunction, BasicStringItemFunction}) {
    EXPECT_FALSE(fn(kItemCreate, nullptr, nullptr));
    EXPECT_FALSE(fn(7, &slot, nullptr));
    EXPECT_TRUE(fn(kItemCreate, &slot, nullptr));
    ASSERT_NE(slot, nullptr);
    EXPECT_FALSE(fn(kItemCopy, &slot, nullptr));
    EXPECT_FALSE(fn(kItemEquals, &slot, nullptr));
    EXPECT_TRUE(fn(kItemDestroy, &slot, nullptr));
    EXPECT_EQ(slot, nullptr);
  }

  {
    int five = 5, six = 6;
    BasicIntItemFunction(kItemCreate, &slot, nullptr);
    EXPECT_EQ(*static_cast<int*>(slot), 0);
    EXPECT_TRUE(BasicIntItemFunction(kItemCopy, &slot, &five));
    EXPECT_TRUE(BasicIntItemFunction(kItemEquals, &slot, &five));
    EXPECT_FALSE(BasicIntItemFunction(kItemEquals, &slot, &six));
    BasicIntItemFunction(kItemDestroy, &slot, nullptr);
  }

  const double nan = std::numeric_limits<double>::quiet_NaN(), half = 0.5;
  BasicDoubleItemFunction(kItemCreate, &slot, nullptr);
  EXPECT_EQ(*static_cast<double*>(slot), 0.0);
  EXPECT_TRUE(BasicDoubleItemFunction(kItemCopy, &slot, &half));
  EXPECT_TRUE(BasicDoubleItemFunction(kItemEquals, &slot, &half));
  EXPECT_TRUE(BasicDoubleItemFunction(kItemCopy, &slot, &nan));
  EXPECT_FALSE(BasicDoubleItemFunction(kItemEquals, &slot, &nan));
  BasicDoubleItemFunction(kItemDestroy, &slot, nullptr);

  const CBasicString part("Part"), upper("PART");
  BasicStringItemFunction(kItemCreate, &slot, nullptr);
  EXPECT_EQ(static_cast<CBasicString*>(slot)->GetLength(), 0);
  EXPECT_TRUE(BasicStringItemFunction(kItemCopy, &slot, &part));
  EXPECT_TRUE(BasicStringItemFunction(kItemEquals, &slot, &part));
  EXPECT_FALSE(BasicStringItemFunction(kItemEquals, &slot, &upper));
  BasicStringItemFunction(kItemDestroy, &slot, nullptr);
}

TEST(BasicListItems, OwnedItemsAreCopiedFoundAndDestroyed) {
  CBasicList list;
  CBasicString part("part.prt");
  EXPECT_FALSE(list.AddTailCopy(&part));  // no item function
  EXPECT_FALSE(list.RemoveAndDestroy(&part));
  EXPECT_FALSE(list.DestroyAll());
  EXPECT_TRUE(list.Add(&part));  // falls back to the pointer itself
  EXPECT_EQ(list.GetHead(), &part);
  EXPECT_EQ(list.FindElement(&part)->m_item, &part);
  CBasicString same("part.prt");
  EXPECT_EQ(list.FindElement(&same), nullptr);  // by address only
  EXPECT_EQ(list.GetCurrentElement(), nullptr);
  EXPECT_FALSE(list.DestroyAll());
  EXPECT_EQ(list.GetCount(), 1);

  list.UseStringItems();  // empties the list first
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetItemFunction(), &BasicStringItemFunction);
  EXPECT_TRUE(list.Add(&part));
  EXPECT_NE(list.GetHead(), &part);  // an owned copy
  EXPECT_TRUE(list.AddHeadCopy(&same));
  EXPECT_FALSE(list.AddTailCopy(nullptr));
  EXPECT_EQ(list.GetCount(), 2);
  EXPECT_EQ(list.FindElement(&same), list.GetHeadElement());  // by value
  EXPECT_EQ(list.GetCurrentElement(), list.GetHeadElement());

  CBasicListIterator it(&list);
  it++;
  EXPECT_TRUE(it.RemoveAndDestroy(&same));
  EXPECT_EQ(it.GetCurrentElement(), list.GetHeadElement());
  EXPECT_EQ(list.GetCount(), 1);
  EXPECT_TRUE(list.Delete(&same));  // destroys the last copy
  EXPECT_FALSE(list.Delete(&same));
  EXPECT_EQ(list.GetCount(), 0);

  list.AddTailCopy(&part);
  list.UseIntItems();  // destroys the strings it owned
  int values[] = {3, 1, 4};
  for (int& v : values) list.Add(&v);
  EXPECT_EQ(Ints(list), (std::vector<int>{3, 1, 4}));
  int one = 1;
  EXPECT_EQ(list.FindElement(&one), list.GetElementAt(1));
  EXPECT_TRUE(list.DestroyAll());
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_FALSE(list.DestroyAll());

  list.UseDoubleItems();
  const double nan = std::nan(""), two = 2.0;
  list.AddTailCopy(&nan);
  list.AddTailCopy(&two);
  EXPECT_EQ(list.FindElement(const_cast<double*>(&nan)), nullptr);
  EXPECT_NE(list.FindElement(const_cast<double*>(&two)), nullptr);
  list.SetItemFunction(nullptr);  // destroys the doubles
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(BasicListCopy, CopiesAreIndependent) {
  CBasicList owned;
  owned.UseStringItems();
  CBasicString x("x"), y("y"), z("z");
  owned.Add(&x);
  owned.Add(&y);
  owned.GetAt(1);  // builds the index and sets the current element
  CBasicListIterator walker(&owned);

  CBasicList copy(owned);
  EXPECT_EQ(copy.GetCount(), 2);
  EXPECT_EQ(copy.GetItemFunction(), &BasicStringItemFunction);
  EXPECT_EQ(copy.GetNumberIterators(), 0);
  EXPECT_EQ(copy.GetCurrentElement(), nullptr);
  EXPECT_NE(copy.GetHead(), owned.GetHead());
  EXPECT_TRUE(*static_cast<CBasicString*>(copy.GetAt(1)) == y);
  *static_cast<CBasicString*>(copy.GetHead()) = z;
  copy.Add(&z);
  EXPECT_TRUE(*static_cast<CBasicString*>(owned.GetHead()) == x);
  EXPECT_EQ(owned.GetCount(), 2);

  // Assignment empties the target (resetting its iterators) and copies.
  CBasicListIterator onCopy(&copy);
  onCopy++;
  copy = owned;
  EXPECT_EQ(copy.GetCount(), 2);
  EXPECT_EQ(copy.GetNumberIterators(), 1);
  EXPECT_EQ(onCopy.GetCurrent(), nullptr);  // reset while the target was empty
  onCopy++;
  EXPECT_TRUE(*static_cast<CBasicString*>(onCopy.GetCurrent()) == x);
  copy = copy;
  EXPECT_EQ(copy.GetCount(), 2);
  EXPECT_TRUE(*static_cast<CBasicString*>(copy.GetTail()) == y);

  // Pointer lists copy the pointers.
  CBasicList plain;
  plain.AddTail(&a);
  plain.AddTail(&b);
  CBasicList plainCopy;
  plainCopy.AddTail(&c);
  plainCopy = plain;
  EXPECT_EQ(Walk(plainCopy), (std::vector<void*>{&a, &b}));
  plainCopy.RemoveHead();
  EXPECT_EQ(plain.GetCount(), 2);

  // A copy of an owning list replaces a pointer list's content without
  // touching the old pointers, and then owns its copies.
  plainCopy = owned;
  EXPECT_EQ(plainCopy.GetItemFunction(), &BasicStringItemFunction);
  CBasicList empty;
  plainCopy = empty;  // destroys the copies it owned
  EXPECT_EQ(plainCopy.GetCount(), 0);
  EXPECT_EQ(plainCopy.GetItemFunction(), nullptr);

  // The destructor leaves owned items to the owner.
  EXPECT_TRUE(copy.DestroyAll());
  EXPECT_TRUE(owned.DestroyAll());
}

}  // namespace
