// CBasicMap: a CBasicList with a hash index from 32-bit keys to its nodes.
#pragma once

#include "granite/CBasicList.h"
#include "granite/CBasicString.h"

class CBasicMapElement {
public:
  CBasicMapElement(CBasicMapElement* next, CBasicListElement* element, int key)
      : m_next(next), m_element(element), m_key(key) {}
  virtual ~CBasicMapElement() {}

  CBasicMapElement* m_next;
  CBasicListElement* m_element;
  int m_key;
};

class CBasicMap : public CBasicList {
public:
  CBasicMap();
  CBasicMap(const CBasicMap&) = delete;
  CBasicMap& operator=(const CBasicMap&) = delete;

  ~CBasicMap() override;
  bool Remove(void* item) override;
  void* RemoveHead() override;
  bool RemoveAll() override;
  bool RemoveAndDestroy(const void* item) override;
  bool DestroyAll() override;

  virtual bool AddNamed(CBasicString name, void* item, bool upperCase);
  virtual bool AddKeyed(int key, void* item);
  virtual bool RemoveNamed(CBasicString name, bool upperCase);
  virtual bool RemoveKeyed(int key);
  virtual void* LookupNamed(CBasicString name, bool upperCase);
  virtual void* LookupKeyed(int key);
  virtual int GetHashSize();
  // Refused (false, no change) for a count of 0 or less, one whose table size
  // would overflow, and while a table exists.
  virtual bool SetHashSize(int count);

private:
  int Bucket(int key) const;
  void DeleteEntries();
  void DropEntryOf(CBasicListElement* node);

  CBasicMapElement** m_table;
  int m_tableSize;
  int m_bucketCount;
};
