#!/usr/bin/env python3
"""Peak resident memory of granite-load on generated native models.

Writes, into a scratch folder, assemblies of N occurrences of a few parts and
parts of N triangles, runs `granite-load --quiet FILE` on each under
/usr/bin/time -v and prints the peak resident set size and its growth per
occurrence or per triangle between sizes.

    bench/memory/memory_growth.py build/tools/granite-load/granite-load [SCRATCH]
"""
import os
import re
import subprocess
import sys
import tempfile

PARTS = 10  # distinct parts the occurrences cycle through


def write_assembly(folder, n):
    for p in range(PARTS):
        path = os.path.join(folder, "p%d.prt" % p)
        if not os.path.exists(path):
            with open(path, "w") as f:
                f.write("granite-native 1\npart\nunits mm\nprimary\n"
                        "  solid box from 0 0 0 to %d 2 3 end\nend\n" % (p + 1))
    path = os.path.join(folder, "occ%d.asm" % n)
    with open(path, "w") as f:
        f.write("granite-native 1\nassembly\nunits mm\n")
        for i in range(n):
            f.write('component "p%d.prt" translate %d %d 0 end\n' % (i % PARTS, i % 1000, i // 1000))
    return path


def write_triangles(folder, n):
    # One face per row of 1000 triangles on an integer grid, every triangle of area 1/2.
    path = os.path.join(folder, "tri%d.prt" % n)
    with open(path, "w") as f:
        f.write("granite-native 1\npart\nunits mm\nprimary\n")
        rows = (n + 999) // 1000
        for j in range(rows):
            count = min(1000, n - j * 1000)
            f.write("  triangles")
            for i in range(count):
                f.write(" %d %d 0 %d %d 0 %d %d 0" % (i, j, i + 1, j, i, j + 1))
            f.write(" end\n")
        f.write("end\n")
    return path


def peak_kib(program, path):
    run = subprocess.run(["/usr/bin/time", "-v", program, "--quiet", "--json", path],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    m = re.search(r"Maximum resident set size \(kbytes\): (\d+)", run.stderr)
    if not m:
        sys.exit("no peak memory for %s:\n%s" % (path, run.stderr))
    summary = run.stdout
    tri = re.search(r'"triangles": (\d+)', summary)
    occ = re.search(r'"part_occurrences": (\d+)', summary)
    return int(m.group(1)), run.returncode, tri.group(1) if tri else "?", occ.group(1) if occ else "?"


def table(program, folder, kind, sizes, writer):
    print("| %s | file | exit | loaded | peak RSS | growth per item since previous |" % kind)
    print("|---|---|---|---|---|---|")
    previous = None
    for n in sizes:
        path = writer(folder, n)
        kib, status, tri, occ = peak_kib(program, path)
        growth = "" if previous is None else "%.0f bytes" % ((kib - previous[1]) * 1024.0 / (n - previous[0]))
        loaded = ("%s occurrences" % occ) if kind == "occurrences" else ("%s triangles" % tri)
        print("| %d | %.1f MB | %d | %s | %.1f MiB | %s |" % (
            n, os.path.getsize(path) / 1e6, status, loaded, kib / 1024.0, growth))
        previous = (n, kib)
    print()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    program = sys.argv[1]
    folder = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="granite-memory-")
    os.makedirs(folder, exist_ok=True)
    table(program, folder, "occurrences", [1000, 10000, 100000], write_assembly)
    table(program, folder, "triangles", [10000, 100000, 1000000], write_triangles)


if __name__ == "__main__":
    main()
