#include "granite/CBasicMap.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const int kDefaultBuckets = 10009;

int NameKey(CBasicString name, bool upperCase) {
  if (upperCase) name.MakeUpper();
  return name.GetHashValue();
}

}  // namespace

CBasicMap::CBasicMap() : m_table(nullptr), m_tableSize(0), m_bucketCount(kDefaultBuckets) {}

CBasicMap::~CBasicMap() {
  DeleteEntries();
  CBasicMap::RemoveAll();
  std::free(m_table);
  m_table = nullptr;
  m_tableSize = 0;
}

// The key's magnitude as an unsigned number, so the most negative key is defined.
int CBasicMap::Bucket(int key) const {
  const uint32_t magnitude = key < 0 ? 0u - static_cast<uint32_t>(key) : static_cast<uint32_t>(key);
  return static_cast<int>(magnitude % static_cast<uint32_t>(m_bucketCount));
}

void CBasicMap::DeleteEntries() {
  if (m_table == nullptr) return;
  for (int i = 0; i < m_bucketCount; ++i) {
    for (CBasicMapElement* entry = m_table[i]; entry != nullptr;) {
      CBasicMapElement* next = entry->m_next;
      delete entry;
      entry = next;
    }
  }
  std::memset(m_table, 0, size_t(m_tableSize));
}

// Drops the entry that refers to node, before the node is deleted. A node has
// at most one entry; nodes added through the plain list operations have none.
void CBasicMap::DropEntryOf(CBasicListElement* node) {
  if (m_table == nullptr || node == nullptr) return;
  for (int i = 0; i < m_bucketCount; ++i) {
    for (CBasicMapElement** link = &m_table[i]; *link != nullptr; link = &(*link)->m_next) {
      if ((*link)->m_element == node) {
        CBasicMapElement* entry = *link;
        *link = entry->m_next;
        delete entry;
        return;
      }
    }
  }
}

bool CBasicMap::Remove(void* item) {
  if (item == nullptr) return false;
  CBasicListElement* node = FindElement(item);
  if (node != nullptr) {
    DropEntryOf(node);
    Unlink(node);
  }
  ResetIterators();
  return node != nullptr;
}

void* CBasicMap::RemoveHead() {
  DropEntryOf(m_head);
  return CBasicList::RemoveHead();
}

bool CBasicMap::RemoveAll() {
  DeleteEntries();
  return CBasicList::RemoveAll();
}

bool CBasicMap::RemoveAndDestroy(const void* item) {
  if (m_itemFunction == nullptr) return false;
  CBasicListElement* node = FindElement(const_cast<void*>(item));
  if (node == nullptr) return false;
  DropEntryOf(node);
  m_itemFunction(kItemDestroy, &node->m_item, nullptr);
  Unlink(node);
  ResetIterators();
  return true;
}

bool CBasicMap::DestroyAll() {
  // Without an item function the list keeps its items, so the index stays too.
  if (m_itemFunction == nullptr) return false;
  DeleteEntries();
  return CBasicList::DestroyAll();
}

bool CBasicMap::AddNamed(CBasicString name, void* item, bool upperCase) {
  return AddKeyed(NameKey(name, upperCase), item);
}

bool CBasicMap::AddKeyed(int key, void* item) {
  if (item == nullptr) return false;
  if (m_table == nullptr) {
    m_table = static_cast<CBasicMapElement**>(
        std::calloc(size_t(m_bucketCount), sizeof(CBasicMapElement*)));
    if (m_table == nullptr) return false;
    m_tableSize = m_bucketCount * int(sizeof(CBasicMapElement*));
  }
  CBasicListElement* oldTail = m_tail;
  if (!Add(item) || m_tail == oldTail) return false;
  const int bucket = Bucket(key);
  m_table[bucket] = new CBasicMapElement(m_table[bucket], m_tail, key);
  return true;
}

bool CBasicMap::RemoveNamed(CBasicString name, bool upperCase) {
  return RemoveKeyed(NameKey(name, upperCase));
}

bool CBasicMap::RemoveKeyed(int key) {
  if (m_table == nullptr) return false;
  for (CBasicMapElement** link = &m_table[Bucket(key)]; *link != nullptr; link = &(*link)->m_next) {
    CBasicMapElement* entry = *link;
    if (entry->m_key != key) continue;
    *link = entry->m_next;
    // The entry's own node: a search by item could hit another key's node.
    CBasicListElement* node = entry->m_element;
    delete entry;
    if (m_itemFunction != nullptr) m_itemFunction(kItemDestroy, &node->m_item, nullptr);
    Unlink(node);
    ResetIterators();
    return true;
  }
  return false;
}

void* CBasicMap::LookupNamed(CBasicString name, bool upperCase) {
  return LookupKeyed(NameKey(name, upperCase));
}

void* CBasicMap::LookupKeyed(int key) {
  if (m_table == nullptr) return nullptr;
  for (CBasicMapElement* entry = m_table[Bucket(key)]; entry != nullptr; entry = entry->m_next)
    if (entry->m_key == key) return entry->m_element->m_item;
  return nullptr;
}

int CBasicMap::GetHashSize() {
  return m_bucketCount;
}

bool CBasicMap::SetHashSize(int count) {
  if (count <= 0 || m_table != nullptr) return false;
  if (count > INT_MAX / int(sizeof(CBasicMapElement*))) return false;
  m_bucketCount = count;
  return true;
}
