#include "granite/CBasicList.h"

#include <cstdlib>
#include <new>

#include "granite/CBasicString.h"

namespace {

// Shared body of the three item functions: T is default-constructed by
// create, assigned by copy and compared with == by equals.
template <typename T>
bool ValueItemFunction(int operation, void** slot, const void* argument) {
  if (slot == nullptr) return false;
  T* item = static_cast<T*>(*slot);
  const T* value = static_cast<const T*>(argument);
  switch (operation) {
    case kItemCreate:
      *slot = new (std::nothrow) T();
      return true;
    case kItemDestroy:
      delete item;
      *slot = nullptr;
      return true;
    case kItemCopy:
      if (value == nullptr || item == nullptr) return false;
      *item = *value;
      return true;
    case kItemEquals:
      if (value == nullptr || item == nullptr) return false;
      return *item == *value;
    default:
      return false;
  }
}

}  // namespace

bool BasicIntItemFunction(int operation, void** slot, const void* argument) {
  return ValueItemFunction<int>(operation, slot, argument);
}

bool BasicDoubleItemFunction(int operation, void** slot, const void* argument) {
  return ValueItemFunction<double>(operation, slot, argument);
}

bool BasicStringItemFunction(int operation, void** slot, const void* argument) {
  return ValueItemFunction<CBasicString>(operation, slot, argument);
}

// ---------------------------------------------------------------------------
// CBasicList

CBasicList::CBasicList()
    : m_head(nullptr),
      m_tail(nullptr),
      m_current(nullptr),
      m_count(0),
      m_itemFunction(nullptr),
      m_iterators(nullptr),
      m_index(nullptr) {}

CBasicList::CBasicList(const CBasicList& other) : CBasicList() {
  try {
    CopyNodesFrom(other);
  } catch (...) {
    Empty();
    throw;
  }
}

CBasicList& CBasicList::operator=(const CBasicList& other) {
  if (this == &other) return *this;
  Empty();
  CopyNodesFrom(other);
  return *this;
}

CBasicList::~CBasicList() {
  CBasicList::RemoveAll();
  if (m_iterators != nullptr) {
    // Iterators that outlive the list must not reach back into it.
    for (CBasicListElement* node = m_iterators->m_head; node != nullptr; node = node->m_next) {
      CBasicListIterator* iterator = static_cast<CBasicListIterator*>(node->m_item);
      iterator->m_list = nullptr;
      iterator->m_current = nullptr;
    }
    m_iterators->RemoveAll();
    delete m_iterators;
    m_iterators = nullptr;
  }
  DropIndex();
}

void CBasicList::Empty() {
  if (m_itemFunction != nullptr)
    DestroyAll();
  else
    RemoveAll();
}

void CBasicList::CopyNodesFrom(const CBasicList& other) {
  m_itemFunction = other.m_itemFunction;
  for (CBasicListElement* node = other.m_head; node != nullptr; node = node->m_next) {
    void* item = node->m_item;
    if (m_itemFunction != nullptr) {
      item = nullptr;
      m_itemFunction(kItemCreate, &item, nullptr);
      if (item == nullptr) throw std::bad_alloc();
      if (!m_itemFunction(kItemCopy, &item, node->m_item)) {
        m_itemFunction(kItemDestroy, &item, nullptr);
        throw std::bad_alloc();
      }
    }
    Link(m_tail, item);
  }
}

void CBasicList::DropIndex() {
  std::free(m_index);
  m_index = nullptr;
}

void CBasicList::Link(CBasicListElement* after, void* item) {
  CBasicListElement* node = new CBasicListElement(item);
  node->m_previous = after;
  node->m_next = after != nullptr ? after->m_next : m_head;
  if (node->m_next != nullptr)
    node->m_next->m_previous = node;
  else
    m_tail = node;
  if (after != nullptr)
    after->m_next = node;
  else
    m_head = node;
  ++m_count;
  DropIndex();
}

void CBasicList::Unlink(CBasicListElement* node) {
  if (node->m_previous != nullptr)
    node->m_previous->m_next = node->m_next;
  else
    m_head = node->m_next;
  if (node->m_next != nullptr)
    node->m_next->m_previous = node->m_previous;
  else
    m_tail = node->m_previous;
  if (m_current == node) m_current = node->m_previous;
  --m_count;
  DropIndex();
  delete node;
}

void CBasicList::ResetIterators() {
  if (m_iterators == nullptr) return;
  for (CBasicListElement* node = m_iterators->m_head; node != nullptr;) {
    CBasicListElement* next = node->m_next;
    static_cast<CBasicListIterator*>(node->m_item)->MoveToHead();
    node = next;
  }
}

void* CBasicList::GetAt(int index) {
  CBasicListElement* node = GetElementAt(index);
  if (node == nullptr) return nullptr;
  m_current = node;
  return node->m_item;
}

int CBasicList::GetCount() const {
  return m_count;
}

CBasicListElement* CBasicList::GetHeadElement() {
  if (m_head != nullptr) m_current = m_head;
  return m_head;
}

CBasicListElement* CBasicList::GetTailElement() {
  return m_tail;
}

