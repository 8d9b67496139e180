// The model of the list target: each list as the vector of its nodes in order
// (with the item and the value each stands for, and the key of a map's keyed
// node) and the iterators standing on the lists, checked node by node after
// every step.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "granite/CBasicList.h"
#include "granite/CBasicMap.h"
#include "granite/CBasicString.h"

namespace fuzz {

const int kPool = 8;
const size_t kMaxNodes = 300;
inline int g_pool[kPool];

enum Mode { kPlain, kInts, kDoubles, kStrings };

// Reaches a list's own ends and cursor to compare them with the model.
struct Probe : CBasicList {
  static CBasicListElement* Tail(const CBasicList& l) { return l.*(&Probe::m_tail); }
  static CBasicListElement* Current(const CBasicList& l) { return l.*(&Probe::m_current); }
};

// The item standing for value v in each mode: the pool address, v, v as a
// double (7 is NaN, which equals nothing) or the text of 11 v.
struct Typed {
  Typed(Mode m, int v)
      : mode(m), i(v), d(v == 7 ? std::nan("") : v), s(std::to_string(v * 11).c_str()) {}
  void* get() {
    void* items[] = {&g_pool[i], &i, &d, &s};
    return items[mode];
  }
  bool Holds(const void* item) const {
    const double* dp = static_cast<const double*>(item);
    if (mode == kInts) return *static_cast<const int*>(item) == i;
    if (mode == kDoubles) return std::isnan(d) ? std::isnan(*dp) : *dp == d;
    if (mode == kStrings) return *static_cast<const CBasicString*>(item) == s;
    return item == &g_pool[i];
  }
  Mode mode;
  int i;
  double d;
  CBasicString s;
};

struct Node {
  CBasicListElement* node;
  void* item;
  int value;
  bool keyed = false;  // the map's: added under a key
  int key = 0;
};

struct Model {
  std::vector<Node> nodes;
  Mode mode = kPlain;
  bool owns() const { return mode != kPlain; }
  // The first node whose item the list takes as equal to value v.
  int Find(int v) const {
    for (size_t i = 0; i < nodes.size(); ++i)
      if (owns() ? nodes[i].value == v && !(mode == kDoubles && v == 7)
                 : nodes[i].item == &g_pool[v])
        return int(i);
    return -1;
  }
  CBasicListElement* At(int p) const {
    return p >= 0 && size_t(p) < nodes.size() ? nodes[size_t(p)].node : nullptr;
  }
  void* ItemAt(int p) const { return At(p) ? nodes[size_t(p)].item : nullptr; }
  // The newest node added under key (the last: keyed nodes are only appended), -1 for none.
  int Newest(int key) const {
    int p = int(nodes.size()) - 1;
    while (p >= 0 && !(nodes[size_t(p)].keyed && nodes[size_t(p)].key == key)) --p;
    return p;
  }
  int Position(const CBasicListElement* node) const {
    for (size_t i = 0; i < nodes.size(); ++i)
      if (nodes[i].node == node) return int(i);
    return -1;
  }
};

// A plain list and a map, their models and three iterators.
struct Lists {
  static const int kLists = 2, kIterators = 3;
  CBasicList plain;
  CBasicMap map;
  CBasicList* const lists[kLists] = {&plain, &map};
  Model model[kLists];
  std::unique_ptr<CBasicListIterator> iterators[kIterators];
  int on[kIterators];  // the list an iterator stands on, -1 for none
  CBasicListElement* at[kIterators] = {};
  int buckets = 10009;  // the map's
  bool table = false;   // a keyed node was added: the bucket count is fixed
  std::set<int> keys;   // looked up in the map after every step

