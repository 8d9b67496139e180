// CBasicString: the UTF-16 string value class of every interface.
//
// Every module that uses the class carries its own (hidden) copy of its code;
// objects cross module boundaries by value because the layout is fixed and all
// modules share one heap.
#pragma once

#include <cstddef>
#include <string>

#include "win32/wintypes.h"

class CBasicString {
public:
  CBasicString();
  CBasicString(const CBasicString& other);
  CBasicString(const char* text);
  CBasicString(const WCHAR* text);
  CBasicString(const CBasicString* other);
  explicit CBasicString(char c);
  explicit CBasicString(WCHAR c);
  virtual ~CBasicString();

  CBasicString& operator=(const CBasicString& other);
  CBasicString& operator=(const WCHAR* text);
  CBasicString& operator=(const char* text);

  CBasicString& operator+=(const CBasicString& text);
  CBasicString& operator+=(const WCHAR* text);
  CBasicString& operator+=(const char* text);

  CBasicString operator+(const CBasicString& text) const;
  CBasicString operator+(const WCHAR* text) const;
  CBasicString operator+(const char* text) const;

  bool operator==(const CBasicString& other) const;
  bool operator==(const WCHAR* text) const;
  bool operator==(const char* text) const;
  bool operator!=(const CBasicString& other) const;
  bool operator!=(const WCHAR* text) const;
  bool operator!=(const char* text) const;
  bool operator<(const CBasicString& other) const;
  bool operator<(const WCHAR* text) const;
  bool operator<(const char* text) const;
  bool operator>(const CBasicString& other) const;
  bool operator>(const WCHAR* text) const;
  bool operator>(const char* text) const;

  int GetLength() const;
  const WCHAR* GetWideString() const;
  const char* GetMultiByte();

  int Find(const CBasicString& what, int start) const;
  int ReverseFind(char c, int start) const;
  int ReverseFind(WCHAR c, int start) const;

  bool MakeLower();
  bool MakeUpper();
  int GetHashValue() const;
  int CompareNoCase(const CBasicString& other) const;

  bool Append(const CBasicString& text);
  bool Append(const char* text);
  bool Append(const WCHAR* text);
  bool Append(const char* begin, const char* end);
  bool Assign(const CBasicString& other);

  // %s reads a wide (UTF-16) string and %S a narrow one, as on Windows.
  bool Format(const WCHAR* format, ...);
  // module: a handle from GetModuleHandleW, or null for the main module.
  bool LoadString(int id, void* module = nullptr);

  WCHAR GetAt(int i) const;
  WCHAR GetFirst() const;
  WCHAR GetLast() const;
  bool SetAt(int i, WCHAR c);
  bool IsValidIndex(int i) const;
  CBasicString Mid(int first, int last) const;
  bool Delete(int i);
  bool Replace(const CBasicString& what, const CBasicString& with);
  bool TrimLeft();
  bool TrimRight();
  bool Truncate(int n);
  bool Empty();

private:
  friend struct CBasicStringLayout;
  void ReleaseNarrow();

  std::basic_string<WCHAR> m_text;
  char* m_narrow;
};

// The layout every module relies on (4-byte pointers on 32-bit Windows, 8 on
// 64-bit Linux): a change that would break it fails to compile.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
struct CBasicStringLayout {
  static constexpr bool k64 = sizeof(void*) == 8;
  static_assert(sizeof(CBasicString) == (k64 ? 48 : 32), "CBasicString size");
  static_assert(offsetof(CBasicString, m_text) == (k64 ? 8 : 4), "CBasicString text");
  static_assert(offsetof(CBasicString, m_narrow) == (k64 ? 40 : 28), "CBasicString narrow copy");
};
#pragma GCC diagnostic pop
