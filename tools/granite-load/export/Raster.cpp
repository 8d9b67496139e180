// Software rasteriser and PNG through libpng's simplified interface.
#include "export/Raster.h"

#if GRANITE_HAVE_LIBPNG
#include <png.h>
#endif

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/Triangles.h"
#include "qorvelaex/C3DMScene.h"

namespace gload {

namespace {

velaVector Unit(float x, float y, float z) {
  velaVector v(x, y, z);
  v.Normalize();
  return v;
}

float Dot(const velaVector& a, const velaFloatPoint& p) { return a.x * p.x + a.y * p.y + a.z * p.z; }

// The view: toward the eye, and the picture's right and up, in model space.
const velaVector kEye = Unit(1, -1, 1);
const velaVector kRight = Unit(1, 1, 0);
const velaVector kUp = Unit(-1, 1, 2);
// One light from the upper left, in front of the model.
const velaVector kLight = Unit(-0.3f * kRight.x + 0.45f * kUp.x + 0.85f * kEye.x,
                               -0.3f * kRight.y + 0.45f * kUp.y + 0.85f * kEye.y,
                               -0.3f * kRight.z + 0.45f * kUp.z + 0.85f * kEye.z);
const velaVector kHalf = Unit(kLight.x + kEye.x, kLight.y + kEye.y, kLight.z + kEye.z);

struct Shaded {
  float x[3], y[3], depth[3];
  velaVector n[3];
  float color[3];
};

uint8_t Byte(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

float Channel(float c) { return std::isfinite(c) ? std::clamp(c, 0.0f, 1.0f) : 1.0f; }

void Background(int height, int y, float rgb[3]) {
  const float t = height > 1 ? float(y) / float(height - 1) : 0.0f;
  rgb[0] = 250 - 28 * t;
  rgb[1] = 250 - 24 * t;
  rgb[2] = 252 - 20 * t;
}

}  // namespace

Image Render(const C3DMWorld& world, const RasterOptions& options) {
  const int ss = std::max(1, options.supersample);
  const int W = std::max(1, options.width) * ss, H = std::max(1, options.height) * ss;

  // Every triangle in model space, then in the picture's axes.
  std::vector<Shaded> triangles;
  float lo[2] = {HUGE_VALF, HUGE_VALF}, hi[2] = {-HUGE_VALF, -HUGE_VALF};
  float nearest = -HUGE_VALF, farthest = HUGE_VALF;
  world.Walk([&](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4& m) {
    const size_t n = std::min(mesh.points.size(), mesh.normals.size()) / 3 * 3;
    for (size_t i = 0; i < n; i += 3) {
      Triangle t;
      for (int k = 0; k < 3; ++k) {
        t.p[k] = mesh.points[i + k] * m;
        t.n[k] = mesh.normals[i + k] * m;
      }
      if (!CleanTriangle(t)) continue;
      Shaded s;
      for (int k = 0; k < 3; ++k) {
        s.x[k] = Dot(kRight, t.p[k]);
        s.y[k] = Dot(kUp, t.p[k]);
        s.depth[k] = Dot(kEye, t.p[k]);
        s.n[k] = t.n[k];
        lo[0] = std::min(lo[0], s.x[k]);
        hi[0] = std::max(hi[0], s.x[k]);
        lo[1] = std::min(lo[1], s.y[k]);
        hi[1] = std::max(hi[1], s.y[k]);
        nearest = std::max(nearest, s.depth[k]);
        farthest = std::min(farthest, s.depth[k]);
      }
      s.color[0] = Channel(mesh.color.r) * 255;
      s.color[1] = Channel(mesh.color.g) * 255;
      s.color[2] = Channel(mesh.color.b) * 255;
      triangles.push_back(s);
    }
  });

  std::vector<float> depth(size_t(W) * H, -HUGE_VALF);
  std::vector<float> color(size_t(W) * H * 3, 0.0f);
  if (!triangles.empty()) {
    // Fit the model's extent in the picture into the image, less the margin.
    const double margin = std::clamp(options.margin, 0.0, 0.45);
    const double dx = hi[0] - lo[0], dy = hi[1] - lo[1];
    const double sx = dx > 0 ? W * (1 - 2 * margin) / dx : HUGE_VAL;
    const double sy = dy > 0 ? H * (1 - 2 * margin) / dy : HUGE_VAL;
    double scale = std::min(sx, sy);
    if (!std::isfinite(scale)) scale = 1.0;
    const double cx = (lo[0] + hi[0]) / 2, cy = (lo[1] + hi[1]) / 2;
    for (Shaded& s : triangles) {
      for (int k = 0; k < 3; ++k) {
        s.x[k] = float(W / 2.0 + (s.x[k] - cx) * scale);
        s.y[k] = float(H / 2.0 - (s.y[k] - cy) * scale);
      }
    }

    for (const Shaded& s : triangles) {
      const double area = double(s.x[1] - s.x[0]) * (s.y[2] - s.y[0]) - double(s.x[2] - s.x[0]) * (s.y[1] - s.y[0]);
      if (area == 0.0) continue;  // seen edge on
      const int x0 = std::max(0, int(std::floor(std::min({s.x[0], s.x[1], s.x[2]}))));
      const int x1 = std::min(W - 1, int(std::ceil(std::max({s.x[0], s.x[1], s.x[2]}))));
      const int y0 = std::max(0, int(std::floor(std::min({s.y[0], s.y[1], s.y[2]}))));
      const int y1 = std::min(H - 1, int(std::ceil(std::max({s.y[0], s.y[1], s.y[2]}))));
      for (int y = y0; y <= y1; ++y) {
        const double py = y + 0.5;
        for (int x = x0; x <= x1; ++x) {
          const double px = x + 0.5;
          double w[3];
          for (int k = 0; k < 3; ++k) {
            const int a = (k + 1) % 3, b = (k + 2) % 3;
            w[k] = ((s.x[b] - s.x[a]) * (py - s.y[a]) - (s.y[b] - s.y[a]) * (px - s.x[a])) / area;
          }
          if (w[0] < 0 || w[1] < 0 || w[2] < 0) continue;
          const float z = float(w[0] * s.depth[0] + w[1] * s.depth[1] + w[2] * s.depth[2]);
          const size_t at = size_t(y) * W + x;
          if (!(z > depth[at])) continue;
          depth[at] = z;
          velaVector n(float(w[0] * s.n[0].x + w[1] * s.n[1].x + w[2] * s.n[2].x),
                       float(w[0] * s.n[0].y + w[1] * s.n[1].y + w[2] * s.n[2].y),
                       float(w[0] * s.n[0].z + w[1] * s.n[1].z + w[2] * s.n[2].z));
          n.Normalize();
          if (n.Dot(kEye) < 0) n = velaVector(-n.x, -n.y, -n.z);  // the inside of a cut
          const float diffuse = std::max(0.0f, n.Dot(kLight));
          float h = std::max(0.0f, n.Dot(kHalf));  // h to the 48th: a small highlight
          h *= h, h *= h, h *= h, h *= h;
          const float specular = 40.0f * h * h * h;
          for (int c = 0; c < 3; ++c) color[at * 3 + c] = s.color[c] * (0.32f + 0.68f * diffuse) + specular;
        }
      }
    }

    // Outlines: darken samples next to the background or to a jump in depth.
    const float jump = std::max(1e-6f, 0.02f * (nearest - farthest));
    std::vector<uint8_t> edge(size_t(W) * H, 0);
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        const float z = depth[size_t(y) * W + x];
        if (z == -HUGE_VALF) continue;
        for (int r = 1; r <= ss && !edge[size_t(y) * W + x]; ++r) {
          const int nx[4] = {x + r, x - r, x, x}, ny[4] = {y, y, y + r, y - r};
          for (int k = 0; k < 4; ++k) {
            if (nx[k] < 0 || ny[k] < 0 || nx[k] >= W || ny[k] >= H) continue;
            const float o = depth[size_t(ny[k]) * W + nx[k]];
            if (o == -HUGE_VALF || z - o > jump) edge[size_t(y) * W + x] = 1;
          }
        }
      }
    }
    for (size_t at = 0; at < edge.size(); ++at)
      if (edge[at])
        for (int c = 0; c < 3; ++c) color[at * 3 + c] *= 0.35f;
  }

