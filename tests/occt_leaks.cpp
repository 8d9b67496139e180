// Leak suppressions of the sanitizer builds' programs that run Open CASCADE,
// chosen by GRANITE_OCCT_LEAKS (granite_add_test's OCCT flags):
//   1  runs it now and then (granite-load, and tests that load an exchange
//      file among others): fast unwinding, whose stacks stop in Open
//      CASCADE's allocator (its libraries keep no frame pointers), so
//      whatever that allocator holds is not checked here;
//   2  the Open CASCADE tests: stacks unwound in full, and only the static
//      tables Open CASCADE fills once and never frees are suppressed, by the
//      function that fills them; full unwinding makes every allocation about
//      twenty times dearer, which is why only these programs pay for it;
//   3  as 2, for a program that feeds Open CASCADE malformed files.
// Kernel objects are counted besides, by gkit::LiveObjects().
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
#if GRANITE_OCCT_LEAKS == 3
  // Deep enough to reach the translator's frame from Open CASCADE's transfer.
  return "fast_unwind_on_malloc=0:malloc_context_size=120";
#elif GRANITE_OCCT_LEAKS == 2
  return "fast_unwind_on_malloc=0";
#else
  return "";
#endif
}

extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return
#if GRANITE_OCCT_LEAKS == 1
      "leak:Standard_MMgrRaw::Allocate\n"
      "leak:Standard_MMgrRaw::Reallocate\n"
#endif
      // Parameter enums of Interface_Static, the editors of the exchange
      // controllers, the IGES parser's buffers, the TPrsStd driver table.
      "leak:MoniTool_TypedValue::AddEnum\n"
      "leak:IFSelect_Editor::\n"
      "leak:iges_initfile\n"
      "leak:TPrsStd_DriverTable::Get\n"
      // Its STEP writer, which only the tests use to write files, loses the
      // direction arrays of the default axis it makes for every shape.
      "leak:GeomToStep_MakeDirection::GeomToStep_MakeDirection\n"
#if GRANITE_OCCT_LEAKS == 3
      // When the read or transfer of a malformed file faults, the jump to the
      // nearest handler passes over frames that hold handles to the reader's
      // work session and the file's entities, whose counts then never reach
      // zero. What a translation allocates is therefore not checked here; the
      // programs that translate sound files check it.
      "leak:KTranslator::Translate\n"
#endif
      ;
}
