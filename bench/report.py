#!/usr/bin/env python3
"""Runs the benchmark programs of a build side by side and prints the table of
ratios, each row with its goal.

In-process rows come from Google Benchmark (JSON output, repetitions run in
random interleaving, medians of CPU time). The STEP rows time whole processes:
granite-load and the Open CASCADE reference programs run in turns, and each
ratio is taken from the medians of wall time and of peak resident memory.

Usage: report.py BUILD_DIR [--repetitions N] [--rows 1,2,...] [--markdown FILE]
"""

import argparse
import json
import os
import platform
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The shared data folder lies beside the checkout (or beside the folder of
# worktrees); GRANITE_SHARED names it otherwise.
REAL = next((os.path.join(d, "data", "real") for d in
             [os.environ.get("GRANITE_SHARED", ""), os.path.join(ROOT, "..", "shared"),
              os.path.join(ROOT, "..", "..", "shared")]
             if d and os.path.isdir(os.path.join(d, "data", "real"))), "")
# The larger STEP files of the real samples.
STEP_FILES = [
    "trj4_pm2-ec-214.stp",
    "nist_ctc_02_asme1_ap203.stp",
    "nist_ftc_09_asme1_ap242-e1.stp",
    "as1_motor.step",
]


# ---- Google Benchmark

def run_gbench(exe, repetitions, out_dir, benchmark_filter=None, min_time=None):
    """Medians per benchmark name: {name: {"cpu_time": ns, counters...}}."""
    if not os.path.exists(exe):
        return None
    out = os.path.join(out_dir, os.path.basename(exe) + ".json")
    cmd = [exe, "--benchmark_format=json", "--benchmark_out_format=json",
           "--benchmark_out=" + out,
           "--benchmark_repetitions=%d" % repetitions,
           "--benchmark_enable_random_interleaving=true",
           "--benchmark_report_aggregates_only=true"]
    if benchmark_filter:
        cmd.append("--benchmark_filter=" + benchmark_filter)
    if min_time:
        cmd.append("--benchmark_min_time=%g" % min_time)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    with open(out) as f:
        data = json.load(f)
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
    medians = {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            medians.setdefault(b["run_name"], {"error": b.get("error_message", "failed")})
            continue
        if b.get("aggregate_name") != "median":
            continue
        entry = dict(b)
        unit = scale[b.get("time_unit", "ns")]
        entry["cpu_time"] = b["cpu_time"] * unit
        entry["real_time"] = b["real_time"] * unit
        medians[b["run_name"]] = entry
    return medians


# ---- whole processes

def measure(cmd):
    """Wall seconds, CPU seconds, peak resident KiB, exit status of one run."""
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        p.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        message = err.read().decode(errors="replace").strip()
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "rss": usage.ru_maxrss,
            "status": p.returncode, "stderr": message}


def compare_processes(commands, repetitions):
    """Runs the named commands in turns; medians of each."""
    runs = {name: [] for name in commands}
    for _ in range(repetitions):
        for name, cmd in commands.items():
            runs[name].append(measure(cmd))
    result = {}
    for name, rs in runs.items():
        bad = [r for r in rs if r["status"] != 0]
        result[name] = {
            "wall": statistics.median(r["wall"] for r in rs),
            "cpu": statistics.median(r["cpu"] for r in rs),
            "rss": statistics.median(r["rss"] for r in rs),
            "failed": bad[0]["stderr"].splitlines()[-1:] if bad else None,
            "status": bad[0]["status"] if bad else 0,
        }
    return result


# ---- the table

class Table:
    def __init__(self):
        self.rows = []

    def add(self, row, what, value, goal, met, detail=""):
        self.rows.append((row, what, value, goal, met, detail))

    def missing(self, row, what, goal, why):
        self.rows.append((row, what, "n/a", goal, None, why))

    def markdown(self):
        lines = ["| row | measured | ratio | goal | met | detail |",
                 "|---|---|---|---|---|---|"]
        for row, what, value, goal, met, detail in self.rows:
            shown = value if isinstance(value, str) else "%.3g" % value
            verdict = "yes" if met else ("no" if met is not None else "-")
            lines.append("| %s | %s | %s | %s | %s | %s |" % (row, what, shown, goal, verdict, detail))
        return "\n".join(lines)


def at_most(limit):
    return "<= %g" % limit, lambda v: v <= limit


def at_least(limit):
    return ">= %g" % limit, lambda v: v >= limit


def below(limit):
    return "< %g" % limit, lambda v: v < limit


def ratio_row(table, row, what, num, den, goal, detail=""):
    text, test = goal
    value = num / den if den else float("inf")
    table.add(row, what, value, text, test(value), detail)


# Per-item (or per-occurrence) costs of the same work at two sizes: a quadratic
# term shows as a ratio near the size factor; caches alone stay well below 3.
LINEAR = at_most(3.0)


def per_item(m, name, items):
    return m[name]["cpu_time"] / items


def fmt_ns(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return "%.3g %s" % (ns / scale, unit)
    return "%.3g ns" % ns


def rows_loader(table, m, rows):
    """Rows 1 to 3, from bench/loader."""
    if m is None:
        for row in sorted(rows & {"1", "2", "3"}):
            table.missing(row, "loader benchmarks", "", "loader_bench not built")
        return
    # A benchmark that failed shows as a row of its own with the reason.
    row_of = {"BM_Tess": "1", "BM_Hand": "1", "BM_Repe": "2", "BM_Part": "2", "BM_Exch": "2",
              "BM_Wide": "3",
              "BM_Deep": "3"}
    for name, entry in sorted(m.items()):
        if "error" in entry:
            table.missing(row_of.get(name[:7], "?"), name, "", entry["error"])
    m = {k: v for k, v in m.items() if "error" not in v}
    # Row 1: the mesh hand-over against its limit.
    for mode, label in (("Faces:0", "one mesh per body"), ("Faces:1", "one mesh per face")):
        a, b = "BM_TessellateBody/%s" % mode, "BM_HandOverLimit/%s" % mode
        if "1" not in rows:
            continue
        if a in m and b in m:
            ratio_row(table, "1", "TessellateBody vertices/s / limit's (%s)" % label,
                      m[a]["items_per_second"], m[b]["items_per_second"], at_least(0.9),
                      "%.3g M vertices/s vs %.3g M" % (m[a]["items_per_second"] / 1e6,
                                                       m[b]["items_per_second"] / 1e6))
        else:
            table.missing("1", "TessellateBody vs limit (%s)" % label, ">= 0.9", "not measured")
    # Row 2: repeated parts. The cost of a reused occurrence is the growth of
    # the load's time per added occurrence over the load of each part once.
    sizes = sorted(int(k.split("/")[1]) for k in m if k.startswith("BM_RepeatedParts/"))
    once = m.get("BM_PartsOnce")
    if "2" not in rows:
        pass
    elif once and len(sizes) >= 2:
        parts = int(once["parts"])
        base = once["cpu_time"]
        reuse = {n: (m["BM_RepeatedParts/%d" % n]["cpu_time"] - base) / (n - parts) for n in sizes}
        lo, hi = sizes[0], sizes[-1]
        # The smallest size is dominated by the parts' own loads; flatness is
        # judged from the second size on.
        ref = sizes[1] if len(sizes) > 2 else lo
        ratio_row(table, "2", "reused occurrence cost at N=%d / at N=%d" % (hi, ref),
                  reuse[hi], reuse[ref], LINEAR,
                  ", ".join("N=%d: %s" % (n, fmt_ns(reuse[n])) for n in sizes))
        ratio_row(table, "2", "reused occurrence / tessellating its part (BuildElementList + LoadAllParts)",
                  reuse[hi], base / parts, at_most(0.03),
                  "%s vs %s per part (%d parts)" % (fmt_ns(reuse[hi]), fmt_ns(base / parts), parts))
    else:
        table.missing("2", "repeated parts", "", "not measured")
    once_load = m.get("BM_PartsOnceLoadOnly")
    many = [k for k in m if k.startswith("BM_RepeatedPartsLoadOnly/")]
    if once_load and many:
        parts = int(once_load["parts"])
        n = int(many[0].split("/")[1])
        r = (m[many[0]]["cpu_time"] - once_load["cpu_time"]) / (n - parts)
        t = once_load["cpu_time"] / parts
        ratio_row(table, "2", "reused occurrence / tessellating its part (LoadAllParts alone)",
                  r, t, below(0.01), "%s vs %s per part, N=%d" % (fmt_ns(r), fmt_ns(t), n))
    # Row 2: one STEP part placed N times by a native assembly, translated
    # afresh by every load: an added occurrence against the first.
    # Named with the time they measure ("BM_ExchangeOccurrences/10/process_time").
    exchange_runs = {int(k.split("/")[1]): k for k in m if k.startswith("BM_ExchangeOccurrences/")}
    exchange = sorted(exchange_runs)
    if "2" in rows and len(exchange) >= 2:
        t = {n: m[exchange_runs[n]]["cpu_time"] for n in exchange}
        lo, hi = exchange[0], exchange[-1]
        added = (t[hi] - t[lo]) / (hi - lo)
        ratio_row(table, "2", "STEP part placed N times: added occurrence / the first",
                  added, t[lo], at_most(0.02),
                  "%s per added occurrence vs %s for N=%d; " % (fmt_ns(added), fmt_ns(t[lo]), lo) +
                  ", ".join("N=%d: %s" % (n, fmt_ns(t[n])) for n in exchange))
    elif "2" in rows:
        table.missing("2", "STEP part placed N times", "<= 0.02", "not measured")
    # Row 3: wide and deep trees.
    for kind, label in (("Wide", "component"), ("Deep", "level")):
        if "3" not in rows:
            break
        sizes = sorted(int(k.split("/")[1]) for k in m if k.startswith("BM_%sTree/" % kind))
        if len(sizes) >= 2:
            lo, hi = sizes[0], sizes[-1]
            a = per_item(m, "BM_%sTree/%d" % (kind, hi), hi)
            b = per_item(m, "BM_%sTree/%d" % (kind, lo), lo)
            short = [n for n in (lo, hi) if m["BM_%sTree/%d" % (kind, n)]["parts"] !=
                     m["BM_%sTree/%d" % (kind, n)]["parts_expected"]]
            note = "; at %d the load reached %d of %d parts" % (
                short[0], m["BM_%sTree/%d" % (kind, short[0])]["parts"],
                m["BM_%sTree/%d" % (kind, short[0])]["parts_expected"]) if short else ""
            text, test = LINEAR
            value = a / b
            table.add("3", "%s tree: time per %s at %d / at %d" % (kind.lower(), label, hi, lo),
                      value, text, test(value) and not short,
                      "%s vs %s%s" % (fmt_ns(a), fmt_ns(b), note))
        else:
            table.missing("3", "%s tree" % kind.lower(), LINEAR[0], "not measured")
    deep = [k for k in m if k.startswith("BM_DeepTree/")]
    if deep:
        top = max(deep, key=lambda k: int(k.split("/")[1]))
        used = m[top].get("stack_bytes")
        if used is not None and m[top]["parts"] != m[top]["parts_expected"]:
            text, test = at_most(1.0)
            table.add("3", "stack for %s levels / 1 MiB" % top.split("/")[1], used / (1 << 20),
                      text, None, "%d bytes, but the load stopped before the last level" % used)
        elif used is not None:
            levels = int(top.split("/")[1])
            text, test = at_most(1.0)
            value = used / (1 << 20)
            table.add("3", "stack for %d levels / 1 MiB (the host's thread stack)" % levels, value,
                      text, test(value), "%d bytes, %.0f per level" % (used, used / levels))


def rows_basic(table, m):
    """Row 5, from bench/basic."""
    if m is None:
        table.missing("5", "strings and lists", "", "basic_bench not built")
        return
    for n in (7, 8):
        name = "BM_StringPassByValue/%d" % n
        if name in m:
            allocs = m[name]["allocations_per_string"]
            if n == 7:
                table.add("5", "heap allocations per string of 7 characters", allocs, "0",
                          allocs == 0, "made from text, then copied")
            else:
                table.add("5", "heap allocations per string of 8 characters", allocs, "(1: on the heap)",
                          None, "for contrast")
    for name, label in (("BM_ListIteratorWalk", "iterator walk"),
                        ("BM_ListIndexedAfterChange", "indexed access after one change")):
        a, b = "%s/1000000" % name, "%s/1000" % name
        if a in m and b in m:
            ta, tb = per_item(m, a, 1000000), per_item(m, b, 1000)
            ratio_row(table, "5", "list %s: time per item at 1,000,000 / at 1,000" % label,
                      ta, tb, LINEAR, "%s vs %s" % (fmt_ns(ta), fmt_ns(tb)))


def rows_step(table, build, repetitions, out_dir):
    """Row 4: STEP end to end against Open CASCADE."""
    load = os.path.join(build, "tools", "granite-load", "granite-load")
    probe = os.path.join(build, "bench", "loader", "load_tolerances")
    mesh_ref = os.path.join(build, "bench", "occt_reference", "occt_mesh_reference")
    gltf_ref = os.path.join(build, "bench", "occt_reference", "occt_gltf_reference")
    for exe, why in ((mesh_ref, "Open CASCADE reference not built"),
                     (load, "granite-load not built"), (probe, "load_tolerances not built")):
        if not os.path.exists(exe):
            table.missing("4", "STEP end to end", "<= 1.05 CPU, <= 1.0 memory, glb <= 0.9", why)
            return
    for name in STEP_FILES:
        path = os.path.join(REAL, name)
        if not os.path.exists(path):
            table.missing("4", name, "", "file not found")
            continue
        # The tolerances the loader meshes at, for the reference to use.
        tol = subprocess.run([probe, path], capture_output=True, text=True)
        if tol.returncode != 0:
            table.missing("4", name, "", "the loader could not load it: " + tol.stderr.strip()[-120:])
            continue
        chord, angle = tol.stdout.split()[:2]
        flags = ["--deflection", chord, "--angle", angle]
        glb_ours = os.path.join(out_dir, "granite.glb")
        glb_small = os.path.join(out_dir, "granite-compressed.glb")
        glb_ref = os.path.join(out_dir, "reference.glb")
        r = compare_processes({
            "ours": [load, "--quiet", path],
            "ref": [mesh_ref, path] + flags,
            "ours_glb": [load, "--quiet", "--gltf", glb_ours, path],
            "ours_glbz": [load, "--quiet", "--compress", "--gltf", glb_small, path],
            "ref_glb": [gltf_ref, path, glb_ref] + flags,
        }, repetitions)
        failed = [k for k, v in r.items() if v["failed"] is not None]
        # granite-load exits 3 for a load in part, which still gives a scene.
        hard = [k for k in failed if r[k]["status"] not in (0, 3)]
        if hard:
            table.missing("4", name, "", "%s failed: %s" % (hard[0], " ".join(r[hard[0]]["failed"])))
            continue
        note = " (loaded in part)" if failed else ""
        short = name.split(".")[0][:24]
        # CPU time: both sides run on one thread, and a busy neighbour on a
        # shared machine disturbs it less than wall time.
        ratio_row(table, "4", "%s: granite-load time / reference%s" % (short, note),
                  r["ours"]["cpu"], r["ref"]["cpu"], at_most(1.05),
                  "%.2f s vs %.2f s CPU (%.2f s vs %.2f s wall), deflection %.4g" % (
                      r["ours"]["cpu"], r["ref"]["cpu"], r["ours"]["wall"], r["ref"]["wall"],
                      float(chord)))
        ratio_row(table, "4", "%s: granite-load peak memory / reference" % short,
                  r["ours"]["rss"], r["ref"]["rss"], at_most(1.0),
                  "%.0f MiB vs %.0f MiB" % (r["ours"]["rss"] / 1024, r["ref"]["rss"] / 1024))
        ratio_row(table, "4", "%s: granite-load --gltf time / RWGltf_CafWriter" % short,
                  r["ours_glb"]["cpu"], r["ref_glb"]["cpu"], at_most(0.9),
                  "%.2f s vs %.2f s CPU (%.2f s vs %.2f s wall)" % (
                      r["ours_glb"]["cpu"], r["ref_glb"]["cpu"], r["ours_glb"]["wall"],
                      r["ref_glb"]["wall"]))
        rows_glb_size(table, load, path, short, chord, r, glb_ours, glb_small, glb_ref)


def glb_shape(path):
    """Meshes, nodes and bytes of a .glb file."""
    with open(path, "rb") as f:
        data = f.read()
    length = struct.unpack("<I", data[12:16])[0]
    doc = json.loads(data[20:20 + length])
    return len(doc.get("meshes", [])), len(doc.get("nodes", [])), len(data)


def rows_glb_size(table, load, path, short, chord, r, glb_ours, glb_small, glb_ref):
    """Row 4, glTF files: sizes against the reference writer's, the compressed
    positions' error, the writing's share of the load."""
    try:
        ours, small, ref = glb_shape(glb_ours), glb_shape(glb_small), glb_shape(glb_ref)
    except (OSError, ValueError, struct.error) as e:
        table.missing("4", short + ": glTF sizes", "", str(e))
        return
    shape = "%d meshes, %d nodes, %d bytes vs %d meshes, %d nodes, %d bytes"
    ratio_row(table, "4", "%s: --gltf file / RWGltf_CafWriter's" % short, ours[2], ref[2], at_most(1.0),
              shape % (ours + ref))
    ratio_row(table, "4", "%s: --gltf --compress file / RWGltf_CafWriter's" % short, small[2], ref[2],
              at_most(1 / 6.0), shape % (small + ref))
    # The writing's CPU time as granite-load measures it around the writer,
    # against the whole load's.
    written = {}
    for key, flags in (("--gltf", []), ("--gltf --compress", ["--compress"])):
        run = subprocess.run([load, "--quiet", "--json"] + flags + ["--gltf", glb_small, path],
                             capture_output=True, text=True)
        try:
            written[key] = json.loads(run.stdout)["outputs"]["gltf"]
        except (ValueError, KeyError) as e:
            table.missing("4", "%s: %s" % (short, key), "", "no summary: %s" % e)
    if "--gltf --compress" in written:
        error = written["--gltf --compress"]["position_error"]
        ratio_row(table, "4", "%s: --compress largest position error / chordal tolerance" % short,
                  error, float(chord), at_most(0.1), "%.4g vs %.4g" % (error, float(chord)))
    for key, out in written.items():
        ratio_row(table, "4", "%s: %s writing / load (CPU)" % (short, key), out["cpu_ms"] / 1000.0,
                  r["ours"]["cpu"], at_most(0.1), "%.3f s vs %.2f s CPU" % (out["cpu_ms"] / 1000.0, r["ours"]["cpu"]))


def rows_stop(table, build, runs):
    """Row 6: from a stop request (a real SIGINT at a random moment) to the end
    of granite-load's run, in process time; the bar's longest stand-still."""
    exe = os.path.join(build, "bench", "stop", "stop_bench")
    if not os.path.exists(exe):
        table.missing("6", "stop latency", "median <= 20 ms, max <= 100 ms", "stop_bench not built")
        return
    args = [exe, "--runs", str(runs)]
    for name in ("trj4_pm2-ec-214.stp", "nist_ctc_02_asme1_ap203.stp"):
        path = os.path.join(REAL, name)
        if os.path.exists(path):
            args.append(path)
        else:
            table.missing("6", name, "", "file not found")
    args += ["--native-model", os.path.join(ROOT, "examples", "gearbox", "gearbox.asm")]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    pooled = []
    for line in out.splitlines():
        r = json.loads(line)
        name = os.path.basename(r["file"]).split(".")[0][:24]
        pooled += r["latencies_ms"]
        detail = "%d stops in a %.2f s load, %d kernel objects left after them" % (
            r["stops"], r["load_s"], r["live_after"])
        text, test = at_most(20)
        table.add("6", "%s: stop to end, median ms" % name, r["median_ms"], text,
                  test(r["median_ms"]) and r["live_after"] == 0, detail)
        text, test = at_most(100)
        table.add("6", "%s: stop to end, max ms" % name, r["max_ms"], text, test(r["max_ms"]))
        if name.startswith("trj4"):
            text, test = at_most(0.25)
            table.add("6", "%s: longest stand-still of the bar, s" % name, r["bar_still_max_s"],
                      text, test(r["bar_still_max_s"]))
    if pooled:
        text, test = at_most(20)
        median = statistics.median(pooled)
        table.add("6", "all four loads: stop to end, median ms", median, text, test(median),
                  "%d stops; max %.1f ms" % (len(pooled), max(pooled)))


def machine():
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return "%s, %d cores (nproc), %s" % (model, os.cpu_count() or 0, platform.platform())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--repetitions", type=int, default=5)
    ap.add_argument("--rows", default="1,2,3,4,5,6")
    ap.add_argument("--markdown", help="also write the table to this file")
    args = ap.parse_args()
    rows = set(args.rows.split(","))
    build = os.path.abspath(args.build)
    out_dir = os.path.join(build, "bench-results")
    os.makedirs(out_dir, exist_ok=True)

    table = Table()
    if rows & {"1", "2", "3"}:
        wanted = "|".join({"1": "BM_TessellateBody|BM_HandOverLimit",
                           "2": "BM_PartsOnce|BM_RepeatedParts|BM_ExchangeOccurrences",
                           "3": "BM_WideTree|BM_DeepTree"}[r] for r in sorted(rows & {"1", "2", "3"}))
        rows_loader(table, run_gbench(os.path.join(build, "bench", "loader", "loader_bench"),
                                      args.repetitions, out_dir, wanted), rows)
    if "4" in rows:
        rows_step(table, build, max(3, args.repetitions // 2 + 1), out_dir)
    if "5" in rows:
        rows_basic(table, run_gbench(os.path.join(build, "bench", "basic", "basic_bench"),
                                     args.repetitions, out_dir))
    if "6" in rows:
        rows_stop(table, build, 50)
    table.rows.sort(key=lambda r: r[0])

    text = "%s\n\nMachine: %s; %s UTC\n" % (table.markdown(), machine(),
                                          time.strftime("%Y-%m-%d %H:%M", time.gmtime()))
    print(text)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
