// The reference for granite-load on a STEP file: XCAF read, each part meshed
// once at the given deflection, every occurrence's triangles copied into float
// arrays. Prints what it built.
#include <cstdio>
#include <exception>

#include "Reference.h"

int main(int argc, char** argv) {
  occtref::Options options;
  if (!occtref::ParseArguments(argc, argv, false, options)) return 2;
  try {
    Handle(TDocStd_Document) document = occtref::ReadStep(options.file);
    int parts = occtref::MeshParts(document, options.deflection, options.angle);
    std::vector<occtref::Mesh> meshes;
    occtref::CopyOccurrences(document, meshes);
    size_t vertices = 0;
    for (const occtref::Mesh& m : meshes) vertices += m.points.size() / 3;
    std::printf("parts %d occurrences %zu triangles %zu deflection %.17g angle %.17g\n", parts,
                meshes.size(), vertices / 3, options.deflection, options.angle);
    return vertices > 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
