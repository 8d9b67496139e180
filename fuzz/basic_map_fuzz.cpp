// Drives a CBasicMap and an iterator through a byte stream of keyed, named and
// inherited list operations and checks them against the model of list_model.h
// and, for every key used so far, that lookups give the newest item still
// present under it (keyed nodes are only appended: the last in list order).
// Colliding keys, the extreme keys and odd bucket counts are favoured.
#include <climits>
#include <cstdint>
#include <map>
#include <set>
#include <utility>

#include "granite/CBasicMap.h"
#include "list_model.h"

namespace {

using namespace fuzz;

const char16_t* const kNames[] = {u"Part",     u"PART",    u"part",    u"",  u"bolt.prt",
                                  u"BOLT.PRT", u"\u00e4x", u"\u00c4X", u"a", u"A"};
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

int NameKey(int name, bool upper) {
  CBasicString s(kNames[name]);
  if (upper) s.MakeUpper();
  return s.GetHashValue();
}

int MakeKey(Input& in, int buckets) {
  const uint8_t b = in.Byte();
  const int v = b & 0x0F;
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
      const long long k = v + (long long)buckets * (in.Byte() % 4);
      return k > INT_MAX ? v : int(k);
    }
    case 7:
      return NameKey(v % 10, in.Flag());
    default:
      return int(in.Unit()) - 32768;
  }
}

void Run(Input& in) {
  Lists<CBasicMap, 1, 1> w;
  Probe<CBasicMap>& map = w.lists[0];
  Model& m = w.model[0];
  int buckets = 10009;
  bool table = false;
  std::set<int> keys;  // the keys looked up after every step
  // Most inputs start with a small table, where chains are long and a
  // removal's scan of the buckets is cheap; the rest keep the default.
  if (in.Byte() & 1) {
    buckets = 1 + in.Byte() % 31;
    Check(map.SetHashSize(buckets), "SetHashSize of a small count refused");
  }
  int value = 0, copy = 0;
  // The item standing for value: a copy when the map owns items, else the pool address.
  auto item = [&]() -> void* { return m.owns() ? (copy = value, &copy) : &g_pool[value]; };
  auto name = [&](int& key) {
    const int n = in.Byte() % 10;
    const bool upper = in.Flag();
    key = NameKey(n, upper);
    return std::make_pair(CBasicString(kNames[n]), upper);
  };
  auto newest = [&](int key) {
    int p = int(m.nodes.size()) - 1;
    while (p >= 0 && !(m.nodes[size_t(p)].keyed && m.nodes[size_t(p)].key == key)) --p;
    return p;
  };
  Interpret(
      "basic map fuzz", in, [&] { value = in.Byte() % kPool; },
      {[&] {  // AddKeyed, AddNamed (with or without upper-casing): a copy when owned
         if (w.Full(0)) return;
         int key = 0;
         if (in.Flag()) {
           key = MakeKey(in, buckets);
           Check(map.AddKeyed(key, item()), "AddKeyed refused");
         } else {
           auto [text, upper] = name(key);
           Check(map.AddNamed(text, item(), upper), "AddNamed refused");
         }
         table = true;
         w.Added(0, m.nodes.size(), map.Tail(), value, true, key);
         if (keys.size() < 64) keys.insert(key);
       },
       [&] {
         int key = 0;
         auto [text, upper] = name(key);
         Check(map.LookupNamed(text, upper) == m.ItemAt(newest(key)), "LookupNamed differs");
       },
       [&] {  // RemoveKeyed, RemoveNamed: the newest entry's own node goes, destroyed when owned
         int key = 0;
         const bool keyed = in.Flag();
         std::pair<CBasicString, bool> named;
         if (keyed)
           key = MakeKey(in, buckets);
         else
           named = name(key);
         const int p = newest(key);
         const bool removed =
             keyed ? map.RemoveKeyed(key) : map.RemoveNamed(named.first, named.second);
         Check(removed == (p >= 0), "RemoveKeyed/RemoveNamed answers wrongly");
         if (p >= 0) w.Erase(0, p, false);
       },
       [&] {  // the inherited removals drop the index entries of their nodes
         const int p = m.Find(value), op = in.Byte() % 3;
         if (op == 1) {
           Check(map.RemoveAndDestroy(item()) == (m.owns() && p >= 0), "RemoveAndDestroy answers");
           if (m.owns() && p >= 0) w.Erase(0, p, false);
           return;
         }
         // Remove leaves the item alive, Delete destroys it when owned; either
         // sends the iterator to the head, found or not.
         Check((op == 0 ? map.Remove(item()) : map.Delete(item())) == (p >= 0),
               "Remove/Delete answers");
         if (p >= 0) w.Erase(0, p, op == 0 && m.owns());
         w.Reset(0);
       },
       [&] {
         Check(map.RemoveHead() == m.ItemAt(0), "RemoveHead gave another item");
         if (!m.nodes.empty()) w.Erase(0, 0, m.owns());
       },
       [&] {
         if (in.Flag()) {
           Check(map.RemoveAll() == !m.nodes.empty(), "RemoveAll answers wrongly");
           w.Clear(0, false);
         } else {
           Check(map.DestroyAll() == (m.owns() && !m.nodes.empty()), "DestroyAll answers wrongly");
           if (m.owns()) w.Clear(0, true);
         }
       },
       [&] {  // unkeyed nodes through the plain list operations
         if (w.Full(0)) return;
         const bool head = in.Flag();
         void* added = w.NewItem(0, value);
         Check(head ? map.AddHead(added) : map.AddTail(added), "AddHead/AddTail refused");
         w.Added(0, head ? 0 : m.nodes.size(), head ? map.Head() : map.Tail(), value);
       },
       [&] {  // the bucket count: only before the first insertion, never 0
         const int count = kHashSizes[in.Byte() % (sizeof kHashSizes / sizeof kHashSizes[0])];
         const bool fits = count > 0 && (long long)count * (long long)sizeof(void*) <= INT_MAX;
         Check(map.SetHashSize(count) == (fits && !table), "SetHashSize answers wrongly");
         if (fits && !table) buckets = count;
       },
       [&] {  // a change of item function empties the map
         const bool owns = in.Flag();
         if (owns)
           map.UseIntItems();
         else
           map.SetItemFunction(nullptr);
         w.Clear(0, true);
         m.mode = owns ? kInts : kPlain;
       },
       [&] {  // an iterator over the map, new at the head or moved on (from past the end to the
              // head)
         std::unique_ptr<CBasicListIterator>& it = w.iterators[0];
         if (!it || in.Flag()) {
           it.reset(new CBasicListIterator(&map));
           w.on[0] = 0;
           w.at[0] = m.At(0);
         }
         for (int i = in.Byte() % 8; i > 0; --i) {
           (*it)++;
           w.at[0] = w.at[0] ? w.at[0]->m_next : m.At(0);
         }
       },
       [&] {
         w.iterators[0].reset();
         w.on[0] = -1;
       }},
      [&] {
        w.Verify();
        std::map<int, void*> found;  // the newest item under each key
        for (const Node& n : m.nodes)
          if (n.keyed) found[n.key] = n.item;
        for (int key : keys)
          Check(map.LookupKeyed(key) == (found.count(key) ? found[key] : nullptr),
                "LookupKeyed differs from the model");
        Check(map.GetHashSize() == buckets, "the bucket count differs");
      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input in(data, size);
  Run(in);
  return 0;
}
