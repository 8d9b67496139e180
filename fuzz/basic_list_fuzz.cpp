// Drives two CBasicLists and three iterators through a byte stream of
// operations and checks every node, item, count, index and iterator position
// against a model kept in standard containers. A list holds plain pointers or
// owns int, double or string items through its item function.
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

namespace {

using fuzz::Check;

// Reaches the list's own members to compare them with the model.
class ProbeList : public CBasicList {
 public:
  using CBasicList::CBasicList;
  CBasicListElement* Head() const { return m_head; }
  CBasicListElement* Tail() const { return m_tail; }
  CBasicListElement* Current() const { return m_current; }
  int Count() const { return m_count; }
};

const int kLists = 2, kIterators = 3, kPool = 8;
const size_t kMaxNodes = 300;
int pool[kPool];

enum Mode { kPlain, kInts, kDoubles, kStrings };

// The item standing for value v in each mode: the pool address, v, v as a
// double (7 is NaN, which equals nothing) or the text of 11 v.
struct Typed {
  Typed(Mode m, int v)
      : mode(m), i(v), d(v == 7 ? std::nan("") : v), s(std::to_string(v * 11).c_str()) {}
  void* get() {
    void* items[] = {&pool[i], &i, &d, &s};
    return items[mode];
  }
  bool Holds(const void* item) const {
    const double* dp = static_cast<const double*>(item);
    if (mode == kInts) return *static_cast<const int*>(item) == i;
    if (mode == kDoubles) return std::isnan(d) ? std::isnan(*dp) : *dp == d;
    if (mode == kStrings) return *static_cast<const CBasicString*>(item) == s;
    return item == &pool[i];
  }
  Mode mode;
  int i;
  double d;
  CBasicString s;
};

struct MNode {
  CBasicListElement* node;
  void* item;
  int value;
};

struct MList {
  std::vector<MNode> nodes;
  Mode mode = kPlain;
  bool owns() const { return mode != kPlain; }
};

struct MIterator {
  int list = -1;  // -1: constructed without a list
  CBasicListElement* current = nullptr;
};

struct State {
  ProbeList lists[kLists];
  MList model[kLists];
  std::unique_ptr<CBasicListIterator> iterators[kIterators];
  MIterator at[kIterators];

  ~State() {
    for (auto& it : iterators) it.reset();  // iterators go before their lists
    for (ProbeList& l : lists) l.DestroyAll();
  }
  int Find(int l, int value) const {
    const MList& m = model[l];
    for (size_t i = 0; i < m.nodes.size(); ++i)
      if (m.owns() ? m.nodes[i].value == value && !(m.mode == kDoubles && value == 7)
                   : m.nodes[i].item == &pool[value])
        return int(i);
    return -1;
  }
  CBasicListElement* HeadNode(int l) const {
    return model[l].nodes.empty() ? nullptr : model[l].nodes.front().node;
  }
  CBasicListElement* Node(int l, int p) const {
    return p >= 0 && size_t(p) < model[l].nodes.size() ? model[l].nodes[size_t(p)].node : nullptr;
  }
  int Position(int l, const CBasicListElement* node) const {
    for (size_t i = 0; i < model[l].nodes.size(); ++i)
      if (model[l].nodes[i].node == node) return int(i);
    return -1;
  }
  // After a removal every attached iterator stands at the head.
  void ResetIterators(int l) {
    for (int k = 0; k < kIterators; ++k)
      if (iterators[k] && at[k].list == l) at[k].current = HeadNode(l);
  }
  // The item to add: the pool address, or a new item made by the list's own function.
  void* ItemFor(int l, int value) {
    if (!model[l].owns()) return &pool[value];
    BasicItemFunction fn = lists[l].GetItemFunction();
    void* slot = nullptr;
    fn(kItemCreate, &slot, nullptr);
    Check(slot != nullptr, "the item function made no item");
    Typed typed(model[l].mode, value);
    Check(fn(kItemCopy, &slot, typed.get()), "the item function did not copy");
    return slot;
  }
  void DestroyItem(int l, void* item) {
    Check(lists[l].GetItemFunction()(kItemDestroy, &item, nullptr) && item == nullptr,
          "the item function did not destroy");
  }
  MNode Record(CBasicListElement* node, int value) {
    Check(node != nullptr, "an added node is missing");
    return MNode{node, node->m_item, value};
  }
  // Removes the model node at p (the list has unlinked it), destroying its item if asked.
  void Unlink(int l, int p, bool destroyItem) {
    MNode n = model[l].nodes[size_t(p)];
    model[l].nodes.erase(model[l].nodes.begin() + p);
    if (destroyItem) DestroyItem(l, n.item);
  }
  void RemoveEverything(int l, bool destroyed) {
    std::vector<MNode> gone;
    gone.swap(model[l].nodes);
    if (model[l].owns() && !destroyed)
      for (const MNode& n : gone) DestroyItem(l, n.item);
  }

