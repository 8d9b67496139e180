// The kernel tests: the kit's fixture and the model walk.
#pragma once

#include <string>
#include <vector>

#include "gkit/bodies.h"
#include "gkit/fixture.h"

namespace ktest {

using namespace gkit;

}  // namespace ktest
