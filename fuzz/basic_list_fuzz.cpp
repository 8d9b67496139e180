// Drives two CBasicLists and three iterators through a byte stream of
// operations and checks every node, item, count, index and iterator position
// against a model kept in standard containers. One list may own int items
// through the item function; the other holds plain pointers.
#include <cmath>
#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include "fuzz_input.h"
#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

namespace {

int step = 0;

void Check(bool ok, const char* what) {
  if (!ok) fuzz::Fail("basic list fuzz", what, step);
}

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

struct MNode {
  CBasicListElement* node;
  void* item;
  int value;
};

// How a list holds its items: plain pointers, or through one of the item
// functions (ints, doubles, strings).
enum Mode { kPlain, kInts, kDoubles, kStrings };

struct MList {
  std::vector<MNode> nodes;
  bool owns = false;  // items through the item function
  Mode mode = kPlain;
};

// The double that stands for value: 7 is NaN, which equals nothing.
double DoubleOf(int value) { return value == 7 ? std::nan("") : double(value); }
CBasicString StringOf(int value) { return CBasicString(std::to_string(value * 11).c_str()); }

// A value of the list's item type, for the copy and search operations.
class Typed {
 public:
  Typed(Mode mode, int value)
      : m_mode(mode), m_int(value), m_double(DoubleOf(value)), m_string(StringOf(value)) {}
  const void* get() const {
    switch (m_mode) {
      case kDoubles:
        return &m_double;
      case kStrings:
        return &m_string;
      default:
        return &m_int;
    }
  }
  void* mutable_get() { return const_cast<void*>(get()); }