CBasicListElement* CBasicList::GetNextElement() {
  if (m_current == nullptr) return nullptr;
  m_current = m_current->m_next;
  return m_current;
}

CBasicListElement* CBasicList::GetPrevElement() {
  if (m_current == nullptr) return nullptr;
  m_current = m_current->m_previous;
  return m_current;
}

CBasicListElement* CBasicList::FindElement(void* item) {
  if (item == nullptr || m_head == nullptr) return nullptr;
  for (m_current = m_head; m_current != nullptr; m_current = m_current->m_next) {
    if (m_itemFunction != nullptr ? m_itemFunction(kItemEquals, &m_current->m_item, item)
                                  : m_current->m_item == item)
      break;
  }
  return m_current;
}

bool CBasicList::AddTail(void* item) {
  if (item == nullptr) return false;
  Link(m_tail, item);
  return true;
}

bool CBasicList::AddHead(void* item) {
  if (item == nullptr) return false;
  Link(nullptr, item);
  return true;
}

bool CBasicList::InsertAfter(CBasicListElement* element, void* item) {
  if (element == nullptr || item == nullptr) return false;
  Link(element, item);
  return true;
}

bool CBasicList::Remove(void* item) {
  if (item == nullptr) return false;
  CBasicListElement* node = FindElement(item);
  if (node != nullptr) Unlink(node);
  ResetIterators();
  return node != nullptr;
}

void* CBasicList::RemoveHead() {
  if (m_head == nullptr) return nullptr;
  void* item = m_head->m_item;
  Unlink(m_head);
  ResetIterators();
  return item;
}

bool CBasicList::RemoveAll() {
  if (m_head == nullptr) return false;
  for (CBasicListElement* node = m_head; node != nullptr;) {
    CBasicListElement* next = node->m_next;
    delete node;
    node = next;
  }
  m_head = m_tail = m_current = nullptr;
  m_count = 0;
  DropIndex();
  ResetIterators();
  return true;
}

void* CBasicList::GetHead() {
  return m_head != nullptr ? m_head->m_item : nullptr;
}

void* CBasicList::GetTail() {
  return m_tail != nullptr ? m_tail->m_item : nullptr;
}

CBasicListElement* CBasicList::GetCurrentElement() {
  return m_current;
}

CBasicListElement* CBasicList::GetElementAt(int index) {
  if (index < 0 || index >= m_count) return nullptr;
  if (m_index == nullptr) {
    m_index =
        static_cast<CBasicListElement**>(std::malloc(sizeof(CBasicListElement*) * size_t(m_count)));
    if (m_index == nullptr) {
      // No memory for the index: answer by walking.
      CBasicListElement* node = m_head;
      for (int i = 0; i < index; ++i) node = node->m_next;
      return node;
    }
    int i = 0;
    for (m_current = m_head; m_current != nullptr; m_current = m_current->m_next)
      m_index[i++] = m_current;
  }
  return m_index[index];
}

int CBasicList::GetNumberIterators() {
  return m_iterators != nullptr ? m_iterators->GetCount() : 0;
}

BasicItemFunction CBasicList::GetItemFunction() {
  return m_itemFunction;
}

void CBasicList::SetItemFunction(BasicItemFunction function) {
  Empty();
  m_itemFunction = function;
}

bool CBasicList::AddTailCopy(const void* item) {
  void* copy = MakeCopy(item);
  if (copy == nullptr) return false;
  Link(m_tail, copy);
  return true;
}

bool CBasicList::AddHeadCopy(const void* item) {
  void* copy = MakeCopy(item);
  if (copy == nullptr) return false;
  Link(nullptr, copy);
  return true;
}

void* CBasicList::MakeCopy(const void* item) {
  if (m_itemFunction == nullptr) return nullptr;
  void* copy = nullptr;
  if (!m_itemFunction(kItemCreate, &copy, nullptr) || copy == nullptr) return nullptr;
  if (!m_itemFunction(kItemCopy, &copy, item)) {
    m_itemFunction(kItemDestroy, &copy, nullptr);
    return nullptr;
  }
  return copy;
}

bool CBasicList::RemoveAndDestroy(const void* item) {
  if (m_itemFunction == nullptr) return false;
  CBasicListElement* node = FindElement(const_cast<void*>(item));
  if (node == nullptr) return false;
  m_itemFunction(kItemDestroy, &node->m_item, nullptr);
  Unlink(node);
  ResetIterators();
  return true;
}

bool CBasicList::DestroyAll() {
  if (m_itemFunction == nullptr || m_head == nullptr) return false;
  bool destroyed = false;
  for (CBasicListElement* node = m_head; node != nullptr; node = node->m_next)
    destroyed = m_itemFunction(kItemDestroy, &node->m_item, nullptr) || destroyed;
  RemoveAll();
  return destroyed;
}

bool CBasicList::Add(void* item) {
  return AddTailCopy(item) || AddTail(item);
}

bool CBasicList::Delete(void* item) {
  return RemoveAndDestroy(item) || Remove(item);
}

void CBasicList::UseIntItems() {
  SetItemFunction(BasicIntItemFunction);
}

