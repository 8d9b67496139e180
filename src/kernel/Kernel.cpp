// Kernel placements, units and boxes into the parser.
#include "kernel/Kernel.h"

#include <algorithm>

#include "granite/CGraniteParser.h"
#include "interface/CurrentParser.h"

namespace {

// The host's units for the kernel's units code; false for a code the kernel
// does not define.
bool UnitsFromKernel(int code, ImageUnitsTypes* units) {
  switch (code) {
    case KUNITS_INCH:
      *units = IMAGE_UNITS_INCH;
      return true;
    case KUNITS_FOOT:
      *units = IMAGE_UNITS_FOOT;
      return true;
    case KUNITS_MILLIMETER:
      *units = IMAGE_UNITS_MILLIMETER;
      return true;
    case KUNITS_METER:
      *units = IMAGE_UNITS_METER;
      return true;
    case KUNITS_CENTIMETER:
      *units = IMAGE_UNITS_CENTIMETER;
      return true;
    case KUNITS_KILOMETER:
      *units = IMAGE_UNITS_KILOMETER;
      return true;
    case KUNITS_MICROMETER:
      *units = IMAGE_UNITS_MICROMETER;
      return true;
  }
  return false;
}

}  // namespace

bool IsAssemblyObject(xobject* object) {
  return object && object->isKindOf(KAssembly::getClassRtti());
}

velaMatrix4x4 GetComponentTransform(KComponent* component) {
  velaMatrix4x4 matrix;
  matrix.SetIdentity();
  if (!component) return matrix;
  xrchandle<KMatrix3D> placement;
  component->GetPlacement(placement);
  if (!placement) return matrix;
  // Element k is the kernel's (k / 4, k % 4), copied without transposition.
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) matrix.m[i * 4 + j] = static_cast<float>(placement->Get(i, j));
  }
  return matrix;
}

void RetrieveModelUnits(KModel* model) {
  CGraniteParser* parser = g_CurrentParser;
  if (!parser || !model || parser->GetUnitsRetrieved()) return;
  parser->SetUnitsRetrieved(true);
  int code;
  try {
    code = model->GetUnits();
  } catch (...) {
    parser->SetUnitsRetrieved(false);
    throw;
  }
  ImageUnitsTypes units;
  if (UnitsFromKernel(code, &units)) {
    parser->SetModelUnits(units);
  } else {
    // Unknown code: a later model may still give the units.
    parser->SetUnitsRetrieved(false);
  }
}

void SetModelBoxFromKernelBox(CGraniteParser* parser, KBox3D* box, const velaMatrix4x4& placement,
                              bool allCorners) {
  if (!parser || !box) return;
  xrchandle<KPoint3D> minimum, maximum;
  box->GetMinPoint(minimum);
  box->GetMaxPoint(maximum);
  if (!minimum || !maximum) return;
  const double x[2] = {minimum->GetX(), maximum->GetX()};
  const double y[2] = {minimum->GetY(), maximum->GetY()};
  const double z[2] = {minimum->GetZ(), maximum->GetZ()};
  // Corner i takes the maximum on axis k when bit k of i is set: 0 and 7 are
  // the two given corners.
  auto corner = [&](int i) {
    return velaFloatPoint(static_cast<float>(x[i & 1]), static_cast<float>(y[(i >> 1) & 1]),
                          static_cast<float>(z[i >> 2])) *
           placement;
  };
  velaFloatPoint lo = corner(0), hi = lo;
  for (int i = allCorners ? 1 : 7; i < 8; i += allCorners ? 1 : 7) {
    const velaFloatPoint p = corner(i);
    lo = velaFloatPoint(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
    hi = velaFloatPoint(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
  }
  velaBBox modelBox;
  modelBox.Reset();
  modelBox.SetMinMax(lo, hi);
  parser->SetModelBoundingBox(modelBox);
  parser->ComputeEvaluationTolerances();
}
