// What the STEP reference programs share: reading a STEP file into an XCAF
// document, meshing each part once, and copying every placed occurrence's
// triangles into float arrays.
#pragma once

#include <string>
#include <vector>

#include <TDocStd_Document.hxx>

namespace occtref {

struct Options {
  std::string file;
  std::string out;          // the .glb to write, for the glTF reference
  double deflection = 0;    // the file's length unit; 0: 1/500 of each part's box diagonal
  // Radians. The default is granite-load's (medium resolution), not the
  // translator's 0.5: a run without --angle still meshes as the loader does.
  double angle = 0.35;
};

// FILE [OUT] [--deflection D] [--angle A]; prints the usage and answers false
// when the arguments do not fit.
bool ParseArguments(int argc, char** argv, bool wantsOut, Options& options);

// Reads in the file's own length unit, as the loader does (the deflection is
// in it). Throws std::runtime_error when the file cannot be read.
Handle(TDocStd_Document) ReadStep(const std::string& file);

// Meshes the shape of every part (not assembly) label once. Answers the
// number of parts meshed.
int MeshParts(const Handle(TDocStd_Document)& document, double deflection, double angle);

// One part occurrence: three unshared vertices per triangle, in the model's
// frame, one unit normal per vertex, the vertex count of each face.
struct Mesh {
  std::vector<float> points, normals;
  std::vector<int> counts;
};

// Every occurrence of every part below the free shapes, placed.
void CopyOccurrences(const Handle(TDocStd_Document)& document, std::vector<Mesh>& meshes);

}  // namespace occtref