  // Fill the background and average the samples down to pixels.
  Image image;
  image.width = W / ss;
  image.height = H / ss;
  image.rgb.resize(size_t(image.width) * image.height * 3);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      double sum[3] = {0, 0, 0};
      for (int j = 0; j < ss; ++j) {
        float back[3];
        Background(H, y * ss + j, back);
        for (int i = 0; i < ss; ++i) {
          const size_t at = size_t(y * ss + j) * W + (x * ss + i);
          const bool covered = depth[at] != -HUGE_VALF;
          for (int c = 0; c < 3; ++c) sum[c] += covered ? color[at * 3 + c] : back[c];
        }
      }
      uint8_t* out = image.At(x, y);
      for (int c = 0; c < 3; ++c) out[c] = Byte(sum[c] / (ss * ss));
    }
  }
  return image;
}

#if GRANITE_HAVE_LIBPNG

bool WritePng(const Image& image, const std::string& path, std::string* error) {
  png_image png;
  std::fill_n(reinterpret_cast<unsigned char*>(&png), sizeof png, 0);
  png.version = PNG_IMAGE_VERSION;
  png.width = png_uint_32(image.width);
  png.height = png_uint_32(image.height);
  png.format = PNG_FORMAT_RGB;
  if (image.width <= 0 || image.height <= 0 || image.rgb.size() != size_t(image.width) * image.height * 3) {
    if (error) *error = "no picture to write";
    return false;
  }
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), image.width * 3, nullptr)) {
    if (error) *error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  png_image png;
  std::fill_n(reinterpret_cast<unsigned char*>(&png), sizeof png, 0);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    if (error) *error = path + ": " + png.message;
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  image->width = int(png.width);
  image->height = int(png.height);
  image->rgb.assign(size_t(png.width) * png.height * 3, 0);
  if (!png_image_finish_read(&png, nullptr, image->rgb.data(), int(png.width) * 3, nullptr)) {
    if (error) *error = path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

#endif  // GRANITE_HAVE_LIBPNG

}  // namespace gload
