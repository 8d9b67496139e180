// CBasicList: a doubly linked list of untyped item pointers, its node and its
// self-registering iterator. The order of the virtual operations and the node
// layout are shared with the host's C3DMList.
#pragma once

#include <cstddef>

class CBasicListIterator;

// Item function: operation code, item slot, argument.
enum BasicItemOperation { kItemCreate = 0, kItemDestroy = 1, kItemCopy = 2, kItemEquals = 3 };
typedef bool (*BasicItemFunction)(int operation, void** slot, const void* argument);

bool BasicIntItemFunction(int operation, void** slot, const void* argument);
bool BasicDoubleItemFunction(int operation, void** slot, const void* argument);
bool BasicStringItemFunction(int operation, void** slot, const void* argument);

class CBasicListElement {
  friend struct CBasicListLayout;
public:
  CBasicListElement(void* item = nullptr) : m_previous(nullptr), m_next(nullptr), m_item(item) {}
  virtual ~CBasicListElement() {}

  CBasicListElement* m_previous;
  CBasicListElement* m_next;
  void* m_item;
};

class CBasicList {
  friend struct CBasicListLayout;
public:
  CBasicList();
  // Copies the nodes in order; items through the item function when one is
  // set, else the pointers. No iterators, index or current element are copied.
  CBasicList(const CBasicList& other);
  CBasicList& operator=(const CBasicList& other);

  virtual ~CBasicList();
  virtual void* GetAt(int index);
  virtual int GetCount() const;
  virtual CBasicListElement* GetHeadElement();
  virtual CBasicListElement* GetTailElement();
  virtual CBasicListElement* GetNextElement();
  virtual CBasicListElement* GetPrevElement();
  virtual CBasicListElement* FindElement(void* item);
  virtual bool AddTail(void* item);
  virtual bool AddHead(void* item);
  virtual bool InsertAfter(CBasicListElement* element, void* item);
  virtual bool Remove(void* item);
  virtual void* RemoveHead();
  virtual bool RemoveAll();
  virtual void* GetHead();
  virtual void* GetTail();
  virtual CBasicListElement* GetCurrentElement();
  virtual CBasicListElement* GetElementAt(int index);
  virtual int GetNumberIterators();
  virtual BasicItemFunction GetItemFunction();
  virtual void SetItemFunction(BasicItemFunction function);
  virtual bool AddTailCopy(const void* item);
  virtual bool AddHeadCopy(const void* item);
  virtual bool RemoveAndDestroy(const void* item);
  virtual bool DestroyAll();
  virtual bool Add(void* item);
  virtual bool Delete(void* item);
  virtual void UseIntItems();
  virtual void UseDoubleItems();
  virtual void UseStringItems();
  virtual bool AttachIterator(CBasicListIterator* iterator);
  virtual bool DetachIterator(CBasicListIterator* iterator);
  virtual bool DetachAllIterators();
  virtual void SetCurrentElement(CBasicListElement* element);

  // The first node, and whether an iterator is attached, read without moving
  // the current element. Not virtual: the layout below stays as it is.
  CBasicListElement* PeekHeadElement() const { return m_head; }
  bool HasIterator(const CBasicListIterator* iterator) const {
    for (const CBasicListElement* node = m_iterators ? m_iterators->m_head : nullptr; node;
         node = node->m_next) {
      if (node->m_item == iterator) return true;
    }
    return false;
  }

protected:
  // Node-level helpers. Link and Unlink keep head, tail, count and the current
  // element in step and drop the element index; they do not touch iterators.
  void Link(CBasicListElement* after, void* item);
  void Unlink(CBasicListElement* node);
  void ResetIterators();
  void DropIndex();
  // Empties the list, destroying the items when an item function owns them.
  void Empty();
  void CopyNodesFrom(const CBasicList& other);
  void* MakeCopy(const void* item);

  CBasicListElement* m_head;
  CBasicListElement* m_tail;
  CBasicListElement* m_current;
  int m_count;
  BasicItemFunction m_itemFunction;
  CBasicList* m_iterators;
  CBasicListElement** m_index;
};

class CBasicListIterator {
public:
  // Attaches to the list (null stays detached) and moves to its head.
  CBasicListIterator(CBasicList* list = nullptr);
  CBasicListIterator(const CBasicListIterator& other);

  virtual ~CBasicListIterator();
  virtual CBasicList* GetList();
  virtual void SetList(CBasicList* list);
  virtual void* MoveTo(int index);
  virtual CBasicListIterator& operator++(int);
  virtual CBasicListIterator& operator++();
  virtual CBasicListIterator& operator--(int);
  virtual CBasicListIterator& operator--();
  virtual void* GetCurrent();
  virtual CBasicListIterator& operator=(const CBasicListIterator& other);
  virtual int GetCount();
  virtual bool MoveToHead();
  virtual bool MoveToTail();
  virtual bool AddTail(void* item);
  virtual bool AddHead(void* item);
  virtual bool InsertAfterCurrent(void* item);
  virtual bool Remove(void* item);
  virtual void* RemoveHead();
  virtual bool RemoveAll();
  virtual bool AddTailCopy(const void* item);
  virtual bool AddHeadCopy(const void* item);
  virtual bool RemoveAndDestroy(const void* item);
  virtual bool DestroyAll();
  virtual CBasicListElement* GetCurrentElement();

private:
  friend struct CBasicListLayout;
  friend class CBasicList;
  CBasicList* m_list;
  CBasicListElement* m_current;
};

// The layout every module relies on (4-byte pointers on 32-bit Windows, 8 on
// 64-bit Linux): a change that would break it fails to compile.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CBasicListLayout {
  static constexpr size_t P = sizeof(void*);
  static_assert(sizeof(CBasicListElement) == 4 * P, "CBasicListElement size");
  static_assert(offsetof(CBasicListElement, m_previous) == P, "node previous");
  static_assert(offsetof(CBasicListElement, m_next) == 2 * P, "node next");
  static_assert(offsetof(CBasicListElement, m_item) == 3 * P, "node item");
  static_assert(sizeof(CBasicList) == 8 * P, "CBasicList size");
  static_assert(offsetof(CBasicList, m_head) == P && offsetof(CBasicList, m_tail) == 2 * P &&
                    offsetof(CBasicList, m_current) == 3 * P && offsetof(CBasicList, m_count) == 4 * P &&
                    offsetof(CBasicList, m_itemFunction) == 5 * P &&
                    offsetof(CBasicList, m_iterators) == 6 * P && offsetof(CBasicList, m_index) == 7 * P,
                "CBasicList members");
  static_assert(sizeof(CBasicListIterator) == 3 * P, "CBasicListIterator size");
  static_assert(offsetof(CBasicListIterator, m_list) == P &&
                    offsetof(CBasicListIterator, m_current) == 2 * P,
                "CBasicListIterator members");
};
#pragma GCC diagnostic pop
