// Drives a CBasicList, a CBasicMap and three iterators through a byte stream
// of operations and checks every node, item, count, index and iterator
// position against the model of list_model.h, and every key used so far
// against the map. A list holds plain pointers or owns int, double or string
// items through its item function. The map favours colliding keys (the same
// bucket, k and -k, the extreme keys), small and refused bucket counts.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "list_model.h"

namespace {

using namespace fuzz;
using World = Lists;

const char16_t* const kNames[] = {u"Part",     u"PART",    u"part",    u"",  u"bolt.prt",
                                  u"BOLT.PRT", u"\u00e4x", u"\u00c4X", u"a", u"A"};
const int kTooMany = INT_MAX / int(sizeof(void*)) + 1;  // buckets whose table overflows
const int kHashSizes[] = {1, 2, 3, 7, 16, 10009, 65536, 0, -1, -10009, INT_MIN, INT_MAX, kTooMany};

// A key of the map: a name (upper-cased by the map or not) and its hash, or a
// number: small, negative, extreme, in the bucket of a small one, a name's
// hash or any.
struct Key {
  bool named, upper;
  CBasicString text;
  int key;
  Key(Input& in, int buckets) : named(in.Flag()), upper(in.Flag()), text(kNames[in.Byte() % 10]) {
    CBasicString hashed(text);
    if (upper) hashed.MakeUpper();
    const uint8_t b = in.Byte();
    const int v = b & 0x0F;
    const long long same = v + (long long)buckets * (in.Byte() % 4);
    const int hash = hashed.GetHashValue(), bucket = same > INT_MAX ? v : int(same);
    const int numbers[] = {v, v, v, -v, INT_MIN + v, INT_MAX - v, bucket, hash, in.Unit() - 32768};
    key = named ? hash : numbers[std::min(b >> 4, 8)];
  }
};

// The list operations an iterator forwards too, done on target: list l
// itself, or an iterator standing on it.
template <class Target>
void Forwarded(World& w, Input& in, Target& target, int l, int op) {
  Model& m = w.model[l];
  CBasicList& list = *w.lists[l];
  const int v = in.Byte() % kPool, p = m.Find(v);
  Typed typed(m.mode, v);
  if (op < 4) {  // AddTail, AddHead, AddTailCopy, AddHeadCopy (only with an item function)
    const bool tail = op % 2 == 0, copy = op >= 2;
    void* item = copy ? typed.get() : w.NewItem(l, v);
    const bool ok = copy ? (tail ? target.AddTailCopy(item) : target.AddHeadCopy(item))
                         : (tail ? target.AddTail(item) : target.AddHead(item));
    Check(ok == (!copy || m.owns()), "an addition answers wrongly");
    if (ok)
      w.Added(l, tail ? m.nodes.size() : 0, tail ? Probe::Tail(list) : list.PeekHeadElement(), v);
    return;
  }
  switch (op) {
    case 4:  // Remove: the item itself stays alive; iterators go to the head, found or not
      Check(target.Remove(typed.get()) == (p >= 0), "Remove answers wrongly");
      if (p >= 0) w.Erase(l, p, m.owns());
      w.Reset(l);
      break;
    case 5:
      Check(target.RemoveHead() == m.ItemAt(0), "RemoveHead gave another item");
      if (!m.nodes.empty()) w.Erase(l, 0, m.owns());
      break;
    case 6:
      Check(target.RemoveAll() == !m.nodes.empty(), "RemoveAll answers wrongly");
      w.Clear(l, false);
      break;
    case 7:  // DestroyAll: only with an item function
      Check(target.DestroyAll() == (m.owns() && !m.nodes.empty()), "DestroyAll answers wrongly");
      if (m.owns()) w.Clear(l, true);
      break;
    default:  // RemoveAndDestroy: only with an item function
      Check(target.RemoveAndDestroy(typed.get()) == (m.owns() && p >= 0),
            "RemoveAndDestroy answers wrongly");
      if (m.owns() && p >= 0) w.Erase(l, p, false);
  }
}

void Run(Input& in) {
  World w;
  int l = 0, k = 0;
  CBasicMap& map = w.map;
  // Most inputs start the map with a small table, where chains are long and a
  // removal's scan of the buckets is cheap; the rest keep the default.
  if (in.Byte() & 1) {
    w.buckets = 1 + in.Byte() % 31;
    Check(map.SetHashSize(w.buckets), "SetHashSize of a small count refused");
  }
  auto list = [&]() -> CBasicList& { return *w.lists[l]; };
  auto m = [&]() -> Model& { return w.model[l]; };
  auto value = [&] { return in.Byte() % kPool; };
  auto last = [&](int on) { return int(w.model[on].nodes.size()) - 1; };
  // The model of a copy of list from: other nodes, and other items when owned.
  auto copied = [&](CBasicList& copy, int from) {
    const Model& source = w.model[from];
    std::vector<Node> nodes;
    CBasicListElement* node = copy.PeekHeadElement();
    for (const Node& n : source.nodes) {
      Check(node != nullptr && node != n.node &&
                (source.owns() ? node->m_item != n.item : node->m_item == n.item),
            "a copy shares a node or an owned item, or differs in a plain one");
      Check(Typed(source.mode, n.value).Holds(node->m_item), "a copy's item differs");
      nodes.push_back(Node{node, node->m_item, n.value});
      node = node->m_next;
    }
    Check(node == nullptr, "a copy is longer");
    return nodes;
  };
  Interpret(
      "basic list fuzz", in, [&] { l = in.Byte() % 2, k = in.Byte() % 3; },
      {[&] {
         const int op = in.Byte() % 9;
         if (op > 3 || !w.Full(l)) Forwarded(w, in, list(), l, op);
       },
       [&] {  // the same through an iterator standing on the list, or on none
         CBasicListIterator* it = w.iterators[k].get();
         const int op = in.Byte() % 9, on = w.on[k];
         if (it && on >= 0 && (op > 3 || !w.Full(on))) {
           Forwarded(w, in, *it, on, op);
         } else if (it && on < 0) {
           int v = 0;
           Check(!it->AddTailCopy(&v) && !it->AddHeadCopy(&v) && !it->RemoveAll() &&
                     !it->DestroyAll() && it->RemoveHead() == nullptr,
                 "a detached iterator forwards to a list");
         }
       },
       [&] {  // InsertAfter a node of the model, or null
         if (w.Full(l)) return;
         const int v = value();
         CBasicListElement* after = m().At(in.Index(last(l) + 1));
         if (!after) {
           Check(!list().InsertAfter(nullptr, &g_pool[v]), "InsertAfter a null node succeeds");
           return;
         }
         Check(list().InsertAfter(after, w.NewItem(l, v)), "InsertAfter refused");
         w.Added(l, size_t(m().Position(after)) + 1, after->m_next, v);
       },
       [&] {  // null items are refused, by the map's keyed add as well (which makes no table)
         Check(!list().AddTail(nullptr) && !list().AddHead(nullptr) && !list().Add(nullptr) &&
                   !list().AddTailCopy(nullptr) && !list().InsertAfter(m().At(0), nullptr) &&
                   !map.AddKeyed(in.Byte(), nullptr),
               "a null item is added");
       },
       [&] {  // Add: a copy when the list owns items, else the pointer
         if (w.Full(l)) return;
         const int v = value();
         Typed typed(m().mode, v);
         Check(list().Add(typed.get()), "Add refused");
         w.Added(l, m().nodes.size(), Probe::Tail(list()), v);
       },
       [&] {  // Delete: destroys through the function, else a plain removal
         const int v = value(), p = m().Find(v);
         Typed typed(m().mode, v);
         Check(list().Delete(typed.get()) == (p >= 0), "Delete answers wrongly");
         if (p >= 0) w.Erase(l, p, false);
         w.Reset(l);
       },
       [&] {
         const int i = in.Index(last(l) + 1);
         Check(list().GetElementAt(i) == m().At(i) && list().GetAt(i) == m().ItemAt(i),
               "GetElementAt or GetAt differs from the model");
         Check(!m().At(i) || Probe::Current(list()) == m().At(i), "GetAt did not move");
       },
       [&] {
         const int v = value();
         Typed typed(m().mode, v);
         CBasicListElement* found = list().FindElement(typed.get());
         Check(found == m().At(m().Find(v)), "FindElement differs");
         Check(m().nodes.empty() || Probe::Current(list()) == found, "FindElement left the cursor");
         Check(list().FindElement(nullptr) == nullptr, "FindElement of null finds");
       },
       [&] {  // the list's own cursor
         CBasicListElement* head = list().GetHeadElement();
         Check(head == m().At(0) && list().GetTailElement() == m().At(last(l)),
               "GetHeadElement or GetTailElement differs");
         if (!head) return;
         Check(Probe::Current(list()) == head, "GetHeadElement did not move the cursor");
         for (int i = in.Byte() % 8, p = 0; i > 0; --i) {
           const bool forward = in.Flag();
           CBasicListElement* next = forward ? list().GetNextElement() : list().GetPrevElement();
           p += forward ? 1 : -1;
           Check(next == m().At(p), "stepping differs");
           if (!next) break;
         }
       },
       [&] {
         CBasicListElement* node = m().At(in.Index(last(l) + 1));
         list().SetCurrentElement(node);
         Check(list().GetCurrentElement() == node, "SetCurrentElement did not set");
       },
       [&] {  // a change of item function empties the list
         const Mode mode = Mode(in.Byte() % 4);
         void (CBasicList::*use[])() = {nullptr, &CBasicList::UseIntItems,
                                        &CBasicList::UseDoubleItems, &CBasicList::UseStringItems};
         if (mode == kPlain)
           list().SetItemFunction(nullptr);
         else
           (list().*use[mode])();
         w.Clear(l, true);
         m().mode = mode;
       },
       [&] {  // copy construction: own nodes, own items, no iterators
         CBasicList copy(list());
         copied(copy, l);
         Check(copy.GetCount() == int(m().nodes.size()) && copy.GetNumberIterators() == 0 &&
                   copy.GetItemFunction() == list().GetItemFunction(),
               "a copy's count, iterators or item function differ");
         copy.DestroyAll();
       },
       [&] {  // assignment to the plain list: emptied, then a copy of the map's nodes
         const int from = in.Byte() % 2;
         w.plain = *w.lists[from];  // a self-assignment changes nothing
         if (from == 0) return;
         w.Clear(0, true);
         w.model[0].mode = w.model[1].mode;
         w.model[0].nodes = copied(w.plain, 1);
       },
       [&] {  // an iterator constructed on the list, or on none, or SetList of one
         const bool none = in.Byte() % 5 == 0, set = in.Flag() && w.iterators[k];
         if (set)
           w.iterators[k]->SetList(none ? nullptr : &list());
         else
           w.iterators[k].reset(new CBasicListIterator(none ? nullptr : &list()));
         w.on[k] = none ? -1 : l;
         w.at[k] = none ? nullptr : m().At(0);
       },
       [&] {
         w.iterators[k].reset();
         w.on[k] = -1;
         w.at[k] = nullptr;
       },
       [&] {  // an iterator's moves: MoveTo, MoveToHead or MoveToTail, forward or back
         CBasicListIterator* it = w.iterators[k].get();
         if (!it) return;
         const int on = w.on[k], size = on >= 0 ? last(on) + 1 : 0, move = in.Byte() % 3;
         const Model& mo = w.model[on >= 0 ? on : 0];
         if (move == 0) {
           const int i = in.Index(size);
           void* item = on >= 0 ? mo.ItemAt(i) : nullptr;
           Check(it->MoveTo(i) == item, "MoveTo differs from the model");
           if (item) w.at[k] = mo.At(i);
         } else if (move == 1) {
           const bool head = in.Flag();
           Check((head ? it->MoveToHead() : it->MoveToTail()) == (size > 0),
                 "MoveToHead/Tail answers");
           if (size > 0) w.at[k] = mo.At(head ? 0 : size - 1);
         } else if (on >= 0) {  // post and pre; from no node to an end
           const bool forward = in.Flag(), post = in.Flag();
           if (forward)
             post ? (*it)++ : ++(*it);
           else
             post ? (*it)-- : --(*it);
           const int p = mo.Position(w.at[k]);
           w.at[k] = mo.At(p < 0 ? (forward ? 0 : size - 1) : p + (forward ? 1 : -1));
         }
       },
       [&] {  // InsertAfterCurrent: after the head when there is no current node
         CBasicListIterator* it = w.iterators[k].get();
         const int on = w.on[k];
         if (!it || on < 0 || w.Full(on)) return;
         const int v = value();
         if (!w.at[k]) w.at[k] = w.model[on].At(0);
         if (!w.at[k]) {
           Check(!it->InsertAfterCurrent(&g_pool[v]), "InsertAfterCurrent on an empty list");
           return;
         }
         Check(it->InsertAfterCurrent(w.NewItem(on, v)), "InsertAfterCurrent refused");
         w.Added(on, size_t(w.model[on].Position(w.at[k])) + 1, w.at[k]->m_next, v);
       },
       [&] {  // assignment and copy of iterators
         const int other = in.Byte() % 3;
         if (!w.iterators[k] || !w.iterators[other]) return;
         if (in.Flag())
           *w.iterators[k] = *w.iterators[other];
         else
           w.iterators[k].reset(new CBasicListIterator(*w.iterators[other]));
         w.on[k] = w.on[other];
         w.at[k] = w.at[other];
       },
       [&] {  // DetachAllIterators tells nobody; each iterator attaches again
         bool any = false;
         for (int j = 0; j < 3; ++j) any = any || (w.iterators[j] && w.on[j] == l);
         Check(list().DetachAllIterators() || !any, "DetachAllIterators answers wrongly");
         Check(list().GetNumberIterators() == 0, "iterators remain after DetachAllIterators");
         Check(!list().AttachIterator(nullptr) && !list().DetachIterator(nullptr),
               "null iterators attach or detach");
         for (int j = 0; j < 3; ++j)
           if (w.iterators[j] && w.on[j] == l) {
             w.iterators[j]->SetList(&list());
             w.at[j] = m().At(0);
           }
       },
       [&] {  // AddKeyed, AddNamed: a copy when owned
         if (w.Full(1)) return;
         const int v = value();
         Typed typed(w.model[1].mode, v);
         const Key k(in, w.buckets);
         Check(k.named ? map.AddNamed(k.text, typed.get(), k.upper)
                       : map.AddKeyed(k.key, typed.get()),
               "AddKeyed/AddNamed refused");
         w.table = true;
         w.Added(1, w.model[1].nodes.size(), Probe::Tail(map), v, true, k.key);
         if (w.keys.size() < 64) w.keys.insert(k.key);
       },
       [&] {
         const Key k(in, w.buckets);
         Check((k.named ? map.LookupNamed(k.text, k.upper) : map.LookupKeyed(k.key)) ==
                   w.model[1].ItemAt(w.model[1].Newest(k.key)),
               "LookupNamed/LookupKeyed differs");
       },
       [&] {  // RemoveKeyed, RemoveNamed: the newest entry's own node goes, destroyed when owned
         const Key k(in, w.buckets);
         const int p = w.model[1].Newest(k.key);
         Check((k.named ? map.RemoveNamed(k.text, k.upper) : map.RemoveKeyed(k.key)) == (p >= 0),
               "RemoveKeyed/RemoveNamed answers wrongly");
         if (p >= 0) w.Erase(1, p, false);
       },
       [&] {  // the bucket count: only before the first keyed node, never 0
         const int count = kHashSizes[in.Byte() % (sizeof kHashSizes / sizeof kHashSizes[0])];
         const bool fits = count > 0 && (long long)count * (long long)sizeof(void*) <= INT_MAX;
         Check(map.SetHashSize(count) == (fits && !w.table), "SetHashSize answers wrongly");
         if (fits && !w.table) w.buckets = count;
       }},
      [&] { w.Verify(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
