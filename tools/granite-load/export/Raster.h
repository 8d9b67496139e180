// A shaded picture of the host scene: an isometric view drawn by a small
// software rasteriser, written as PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class C3DMWorld;

namespace gload {

struct RasterOptions {
  int width = 1200;
  int height = 900;
  // Samples per pixel along each axis (1 to 4), averaged down (anti-aliasing).
  int supersample = 3;
  // Share of each image side left free around the model.
  double margin = 0.04;
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // row by row from the top, three bytes a pixel
  uint8_t* At(int x, int y) { return &rgb[(size_t(y) * width + x) * 3]; }
  const uint8_t* At(int x, int y) const { return &rgb[(size_t(y) * width + x) * 3]; }
};

// The largest picture: each side at most kMaxSide pixels, and at most
// kMaxPixels in all (4096x4096, 48 MiB of pixels).
constexpr int kMaxSide = 8192;
constexpr long kMaxPixels = 4096L * 4096L;
bool SizeAllowed(int width, int height);

// Draws the world seen along the isometric direction (1, -1, 1) with Z up:
// orthographic, fitted to the extent of the model in the picture, z-buffered,
// every mesh in its colour lit by one light from the upper left, outlines
// where the depth jumps. An empty world gives the background alone; a size
// that SizeAllowed refuses, an empty image. Drawn in bands: the memory it
// takes beyond the picture and the triangles is a few megabytes.
Image Render(const C3DMWorld& world, const RasterOptions& options);

// False with a reason in error when the file cannot be written.
bool WritePng(const Image& image, const std::string& path, std::string* error);

// Reads an 8-bit RGB or RGBA PNG (tests and tools); false when it cannot.
bool ReadPng(const std::string& path, Image* image, std::string* error);

}  // namespace gload
