// load_tolerances FILE: loads one part or exchange file as granite-load does
// and prints the chordal and angular tolerances the load meshed at, for the
// reference programs to mesh at the same.
#include <cstdio>

#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "gBase90/xthrowable.h"
#include "qorvelaex/C3DMScene.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: load_tolerances FILE\n");
    return 2;
  }
  C3DMWorld world;
  int result = GRANITE_LOAD_FAILURE;
  double chordal = 0, angular = 0;
  {
    CGraniteParser parser;
    parser.SetFilename(CBasicString(argv[1]));
    parser.SetWorld(&world);
    C3DMGroup* top = world.CreateGroup();
    world.AddGroup(top, 0);
    parser.SetCurrentGroup(top);
    try {
      result = ParsePart(&parser, CBasicString(argv[1]), nullptr);
    } catch (xthrowable* e) {
      xrcunihandle<xthrowable> held(e);
      result = GRANITE_LOAD_FAILURE;
    }
    chordal = parser.GetChordalTolerance();
    angular = parser.GetAngularTolerance();
  }
  ShutdownGranite();
  if (result == GRANITE_LOAD_FAILURE || !(chordal > 0)) {
    std::fprintf(stderr, "%s: not loaded (result %d)\n", argv[1], result);
    return 1;
  }
  std::printf("%.17g %.17g\n", chordal, angular);
  return 0;
}