 private:
  Mode m_mode;
  int m_int;
  double m_double;
  CBasicString m_string;
};

bool HoldsValue(Mode mode, const void* item, int value) {
  switch (mode) {
    case kInts:
      return *static_cast<const int*>(item) == value;
    case kDoubles: {
      double d = *static_cast<const double*>(item);
      return value == 7 ? std::isnan(d) : d == double(value);
    }
    case kStrings:
      return *static_cast<const CBasicString*>(item) == StringOf(value);
    default:
      return item == &pool[value];
  }
}

struct MIterator {
  int list = -1;  // -1: constructed without a list; the iterator may also not exist
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
      if (m.owns ? m.nodes[i].value == value && !(m.mode == kDoubles && value == 7)
                 : m.nodes[i].item == &pool[value])
        return int(i);
    return -1;
  }
  CBasicListElement* HeadNode(int l) const {
    return model[l].nodes.empty() ? nullptr : model[l].nodes.front().node;
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
  // A fresh item the list will own (int mode), made by the list's own function.
  void* NewItem(int l, int value) {
    BasicItemFunction fn = lists[l].GetItemFunction();
    void* slot = nullptr;
    fn(kItemCreate, &slot, nullptr);
    Check(slot != nullptr, "the item function made no item");
    Typed typed(model[l].mode, value);
    Check(fn(kItemCopy, &slot, typed.get()), "the item function did not copy");
    return slot;
  }
  void DestroyItem(int l, void* item) {
    BasicItemFunction fn = lists[l].GetItemFunction();
    Check(fn(kItemDestroy, &item, nullptr), "the item function did not destroy");
    Check(item == nullptr, "destroy left the slot set");
  }
  // The item to add: a pool address, or a new owned item.
  void* ItemFor(int l, int value) { return model[l].owns ? NewItem(l, value) : &pool[value]; }
  // The argument that finds value: its pool address, or any int equal to it.
  const void* Key(int l, const Typed& typed, int value) const {
    return model[l].owns ? typed.get() : &pool[value];
  }

  MNode Record(CBasicListElement* node, int value) {
    Check(node != nullptr, "an added node is missing");
    return MNode{node, node->m_item, value};
  }

  void Verify(int l) {
    ProbeList& list = lists[l];
    const MList& m = model[l];
    Check(list.GetCount() == int(m.nodes.size()) && list.Count() == list.GetCount(),
          "the count differs from the model");
    CBasicListElement* previous = nullptr;
    CBasicListElement* node = list.Head();
    for (const MNode& n : m.nodes) {
      Check(node == n.node, "a node differs from the model");
      Check(node->m_previous == previous, "a node's previous link is wrong");
      Check(node->m_item == n.item, "a node's item differs from the model");
      Check(HoldsValue(m.mode, n.item, n.value), "an item's value differs from the model");
      previous = node;
      node = node->m_next;
    }
    Check(node == nullptr, "the list goes on past the model");
    Check(list.Tail() == previous, "the tail is not the last node");
    Check(list.GetHead() == (m.nodes.empty() ? nullptr : m.nodes.front().item), "GetHead");
    Check(list.GetTail() == (m.nodes.empty() ? nullptr : m.nodes.back().item), "GetTail");
    Check(list.Current() == nullptr || Position(l, list.Current()) >= 0,
          "the current element is not a node of the list");
    Check((list.GetItemFunction() != nullptr) == m.owns, "the item function differs");
    int attached = 0;
    for (int k = 0; k < kIterators; ++k) {
      if (!iterators[k]) continue;
      if (at[k].list == l) ++attached;
      if (at[k].list < 0) {
        Check(iterators[k]->GetList() == nullptr, "a detached iterator has a list");
        Check(iterators[k]->GetCurrent() == nullptr, "a detached iterator has an item");
        Check(iterators[k]->GetCount() == 0, "a detached iterator counts items");
        continue;
      }
      Check(iterators[k]->GetList() == &lists[at[k].list], "an iterator's list differs");
      Check(iterators[k]->GetCurrentElement() == at[k].current,
            "an iterator's position differs from the model");
      int p = Position(at[k].list, at[k].current);
      Check(at[k].current == nullptr || p >= 0, "an iterator stands on a removed node");
      Check(iterators[k]->GetCurrent() ==
                (p >= 0 ? model[at[k].list].nodes[size_t(p)].item : nullptr),
            "an iterator's item differs");
      Check(iterators[k]->GetCount() == int(model[at[k].list].nodes.size()),
            "an iterator's count differs");
    }
    Check(list.GetNumberIterators() == attached, "the number of iterators differs");
  }

  // Removes the model node at position p (the list has unlinked it); owned
  // items that the list gave back are destroyed here.
  void Unlink(int l, int p, bool destroyItem) {
    MNode n = model[l].nodes[size_t(p)];
    model[l].nodes.erase(model[l].nodes.begin() + p);
    if (destroyItem) DestroyItem(l, n.item);
  }

  void RemoveEverything(int l, bool destroyed) {
    std::vector<MNode> gone;
    gone.swap(model[l].nodes);
    if (model[l].owns && !destroyed)
      for (const MNode& n : gone) DestroyItem(l, n.item);
  }
};

// The list operations that iterators forward too: done through iterator k
// when via >= 0 and it stands on list l, else on the list itself.
void ListOperation(State& s, fuzz::Input& in, int l, int via, int op) {
  ProbeList& list = s.lists[l];
  MList& m = s.model[l];
  CBasicListIterator* it = via >= 0 ? s.iterators[via].get() : nullptr;
  const int value = in.Byte() % kPool;
  Typed typed(m.mode, value);
  switch (op) {
    case 0: {  // AddTail
      void* item = s.ItemFor(l, value);
      Check(it ? it->AddTail(item) : list.AddTail(item), "AddTail refused an item");
      m.nodes.push_back(s.Record(list.Tail(), value));
      break;
    }
    case 1: {  // AddHead
      void* item = s.ItemFor(l, value);
      Check(it ? it->AddHead(item) : list.AddHead(item), "AddHead refused an item");
      m.nodes.insert(m.nodes.begin(), s.Record(list.Head(), value));
      break;
    }
    case 2: {  // AddTailCopy
      bool ok = it ? it->AddTailCopy(typed.get()) : list.AddTailCopy(typed.get());
      Check(ok == m.owns, "AddTailCopy answers wrongly");
      if (ok) m.nodes.push_back(s.Record(list.Tail(), value));
      break;
    }
    case 3: {  // AddHeadCopy
      bool ok = it ? it->AddHeadCopy(typed.get()) : list.AddHeadCopy(typed.get());
      Check(ok == m.owns, "AddHeadCopy answers wrongly");
      if (ok) m.nodes.insert(m.nodes.begin(), s.Record(list.Head(), value));
      break;
    }
    case 4: {  // Remove: the item itself stays alive
      int p = s.Find(l, value);
      void* item = p >= 0 ? m.nodes[size_t(p)].item : nullptr;
      void* key = const_cast<void*>(s.Key(l, typed, value));
      bool ok = it ? it->Remove(key) : list.Remove(key);
      Check(ok == (p >= 0), "Remove answers wrongly");
      if (p >= 0) {
        s.Unlink(l, p, false);
        if (m.owns) s.DestroyItem(l, item);
      }
      s.ResetIterators(l);
      break;
    }
    case 5: {  // RemoveHead
      void* expect = m.nodes.empty() ? nullptr : m.nodes.front().item;
      void* item = it ? it->RemoveHead() : list.RemoveHead();
      Check(item == expect, "RemoveHead gave another item");
      if (expect) {
        s.Unlink(l, 0, m.owns);
        s.ResetIterators(l);
      }
      break;
    }
    case 6: {  // RemoveAll
      bool ok = it ? it->RemoveAll() : list.RemoveAll();
      Check(ok == !m.nodes.empty(), "RemoveAll answers wrongly");
      s.RemoveEverything(l, false);
      s.ResetIterators(l);
      break;
    }
    case 7: {  // DestroyAll
      bool expect = m.owns && !m.nodes.empty();
      bool ok = it ? it->DestroyAll() : list.DestroyAll();
      Check(ok == expect, "DestroyAll answers wrongly");
      if (expect) {
        s.RemoveEverything(l, true);
        s.ResetIterators(l);
      }
      break;
    }
    case 8: {  // RemoveAndDestroy
      int p = m.owns ? s.Find(l, value) : -1;
      const void* key = s.Key(l, typed, value);
      bool ok = it ? it->RemoveAndDestroy(key) : list.RemoveAndDestroy(key);
      Check(ok == (p >= 0), "RemoveAndDestroy answers wrongly");
      if (p >= 0) {
        s.Unlink(l, p, false);
        s.ResetIterators(l);
      }
      break;
    }
    default:
      break;
  }
}

void Run(fuzz::Input& in) {
  State s;
  for (step = 0; in.More(); ++step) {
    const uint8_t op = in.Byte();
    const int l = in.Byte() % kLists;
    const int k = in.Byte() % kIterators;
    ProbeList& list = s.lists[l];
    MList& m = s.model[l];
    const bool full = m.nodes.size() >= kMaxNodes;
    CBasicListIterator* it = s.iterators[k].get();
    MIterator& at = s.at[k];
    switch (op % 36) {
      case 0: case 1: case 2: case 3:
        if (!full) ListOperation(s, in, l, -1, op % 36);
        break;
      case 4: case 5: case 6: case 7: case 8:
        ListOperation(s, in, l, -1, op % 36);
        break;
      case 9: {  // the same through an iterator standing on the list
        int sub = in.Byte() % 9;
        if (it && at.list >= 0 && (sub > 3 || s.model[at.list].nodes.size() < kMaxNodes))
          ListOperation(s, in, at.list, k, sub);
        else if (it && at.list < 0) {
          int v = 0;
          Check(!it->AddTailCopy(&v) && !it->AddHeadCopy(&v) && !it->RemoveAll() &&
                    !it->DestroyAll() && it->RemoveHead() == nullptr,
                "a detached iterator forwards to a list");
        }
        break;
      }
      case 10: {  // InsertAfter a node of the model, or null
        if (full) break;
        int value = in.Byte() % kPool;
        int p = in.Index(int(m.nodes.size()));
        bool valid = p >= 0 && size_t(p) < m.nodes.size();
        if (!valid) {
          int dummy = value;
          Check(!list.InsertAfter(nullptr, &dummy), "InsertAfter a null node succeeds");
          break;
        }
        void* item = s.ItemFor(l, value);
        CBasicListElement* after = m.nodes[size_t(p)].node;
        Check(list.InsertAfter(after, item), "InsertAfter refused");
        m.nodes.insert(m.nodes.begin() + p + 1, s.Record(after->m_next, value));
        break;
      }
      case 11: {  // Add: a copy when the list owns items, else the pointer
        if (full) break;
        int value = in.Byte() % kPool;
        Typed typed(m.mode, value);
        Check(list.Add(m.owns ? typed.mutable_get() : &pool[value]), "Add refused");
        m.nodes.push_back(s.Record(list.Tail(), value));
        break;
      }
      case 12: {  // Delete: destroy through the function, else a plain removal
        int value = in.Byte() % kPool;
        Typed typed(m.mode, value);
        int p = s.Find(l, value);
        bool ok = list.Delete(const_cast<void*>(s.Key(l, typed, value)));
        Check(ok == (p >= 0), "Delete answers wrongly");
        if (p >= 0) s.Unlink(l, p, false);
        s.ResetIterators(l);  // a removal, found or not
        break;
      }
      case 13: {  // GetAt and GetElementAt
        int i = in.Index(int(m.nodes.size()));
        bool valid = i >= 0 && size_t(i) < m.nodes.size();
        Check(list.GetElementAt(i) == (valid ? m.nodes[size_t(i)].node : nullptr),
              "GetElementAt differs from the model");
        void* item = list.GetAt(i);
        Check(item == (valid ? m.nodes[size_t(i)].item : nullptr), "GetAt differs");
        if (valid) Check(list.Current() == m.nodes[size_t(i)].node, "GetAt did not move");
        break;
      }
      case 14: {  // FindElement
        int value = in.Byte() % kPool;
        Typed typed(m.mode, value);
        int p = s.Find(l, value);
        CBasicListElement* found = list.FindElement(const_cast<void*>(s.Key(l, typed, value)));
        Check(found == (p >= 0 ? m.nodes[size_t(p)].node : nullptr), "FindElement differs");
        if (!m.nodes.empty()) Check(list.Current() == found, "FindElement left the cursor");
        Check(list.FindElement(nullptr) == nullptr, "FindElement of null finds");
        break;
      }
      case 15: {  // the list's own cursor
        CBasicListElement* head = list.GetHeadElement();
        Check(head == s.HeadNode(l), "GetHeadElement differs");
        Check(list.GetTailElement() == (m.nodes.empty() ? nullptr : m.nodes.back().node),
              "GetTailElement differs");
        if (!head) break;
        Check(list.Current() == head, "GetHeadElement did not move the cursor");
        int moves = in.Byte() % 8;
        int p = 0;
        for (int i = 0; i < moves && p >= 0; ++i) {
          bool forward = in.Flag();
          CBasicListElement* next = forward ? list.GetNextElement() : list.GetPrevElement();
          p += forward ? 1 : -1;
          bool inside = p >= 0 && size_t(p) < m.nodes.size();
          Check(next == (inside ? m.nodes[size_t(p)].node : nullptr), "stepping differs");
          if (!inside) break;
        }
        break;
      }
      case 16: {  // SetCurrentElement
        int p = in.Index(int(m.nodes.size()));
        CBasicListElement* node =
            p >= 0 && size_t(p) < m.nodes.size() ? m.nodes[size_t(p)].node : nullptr;
        list.SetCurrentElement(node);
        Check(list.GetCurrentElement() == node, "SetCurrentElement did not set");
        break;
      }
      case 17: {  // change of item function empties the list
        Mode mode = Mode(in.Byte() % 4);
        bool destroyed = m.owns;
        bool any = !m.nodes.empty();
        switch (mode) {
          case kInts:
            list.UseIntItems();
            break;
          case kDoubles:
            list.UseDoubleItems();
            break;
          case kStrings:
            list.UseStringItems();
            break;
          default:
            list.SetItemFunction(nullptr);
        }
        s.RemoveEverything(l, destroyed);
        if (any) s.ResetIterators(l);
        m.owns = mode != kPlain;
        m.mode = mode;
        break;
      }
      case 18: {  // copy construction: own nodes, own items, no iterators
        ProbeList copy(list);
        Check(copy.GetCount() == int(m.nodes.size()), "a copy's count differs");
        Check(copy.GetNumberIterators() == 0, "a copy took iterators");
        Check(copy.GetItemFunction() == list.GetItemFunction(), "a copy's item function");
        CBasicListElement* node = copy.Head();
        for (const MNode& n : m.nodes) {
          Check(node != nullptr && node != n.node, "a copy shares a node");
          if (m.owns)
            Check(node->m_item != n.item && HoldsValue(m.mode, node->m_item, n.value),
                  "a copy's owned item is not a copy");
          else
            Check(node->m_item == n.item, "a copy's plain item differs");
          node = node->m_next;
        }
        Check(node == nullptr, "a copy is longer");
        copy.DestroyAll();
        break;
      }
      case 19: {  // assignment: the target is emptied, then copies the source
        int from = in.Byte() % kLists;
        if (from == l) {
          ProbeList& same = s.lists[from];
          list = same;  // a self-assignment changes nothing
          break;
        }
        list = s.lists[from];
        bool hadNodes = !m.nodes.empty();
        s.RemoveEverything(l, true);
        if (hadNodes) s.ResetIterators(l);
        m.owns = s.model[from].owns;
        m.mode = s.model[from].mode;
        CBasicListElement* node = list.Head();
        for (const MNode& n : s.model[from].nodes) {
          Check(node != nullptr && node != n.node, "an assigned list shares a node");
          m.nodes.push_back(MNode{node, node->m_item, n.value});
          if (m.owns) Check(node->m_item != n.item, "an assigned list shares an owned item");
          node = node->m_next;
        }
        break;
      }
      // Iterators.
      case 20: {  // construct on a list, or on none
        bool none = in.Byte() % 5 == 0;
        s.iterators[k].reset();
        s.iterators[k].reset(new CBasicListIterator(none ? nullptr : &list));
        at.list = none ? -1 : l;
        at.current = none ? nullptr : s.HeadNode(l);
        break;
      }
      case 21:
        s.iterators[k].reset();
        at = MIterator();
        break;
      case 22: {  // SetList
        if (!it) break;
        bool none = in.Byte() % 5 == 0;
        it->SetList(none ? nullptr : &list);
        at.list = none ? -1 : l;
        at.current = none ? nullptr : s.HeadNode(l);
        break;
      }
      case 23: {  // MoveTo
        if (!it) break;
        int size = at.list >= 0 ? int(s.model[at.list].nodes.size()) : 0;
        int i = in.Index(size);
        bool valid = at.list >= 0 && i >= 0 && i < size;
        void* item = it->MoveTo(i);
        Check(item == (valid ? s.model[at.list].nodes[size_t(i)].item : nullptr), "MoveTo");
        if (valid) at.current = s.model[at.list].nodes[size_t(i)].node;
        break;
      }
      case 24:
      case 25: {  // forward and back, post and pre
        if (!it || at.list < 0) break;
        bool forward = op % 36 == 24;
        const std::vector<MNode>& nodes = s.model[at.list].nodes;
        int p = s.Position(at.list, at.current);
        if (forward) {
          if (in.Flag())
            (*it)++;
          else
            ++(*it);
          at.current = p < 0 ? s.HeadNode(at.list)
                             : (size_t(p) + 1 < nodes.size() ? nodes[size_t(p) + 1].node : nullptr);
        } else {
          if (in.Flag())
            (*it)--;
          else
            --(*it);
          at.current = p < 0 ? (nodes.empty() ? nullptr : nodes.back().node)
                             : (p > 0 ? nodes[size_t(p) - 1].node : nullptr);
        }
        break;
      }
      case 26: {  // MoveToHead, MoveToTail
        if (!it) break;
        bool head = in.Flag();
        bool any = at.list >= 0 && !s.model[at.list].nodes.empty();
        Check((head ? it->MoveToHead() : it->MoveToTail()) == any, "MoveToHead/Tail answers");
        if (any)
          at.current = head ? s.model[at.list].nodes.front().node
                            : s.model[at.list].nodes.back().node;
        break;
      }
      case 27: {  // InsertAfterCurrent
        if (!it || at.list < 0 || s.model[at.list].nodes.size() >= kMaxNodes) break;
        int value = in.Byte() % kPool;
        std::vector<MNode>& nodes = s.model[at.list].nodes;
        if (!at.current) at.current = s.HeadNode(at.list);
        if (!at.current) {
          int dummy = value;
          Check(!it->InsertAfterCurrent(&dummy), "InsertAfterCurrent on an empty list");
          break;
        }
        void* item = s.ItemFor(at.list, value);
        Check(it->InsertAfterCurrent(item), "InsertAfterCurrent refused");
        int p = s.Position(at.list, at.current);
        nodes.insert(nodes.begin() + p + 1, s.Record(at.current->m_next, value));
        break;
      }
      case 28: {  // assignment and copy of iterators
        int other = in.Byte() % kIterators;
        if (!it || !s.iterators[other]) break;
        if (in.Flag()) {
          *it = *s.iterators[other];
          at = s.at[other];
        } else {
          s.iterators[k].reset(new CBasicListIterator(*s.iterators[other]));
          at = s.at[other];
        }
        break;
      }
      case 29: {  // a walk as the loading code does it: GetCurrent, then ++
        if (!it || at.list < 0) break;
        it->MoveToHead();
        size_t seen = 0;
        for (void* item = it->GetCurrent(); item; item = it->GetCurrent()) {
          Check(seen < s.model[at.list].nodes.size() &&
                    item == s.model[at.list].nodes[seen].item,
                "a walk meets another item");
          ++seen;
          (*it)++;
        }
        Check(seen == s.model[at.list].nodes.size(), "a walk misses items");
        at.current = nullptr;
        break;
      }
      case 30: {  // DetachAllIterators tells nobody; each iterator attaches again
        bool any = false;
        for (int j = 0; j < kIterators; ++j) any = any || (s.iterators[j] && s.at[j].list == l);
        bool ok = list.DetachAllIterators();
        if (any) Check(ok, "DetachAllIterators answers wrongly");
        Check(list.GetNumberIterators() == 0, "iterators remain after DetachAllIterators");
        for (int j = 0; j < kIterators; ++j)
          if (s.iterators[j] && s.at[j].list == l) {
            s.iterators[j]->SetList(&list);
            s.at[j].current = s.HeadNode(l);
          }
        break;
      }
      case 31:
        Check(!list.AttachIterator(nullptr) && !list.DetachIterator(nullptr),
              "null iterators attach or detach");
        break;
      default:
        break;
    }
    for (int i = 0; i < kLists; ++i) s.Verify(i);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
