// How a host loads one model file: the calls in their order, and what each
// result leaves to do. One load at a time per process, from one thread.
#include <cstdio>

#include "gBase90/xthrowable.h"  // the kernel's exception
#include "granite/CGraniteParser.h"
#include "granite/GraniteLoader.h"
#include "qorvelaex/C3DMScene.h"

static void OnProgress(int percent) {  // whole percentages of the parts loaded
  std::printf("%d%%\n", percent);
}

// 0: the whole model is in the scene; 3: what could be loaded is (a referenced
// file missing, a part that failed); 1: nothing could be loaded.
static int LoadModel(const char* file, C3DMWorld& world) {
  CGraniteParser parser;  // from the sibling library
  parser.SetFilename(CBasicString(file));
  parser.SetWorld(&world);
  parser.SetLoadResolution(GRANITE_RESOLUTION_MEDIUM);
  parser.SetLoaderPtr(&OnProgress);
  int result = GRANITE_LOAD_FAILURE;
  try {
    if (parser.GetFileIsPart(CBasicString(file))) {
      // A part or exchange file: into a top group of its own.
      C3DMGroup* top = world.CreateGroup();
      world.AddGroup(top, 0);
      parser.SetCurrentGroup(top);
      result = ParsePart(&parser, CBasicString(file), nullptr);
    } else {
      result = BuildElementList(&parser);  // element tree, model box, tolerances
      if (result != GRANITE_LOAD_FAILURE) {  // after a 3 the rest still loads
        if (LoadAllParts(&parser) != GRANITE_LOAD_SUCCESS) result = GRANITE_LOAD_INCOMPLETE;
      }
    }
  } catch (xthrowable* e) {
    // A kernel error outside a part's own load (ParsePart catches those). What
    // was built stays in the parser and the scene; the catcher releases e.
    std::fprintf(stderr, "kernel error: %s\n", e->GetMessage().GetNarrow());
    e->xrcunirelease();
    result = GRANITE_LOAD_INCOMPLETE;
  }
  std::printf("%d root element(s), result %d\n", parser.GetNumberElements(), result);
  return result;  // the parser deletes its elements; the scene stays the world's
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: host_example MODEL\n");
    return 2;
  }
  C3DMWorld world;  // the host's scene
  const int result = LoadModel(argv[1], world);
  ShutdownGranite();  // once, when no more loads follow
  return result;
}
