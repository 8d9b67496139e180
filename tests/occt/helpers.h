// Helpers of the translator tests: translating files through the kernel's
// interface, walking what comes out, and measuring meshes.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "gkit/bodies.h"
#include "gkit/testkit.h"

namespace otest {

inline const std::string& RealData() {
  static const std::string dir = std::string(GRANITE_DATA_DIR) + "/real/";
  return dir;
}

// Whether the shared sample files are there (tests of them skip otherwise).
bool HaveRealData();

// Opens path through the session and translates it with format; null with
// the kernel's reason in reason.
xrchandle<KModel> Translate(const std::string& path, int format, std::string* reason = nullptr);

using gkit::Bodies;
using gkit::Components;
using gkit::Definition;
std::string FileName(const xrchandle<KComponent>& component);

// Writes one of the models of written_test.cpp with Open CASCADE's writers
// into the kit's folder ("sample.stp", "inch.stp", "hidden.stp", "bolt.igs");
// answers its path.
std::string WriteSample(gkit::Kit& kit, const std::string& name);

// The distinct part models a walk of the model reaches.
std::set<const KModel*> Parts(const xrchandle<KModel>& model, int depth = 0);

}  // namespace otest
