#include "Registry.h"

namespace qgp {

namespace {

// The recorded answer for a name, read from its entry as it is now.
bool Recorded(const std::unordered_map<Text, CGraniteResolvedFileEntry*>& files,
              const Text& name, Text& answer) {
  const auto found = files.find(name);
  if (found == files.end()) return false;
  if (ToText(found->second->GetOriginalFilename()) != name) return false;
  answer = ToText(found->second->GetResolvedFilename());
  return true;
}

}  // namespace

Registry& Registry::Instance() {
  static Registry* registry = new Registry;
  return *registry;
}

bool Registry::ListWatch::MoveToHead() {
  m_removed = true;
  return CBasicListIterator::MoveToHead();
}

bool Registry::ListWatch::Unchanged(CBasicList& list) {
  return m_marked && !m_removed && list.GetCount() == m_count && Attached(list);
}

void Registry::ListWatch::Mark(CBasicList& list) {
  if (!Attached(list)) {
    SetList(nullptr);
    SetList(&list);
  }
  m_count = list.GetCount();
  m_removed = false;
  m_marked = true;
}

size_t Registry::PartKeyHash::operator()(const PartKey& k) const {
  const size_t a = std::hash<Text>()(k.file);
  const size_t b = std::hash<Text>()(k.configuration);
  return a ^ (b + 0x9e3779b97f4a7c15ull + (a << 6) + (a >> 2));
}

Registry::PartKey Registry::KeyOf(CGraniteElement* element) {
  return PartKey{ToText(element->GetFilename()), ToText(element->GetConfigurationName())};
}

// ---- Parsers

void Registry::ParserMade(const CGraniteParser* parser) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_parsers.erase(parser);
}

void Registry::ParserGone(const CGraniteParser* parser, std::vector<CGraniteElement*>& roots,
                          std::vector<std::unique_ptr<C3DMGroup>>& groups) {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto found = m_parsers.find(parser);
  if (found == m_parsers.end()) return;
  roots.swap(found->second.ownedRoots);
  groups.swap(found->second.ownedGroups);
  for (CGraniteElement* root : roots) m_rootOwners.erase(root);
  m_parsers.erase(found);
}

void Registry::KeepGroup(const CGraniteParser* parser, std::unique_ptr<C3DMGroup> group) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_parsers[parser].ownedGroups.push_back(std::move(group));
}

bool Registry::TakeRoot(const CGraniteParser* parser, CGraniteElement* element) {
  std::lock_guard<std::mutex> hold(m_lock);
  const auto root = m_rootOwners.find(element);
  const CGraniteParser* owner = root == m_rootOwners.end() ? nullptr : root->second;
  if (owner == parser) return false;
  ParserState& state = m_parsers[parser];
  // A new root begins a load: files missing in an earlier one may be there now.
  state.misses.clear();
  if (owner == nullptr && OwnerOf(element) == nullptr) {
    m_rootOwners[element] = parser;
    state.ownedRoots.push_back(element);
  }
  return true;
}

// ---- Elements

CGraniteElement* Registry::OwnerOf(CGraniteElement* child) {
  const auto found = m_childOwners.find(child);
  if (found == m_childOwners.end()) return nullptr;
  CGraniteElement* owner = found->second;
  for (const CBasicListElement* node = owner->GetChildList()->PeekHeadElement(); node;
       node = node->m_next) {
    if (node->m_item == child) return owner;
  }
  m_childOwners.erase(found);
  return nullptr;
}

bool Registry::AddChild(CGraniteElement* parent, CGraniteElement* child) {
  std::lock_guard<std::mutex> hold(m_lock);
  if (OwnerOf(child) != nullptr || m_rootOwners.count(child) != 0) return false;
  // Only an element with children can be an ancestor; a new one (the usual
  // case) costs no walk up the tree.
  if (child->GetNumberChildren() > 0) {
    for (CGraniteElement* up = OwnerOf(parent); up != nullptr; up = OwnerOf(up)) {
      if (up == child) return false;
    }
  }
  if (!parent->GetChildList()->AddTail(child)) return false;
  m_childOwners[child] = parent;
  m_ownedBy[parent].push_back(child);
  return true;
}

void Registry::TakeChildren(CGraniteElement* owner, std::vector<CGraniteElement*>& pending) {
  C3DMList* list = owner->GetChildList();
  {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto owned = m_ownedBy.find(owner);
    if (owned != m_ownedBy.end()) {
      for (CBasicListElement* node = list->PeekHeadElement(); node; node = node->m_next) {
        CGraniteElement* child = static_cast<CGraniteElement*>(node->m_item);
        const auto record = m_childOwners.find(child);
        if (record != m_childOwners.end() && record->second == owner) {
          m_childOwners.erase(record);  // a second listing is not taken again
          pending.push_back(child);
        }
      }
      // Children the host took out of the list are its own from now on.
      for (const CGraniteElement* child : owned->second) {
        const auto record = m_childOwners.find(child);
        if (record != m_childOwners.end() && record->second == owner) m_childOwners.erase(record);
      }
      m_ownedBy.erase(owned);
    }
  }
  list->RemoveAll();
}

