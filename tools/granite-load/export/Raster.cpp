// Software rasteriser and PNG through libpng's simplified interface.
#include "export/Raster.h"

#if GRANITE_HAVE_LIBPNG
#include <png.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
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

// A triangle in the picture's axes: x right, y down, depth toward the eye.
struct Shaded {
  float x[3], y[3], depth[3];
  velaVector n[3];
  float color[3];
};

uint8_t Byte(double v) { return uint8_t(std::clamp(v + 0.5, 0.0, 255.0)); }

float Channel(float c) { return std::isfinite(c) ? std::clamp(c, 0.0f, 1.0f) : 1.0f; }

void Background(int height, int y, float rgb[3]) {
  const float t = height > 1 ? float(y) / float(height - 1) : 0.0f;
  rgb[0] = 250 - 28 * t;
  rgb[1] = 250 - 24 * t;
  rgb[2] = 252 - 20 * t;
}

double Area(const Shaded& s) {
  return double(s.x[1] - s.x[0]) * (s.y[2] - s.y[0]) - double(s.x[2] - s.x[0]) * (s.y[1] - s.y[0]);
}

// The samples of row py that may lie inside: where each edge's weight, a
// linear function of x, is not negative; one sample of slack each side.
void Span(const Shaded& s, double area, double py, int* x0, int* x1) {
  double lo = -HUGE_VAL, hi = HUGE_VAL;
  for (int k = 0; k < 3; ++k) {
    const int a = (k + 1) % 3, b = (k + 2) % 3;
    const double slope = -(s.y[b] - s.y[a]) / area;
    const double at0 = ((s.x[b] - s.x[a]) * (py - s.y[a]) + (s.y[b] - s.y[a]) * s.x[a]) / area;
    if (slope > 0) lo = std::max(lo, -at0 / slope);
    else if (slope < 0) hi = std::min(hi, -at0 / slope);
    else if (at0 < 0) lo = HUGE_VAL;
  }
  if (!(lo <= hi)) {
    *x0 = 1, *x1 = 0;
    return;
  }
  *x0 = std::max(*x0, int(std::clamp(std::floor(lo - 0.5), -1e9, 1e9)) - 1);
  *x1 = std::min(*x1, int(std::clamp(std::ceil(hi - 0.5), -1e9, 1e9)) + 1);
}

// The triangles of the scene in the picture's axes, and their extent.
struct Projected {
  std::vector<Shaded> triangles;
  float lo[2] = {HUGE_VALF, HUGE_VALF}, hi[2] = {-HUGE_VALF, -HUGE_VALF};
  float nearest = -HUGE_VALF, farthest = HUGE_VALF;
};

// Every triangle in model space, then in the picture's axes.
void Project(const C3DMWorld& world, Projected& out) {
  world.Walk([&](const C3DMGroup&, const C3DMMesh& mesh, const velaMatrix4x4& m) {
    const size_t n = std::min(mesh.points.size(), mesh.normals.size()) / 3 * 3;
    const float color[3] = {Channel(mesh.color.r) * 255, Channel(mesh.color.g) * 255, Channel(mesh.color.b) * 255};
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
        out.lo[0] = std::min(out.lo[0], s.x[k]);
        out.hi[0] = std::max(out.hi[0], s.x[k]);
        out.lo[1] = std::min(out.lo[1], s.y[k]);
        out.hi[1] = std::max(out.hi[1], s.y[k]);
        out.nearest = std::max(out.nearest, s.depth[k]);
        out.farthest = std::min(out.farthest, s.depth[k]);
      }
      std::copy(color, color + 3, s.color);
      out.triangles.push_back(s);
    }
  });
}

// Fits the model's extent in the picture into W x H samples, less the margin.
void Fit(Projected& p, int W, int H, double margin) {
  const double dx = p.hi[0] - p.lo[0], dy = p.hi[1] - p.lo[1];
  const double sx = dx > 0 ? W * (1 - 2 * margin) / dx : HUGE_VAL;
  const double sy = dy > 0 ? H * (1 - 2 * margin) / dy : HUGE_VAL;
  double scale = std::min(sx, sy);
  if (!std::isfinite(scale)) scale = 1.0;
  const double cx = (p.lo[0] + p.hi[0]) / 2, cy = (p.lo[1] + p.hi[1]) / 2;
  for (Shaded& s : p.triangles) {
    for (int k = 0; k < 3; ++k) {
      s.x[k] = float(W / 2.0 + (s.x[k] - cx) * scale);
      s.y[k] = float(H / 2.0 - (s.y[k] - cy) * scale);
    }
  }
}

