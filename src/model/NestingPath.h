// The path a recursive walk is descending (assemblies inside assemblies), so
// that an entry that contains itself, directly or further down, is not walked
// again without end.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace granite {

// Nesting beyond this many levels is refused like a cycle; no real assembly
// comes near it. The backstop for a kernel that hands out a new object, or a
// file system a new name, for the same entry.
constexpr std::size_t kMaxNesting = 256;

// Entry compares with ==. Each Entry type has one path per process: one load
// runs at a time.
template <class Entry>
class NestingPath {
 public:
  // Puts the entry on the path for the life of this object.
  explicit NestingPath(Entry entry) { Entries().push_back(std::move(entry)); }
  ~NestingPath() { Entries().pop_back(); }
  NestingPath(const NestingPath&) = delete;
  NestingPath& operator=(const NestingPath&) = delete;

  // Whether walking the entry now would repeat the path or pass kMaxNesting.
  static bool Refuses(const Entry& entry) {
    const std::vector<Entry>& path = Entries();
    if (path.size() >= kMaxNesting) return true;
    for (const Entry& on : path)
      if (on == entry) return true;
    return false;
  }

 private:
  static std::vector<Entry>& Entries() {
    static std::vector<Entry> path;
    return path;
  }
};

}  // namespace granite
