// PNG through zlib alone, where libpng is not at hand (the Windows build):
// 8-bit RGB, not interlaced; writes rows unfiltered and reads the five filters.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "export/Raster.h"

namespace gload {
namespace {

const unsigned char kSignature[8] = {137, 'P', 'N', 'G', '\r', '\n', 26, '\n'};

void Put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((unsigned char)(v >> shift));
}

uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void Chunk(std::vector<unsigned char>& out, const char* type, const unsigned char* data, size_t n) {
  Put32(out, uint32_t(n));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data, data + n);
  Put32(out, uint32_t(crc32(0, &out[start], uInt(n + 4))));
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

bool WritePng(const Image& image, const std::string& path, std::string* error) {
  if (image.width <= 0 || image.height <= 0 || image.rgb.size() != size_t(image.width) * image.height * 3)
    return Fail(error, "no picture to write");
  const size_t row = size_t(image.width) * 3;
  std::vector<unsigned char> raw;
  raw.reserve((row + 1) * size_t(image.height));
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), image.rgb.begin() + ptrdiff_t(row * y), image.rgb.begin() + ptrdiff_t(row * (y + 1)));
  }
  uLongf packed = compressBound(uLong(raw.size()));
  std::vector<unsigned char> deflated(packed);
  if (compress2(deflated.data(), &packed, raw.data(), uLong(raw.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
    return Fail(error, path + ": compression failed");
  std::vector<unsigned char> out(kSignature, kSignature + 8), header;
  Put32(header, uint32_t(image.width));
  Put32(header, uint32_t(image.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters, no interlace
  Chunk(out, "IHDR", header.data(), header.size());
  Chunk(out, "IDAT", deflated.data(), packed);
  Chunk(out, "IEND", nullptr, 0);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return Fail(error, path + ": " + std::strerror(errno));
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) != 0 || !written) return Fail(error, path + ": write failed");
  return true;
}

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return Fail(error, path + ": " + std::strerror(errno));
  std::vector<unsigned char> file;
  unsigned char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) file.insert(file.end(), buffer, buffer + n);
  std::fclose(f);
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) return Fail(error, path + ": not a PNG file");
  uint32_t width = 0, height = 0;
  std::vector<unsigned char> deflated;
  for (size_t at = 8; at + 12 <= file.size();) {
    const uint32_t n = Get32(&file[at]);
    if (n > file.size() - at - 12) return Fail(error, path + ": truncated chunk");
    const unsigned char* type = &file[at + 4];
    const unsigned char* data = &file[at + 8];
    if (std::memcmp(type, "IHDR", 4) == 0) {
      if (n != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0)
        return Fail(error, path + ": only 8-bit RGB pictures are read");
      width = Get32(data);
      height = Get32(data + 4);
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      deflated.insert(deflated.end(), data, data + n);
    }
    at += 12 + n;
  }
  if (width == 0 || height == 0 || width > 1u << 15 || height > 1u << 15)
    return Fail(error, path + ": no picture size");
  const size_t row = size_t(width) * 3;
  std::vector<unsigned char> raw((row + 1) * height);
  uLongf size = uLongf(raw.size());
  if (uncompress(raw.data(), &size, deflated.data(), uLong(deflated.size())) != Z_OK || size != raw.size())
    return Fail(error, path + ": damaged picture data");
  image->width = int(width);
  image->height = int(height);
  image->rgb.assign(row * height, 0);
  for (size_t y = 0; y < height; ++y) {
    const unsigned char* in = &raw[y * (row + 1)];
    unsigned char* out = &image->rgb[y * row];
    const unsigned char* up = y ? out - row : nullptr;
    for (size_t x = 0; x < row; ++x) {
      const int a = x >= 3 ? out[x - 3] : 0, b = up ? up[x] : 0, c = up && x >= 3 ? up[x - 3] : 0;
      int v = in[1 + x];
      switch (in[0]) {
        case 0: break;
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += Paeth(a, b, c); break;
        default: return Fail(error, path + ": unknown row filter");
      }
      out[x] = (unsigned char)v;
    }
  }
  return true;
}

}  // namespace gload
