// node compare_outputs.js A.glb B.glb A.png B.png
// The same scene from two builds: the same node tree, meshes, accessors and
// indices; positions, normals and node matrices equal to within one float
// unit in the last place at the scale of their accessor or matrix (its
// largest magnitude: near zero the two run-times' sine and cosine leave
// noise far below it, and signs of zero). The pictures:
// same size, pixels apart by at most 1 in any channel.
'use strict';
const fs = require('fs');
const zlib = require('zlib');

function readGlb(path) {
  const b = fs.readFileSync(path);
  if (b.readUInt32LE(0) !== 0x46546c67) throw new Error(path + ': not a GLB');
  const jsonLength = b.readUInt32LE(12);
  const json = JSON.parse(b.subarray(20, 20 + jsonLength).toString('utf8'));
  const binAt = 20 + jsonLength;
  const bin = b.subarray(binAt + 8, binAt + 8 + b.readUInt32LE(binAt));
  return { json, bin };
}

function accessorBytes(glb, i) {
  const a = glb.json.accessors[i];
  const v = glb.json.bufferViews[a.bufferView];
  const size = { SCALAR: 1, VEC3: 3, VEC4: 4 }[a.type] * { 5123: 2, 5125: 4, 5126: 4 }[a.componentType];
  const start = (v.byteOffset || 0) + (a.byteOffset || 0);
  return glb.bin.subarray(start, start + a.count * size);
}

// One float unit in the last place at the magnitude of x.
function ulp(x) {
  const f = new Float32Array([Math.abs(x)]), i = new Int32Array(f.buffer);
  ++i[0];
  return f[0] - Math.abs(Math.fround(x));
}

function compareMatrices(a, b) {
  a.nodes.forEach((n, k) => {
    const m = n.matrix || [], o = b.nodes[k].matrix || [];
    const unit = ulp(Math.max(...m.map(Math.abs), ...o.map(Math.abs), 0));
    m.forEach((v, i) => {
      if (Math.abs(v - o[i]) > unit) throw new Error('node ' + k + ' matrix entry ' + i + ': ' + v + ' vs ' + o[i]);
    });
  });
}

function compareGlb(pa, pb) {
  const a = readGlb(pa), b = readGlb(pb);
  // Paths the sibling made absolute carry a drive letter on Windows (Z: under wine).
  const file = (n) => n.extras && n.extras.file &&
    Object.assign({}, n.extras, { file: n.extras.file.replace(/^[A-Za-z]:(?=\/)/, '') });
  const nodes = (j) => j.nodes.map((n) => Object.assign({}, n, { matrix: undefined, extras: file(n) || n.extras }));
  const strip = (j) => JSON.stringify({ nodes: nodes(j), meshes: j.meshes, materials: j.materials, scenes: j.scenes,
    accessors: j.accessors.map((x) => ({ type: x.type, componentType: x.componentType, count: x.count })) });
  if (strip(a.json) !== strip(b.json)) throw new Error('the glTF trees differ');
  compareMatrices(a.json, b.json);
  let floats = 0, worst = 0, triangles = 0;
  a.json.accessors.forEach((acc, i) => {
    const x = accessorBytes(a, i), y = accessorBytes(b, i);
    if (acc.componentType !== 5126) {
      if (!x.equals(y)) throw new Error('index accessor ' + i + ' differs');
      triangles += acc.count / 3;
      return;
    }
    let scale = 0;
    for (let k = 0; k < x.length; k += 4) scale = Math.max(scale, Math.abs(x.readFloatLE(k)), Math.abs(y.readFloatLE(k)));
    const unit = ulp(scale);
    for (let k = 0; k < x.length; k += 4) {
      const d = Math.abs(x.readFloatLE(k) - y.readFloatLE(k)) / unit;
      if (d > 1) throw new Error('accessor ' + i + ' differs by ' + d + ' ulp');
      worst = Math.max(worst, d);
      ++floats;
    }
  });
  return `${a.json.nodes.length} nodes, ${a.json.meshes.length} meshes, ${triangles} triangles, ` +
         `${floats} floats at most ${worst.toPrecision(2)} ulp apart`;
}

function readPng(path) {
  const b = fs.readFileSync(path);
  let at = 8, width = 0, height = 0;
  const idat = [];
  while (at < b.length) {
    const n = b.readUInt32BE(at), type = b.toString('latin1', at + 4, at + 8);
    const data = b.subarray(at + 8, at + 8 + n);
    if (type === 'IHDR') { width = data.readUInt32BE(0); height = data.readUInt32BE(4); }
    if (type === 'IDAT') idat.push(data);
    at += 12 + n;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat)), row = width * 3, out = Buffer.alloc(row * height);
  for (let y = 0; y < height; ++y) {
    const f = raw[y * (row + 1)];
    for (let x = 0; x < row; ++x) {
      const a = x >= 3 ? out[y * row + x - 3] : 0, up = y ? out[(y - 1) * row + x] : 0;
      const c = y && x >= 3 ? out[(y - 1) * row + x - 3] : 0;
      const p = a + up - c, pa = Math.abs(p - a), pb = Math.abs(p - up), pc = Math.abs(p - c);
      const pred = [0, a, up, (a + up) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? up : c][f];
      out[y * row + x] = (raw[y * (row + 1) + 1 + x] + pred) & 255;
    }
  }
  return { width, height, out };
}

function comparePng(pa, pb) {
  const a = readPng(pa), b = readPng(pb);
  if (a.width !== b.width || a.height !== b.height) throw new Error('the pictures differ in size');
  let differ = 0;
  for (let i = 0; i < a.out.length; ++i) {
    const d = Math.abs(a.out[i] - b.out[i]);
    if (d > 1) throw new Error('the pictures differ at byte ' + i);
    if (d) ++differ;
  }
  return `${a.width}x${a.height} picture, ${differ} channel values 1 apart`;
}

const [glbA, glbB, pngA, pngB] = process.argv.slice(2);
try {
  console.log('same scene: ' + compareGlb(glbA, glbB));
  console.log('same picture: ' + comparePng(pngA, pngB));
} catch (e) {
  console.error('windows and linux outputs differ: ' + e.message);
  process.exit(1);
}