void CBasicList::UseDoubleItems() {
  SetItemFunction(BasicDoubleItemFunction);
}

void CBasicList::UseStringItems() {
  SetItemFunction(BasicStringItemFunction);
}

bool CBasicList::AttachIterator(CBasicListIterator* iterator) {
  if (iterator == nullptr) return false;
  if (m_iterators == nullptr) m_iterators = new CBasicList();
  return m_iterators->AddTail(iterator);
}

bool CBasicList::DetachIterator(CBasicListIterator* iterator) {
  if (iterator == nullptr || m_iterators == nullptr) return false;
  return m_iterators->Remove(iterator);
}

bool CBasicList::DetachAllIterators() {
  if (m_iterators == nullptr) return false;
  m_iterators->RemoveAll();
  return true;
}

void CBasicList::SetCurrentElement(CBasicListElement* element) {
  m_current = element;
}

// ---------------------------------------------------------------------------
// CBasicListIterator

CBasicListIterator::CBasicListIterator(CBasicList* list) : m_list(nullptr), m_current(nullptr) {
  if (list != nullptr && list->AttachIterator(this)) {
    m_list = list;
    MoveToHead();
  }
}

CBasicListIterator::CBasicListIterator(const CBasicListIterator& other)
    : m_list(nullptr), m_current(nullptr) {
  if (other.m_list != nullptr && other.m_list->AttachIterator(this)) {
    m_list = other.m_list;
    m_current = other.m_current;
  }
}

CBasicListIterator::~CBasicListIterator() {
  if (m_list != nullptr) m_list->DetachIterator(this);
}

CBasicList* CBasicListIterator::GetList() {
  return m_list;
}

void CBasicListIterator::SetList(CBasicList* list) {
  if (m_list != nullptr) m_list->DetachIterator(this);
  m_list = nullptr;
  m_current = nullptr;
  if (list != nullptr && list->AttachIterator(this)) m_list = list;
  MoveToHead();
}

void* CBasicListIterator::MoveTo(int index) {
  if (m_list == nullptr) return nullptr;
  CBasicListElement* node = m_list->GetElementAt(index);
  if (node == nullptr) return nullptr;
  m_current = node;
  return node->m_item;
}

CBasicListIterator& CBasicListIterator::operator++(int) {
  if (m_current != nullptr)
    m_current = m_current->m_next;
  else
    MoveToHead();
  return *this;
}

CBasicListIterator& CBasicListIterator::operator++() {
  return (*this)++;
}

CBasicListIterator& CBasicListIterator::operator--(int) {
  if (m_current != nullptr)
    m_current = m_current->m_previous;
  else
    MoveToTail();
  return *this;
}

CBasicListIterator& CBasicListIterator::operator--() {
  return (*this)--;
}

void* CBasicListIterator::GetCurrent() {
  return m_list != nullptr && m_current != nullptr ? m_current->m_item : nullptr;
}

CBasicListIterator& CBasicListIterator::operator=(const CBasicListIterator& other) {
  if (this == &other) return *this;
  if (m_list != nullptr) m_list->DetachIterator(this);
  m_list = nullptr;
  m_current = nullptr;
  if (other.m_list != nullptr && other.m_list->AttachIterator(this)) {
    m_list = other.m_list;
    m_current = other.m_current;
  }
  return *this;
}

int CBasicListIterator::GetCount() {
  return m_list != nullptr ? m_list->GetCount() : 0;
}

bool CBasicListIterator::MoveToHead() {
  m_current = m_list != nullptr ? m_list->GetHeadElement() : nullptr;
  return m_current != nullptr;
}

bool CBasicListIterator::MoveToTail() {
  m_current = m_list != nullptr ? m_list->GetTailElement() : nullptr;
  return m_current != nullptr;
}

bool CBasicListIterator::AddTail(void* item) {
  return m_list != nullptr && m_list->AddTail(item);
}

bool CBasicListIterator::AddHead(void* item) {
  return m_list != nullptr && m_list->AddHead(item);
}

bool CBasicListIterator::InsertAfterCurrent(void* item) {
  if (m_list == nullptr) return false;
  if (m_current == nullptr) MoveToHead();
  return m_list->InsertAfter(m_current, item);
}

bool CBasicListIterator::Remove(void* item) {
  return m_list != nullptr && m_list->Remove(item);
}

void* CBasicListIterator::RemoveHead() {
  return m_list != nullptr ? m_list->RemoveHead() : nullptr;
}

bool CBasicListIterator::RemoveAll() {
  return m_list != nullptr && m_list->RemoveAll();
}

bool CBasicListIterator::AddTailCopy(const void* item) {
  return m_list != nullptr && m_list->AddTailCopy(item);
}

bool CBasicListIterator::AddHeadCopy(const void* item) {
  return m_list != nullptr && m_list->AddHeadCopy(item);
}

bool CBasicListIterator::RemoveAndDestroy(const void* item) {
  return m_list != nullptr && m_list->RemoveAndDestroy(item);
}

bool CBasicListIterator::DestroyAll() {
  return m_list != nullptr && m_list->DestroyAll();
}

CBasicListElement* CBasicListIterator::GetCurrentElement() {
  return m_current;
}
