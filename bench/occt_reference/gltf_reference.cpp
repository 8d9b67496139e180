// The reference for granite-load --gltf on a STEP file: XCAF read, each part
// meshed once at the given deflection, the document written as binary glTF by
// Open CASCADE's own writer.
#include <cstdio>
#include <exception>

#include <Message_ProgressRange.hxx>
#include <RWGltf_CafWriter.hxx>
#include <TColStd_IndexedDataMapOfStringString.hxx>

#include "Reference.h"

int main(int argc, char** argv) {
  occtref::Options options;
  if (!occtref::ParseArguments(argc, argv, true, options)) return 2;
  try {
    Handle(TDocStd_Document) document = occtref::ReadStep(options.file);
    int parts = occtref::MeshParts(document, options.deflection, options.angle);
    RWGltf_CafWriter writer(options.out.c_str(), Standard_True);
    TColStd_IndexedDataMapOfStringString metadata;
    if (!writer.Perform(document, metadata, Message_ProgressRange())) {
      std::fprintf(stderr, "%s: could not be written\n", options.out.c_str());
      return 1;
    }
    std::printf("parts %d written %s\n", parts, options.out.c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
