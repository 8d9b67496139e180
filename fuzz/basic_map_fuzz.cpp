// Drives a CBasicMap through a byte stream of keyed, named and inherited list
// operations and checks it against a model: list order, and for every key
// used so far the newest item still present under it. Colliding keys, the
// extreme keys and odd bucket counts are favoured.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "fuzz_input.h"
#include "granite/CBasicMap.h"

namespace {

using fuzz::Check;

class ProbeMap : public CBasicMap {
 public:
  CBasicListElement* Head() const { return m_head; }
  CBasicListElement* Tail() const { return m_tail; }
};

const int kPool = 8;
const size_t kMaxNodes = 300;
int pool[kPool];

const char16_t* const kNames[] = {u"Part",     u"PART",    u"part",    u"",  u"bolt.prt",
                                  u"BOLT.PRT", u"\u00e4x", u"\u00c4X", u"a", u"A"};

struct MEntry {
  CBasicListElement* node;
  void* item;
  int value;
  bool keyed;
  int key;
  long order;  // when it was added: lookups see the newest
};

struct Model {
  std::vector<MEntry> entries;  // list order
  bool owns = false;
  bool table = false;
  int buckets = 10009;
  long added = 0;
  std::set<int> keys;
};

int NameKey(int name, bool upper) {
  CBasicString s(kNames[name]);
  if (upper) s.MakeUpper();
  return s.GetHashValue();
}

int MakeKey(fuzz::Input& in, const Model& m) {
  uint8_t b = in.Byte();
  int v = b & 0x0F;
  switch (b >> 4) {
    case 0:
    case 1:
    case 2:
      return v;
    case 3:
      return -v;
    case 4:
      return INT_MIN + v;
    case 5:
      return INT_MAX - v;
    case 6: {  // the same bucket as v
      long long k = v + (long long)m.buckets * (in.Byte() % 4);
      return k > INT_MAX ? v : int(k);
    }
    case 7:
      return NameKey(v % 10, in.Flag());
    default:
      return int(in.Unit()) - 32768;
  }
}

const int kHashSizes[] = {1,
                          2,
                          3,
                          7,
                          16,
                          10009,
                          65536,
                          0,
                          -1,
                          -10009,
                          INT_MIN,
                          INT_MAX,
                          INT_MAX / int(sizeof(void*)) + 1};

struct State {
  ProbeMap map;
  Model m;
  std::unique_ptr<CBasicListIterator> iterator;
  CBasicListElement* at = nullptr;

  ~State() {
    iterator.reset();
    map.DestroyAll();
  }

  void* NewItem(int value) {
    void* slot = nullptr;
    map.GetItemFunction()(kItemCreate, &slot, nullptr);
    map.GetItemFunction()(kItemCopy, &slot, &value);
    return slot;
  }
  void DestroyItem(void* item) { map.GetItemFunction()(kItemDestroy, &item, nullptr); }
  int Find(int value) const {
    for (size_t i = 0; i < m.entries.size(); ++i)
      if (m.owns ? m.entries[i].value == value : m.entries[i].item == &pool[value]) return int(i);
    return -1;
  }
  // The newest entry still present under key.
  int Newest(int key) const {
    int best = -1;
    for (size_t i = 0; i < m.entries.size(); ++i)
      if (m.entries[i].keyed && m.entries[i].key == key &&
          (best < 0 || m.entries[i].order > m.entries[size_t(best)].order))
        best = int(i);
    return best;
  }
  void Reset() { at = m.entries.empty() ? nullptr : m.entries.front().node; }
  void Erase(int p, bool destroy) {
    void* item = m.entries[size_t(p)].item;
    m.entries.erase(m.entries.begin() + p);
    if (destroy) DestroyItem(item);
    if (iterator) Reset();
  }
  void Clear(bool destroyed) {
    std::vector<MEntry> gone;
    gone.swap(m.entries);
    if (m.owns && !destroyed)
      for (const MEntry& e : gone) DestroyItem(e.item);
    if (iterator) Reset();
  }
  void Added(bool keyed, int key, int value, CBasicListElement* node, bool atHead) {
    Check(node != nullptr, "an added node is missing");
    MEntry e{node, node->m_item, value, keyed, key, ++m.added};
    if (atHead)
      m.entries.insert(m.entries.begin(), e);
    else
      m.entries.push_back(e);
    if (keyed && m.keys.size() < 64) m.keys.insert(key);
  }