// The picture is drawn in bands of pixel rows, each with ss sample rows of the
// neighbours above and below for the outlines: memory stays small whatever
// the size. Each band lists the triangles that reach it.
struct Bands {
  int ss, W, H;
  int rows;   // sample rows a band, whole pixels
  int count;  // bands
  std::vector<std::vector<uint32_t>> bins;
  // Buffers of one band: rows plus ss above and below.
  std::vector<float> depth, least;
  std::vector<int32_t> owner;
  std::vector<uint8_t> edge;
  int first = 0;  // sample row of the buffers' row 0
  int own = 0;    // sample rows of the band's own

  Bands(int supersample, int width, int height, const std::vector<Shaded>& triangles)
      : ss(supersample), W(width), H(height), rows(32 * supersample),
        count((height + rows - 1) / rows), bins(static_cast<size_t>(count)),
        depth(size_t(width) * (rows + 2 * supersample)), least(static_cast<size_t>(width)),
        owner(size_t(width) * (rows + 2 * supersample)), edge(size_t(width) * rows) {
    for (size_t i = 0; i < triangles.size(); ++i) {
      const Shaded& s = triangles[i];
      if (Area(s) == 0.0) continue;  // seen edge on
      const float top = std::min({s.y[0], s.y[1], s.y[2]}), bottom = std::max({s.y[0], s.y[1], s.y[2]});
      const int b0 = std::max(0, (int(std::floor(top)) - ss) / rows);
      const int b1 = std::min(count - 1, std::max(0, int(std::ceil(bottom)) + ss) / rows);
      for (int b = b0; b <= b1; ++b) bins[size_t(b)].push_back(uint32_t(i));
    }
  }
};

// Hidden surfaces: the nearest triangle of every sample of the band, the first
// drawn on a tie.
void DrawDepths(Bands& b, int band, const std::vector<Shaded>& triangles) {
  const int W = b.W, first = b.first;
  const int count = std::min(b.rows + 2 * b.ss, b.H - first);
  std::fill(b.depth.begin(), b.depth.end(), -HUGE_VALF);
  std::fill(b.owner.begin(), b.owner.end(), -1);
  for (uint32_t i : b.bins[size_t(band)]) {
    const Shaded& s = triangles[i];
    const double area = Area(s);
    const int y0 = std::max(std::max(0, first), int(std::floor(std::min({s.y[0], s.y[1], s.y[2]}))));
    const int y1 = std::min(first + count - 1, int(std::ceil(std::max({s.y[0], s.y[1], s.y[2]}))));
    const int bx0 = std::max(0, int(std::floor(std::min({s.x[0], s.x[1], s.x[2]}))));
    const int bx1 = std::min(W - 1, int(std::ceil(std::max({s.x[0], s.x[1], s.x[2]}))));
    for (int y = y0; y <= y1; ++y) {
      const double py = y + 0.5;
      int x0 = bx0, x1 = bx1;
      Span(s, area, py, &x0, &x1);
      // Along the row each weight, and so the depth, is a + b * px.
      double a[3], bw[3];
      for (int k = 0; k < 3; ++k) {
        const int i0 = (k + 1) % 3, i1 = (k + 2) % 3;
        bw[k] = -(s.y[i1] - s.y[i0]) / area;
        a[k] = ((s.x[i1] - s.x[i0]) * (py - s.y[i0]) + (s.y[i1] - s.y[i0]) * s.x[i0]) / area;
      }
      const double az = a[0] * s.depth[0] + a[1] * s.depth[1] + a[2] * s.depth[2];
      const double bz = bw[0] * s.depth[0] + bw[1] * s.depth[1] + bw[2] * s.depth[2];
      float* d = &b.depth[size_t(y - first) * W];
      int32_t* o = &b.owner[size_t(y - first) * W];
      for (int x = x0; x <= x1; ++x) {
        const double px = x + 0.5;
        if (a[0] + bw[0] * px < 0 || a[1] + bw[1] * px < 0 || a[2] + bw[2] * px < 0) continue;
        const float z = float(az + bz * px);
        if (!(z > d[x])) continue;
        d[x] = z;
        o[x] = int32_t(i);
      }
    }
  }
}