  Lists() { std::fill(on, on + kIterators, -1); }
  ~Lists() {
    for (auto& it : iterators) it.reset();  // iterators go before their lists
    for (CBasicList* l : lists) l->DestroyAll();
  }
  bool Full(int l) const { return model[l].nodes.size() >= kMaxNodes; }
  // After a removal every iterator on the list stands at its head.
  void Reset(int l) {
    for (int k = 0; k < kIterators; ++k)
      if (iterators[k] && on[k] == l) at[k] = model[l].At(0);
  }
  // The item to add for v: the pool address, or a new item made by the list's own function.
  void* NewItem(int l, int v) {
    if (!model[l].owns()) return &g_pool[v];
    BasicItemFunction fn = lists[l]->GetItemFunction();
    void* slot = nullptr;
    fn(kItemCreate, &slot, nullptr);
    Check(slot != nullptr, "the item function made no item");
    Typed typed(model[l].mode, v);
    Check(fn(kItemCopy, &slot, typed.get()), "the item function did not copy");
    return slot;
  }
  void Destroy(int l, void* item) {
    Check(lists[l]->GetItemFunction()(kItemDestroy, &item, nullptr) && item == nullptr,
          "the item function did not destroy");
  }
  // Records the node the list added for v at position p of the model.
  void Added(int l, size_t p, CBasicListElement* node, int v, bool keyed = false, int key = 0) {
    Check(node != nullptr, "an added node is missing");
    model[l].nodes.insert(model[l].nodes.begin() + long(p),
                          Node{node, node->m_item, v, keyed, key});
  }
  // The list unlinked the node at p; its item is destroyed here when the list left it alive.
  void Erase(int l, int p, bool destroy) {
    void* item = model[l].nodes[size_t(p)].item;
    model[l].nodes.erase(model[l].nodes.begin() + p);
    if (destroy) Destroy(l, item);
    Reset(l);
  }
  void Clear(int l, bool destroyed) {
    std::vector<Node> gone;
    gone.swap(model[l].nodes);
    if (model[l].owns() && !destroyed)
      for (const Node& n : gone) Destroy(l, n.item);
    Reset(l);
  }

  void Verify() {
    for (int l = 0; l < kLists; ++l) {
      CBasicList& list = *lists[l];
      const Model& m = model[l];
      Check(list.GetCount() == int(m.nodes.size()), "the count differs from the model");
      CBasicListElement* previous = nullptr;
      CBasicListElement* node = list.PeekHeadElement();
      for (const Node& n : m.nodes) {
        Check(node == n.node && node->m_previous == previous && node->m_item == n.item,
              "a node, its previous link or its item differs from the model");
        Check(Typed(m.mode, n.value).Holds(n.item), "an item's value differs from the model");
        previous = node;
        node = node->m_next;
      }
      Check(node == nullptr && Probe::Tail(list) == previous,
            "the list's ends differ from the model");
      Check(list.GetHead() == m.ItemAt(0) && list.GetTail() == m.ItemAt(int(m.nodes.size()) - 1),
            "GetHead or GetTail differs");
      Check(!Probe::Current(list) || m.Position(Probe::Current(list)) >= 0,
            "the current element is not a node of the list");
      Check((list.GetItemFunction() != nullptr) == m.owns(), "the item function differs");
      int attached = 0;
      for (int k = 0; k < kIterators; ++k) attached += iterators[k] && on[k] == l;
      Check(list.GetNumberIterators() == attached, "the number of iterators differs");
    }
    for (int k = 0; k < kIterators; ++k) {
      CBasicListIterator* it = iterators[k].get();
      if (!it) continue;
      if (on[k] < 0) {
        Check(!it->GetList() && !it->GetCurrent() && it->GetCount() == 0,
              "a detached iterator has a list, an item or a count");
        continue;
      }
      const Model& m = model[on[k]];
      const int p = m.Position(at[k]);
      Check(it->GetList() == lists[on[k]] && it->GetCurrentElement() == at[k],
            "an iterator's list or position differs from the model");
      Check(at[k] == nullptr || p >= 0, "an iterator stands on a removed node");
      Check(it->GetCurrent() == m.ItemAt(p) && it->GetCount() == int(m.nodes.size()),
            "an iterator's item or count differs");
    }
    for (int key : keys)
      Check(map.LookupKeyed(key) == model[1].ItemAt(model[1].Newest(key)),
            "LookupKeyed differs from the model");
    Check(map.GetHashSize() == buckets, "the bucket count differs");
  }
};

}  // namespace fuzz
