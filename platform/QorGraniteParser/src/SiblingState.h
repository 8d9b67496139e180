// What the sibling keeps about a parser beside its fixed members: the roots it
// owns, the index of its resolved parts and the cache of its resolved file
// names. The class layout is shared with the loader and the host, so this
// state lives here, keyed by the parser's address, and is dropped by the
// parser's destructor.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <string>
#include <unordered_map>
#include <vector>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "qorvelaex/C3DMScene.h"

namespace qgp {

using Text = std::basic_string<WCHAR>;

inline Text ToText(const CBasicString& s) {
  return Text(s.GetWideString(), size_t(s.GetLength()));
}
inline CBasicString ToString(const Text& t) {
  return CBasicString(t.c_str());
}

// Tells whether a list is still as it was when an index was built from it.
// Adding only ever raises the count, and after every removal the list moves
// each attached iterator to its head; a watch attached to the list hears of
// those moves. So a list whose watch heard nothing and whose count is the one
// marked holds exactly the nodes it held then, whoever changed it meanwhile
// (a host, an assignment of the parser). An index built from such a list can
// be trusted; any other is rebuilt.
class ListWatch : private CBasicListIterator {
 public:
  ListWatch() = default;
  ListWatch(const ListWatch&) = delete;
  ListWatch& operator=(const ListWatch&) = delete;

  // The list holds the nodes it held when it was last marked.
  bool Unchanged(CBasicList& list);
  // From now on: an index has just been built from the list, or the
  // list has just been added to along with its index.
  void Mark(CBasicList& list);
  // Forget the list: the next Unchanged is false.
  void Reset() { m_marked = false; }

 private:
  bool MoveToHead() override;
  bool Attached(CBasicList& list);
  bool m_marked = false;
  bool m_removed = false;
  int m_count = 0;
};

// First node of a list without moving the list's own current element.
CBasicListElement* HeadOf(CBasicList& list);

struct PartKey {
  Text file;
  Text configuration;
  bool operator==(const PartKey& o) const {
    return file == o.file && configuration == o.configuration;
  }
};

struct PartKeyHash {
  size_t operator()(const PartKey& k) const {
    const size_t a = std::hash<Text>()(k.file);
    const size_t b = std::hash<Text>()(k.configuration);
    return a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
  }
};

// What a resolved file name depends on besides the name itself.
struct FileContext {
  Text parserDirectory;
  Text installationDirectory;
  GraniteSupportFileCallback callback = nullptr;
  bool operator==(const FileContext& o) const {
    return parserDirectory == o.parserDirectory &&
           installationDirectory == o.installationDirectory && callback == o.callback;
  }
};

struct ParserState {
  // Roots this parser deletes when it is destroyed, in the order they came.
  std::vector<CGraniteElement*> ownedRoots;
  // Groups made for elements while the parser had no world; deleted with the
  // parser, after its roots.
  std::vector<std::unique_ptr<C3DMGroup>> ownedGroups;

  // Which group shows which resolved part's group, placed by reuse, and the
  // world those groups belong to (another world: the records are dropped).
  C3DMWorld* placedWorld = nullptr;
  std::set<std::pair<const C3DMGroup*, const C3DMGroup*>> placed;

  ListWatch partsWatch;
  std::unordered_map<PartKey, CGraniteElement*, PartKeyHash> parts;

  // Whether filesContext holds the context the cache was built for; a parser
  // made as a copy starts without one and takes its list as it is.
  bool filesContextSet = false;
  ListWatch filesWatch;
  FileContext filesContext;
  // The newest entry of each name in the resolved-files list; the entries
  // belong to the list.
  std::unordered_map<Text, CGraniteResolvedFileEntry*> files;
  // Names found nowhere during the current load, with the answer given; a new
  // root element (the next load) searches them again.
  std::unordered_map<Text, Text> misses;
};

// Every access to the tables below holds this lock. It is never held while a
// host callback or the file system is called.
std::mutex& StateLock();
// The state of a parser, created empty on first use.
ParserState& StateOf(const CGraniteParser* parser);
// Drops a parser's state (its destructor; a new parser at a reused address).
void DropState(const CGraniteParser* parser);
// The parser that owns a root element, or null.
const CGraniteParser*& RootOwner(const CGraniteElement* element);
bool IsOwnedRoot(const CGraniteElement* element);
void ForgetRoot(const CGraniteElement* element);
// The element that owns a child (AddChild), or null. Kept by address so that
// a child list can tell its own children from a copy's view of another
// element's children without reading them: those may be gone already.
CGraniteElement* ChildOwner(const CGraniteElement* element);
void SetChildOwner(const CGraniteElement* element, CGraniteElement* parent);
void ForgetChild(const CGraniteElement* element);

}  // namespace qgp
