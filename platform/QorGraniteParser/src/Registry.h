// What the sibling keeps beside the fixed members of the parser and the
// element: the layout of both classes is shared with the loader and the host,
// so this state lives in one process-wide registry, keyed by address. Nothing
// else in the sibling touches it.
//
// What it holds:
// - root records: the parser that owns a root element (AddElementToList) and
//   deletes it with its destructor; the groups a parser made without a world;
// - child records: the element that owns a child (AddChild) and deletes it in
//   its ClearChildList; with each owner, the children recorded for it;
// - per parser: the index of its resolved parts, the cache of its resolved
//   file names and the names found nowhere, the groups placed by reuse.
//
// Invariants:
// 1. An element is at most one parser's root or one element's child, not both;
//    whoever holds the record deletes it, once.
// 2. Every record names a live owner: a parser's destructor drops its roots
//    (and deletes them), an element's ClearChildList (which its destructor and
//    its assignment call) drops every child record naming it.
// 3. A child record holds only while its owner's list holds the child. One
//    that does not (the host took the child out of the list, and may have
//    deleted it and had a new element made at its address) is stale and is
//    dropped where it is read; by 2 reading the owner's list is safe.
// 4. A parser's state lives from its construction to its destruction; a
//    parser made at the address of a dead one starts empty.
// 5. The index of resolved parts and the cache of file names are trusted only
//    while their list provably holds the nodes they were built from (ListWatch)
//    and each hit still carries the name it was filed under; else rebuilt.
//
// The lock: the loader runs one load at a time, but the records are shared by
// every parser and element of the process, and a host may tear down one
// model's tree on a thread of its own while another thread loads the next.
// Every access holds the lock; it is never held while a host callback or the
// file system is called. Uncontended, it costs one atomic pair per call.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Text.h"
#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"
#include "qorvelaex/C3DMScene.h"

namespace qgp {

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

class Registry {
 public:
  // Never destroyed, so that a parser outliving the static destructors at
  // exit still finds it.
  static Registry& Instance();

  // Parsers. A new parser drops what a dead one left at its address. A parser
  // going away hands back its roots and groups, to be deleted by the caller.
  void ParserMade(const CGraniteParser* parser);
  void ParserGone(const CGraniteParser* parser, std::vector<CGraniteElement*>& roots,
                  std::vector<std::unique_ptr<C3DMGroup>>& groups);
  void KeepGroup(const CGraniteParser* parser, std::unique_ptr<C3DMGroup> group);
  // A new root: false when it already is one of this parser's roots. An
  // element owned elsewhere is listed by the caller but not taken over.
  bool TakeRoot(const CGraniteParser* parser, CGraniteElement* element);

  // Elements. AddChild appends the child to the parent's list and records
  // the parent as its owner; false (nothing changed) for a child that is
  // owned already or is one of the parent's ancestors.
  bool AddChild(CGraniteElement* parent, CGraniteElement* child);
  // Moves the children the owner owns to pending, drops every child record
  // naming it, and empties its list.
  void TakeChildren(CGraniteElement* owner, std::vector<CGraniteElement*>& pending);

  // Resolved parts, recorded in the parser's list; the first element recorded
  // for a file and configuration is the one found.
  bool AddResolvedPart(const CGraniteParser* parser, CBasicList& list, CGraniteElement* element);
  CGraniteElement* FindResolvedPart(const CGraniteParser* parser, CBasicList& list,
                                    const Text& file, const Text& configuration);
  // False when group already shows shown in the parser's world.
  bool RecordPlacedPart(const CGraniteParser* parser, const C3DMWorld* world,
                        const C3DMGroup* group, const C3DMGroup* shown);

  // Resolved file names, recorded in the parser's list of entries. LookUpFile
  // gives the answer known for a name in this context (a file found, or the
  // place a name found nowhere was expected); RecordFile files the result of
  // a search made without the lock.
  bool LookUpFile(const CGraniteParser* parser, CBasicList& list, const FileContext& context,
                  const Text& name, Text& answer);
  void RecordFile(const CGraniteParser* parser, CBasicList& list, const FileContext& context,
                  const CBasicString& name, const Text& resolved, bool found);

 private:
  // Tells whether a list is still as it was when an index was built from it.
  // Adding only ever raises the count, and after every removal the list moves
  // each attached iterator to its head; a watch attached to the list hears of
  // those moves. So a list whose watch heard nothing and whose count is the
  // one marked holds exactly the nodes it held then, whoever changed it
  // meanwhile (a host, an assignment of the parser).
  class ListWatch : private CBasicListIterator {
   public:
    ListWatch() = default;
    ListWatch(const ListWatch&) = delete;
    ListWatch& operator=(const ListWatch&) = delete;
    // The list holds the nodes it held when it was last marked.
    bool Unchanged(CBasicList& list);
    // An index has just been built from the list, or the list has just been
    // added to along with its index.
    void Mark(CBasicList& list);
    // Forget the list: the next Unchanged is false.
    void Reset() { m_marked = false; }

   private:
    bool MoveToHead() override;
    // Emptying the list's registry of iterators detaches them without telling them.
    bool Attached(CBasicList& list) { return GetList() == &list && list.HasIterator(this); }
    bool m_marked = false;
    bool m_removed = false;
    int m_count = 0;
  };

  struct PartKey {
    Text file;
    Text configuration;
    bool operator==(const PartKey& o) const {
      return file == o.file && configuration == o.configuration;
    }
  };
  struct PartKeyHash {
    size_t operator()(const PartKey& k) const;
  };

  struct ParserState {
    // Roots this parser deletes when it is destroyed, in the order they came.
    std::vector<CGraniteElement*> ownedRoots;
    // Groups made while the parser had no world; deleted after its roots.
    std::vector<std::unique_ptr<C3DMGroup>> ownedGroups;
    // Which group shows which resolved part's group, and the world they belong
    // to (another world: the records are dropped).
    const C3DMWorld* placedWorld = nullptr;
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
    // Names found nowhere during the current load, with the answer given; a
    // new root element (the next load) searches them again.
    std::unordered_map<Text, Text> misses;
  };

  Registry() = default;
  static PartKey KeyOf(CGraniteElement* element);
  void RebuildParts(ParserState& state, CBasicList& list);
  void RebuildFiles(ParserState& state, CBasicList& list);
  // The owner of a child, or null; a stale record (invariant 3) is dropped.
  CGraniteElement* OwnerOf(CGraniteElement* child);

  std::mutex m_lock;
  std::unordered_map<const CGraniteParser*, ParserState> m_parsers;
  std::unordered_map<const CGraniteElement*, const CGraniteParser*> m_rootOwners;
  std::unordered_map<const CGraniteElement*, CGraniteElement*> m_childOwners;
  // The children recorded for each owner, some perhaps since dropped or
  // recorded anew for another owner: read against m_childOwners.
  std::unordered_map<const CGraniteElement*, std::vector<const CGraniteElement*>> m_ownedBy;
};

}  // namespace qgp