// ---- Resolved parts

bool Registry::AddResolvedPart(const CGraniteParser* parser, CBasicList& list,
                               CGraniteElement* element) {
  std::lock_guard<std::mutex> hold(m_lock);
  ParserState& state = m_parsers[parser];
  const bool indexCurrent = state.partsWatch.Unchanged(list);
  if (!list.AddTail(element)) return false;
  if (indexCurrent) {
    state.parts.emplace(KeyOf(element), element);
    state.partsWatch.Mark(list);
  } else {
    state.partsWatch.Reset();  // rebuilt on the next lookup
  }
  return true;
}

void Registry::RebuildParts(ParserState& state, CBasicList& list) {
  state.parts.clear();
  for (CBasicListElement* node = list.PeekHeadElement(); node; node = node->m_next) {
    CGraniteElement* element = static_cast<CGraniteElement*>(node->m_item);
    if (element != nullptr) state.parts.emplace(KeyOf(element), element);
  }
  state.partsWatch.Mark(list);
}

// An element renamed since it was recorded has the index rebuilt.
CGraniteElement* Registry::FindResolvedPart(const CGraniteParser* parser, CBasicList& list,
                                            const Text& file, const Text& configuration) {
  const PartKey key{file, configuration};
  std::lock_guard<std::mutex> hold(m_lock);
  ParserState& state = m_parsers[parser];
  if (state.partsWatch.Unchanged(list)) {
    const auto found = state.parts.find(key);
    if (found == state.parts.end()) return nullptr;
    if (KeyOf(found->second) == key) return found->second;
  }
  RebuildParts(state, list);
  const auto found = state.parts.find(key);
  return found == state.parts.end() ? nullptr : found->second;
}

bool Registry::RecordPlacedPart(const CGraniteParser* parser, const C3DMWorld* world,
                                const C3DMGroup* group, const C3DMGroup* shown) {
  std::lock_guard<std::mutex> hold(m_lock);
  ParserState& state = m_parsers[parser];
  if (state.placedWorld != world) {
    state.placed.clear();
    state.placedWorld = world;
  }
  return state.placed.emplace(group, shown).second;
}

// ---- Resolved file names

// The newest entry of a name wins.
void Registry::RebuildFiles(ParserState& state, CBasicList& list) {
  state.files.clear();
  for (CBasicListElement* node = list.PeekHeadElement(); node; node = node->m_next) {
    CGraniteResolvedFileEntry* entry = static_cast<CGraniteResolvedFileEntry*>(node->m_item);
    if (entry != nullptr) state.files[ToText(entry->GetOriginalFilename())] = entry;
  }
  state.filesWatch.Mark(list);
}

bool Registry::LookUpFile(const CGraniteParser* parser, CBasicList& list,
                          const FileContext& context, const Text& name, Text& answer) {
  std::lock_guard<std::mutex> hold(m_lock);
  ParserState& state = m_parsers[parser];
  if (!state.filesContextSet) {
    state.filesContextSet = true;
    state.filesContext = context;
    RebuildFiles(state, list);
  } else if (!(state.filesContext == context)) {
    // Another model file, directory or callback: the earlier answers stay in
    // the list, but every name is searched again.
    state.files.clear();
    state.misses.clear();
    state.filesContext = context;
    state.filesWatch.Mark(list);
  } else if (!state.filesWatch.Unchanged(list)) {
    RebuildFiles(state, list);
  }
  // An entry changed in place since: the cache is rebuilt from the list.
  if (!Recorded(state.files, name, answer) && state.files.count(name) != 0) {
    RebuildFiles(state, list);
    Recorded(state.files, name, answer);
  }
  if (!answer.empty()) return true;
  const auto missed = state.misses.find(name);
  if (missed == state.misses.end()) return false;
  answer = missed->second;
  return true;
}

void Registry::RecordFile(const CGraniteParser* parser, CBasicList& list,
                          const FileContext& context, const CBasicString& name,
                          const Text& resolved, bool found) {
  std::lock_guard<std::mutex> hold(m_lock);
  ParserState& state = m_parsers[parser];
  if (!found) {
    if (state.filesContext == context) state.misses[ToText(name)] = resolved;
    return;
  }
  const bool current = state.filesContext == context && state.filesWatch.Unchanged(list);
  CGraniteResolvedFileEntry entry;
  entry.SetOriginalFilename(name);
  entry.SetResolvedFilename(ToString(resolved));
  if (!list.AddTailCopy(&entry)) list.AddTail(new CGraniteResolvedFileEntry(entry));
  if (current) {
    state.files[ToText(name)] =
        static_cast<CGraniteResolvedFileEntry*>(list.GetTailElement()->m_item);
    state.filesWatch.Mark(list);
  } else {
    state.filesWatch.Reset();
  }
}

}  // namespace qgp
