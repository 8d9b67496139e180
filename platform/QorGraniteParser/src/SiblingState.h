// What the sibling keeps about a parser beside its fixed members: the roots it
// owns, the index of its resolved parts and the cache of its resolved file
// names. The class layout is shared with the loader and the host, so this
// state lives here, keyed by the parser's address, and is dropped by the
// parser's destructor.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "granite/CGraniteElement.h"
#include "granite/CGraniteParser.h"

namespace qgp {

using Text = std::basic_string<WCHAR>;

inline Text ToText(const CBasicString& s) {
  return Text(s.GetWideString(), size_t(s.GetLength()));
}
inline CBasicString ToString(const Text& t) {
  return CBasicString(t.c_str());
}

// The node set of a list as last seen: a list changed behind the sibling's back
// (a copied or assigned parser, a host adding items itself) no longer matches,
// and the index built from it is rebuilt.
struct ListSignature {
  int count = -1;
  CBasicListElement* head = nullptr;
  CBasicListElement* tail = nullptr;

  static ListSignature Of(CBasicList& list);
  bool operator==(const ListSignature& o) const {
    return count == o.count && head == o.head && tail == o.tail;
  }
  bool operator!=(const ListSignature& o) const { return !(*this == o); }
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

  ListSignature partsSignature;
  std::unordered_map<PartKey, CGraniteElement*, PartKeyHash> parts;

  // Whether filesContext holds the context the cache was built for; a parser
  // made as a copy starts without one and takes its list as it is.
  bool filesContextSet = false;
  ListSignature filesSignature;
  FileContext filesContext;
  std::unordered_map<Text, Text> files;
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
