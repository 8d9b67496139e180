#include "SiblingState.h"

namespace qgp {

namespace {

// Reads the protected head pointer of any list through a member pointer
// formed in a derived class; the list itself is not touched.
struct HeadPeek : CBasicList {
  typedef CBasicListElement* CBasicList::*HeadMember;
  static HeadMember Member() { return &HeadPeek::m_head; }
};

// The same for the registry of attached iterators.
struct IteratorsPeek : CBasicList {
  typedef CBasicList* CBasicList::*IteratorsMember;
  static IteratorsMember Member() { return &IteratorsPeek::m_iterators; }
};

struct Tables {
  std::mutex lock;
  std::unordered_map<const CGraniteParser*, ParserState> states;
  std::unordered_map<const CGraniteElement*, const CGraniteParser*> rootOwners;
  std::unordered_map<const CGraniteElement*, CGraniteElement*> childOwners;
};

// Never destroyed, so that a parser outliving the static destructors at exit
// still finds its tables.
Tables& TheTables() {
  static Tables* tables = new Tables;
  return *tables;
}

}  // namespace

CBasicListElement* HeadOf(CBasicList& list) {
  return list.*HeadPeek::Member();
}

bool ListWatch::MoveToHead() {
  m_removed = true;
  return CBasicListIterator::MoveToHead();
}

bool ListWatch::Attached(CBasicList& list) {
  if (GetList() != &list) return false;
  // Emptying the list's registry detaches its iterators without telling them.
  CBasicList* registry = list.*IteratorsPeek::Member();
  for (CBasicListElement* node = registry ? HeadOf(*registry) : nullptr; node; node = node->m_next) {
    if (node->m_item == static_cast<CBasicListIterator*>(this)) return true;
  }
  return false;
}

bool ListWatch::Unchanged(CBasicList& list) {
  return m_marked && !m_removed && list.GetCount() == m_count && Attached(list);
}

void ListWatch::Mark(CBasicList& list) {
  if (!Attached(list)) {
    SetList(nullptr);
    SetList(&list);
  }
  m_count = list.GetCount();
  m_removed = false;
  m_marked = true;
}

std::mutex& StateLock() {
  return TheTables().lock;
}

ParserState& StateOf(const CGraniteParser* parser) {
  return TheTables().states[parser];
}

void DropState(const CGraniteParser* parser) {
  TheTables().states.erase(parser);
}

const CGraniteParser*& RootOwner(const CGraniteElement* element) {
  return TheTables().rootOwners[element];
}

bool IsOwnedRoot(const CGraniteElement* element) {
  return TheTables().rootOwners.count(element) != 0;
}

void ForgetRoot(const CGraniteElement* element) {
  TheTables().rootOwners.erase(element);
}

CGraniteElement* ChildOwner(const CGraniteElement* element) {
  const auto& owners = TheTables().childOwners;
  const auto found = owners.find(element);
  return found == owners.end() ? nullptr : found->second;
}

void SetChildOwner(const CGraniteElement* element, CGraniteElement* parent) {
  TheTables().childOwners[element] = parent;
}

void ForgetChild(const CGraniteElement* element) {
  TheTables().childOwners.erase(element);
}

}  // namespace qgp