  void Verify(int l) {
    ProbeList& list = lists[l];
    const MList& m = model[l];
    Check(list.GetCount() == int(m.nodes.size()) && list.Count() == list.GetCount(),
          "the count differs from the model");
    CBasicListElement* previous = nullptr;
    CBasicListElement* node = list.Head();
    for (const MNode& n : m.nodes) {
      Check(node == n.node && node->m_previous == previous && node->m_item == n.item,
            "a node, its previous link or its item differs from the model");
      Check(Typed(m.mode, n.value).Holds(n.item), "an item's value differs from the model");
      previous = node;
      node = node->m_next;
    }
    Check(node == nullptr && list.Tail() == previous, "the list's ends differ from the model");
    Check(list.GetHead() == (m.nodes.empty() ? nullptr : m.nodes.front().item), "GetHead");
    Check(list.GetTail() == (m.nodes.empty() ? nullptr : m.nodes.back().item), "GetTail");
    Check(list.Current() == nullptr || Position(l, list.Current()) >= 0,
          "the current element is not a node of the list");
    Check((list.GetItemFunction() != nullptr) == m.owns(), "the item function differs");
    int attached = 0;
    for (int k = 0; k < kIterators; ++k) {
      if (!iterators[k]) continue;
      if (at[k].list == l) ++attached;
      if (at[k].list < 0) {
        Check(!iterators[k]->GetList() && !iterators[k]->GetCurrent() &&
                  iterators[k]->GetCount() == 0,
              "a detached iterator has a list, an item or a count");
        continue;
      }
      const int p = Position(at[k].list, at[k].current);
      Check(iterators[k]->GetList() == &lists[at[k].list] &&
                iterators[k]->GetCurrentElement() == at[k].current,
            "an iterator's list or position differs from the model");
      Check(at[k].current == nullptr || p >= 0, "an iterator stands on a removed node");
      Check(iterators[k]->GetCurrent() ==
                (p >= 0 ? model[at[k].list].nodes[size_t(p)].item : nullptr),
            "an iterator's item differs");
      Check(iterators[k]->GetCount() == int(model[at[k].list].nodes.size()),
            "an iterator's count differs");
    }
    Check(list.GetNumberIterators() == attached, "the number of iterators differs");
  }
};

// The list operations that iterators forward too, done on target: list l
// itself, or an iterator standing on it.
template <class Target>
void ListOperation(State& s, fuzz::Input& in, Target& target, int l, int op) {
  MList& m = s.model[l];
  ProbeList& list = s.lists[l];
  const int value = in.Byte() % kPool;
  Typed typed(m.mode, value);
  const int p = s.Find(l, value);
  switch (op) {
    case 0:
    case 1: {  // AddTail, AddHead
      void* item = s.ItemFor(l, value);
      Check(op == 0 ? target.AddTail(item) : target.AddHead(item), "AddTail/AddHead refused");
      m.nodes.insert(op == 0 ? m.nodes.end() : m.nodes.begin(),
                     s.Record(op == 0 ? list.Tail() : list.Head(), value));
      break;
    }
    case 2:
    case 3: {  // AddTailCopy, AddHeadCopy: only with an item function
      bool ok = op == 2 ? target.AddTailCopy(typed.get()) : target.AddHeadCopy(typed.get());
      Check(ok == m.owns(), "AddTailCopy/AddHeadCopy answers wrongly");
      if (ok)
        m.nodes.insert(op == 2 ? m.nodes.end() : m.nodes.begin(),
                       s.Record(op == 2 ? list.Tail() : list.Head(), value));
      break;
    }
    case 4: {  // Remove: the item itself stays alive
      Check(target.Remove(typed.get()) == (p >= 0), "Remove answers wrongly");
      if (p >= 0) s.Unlink(l, p, m.owns());
      s.ResetIterators(l);
      break;
    }
    case 5: {  // RemoveHead
      void* expect = m.nodes.empty() ? nullptr : m.nodes.front().item;
      Check(target.RemoveHead() == expect, "RemoveHead gave another item");
      if (expect) {
        s.Unlink(l, 0, m.owns());
        s.ResetIterators(l);
      }
      break;
    }
    case 6:  // RemoveAll
      Check(target.RemoveAll() == !m.nodes.empty(), "RemoveAll answers wrongly");
      s.RemoveEverything(l, false);
      s.ResetIterators(l);
      break;
    case 7: {  // DestroyAll
      bool expect = m.owns() && !m.nodes.empty();
      Check(target.DestroyAll() == expect, "DestroyAll answers wrongly");
      if (expect) {
        s.RemoveEverything(l, true);
        s.ResetIterators(l);
      }
      break;
    }
    default: {  // RemoveAndDestroy: only with an item function
      bool expect = m.owns() && p >= 0;
      Check(target.RemoveAndDestroy(typed.get()) == expect, "RemoveAndDestroy answers wrongly");
      if (expect) {
        s.Unlink(l, p, false);
        s.ResetIterators(l);
      }
    }
  }
}

void Run(fuzz::Input& in) {
  State s;
  int l = 0, k = 0;
  auto owner = [&]() -> ProbeList& { return s.lists[l]; };
  auto m = [&]() -> MList& { return s.model[l]; };
  auto full = [&](int which) { return s.model[which].nodes.size() >= kMaxNodes; };
  auto value = [&] { return in.Byte() % kPool; };
  fuzz::Interpret(
      "basic list fuzz", in, [&] { l = in.Byte() % kLists, k = in.Byte() % kIterators; },
      {[&] {  // a list operation on the list itself
         const int sub = in.Byte() % 9;
         if (sub > 3 || !full(l)) ListOperation(s, in, owner(), l, sub);
       },
       [&] {  // the same through an iterator standing on the list
         CBasicListIterator* it = s.iterators[k].get();
         const int sub = in.Byte() % 9;
         if (it && s.at[k].list >= 0 && (sub > 3 || !full(s.at[k].list))) {
           ListOperation(s, in, *it, s.at[k].list, sub);
         } else if (it && s.at[k].list < 0) {
           int v = 0;
           Check(!it->AddTailCopy(&v) && !it->AddHeadCopy(&v) && !it->RemoveAll() &&
                     !it->DestroyAll() && it->RemoveHead() == nullptr,
                 "a detached iterator forwards to a list");
         }
       },
       [&] {  // InsertAfter a node of the model, or null
         if (full(l)) return;
         const int v = value();
         CBasicListElement* after = s.Node(l, in.Index(int(m().nodes.size())));
         if (!after) {
           Check(!owner().InsertAfter(nullptr, &pool[v]), "InsertAfter a null node succeeds");
           return;
         }
         Check(owner().InsertAfter(after, s.ItemFor(l, v)), "InsertAfter refused");
         m().nodes.insert(m().nodes.begin() + s.Position(l, after) + 1, s.Record(after->m_next, v));
       },
       [&] {  // Add: a copy when the list owns items, else the pointer
         if (full(l)) return;
         const int v = value();
         Typed typed(m().mode, v);
         Check(owner().Add(typed.get()), "Add refused");
         m().nodes.push_back(s.Record(owner().Tail(), v));
       },
       [&] {  // Delete: destroy through the function, else a plain removal
         const int v = value(), p = s.Find(l, v);
         Typed typed(m().mode, v);
         Check(owner().Delete(typed.get()) == (p >= 0), "Delete answers wrongly");
         if (p >= 0) s.Unlink(l, p, false);
         s.ResetIterators(l);  // a removal, found or not
       },
       [&] {  // GetAt and GetElementAt
         const int i = in.Index(int(m().nodes.size()));
         CBasicListElement* node = s.Node(l, i);
         Check(owner().GetElementAt(i) == node, "GetElementAt differs from the model");
         Check(owner().GetAt(i) == (node ? node->m_item : nullptr), "GetAt differs");
         if (node) Check(owner().Current() == node, "GetAt did not move");
       },
       [&] {  // FindElement
         const int v = value();
         Typed typed(m().mode, v);
         CBasicListElement* found = owner().FindElement(typed.get());
         Check(found == s.Node(l, s.Find(l, v)), "FindElement differs");
         if (!m().nodes.empty()) Check(owner().Current() == found, "FindElement left the cursor");
         Check(owner().FindElement(nullptr) == nullptr, "FindElement of null finds");
       },
       [&] {  // the list's own cursor
         CBasicListElement* head = owner().GetHeadElement();
         Check(head == s.HeadNode(l), "GetHeadElement differs");
         Check(owner().GetTailElement() == s.Node(l, int(m().nodes.size()) - 1),
               "GetTailElement differs");
         if (!head) return;
         Check(owner().Current() == head, "GetHeadElement did not move the cursor");
         for (int i = in.Byte() % 8, p = 0; i > 0; --i) {
           const bool forward = in.Flag();
           CBasicListElement* next = forward ? owner().GetNextElement() : owner().GetPrevElement();
           p += forward ? 1 : -1;
           Check(next == s.Node(l, p), "stepping differs");
           if (!next) break;
         }
       },
       [&] {  // SetCurrentElement
         CBasicListElement* node = s.Node(l, in.Index(int(m().nodes.size())));
         owner().SetCurrentElement(node);
         Check(owner().GetCurrentElement() == node, "SetCurrentElement did not set");
       },
       [&] {  // a change of item function empties the list
         const Mode mode = Mode(in.Byte() % 4);
         const bool any = !m().nodes.empty(), destroyed = m().owns();
         if (mode == kInts)
           owner().UseIntItems();
         else if (mode == kDoubles)
           owner().UseDoubleItems();
         else if (mode == kStrings)
           owner().UseStringItems();
         else
           owner().SetItemFunction(nullptr);
         s.RemoveEverything(l, destroyed);
         if (any) s.ResetIterators(l);
         m().mode = mode;
       },
       [&] {  // copy construction: own nodes, own items, no iterators
         ProbeList copy(owner());
         Check(copy.GetCount() == int(m().nodes.size()) && copy.GetNumberIterators() == 0 &&
                   copy.GetItemFunction() == owner().GetItemFunction(),
               "a copy's count, iterators or item function differ");
         CBasicListElement* node = copy.Head();
         for (const MNode& n : m().nodes) {
           Check(node != nullptr && node != n.node, "a copy shares a node");
           Check(m().owns() ? node->m_item != n.item && Typed(m().mode, n.value).Holds(node->m_item)
                            : node->m_item == n.item,
                 "a copy's item is not a copy, or a plain item differs");
           node = node->m_next;
         }
         Check(node == nullptr, "a copy is longer");
         copy.DestroyAll();
       },
       [&] {  // assignment: the target is emptied, then copies the source
         const int from = in.Byte() % kLists;
         owner() = s.lists[from];  // a self-assignment changes nothing
         if (from == l) return;
         const bool hadNodes = !m().nodes.empty();
         s.RemoveEverything(l, true);
         if (hadNodes) s.ResetIterators(l);
         m().mode = s.model[from].mode;
         CBasicListElement* node = owner().Head();
         for (const MNode& n : s.model[from].nodes) {
           Check(node != nullptr && node != n.node, "an assigned list shares a node");
           Check(!m().owns() || node->m_item != n.item, "an assigned list shares an owned item");
           m().nodes.push_back(MNode{node, node->m_item, n.value});
           node = node->m_next;
         }
       },
       [&] {  // an iterator constructed on the list, or on none, or SetList of one
         const bool none = in.Byte() % 5 == 0, set = in.Flag() && s.iterators[k];
         if (set)
           s.iterators[k]->SetList(none ? nullptr : &owner());
         else
           s.iterators[k].reset(new CBasicListIterator(none ? nullptr : &owner()));
         s.at[k] = MIterator{none ? -1 : l, none ? nullptr : s.HeadNode(l)};
       },
       [&] {
         s.iterators[k].reset();
         s.at[k] = MIterator();
       },
       [&] {  // MoveTo
         if (!s.iterators[k]) return;
         const int on = s.at[k].list;
         const int i = in.Index(on >= 0 ? int(s.model[on].nodes.size()) : 0);
         CBasicListElement* node = on >= 0 ? s.Node(on, i) : nullptr;
         Check(s.iterators[k]->MoveTo(i) == (node ? node->m_item : nullptr), "MoveTo");
         if (node) s.at[k].current = node;
       },
       [&] {  // forward and back, post and pre
         CBasicListIterator* it = s.iterators[k].get();
         MIterator& at = s.at[k];
         if (!it || at.list < 0) return;
         const bool forward = in.Flag(), post = in.Flag();
         const int p = s.Position(at.list, at.current),
                   last = int(s.model[at.list].nodes.size()) - 1;
         if (forward && post) (*it)++;
         if (forward && !post) ++(*it);
         if (!forward && post) (*it)--;
         if (!forward && !post) --(*it);
         at.current = s.Node(at.list, p < 0 ? (forward ? 0 : last) : p + (forward ? 1 : -1));
       },
       [&] {  // MoveToHead, MoveToTail
         CBasicListIterator* it = s.iterators[k].get();
         MIterator& at = s.at[k];
         if (!it) return;
         const bool head = in.Flag();
         const bool any = at.list >= 0 && !s.model[at.list].nodes.empty();
         Check((head ? it->MoveToHead() : it->MoveToTail()) == any, "MoveToHead/Tail answers");
         if (any) at.current = s.Node(at.list, head ? 0 : int(s.model[at.list].nodes.size()) - 1);
       },
       [&] {  // InsertAfterCurrent
         CBasicListIterator* it = s.iterators[k].get();
         MIterator& at = s.at[k];
         if (!it || at.list < 0 || full(at.list)) return;
         const int v = value();
         if (!at.current) at.current = s.HeadNode(at.list);
         if (!at.current) {
           Check(!it->InsertAfterCurrent(&pool[v]), "InsertAfterCurrent on an empty list");
           return;
         }
         Check(it->InsertAfterCurrent(s.ItemFor(at.list, v)), "InsertAfterCurrent refused");
         std::vector<MNode>& nodes = s.model[at.list].nodes;
         nodes.insert(nodes.begin() + s.Position(at.list, at.current) + 1,
                      s.Record(at.current->m_next, v));
       },
       [&] {  // assignment and copy of iterators
         const int other = in.Byte() % kIterators;
         if (!s.iterators[k] || !s.iterators[other]) return;
         if (in.Flag())
           *s.iterators[k] = *s.iterators[other];
         else
           s.iterators[k].reset(new CBasicListIterator(*s.iterators[other]));
         s.at[k] = s.at[other];
       },
       [&] {  // a walk as the loading code does it: GetCurrent, then ++
         CBasicListIterator* it = s.iterators[k].get();
         MIterator& at = s.at[k];
         if (!it || at.list < 0) return;
         const std::vector<MNode>& nodes = s.model[at.list].nodes;
         it->MoveToHead();
         size_t seen = 0;
         for (void* item = it->GetCurrent(); item; item = it->GetCurrent()) {
           Check(seen < nodes.size() && item == nodes[seen++].item, "a walk meets another item");
           (*it)++;
         }
         Check(seen == nodes.size(), "a walk misses items");
         at.current = nullptr;
       },
       [&] {  // DetachAllIterators tells nobody; each iterator attaches again
         bool any = false;
         for (int j = 0; j < kIterators; ++j) any = any || (s.iterators[j] && s.at[j].list == l);
         const bool ok = owner().DetachAllIterators();
         Check(!any || ok, "DetachAllIterators answers wrongly");
         Check(owner().GetNumberIterators() == 0, "iterators remain after DetachAllIterators");
         for (int j = 0; j < kIterators; ++j)
           if (s.iterators[j] && s.at[j].list == l) {
             s.iterators[j]->SetList(&owner());
             s.at[j].current = s.HeadNode(l);
           }
       },
       [&] {
         Check(!owner().AttachIterator(nullptr) && !owner().DetachIterator(nullptr),
               "null iterators attach or detach");
       }},
      [&] {
        for (int i = 0; i < kLists; ++i) s.Verify(i);
      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
