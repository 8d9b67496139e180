// Linked into every test program of a sanitizer build. Open CASCADE fills
// static tables once per process (the Interface_Static parameter enums, the
// IFSelect editors of its controllers, the IGES parser's buffers, the TPrsStd
// driver table) and never frees them. Under the default fast unwinding their
// stacks end in Open CASCADE's allocator, so the allocator frames are what is
// matched; a run with fast_unwind_on_malloc=0 shows only those tables. Leaks
// of kernel objects are still caught: every xobject, the translator's faces
// included, is counted by gkit::LiveObjects(). When Open CASCADE's transfer
// faults on a malformed file (a missing entity dereferenced), the jump to the
// nearest handler passes over frames that hold handles to the file's
// entities, so they stay behind: their readers (RWStep...), the model's label
// table and its undefined entities are matched too.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:Standard_MMgrRaw::Allocate\n"
         "leak:Standard_MMgrRaw::Reallocate\n"
         "leak:MoniTool_TypedValue::AddEnum\n"
         "leak:IFSelect_Editor::\n"
         "leak:iges_initfile\n"
         "leak:TPrsStd_DriverTable::Get\n"
         "leak:GeomToStep_MakeDirection\n"
         "leak:RWStep\n"
         "leak:StepData_StepModel::SetIdentLabel\n"
         "leak:Interface_UndefinedContent::Reservate\n";
}
