// Value types of the loader's interface.
#pragma once

#include <cstdint>

#include "win32/wintypes.h"


// Result of every export but ShutdownGranite and of the internal load steps.
enum GraniteLoadResultTypes : int32_t {
  GRANITE_LOAD_SUCCESS = 0,     // everything the call set out to build was built
  GRANITE_LOAD_FAILURE = 1,     // the call could not start its work
  GRANITE_LOAD_INCOMPLETE = 3,  // the call went as far as it could
};

// Kind of an element; walks pass any other value over.
enum GraniteFileTypes : int32_t {
  GRANITE_FILE_PART = 0,
  GRANITE_FILE_ASSEMBLY = 1,
};

// Source format of a file, from its name.
enum GraniteFormatTypes : int32_t {
  GRANITE_FORMAT_UNKNOWN = 0,
  GRANITE_FORMAT_NATIVE = 1,
  GRANITE_FORMAT_IGES = 2,
  GRANITE_FORMAT_NEUTRAL = 3,
  GRANITE_FORMAT_SAT = 4,
  GRANITE_FORMAT_VDA = 5,
  GRANITE_FORMAT_STEP = 6,
  GRANITE_FORMAT_PARASOLID = 7,
};

// Load resolution chosen by the host; stored and handed back by the loader.
enum GraniteResolutionTypes : int32_t {
  GRANITE_RESOLUTION_LOW = 0,
  GRANITE_RESOLUTION_MEDIUM = 1,
  GRANITE_RESOLUTION_HIGH = 2,
};

// Units of a model.
enum ImageUnitsTypes : int32_t {
  IMAGE_UNITS_UNKNOWN = 0,
  IMAGE_UNITS_INCH = 1,
  IMAGE_UNITS_FOOT = 2,
  IMAGE_UNITS_MILLIMETER = 3,
  IMAGE_UNITS_CENTIMETER = 4,
  IMAGE_UNITS_DECIMETER = 5,
  IMAGE_UNITS_METER = 6,
  IMAGE_UNITS_KILOMETER = 7,
  IMAGE_UNITS_MICROMETER = 8,
};