// Outlines: a covered sample lies next to the background or to a jump in
// depth when a sample up to ss away along a row or a column is empty or
// farther by more than the jump: z - (the least depth of that cross) > jump.
void FindOutlines(Bands& b, float jump) {
  const int W = b.W, ss = b.ss, first = b.first;
  for (int r = 0; r < b.own; ++r) {
    const int row = r + ss;
    const float* d = &b.depth[size_t(row) * W];
    std::fill(b.least.begin(), b.least.end(), HUGE_VALF);
    for (int k = std::max(row - ss, -first); k <= std::min(row + ss, b.H - 1 - first); ++k) {
      const float* o = &b.depth[size_t(k) * W];
      for (int x = 0; x < W; ++x) b.least[size_t(x)] = std::min(b.least[size_t(x)], o[x]);
    }
    float* m = b.least.data();
    for (int k = 1; k <= ss; ++k) {
      for (int x = 0; x + k < W; ++x) m[x] = std::min(m[x], d[x + k]);
      for (int x = k; x < W; ++x) m[x] = std::min(m[x], d[x - k]);
    }
    uint8_t* e = &b.edge[size_t(r) * W];
    for (int x = 0; x < W; ++x) e[x] = d[x] != -HUGE_VALF && d[x] - m[x] > jump;
  }
}

// The colour of triangle s lit by the light at sample (x, y): its normal
// interpolated there, turned toward the eye.
void Light(const Shaded& s, int x, int y, float shade[3]) {
  const double inv = 1.0 / Area(s), sx = x + 0.5, sy = y + 0.5;
  double w[3];
  for (int k = 0; k < 3; ++k) {
    const int a = (k + 1) % 3, b = (k + 2) % 3;
    w[k] = ((s.x[b] - s.x[a]) * (sy - s.y[a]) - (s.y[b] - s.y[a]) * (sx - s.x[a])) * inv;
  }
  velaVector n(float(w[0] * s.n[0].x + w[1] * s.n[1].x + w[2] * s.n[2].x),
               float(w[0] * s.n[0].y + w[1] * s.n[1].y + w[2] * s.n[2].y),
               float(w[0] * s.n[0].z + w[1] * s.n[1].z + w[2] * s.n[2].z));
  n.Normalize();
  if (n.Dot(kEye) < 0) n = velaVector(-n.x, -n.y, -n.z);  // the inside of a cut
  const float diffuse = std::max(0.0f, n.Dot(kLight));
  float h = std::max(0.0f, n.Dot(kHalf));  // h to the 48th: a small highlight
  h *= h, h *= h, h *= h, h *= h;
  const float specular = 40.0f * h * h * h;
  for (int k = 0; k < 3; ++k) shade[k] = s.color[k] * (0.32f + 0.68f * diffuse) + specular;
}

// Pixel px of row py: its ss x ss samples averaged, each covered one lit
// (once per triangle the pixel holds) and darkened on an outline.
void ShadePixel(const Bands& b, int band, const std::vector<Shaded>& triangles, int px, int py,
                const float back[4][3], uint8_t* out) {
  const int ss = b.ss;
  float sum[3] = {0, 0, 0};
  int32_t lit = -1;
  float shade[3] = {0, 0, 0};
  for (int j = 0; j < ss; ++j) {
    const int y = py * ss + j;
    for (int i = 0; i < ss; ++i) {
      const int x = px * ss + i;
      const int32_t id = b.owner[size_t(y - b.first) * b.W + x];
      if (id < 0) {
        for (int k = 0; k < 3; ++k) sum[k] += back[j][k];
        continue;
      }
      if (id != lit) {
        lit = id;
        Light(triangles[size_t(id)], x, y, shade);
      }
      const float f = b.edge[size_t(y - band * b.rows) * b.W + x] ? 0.35f : 1.0f;
      for (int k = 0; k < 3; ++k) sum[k] += shade[k] * f;
    }
  }
  for (int k = 0; k < 3; ++k) out[k] = Byte(sum[k] / (ss * ss));
}

