// The translated assembly definitions on the path the sub-assembly walk is
// descending, so that a definition that places itself, directly or further
// down, is not walked again without end.
#pragma once

class xobject;

class SubAssemblyPath {
 public:
  // The deepest walk allowed, far beyond any real assembly; the backstop for a
  // kernel that hands out a new object for the same definition.
  static constexpr int kMaxDepth = 256;

  // Puts the definition on the path for the life of this object.
  explicit SubAssemblyPath(const xobject* definition);
  ~SubAssemblyPath();
  SubAssemblyPath(const SubAssemblyPath&) = delete;
  SubAssemblyPath& operator=(const SubAssemblyPath&) = delete;

  // Whether walking the definition now would repeat the path or pass the limit.
  static bool Refuses(const xobject* definition);
};