  void Verify() {
    Check(map.GetCount() == int(m.entries.size()), "the count differs from the model");
    CBasicListElement* node = map.Head();
    CBasicListElement* previous = nullptr;
    for (const MEntry& e : m.entries) {
      Check(node == e.node, "a node differs from the model");
      Check(node->m_previous == previous && node->m_item == e.item, "a node's links or item");
      if (m.owns) Check(*static_cast<int*>(e.item) == e.value, "an owned item's value changed");
      previous = node;
      node = node->m_next;
    }
    Check(node == nullptr && map.Tail() == previous, "the list's ends differ");
    std::map<int, const MEntry*> newest;
    for (const MEntry& e : m.entries) {
      if (!e.keyed) continue;
      const MEntry*& best = newest[e.key];
      if (!best || e.order > best->order) best = &e;
    }
    for (int key : m.keys) {
      auto found = newest.find(key);
      Check(map.LookupKeyed(key) == (found != newest.end() ? found->second->item : nullptr),
            "LookupKeyed differs from the model");
    }
    Check(map.GetHashSize() == m.buckets, "the bucket count differs");
    if (iterator) {
      Check(iterator->GetCurrentElement() == at, "the iterator's position differs");
      Check(map.GetNumberIterators() == 1, "the iterator is not attached");
    }
  }
};

void Run(fuzz::Input& in) {
  State s;
  Model& m = s.m;
  ProbeMap& map = s.map;
  // Most inputs start with a small table, where chains are long and a
  // removal's scan of the buckets is cheap; the rest keep the default.
  if (in.Byte() & 1) {
    const int count = 1 + in.Byte() % 31;
    Check(map.SetHashSize(count), "SetHashSize of a small count refused");
    m.buckets = count;
  }
  int value = 0;
  bool full = false;
  // An item standing for value: a copy when the map owns items, else the pool address.
  int copy = 0;
  auto item = [&]() -> void* { return m.owns ? (copy = value, &copy) : &pool[value]; };
  auto name = [&](int& key) {
    const int n = in.Byte() % 10;
    const bool upper = in.Flag();
    key = NameKey(n, upper);
    return std::make_pair(CBasicString(kNames[n]), upper);
  };
  fuzz::Interpret(
      "basic map fuzz", in,
      [&] {
        value = in.Byte() % kPool;
        full = m.entries.size() >= kMaxNodes;
      },
      {[&] {  // AddKeyed, AddNamed (with or without upper-casing): a copy when owned
         if (full) return;
         int key = 0;
         if (in.Flag()) {
           key = MakeKey(in, m);
           Check(map.AddKeyed(key, item()), "AddKeyed refused");
         } else {
           auto [text, upper] = name(key);
           Check(map.AddNamed(text, item(), upper), "AddNamed refused");
         }
         m.table = true;
         s.Added(true, key, value, map.Tail(), false);
       },
       [&] {  // LookupNamed
         int key = 0;
         auto [text, upper] = name(key);
         const int p = s.Newest(key);
         Check(map.LookupNamed(text, upper) == (p >= 0 ? m.entries[size_t(p)].item : nullptr),
               "LookupNamed differs from the model");
       },
       [&] {  // RemoveKeyed, RemoveNamed: the newest entry's own node goes
         int key = 0;
         const bool keyed = in.Flag();
         std::pair<CBasicString, bool> named;
         if (keyed)
           key = MakeKey(in, m);
         else
           named = name(key);
         const int p = s.Newest(key);
         const bool removed =
             keyed ? map.RemoveKeyed(key) : map.RemoveNamed(named.first, named.second);
         Check(removed == (p >= 0), "RemoveKeyed/RemoveNamed answers wrongly");
         if (p >= 0) s.Erase(p, false);  // destroyed by the map when it owns items
       },
       [&] {  // the inherited removals drop the index entries of their nodes
         const int p = s.Find(value);
         switch (in.Byte() % 3) {
           case 0:
             Check(map.Remove(item()) == (p >= 0), "Remove answers wrongly");
             if (p >= 0)
               s.Erase(p, m.owns);  // Remove leaves the item alive
             else if (s.iterator)
               s.Reset();
             break;
           case 1:
             Check(map.RemoveAndDestroy(item()) == (m.owns && p >= 0),
                   "RemoveAndDestroy answers wrongly");
             if (m.owns && p >= 0) s.Erase(p, false);
             break;
           default:
             Check(map.Delete(item()) == (p >= 0), "Delete answers wrongly");
             if (p >= 0)
               s.Erase(p, false);  // destroyed when owned, else left alone
             else if (s.iterator)
               s.Reset();
         }
       },
       [&] {  // RemoveHead
         void* expect = m.entries.empty() ? nullptr : m.entries.front().item;
         Check(map.RemoveHead() == expect, "RemoveHead gave another item");
         if (expect) s.Erase(0, m.owns);
       },
       [&] {  // RemoveAll, DestroyAll
         if (in.Flag()) {
           Check(map.RemoveAll() == !m.entries.empty(), "RemoveAll answers wrongly");
           s.Clear(false);
         } else {
           const bool expect = m.owns && !m.entries.empty();
           Check(map.DestroyAll() == expect, "DestroyAll answers wrongly");
           if (expect) s.Clear(true);
         }
       },
       [&] {  // unkeyed nodes through the plain list operations
         if (full) return;
         void* added = m.owns ? s.NewItem(value) : &pool[value];
         const bool head = in.Flag();
         Check(head ? map.AddHead(added) : map.AddTail(added), "AddHead/AddTail refused");
         s.Added(false, 0, value, head ? map.Head() : map.Tail(), head);
       },
       [&] {  // the bucket count: only before the first insertion, never 0
         const int count = kHashSizes[in.Byte() % (sizeof kHashSizes / sizeof kHashSizes[0])];
         const bool fits = count > 0 && (long long)count * (long long)sizeof(void*) <= INT_MAX;
         Check(map.SetHashSize(count) == (fits && !m.table), "SetHashSize answers wrongly");
         if (fits && !m.table) m.buckets = count;
       },
       [&] {  // a change of item function empties the map
         const bool owns = in.Flag(), destroyed = m.owns;
         if (owns)
           map.UseIntItems();
         else
           map.SetItemFunction(nullptr);
         s.Clear(destroyed);
         m.owns = owns;
       },
       [&] {  // an iterator over the map sees the list order
         if (!s.iterator || in.Flag()) s.iterator.reset(new CBasicListIterator(&map));
         s.iterator->MoveToHead();
         size_t seen = 0;
         for (void* at = s.iterator->GetCurrent(); at; at = s.iterator->GetCurrent()) {
           Check(seen < m.entries.size() && at == m.entries[seen++].item, "a walk differs");
           (*s.iterator)++;
         }
         Check(seen == m.entries.size(), "a walk misses items");
         s.at = nullptr;
         // From past the end a step goes to the head.
         CBasicListElement* head = m.entries.empty() ? nullptr : m.entries.front().node;
         for (int i = in.Byte() % 4; i > 0; --i) {
           (*s.iterator)++;
           s.at = s.at ? s.at->m_next : head;
         }
       },
       [&] {
         s.iterator.reset();
         s.at = nullptr;
       }},
      [&] { s.Verify(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
