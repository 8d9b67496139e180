// Linked into the programs of a sanitizer build that run Open CASCADE
// (granite_add_test's OCCT programs, and granite-load). Open CASCADE fills
// static tables once per process and never frees them: the parameter enums
// of Interface_Static, the editors of its controllers, the IGES parser's
// buffers, the TPrsStd driver table. Only those are suppressed, matched by
// the function that fills them, so their stacks are unwound in full (fast
// unwinding stops in Open CASCADE's allocator, and matching that would hide
// every leak that reaches it). Kernel objects are counted besides, by
// gkit::LiveObjects().
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
#ifdef GRANITE_OCCT_FAULT_JUMPS
  // Deep enough to reach the translator's frame from Open CASCADE's transfer.
  return "fast_unwind_on_malloc=0:malloc_context_size=120";
#else
  return "fast_unwind_on_malloc=0";
#endif
}

extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:MoniTool_TypedValue::AddEnum\n"
         "leak:IFSelect_Editor::\n"
         "leak:iges_initfile\n"
         "leak:TPrsStd_DriverTable::Get\n"
         // Its STEP writer, which only the tests use to write files, loses the
         // direction arrays of the default axis it makes for every shape.
         "leak:GeomToStep_MakeDirection::GeomToStep_MakeDirection\n"
#ifdef GRANITE_OCCT_FAULT_JUMPS
         // A program that feeds Open CASCADE malformed files: when its read or
         // transfer faults, the jump to the nearest handler passes over frames
         // that hold handles to the reader's work session and the file's
         // entities, whose counts then never reach zero. What a translation
         // allocates is therefore not checked here; the programs that
         // translate sound files check it.
         "leak:KTranslator::Translate\n"
#endif
      ;
}
