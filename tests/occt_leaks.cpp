// Leak suppressions of the sanitizer builds' programs that run Open CASCADE,
// chosen by GRANITE_OCCT_LEAKS (granite_add_test's OCCT flags): 1 now and then,
// 2 its tests, 3 malformed files; docs/translator.md says why each is so.
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
      // A fault's jump passes over frames that hold handles to the file's
      // entities; the programs that translate sound files check these.
      "leak:KTranslator::Translate\n"
#endif
      ;
}