// The pixel rows of the band: background where no sample is covered.
void ShadeBand(const Bands& b, int band, const std::vector<Shaded>& triangles, Image& image) {
  const int ss = b.ss;
  for (int py = band * b.rows / ss; py < (band * b.rows + b.own) / ss; ++py) {
    float back[4][3];
    for (int j = 0; j < ss; ++j) Background(b.H, py * ss + j, back[j]);
    uint8_t empty[3];  // a pixel of background alone
    for (int k = 0; k < 3; ++k) {
      float sum = 0;
      for (int j = 0; j < ss; ++j) sum += back[j][k] * ss;
      empty[k] = Byte(sum / (ss * ss));
    }
    for (int px = 0; px < image.width; ++px) {
      bool any = false;
      for (int j = 0; j < ss && !any; ++j) {
        const int32_t* o = &b.owner[size_t(py * ss + j - b.first) * b.W + size_t(px * ss)];
        for (int i = 0; i < ss; ++i) any |= o[i] >= 0;
      }
      if (any)
        ShadePixel(b, band, triangles, px, py, back, image.At(px, py));
      else
        std::copy(empty, empty + 3, image.At(px, py));
    }
  }
}

}  // namespace

bool SizeAllowed(int width, int height) {
  return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
         long(width) * long(height) <= kMaxPixels;
}

Image Render(const C3DMWorld& world, const RasterOptions& options) {
  Image image;
  if (!SizeAllowed(options.width, options.height)) return image;
  const int ss = std::clamp(options.supersample, 1, 4);
  const int W = options.width * ss, H = options.height * ss;
  Projected projected;
  Project(world, projected);
  Fit(projected, W, H, std::clamp(options.margin, 0.0, 0.45));
  Bands bands(ss, W, H, projected.triangles);

  image.width = options.width;
  image.height = options.height;
  image.rgb.resize(size_t(image.width) * image.height * 3);
  const float jump = std::max(1e-6f, 0.02f * (projected.nearest - projected.farthest));
  for (int band = 0; band < bands.count; ++band) {
    bands.first = band * bands.rows - ss;
    bands.own = std::min(bands.rows, H - band * bands.rows);
    DrawDepths(bands, band, projected.triangles);
    FindOutlines(bands, jump);
    ShadeBand(bands, band, projected.triangles, image);
  }
  return image;
}

#if GRANITE_HAVE_LIBPNG

namespace {

void PngError(png_structp png, png_const_charp message) {
  std::string* text = static_cast<std::string*>(png_get_error_ptr(png));
  if (text) *text = message ? message : "libpng failed";
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The rows to libpng; false with its message after a failure.
bool WriteRows(png_structp png, png_infop info, const Image& image) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Fast deflate with the Sub filter: for these pictures (flat colours over
  // a vertical gradient) smaller files than libpng's defaults, in less time.
  png_set_compression_level(png, 2);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  for (int y = 0; y < image.height; ++y) png_write_row(png, image.rgb.data() + size_t(y) * image.width * 3);
  png_write_end(png, info);
  return true;
}

}  // namespace

bool WritePng(const Image& image, const std::string& path, std::string* error) {
  if (image.width <= 0 || image.height <= 0 || image.rgb.size() != size_t(image.width) * image.height * 3) {
    if (error) *error = "no picture to write";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string message;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, &PngError, &PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool written = false;
  if (png && info) {
    png_init_io(png, file);
    written = WriteRows(png, info, image);
  }
  png_destroy_write_struct(&png, &info);
  const int saved = errno;
  if (std::fclose(file) != 0 || !written) {
    if (error) *error = path + ": " + (!message.empty() ? message : std::strerror(written ? errno : saved));
    std::remove(path.c_str());
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
