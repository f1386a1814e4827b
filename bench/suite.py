#!/usr/bin/env python3
"""Kestrel against the tools users would pick instead: listing, extraction and memory.

Run through bench/run, which builds what is needed first. Every case runs Kestrel and the
peers alternately in one process, several times each, and takes the median wall time; peak RSS
comes from the kernel's accounting of each child. Listing cases are also counted in
instructions under callgrind, which a busy machine does not disturb.

  suite.py [--quick] [--reps N] [--cases list,extract,one] [--formats zip,7z,lzh]
           [--no-instructions] [--out FILE]
"""
import argparse
import datetime
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import archives  # noqa: E402

BUILD = os.path.abspath(os.environ.get("KESTREL_BUILD_DIR", os.path.join(ROOT, "build")))
CLI = os.path.join(BUILD, "bin", "kestrel-cli")
DRIVER = os.path.join(BUILD, "bench", "bench_driver_list")
DRIVER_EXTRACT = os.path.join(BUILD, "bench", "bench_driver_extract")
MEASURE = os.path.join(BUILD, "bin", "bench_measure")
DATA = os.path.join(HERE, "data")

def default_dest():
    # Extraction goes to tmpfs when there is room: on a disk file system, creating files right
    # after the previous run's were deleted costs ext4 a search past the recently freed inodes,
    # which varied threefold from run to run here and drowned the tools' own differences.
    shm = "/dev/shm"
    if os.path.isdir(shm):
        st = os.statvfs(shm)
        if st.f_bavail * st.f_frsize > 6 << 30:
            return os.path.join(shm, "kestrel-bench-%d" % os.getpid())
    return os.path.join(DATA, "out")


OUT = default_dest()

FORMATS = ["zip", "7z", "lzh"]
FULL = {"tree": 200000, "tiny": 1000000, "big": 1024, "reps": 3}
# Under callgrind a run takes some fifty times as long: tools slower than this are not counted.
INSTR_MAX_SECONDS = 1.5
QUICK = {"tree": 10000, "tiny": 100000, "big": 64, "reps": 3}

# As users run the tools: the session's locale, TZ unset.
ENV = {k: v for k, v in os.environ.items() if k != "TZ"}
ENV.setdefault("LANG", "C.UTF-8")
ENV["KESTREL_ARCHIVER_DIR"] = os.path.join(BUILD, "bin")  # for the driver bench in build/bench
LZH_CHARSET = ["--options", "lha:hdrcharset=CP932"]  # bsdtar cannot read CP932 names otherwise


def log(msg):
    print(msg, file=sys.stderr, flush=True)


# --- the tools ------------------------------------------------------------------------------


def list_tools(fmt, archive):
    """[(name, is_kestrel, argv)] for listing the archive."""
    tools = [("kestrel-cli list", True, [CLI, "list", archive])]
    if os.path.exists(DRIVER):
        tools.append(("driver open+list", True, [DRIVER, archive]))
    if fmt == "zip":
        tools += [("unzip -Z1", False, ["unzip", "-Z1", archive]),
                  ("unzip -l", False, ["unzip", "-l", archive])]
    if fmt == "lzh":
        tools.append(("lhasa l", False, ["lhasa", "l", archive]))
        tools.append(("bsdtar -tf", False, ["bsdtar"] + LZH_CHARSET + ["-tf", archive]))
    else:
        tools.append(("bsdtar -tf", False, ["bsdtar", "-tf", archive]))
    tools.append(("7zz l", False, ["7zz", "l", archive]))
    return tools


def extract_tools(fmt, archive, member=None):
    """[(name, is_kestrel, argv with {DEST})]; member: one entry instead of everything."""
    one = [member] if member else []
    tools = [("kestrel-cli extract", True,
              [CLI, "extract", archive, "{DEST}"] + (["/" + member] if member else []))]
    if not member and os.path.exists(DRIVER_EXTRACT):
        # The window's path: staged on the destination's file system, then renamed into place.
        tools.append(("window (driver)", True, [DRIVER_EXTRACT, archive, "{DEST}"]))
    if fmt == "zip":
        tools.append(("unzip -o -q", False, ["unzip", "-o", "-q", archive] + one + ["-d", "{DEST}"]))
    if fmt == "lzh":
        tools.append(("lhasa x", False, ["lhasa", "xfq2w={DEST}", archive] + one))
        tools.append(("bsdtar -xf", False,
                      ["bsdtar"] + LZH_CHARSET + ["-xf", archive, "-C", "{DEST}"] + one))
    else:
        tools.append(("bsdtar -xf", False, ["bsdtar", "-xf", archive, "-C", "{DEST}"] + one))
    tools.append(("7zz x -y", False, ["7zz", "x", "-y", "-bd", archive, "-o{DEST}"] + one))
    return tools


# --- measuring ------------------------------------------------------------------------------


def run_once(argv, capture=False):
    """(wall seconds, peak RSS KiB, exit status, stdout text when captured)."""
    out = tempfile.TemporaryFile() if capture else subprocess.DEVNULL
    report = os.path.join(DATA, "measure.txt")
    subprocess.run([MEASURE, report] + argv, stdout=out, stderr=subprocess.DEVNULL, env=ENV,
                   check=True)
    with open(report) as f:
        wall, rss, status = f.read().split("\t")
    text = ""
    if capture:
        out.seek(0)
        text = out.read().decode(errors="replace")
        out.close()
    return float(wall), int(rss), int(status), text


def instructions(argv):
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + argv,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=ENV)
    m = re.search(rb"Collected : (\d+)", r.stderr)
    return int(m.group(1)) if m else None


def driver_figures(text):
    figures = {}
    for line in text.splitlines():
        key, _, value = line.partition("\t")
        try:
            figures[key] = float(value)
        except ValueError:
            pass
    return figures


def count_files(path):
    n = 0
    for _, _, files in os.walk(path):
        n += len(files)
    return n


def fresh(dest):
    if os.path.exists(dest):
        shutil.rmtree(dest)
    os.makedirs(dest)


class Result:
    def __init__(self, case, fmt, tool, kestrel):
        self.case, self.fmt, self.tool, self.kestrel = case, fmt, tool, kestrel
        self.times, self.rss, self.failures = [], [], 0
        self.instr = None
        self.note = ""
        self.driver = {}
        self.load = os.getloadavg()[0]  # when the case began

    @property
    def median(self):
        return statistics.median(self.times) if self.times else float("nan")

    @property
    def peak_mib(self):
        return max(self.rss) / 1024.0 if self.rss else float("nan")


def measure_list(case, fmt, archive, reps, count_instr, expected):
    tools = list_tools(fmt, archive)
    results = [Result(case, fmt, name, k) for name, k, _ in tools]
    for (name, _, argv), res in zip(tools, results):  # warm the page cache, check the tool
        wall, rss, rc, text = run_once(argv, capture=True)
        if rc != 0:
            res.note = "exit status %d" % rc
        if name == "kestrel-cli list":
            lines = text.count("\n")
            if lines != expected:
                res.note = "listed %d of %d entries" % (lines, expected)
    for _ in range(reps):
        for (name, _, argv), res in zip(tools, results):
            capture = name.startswith("driver")
            wall, rss, rc, text = run_once(argv, capture=capture)
            if rc != 0:
                res.failures += 1
            if capture:
                f = driver_figures(text)
                res.driver = f
                # What the window waits for: the open and the list, without Qt's start-up.
                wall = f.get("open_s", 0) + f.get("list_s", 0)
            res.times.append(wall)
            res.rss.append(rss)
    if count_instr:
        for (name, _, argv), res in zip(tools, results):
            if res.median > INSTR_MAX_SECONDS:
                continue
            log("  callgrind: %s" % name)
            res.instr = instructions(argv)
    return results


def measure_extract(case, fmt, archive, reps, member, expected_files, count_instr=False):
    tools = extract_tools(fmt, archive, member)
    results = [Result(case, fmt, name, k) for name, k, _ in tools]
    for rep in range(reps):
        for (name, _, argv), res in zip(tools, results):
            dest = os.path.join(OUT, re.sub(r"[^a-z0-9]+", "-", name))
            fresh(dest)
            os.sync()
            wall, rss, rc, _ = run_once([a.replace("{DEST}", dest) for a in argv])
            if rc != 0:
                res.failures += 1
            res.times.append(wall)
            res.rss.append(rss)
            if rep == 0:
                got = count_files(dest)
                if got != expected_files:
                    res.note = "extracted %d of %d files" % (got, expected_files)
            shutil.rmtree(dest)
    if count_instr:
        for (name, _, argv), res in zip(tools, results):
            if res.median > INSTR_MAX_SECONDS:
                continue
            log("  callgrind: %s" % name)
            dest = os.path.join(OUT, "callgrind")
            fresh(dest)
            res.instr = instructions([a.replace("{DEST}", dest) for a in argv])
            shutil.rmtree(dest)
    return results


def last_member(fmt, archive):
    """The last file of the archive in its own order whose name is plain ASCII."""
    argv = ["bsdtar"] + (LZH_CHARSET if fmt == "lzh" else []) + ["-tf", archive]
    names = subprocess.run(argv, capture_output=True, env=ENV).stdout.decode().splitlines()
    for name in reversed(names):
        if not name.endswith("/") and name.isascii():
            return name
    raise SystemExit("no ASCII file name in " + archive)


# --- report ---------------------------------------------------------------------------------


def first_line(argv):
    try:
        r = subprocess.run(argv, capture_output=True, text=True, env=ENV)
        text = (r.stdout or r.stderr).strip().splitlines()
        return text[0].strip() if text else "?"
    except OSError:
        return "missing"


def machine():
    cpu = platform.processor() or "?"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
        mem = [l for l in open("/proc/meminfo") if l.startswith("MemTotal")][0].split()[1]
        mem = "%.1f GiB" % (int(mem) / 1048576.0)
    except OSError:
        mem = "?"
    sevenzip = [l for l in subprocess.run(["7zz"], capture_output=True, text=True).stdout
                .splitlines() if l.strip()]
    commit = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    return [
        ("CPU", "%s, %d cores" % (cpu, os.cpu_count() or 0)),
        ("RAM", mem),
        ("kernel", platform.release()),
        ("Kestrel", commit + (" (with uncommitted changes)" if dirty else "")),
        ("unzip", first_line(["unzip", "-v"])),
        ("bsdtar", first_line(["bsdtar", "--version"])),
        ("7zz", sevenzip[0].strip() if sevenzip else "?"),
        ("lhasa", first_line(["lhasa"])),
        ("valgrind", first_line(["valgrind", "--version"])),
    ]


def DEST_TEXT():
    return "tmpfs (%s)" % os.path.dirname(OUT) if OUT.startswith("/dev/shm") else os.path.relpath(OUT, ROOT)


def fmt_time(s):
    return "%.3f" % s if s == s else "-"


def fmt_instr(n):
    return "%.3g G" % (n / 1e9) if n else "-"


def goal_bound(case, fmt, tool):
    """The bound on Kestrel's time over the fastest peer's, or None."""
    kind = case.split()[0]
    if kind == "list" and tool == "kestrel-cli list":
        return 1.0
    if tool != "kestrel-cli extract":
        return None
    if kind == "one":
        return 1.1
    if kind == "extract":
        # ZIP and LZH entries are decoded on every core; 7-Zip's solid blocks in order.
        if fmt in ("zip", "lzh"):
            return 0.7
        return 1.0 if case.startswith("extract big") else 1.1
    return None


# Peak resident memory of Kestrel's extraction of the big archives, in MiB.
BIG_RSS_BOUND = 64


def report(groups, sizes, args, load_before, load_after, started, seconds):
    lines = []
    add = lines.append
    add("# Kestrel benchmark results")
    add("")
    add("Made by `bench/run%s` on %s (%.0f s). Times are medians of %d runs per tool, "
        "Kestrel and the peers alternating; peak RSS is the largest of those runs. "
        "Load average (1/5/15 min) before: %s, after: %s." %
        (" --quick" if args.quick else "", started, seconds, sizes["reps"],
         "/".join("%.2f" % x for x in load_before), "/".join("%.2f" % x for x in load_after)))
    add("")
    add("| machine | |")
    add("|---|---|")
    for k, v in machine():
        add("| %s | %s |" % (k, v.replace("|", "/")))
    add("")
    add("Archives (bench/archives.py, deterministic): `tree` %d small files in nested folders "
        "(about one name in ten Japanese; ZIP deflate, 7z LZMA2 default level, LZH level 2 "
        "stored); `tiny` %d tiny stored files (ZIP); `big` 20 files, %d MiB in all, half "
        "incompressible (ZIP deflate, 7z -mx1, LZH -lh5- by jlha). `one` extracts the "
        "archive's last file. Extraction wrote into %s." % (sizes["tree"], sizes["tiny"],
                                                              sizes["big"], DEST_TEXT()))
    add("")
    add("## Ratios (Kestrel time / peer time)")
    add("")
    add("| case | format | Kestrel side | peer | ratio | instr. ratio | goal |")
    add("|---|---|---|---|---|---|---|")
    verdicts = []
    for (case, fmt), results in groups:
        peers = [r for r in results if not r.kestrel]
        for k in [r for r in results if r.kestrel]:
            fastest = min(peers, key=lambda r: r.median)
            for p in peers:
                ratio = k.median / p.median
                iratio = "%.2f" % (k.instr / p.instr) if k.instr and p.instr else "-"
                goal = ""
                bound = goal_bound(case, fmt, k.tool)
                if bound is not None and p is fastest:
                    goal = "≤ %.1f: %s" % (bound, "met" if ratio <= bound else "NOT met")
                    verdicts.append((case, fmt, k.tool, "fastest peer " + p.tool, ratio, bound))
                if k.tool.startswith("driver") and case.startswith("list tiny") and \
                        p.tool == "unzip -Z1":
                    goal = "≤ 1.5: %s" % ("met" if ratio <= 1.5 else "NOT met")
                    verdicts.append((case, fmt, k.tool, p.tool, ratio, 1.5))
                add("| %s | %s | %s | %s | %.2f | %s | %s |" %
                    (case, fmt, k.tool, p.tool, ratio, iratio, goal))
    add("")
    add("## Times and memory")
    add("")
    add("| case | format | tool | median s | min s | peak RSS MiB | instructions | load | note |")
    add("|---|---|---|---|---|---|---|---|---|")
    for (case, fmt), results in groups:
        for r in results:
            note = r.note
            if r.kestrel and case.startswith("extract big"):
                met = r.peak_mib <= BIG_RSS_BOUND
                note = (note + "; " if note else "") + "RSS ≤ %d MiB: %s" % (
                    BIG_RSS_BOUND, "met" if met else "NOT met")
                verdicts.append((case, fmt, r.tool, "peak RSS MiB", r.peak_mib, BIG_RSS_BOUND))
            if r.failures:
                note = (note + "; " if note else "") + "%d failed runs" % r.failures
            add("| %s | %s | %s%s | %s | %s | %.1f | %s | %.1f | %s |" %
                (case, fmt, "**%s**" % r.tool if r.kestrel else r.tool, "",
                 fmt_time(r.median), fmt_time(min(r.times) if r.times else float("nan")),
                 r.peak_mib, fmt_instr(r.instr), r.load, note))
    add("")
    add("Load: the 1-minute load average when the case began (2 cores; other work shared them).")
    add("")
    add("The driver's time is its own open plus whole-archive list (rows ready for the view), "
        "without Qt's start-up; the other tools' times are the whole process. Instructions "
        "(callgrind, whole process, all threads) only for listing and one-entry runs under "
        "%.1f s." % INSTR_MAX_SECONDS)
    add("")
    add("## Memory of the archive driver")
    add("")
    add("| archive | entries | open s | list s | bytes per entry | peak RSS MiB | goal |")
    add("|---|---|---|---|---|---|---|")
    for (case, fmt), results in groups:
        for r in results:
            if r.tool.startswith("driver") and r.driver:
                per = r.driver.get("bytes_per_entry", float("nan"))
                goal = ""
                if case.startswith("list tiny"):
                    goal = "≤ 300: %s" % ("met" if per <= 300 else "NOT met")
                    verdicts.append((case, fmt, "driver memory", "bytes/entry", per, 300))
                add("| %s %s | %d | %.3f | %.3f | %.0f | %.1f | %s |" %
                    (case, fmt, r.driver.get("entries", 0), r.driver.get("open_s", 0),
                     r.driver.get("list_s", 0), per, r.driver.get("peak_kib", 0) / 1024.0, goal))
    add("")
    add("Bytes per entry: the driver's resident memory after open and list less before, per "
        "listed entry (ZIP listing reads the central directory itself; libarchive holds "
        "nothing during it).")
    add("")
    findings = os.path.join(HERE, "FINDINGS.md")
    if os.path.exists(findings):
        # What the numbers above do not say by themselves: written by hand, kept across runs.
        add(open(findings, encoding="utf-8").read().rstrip())
        add("")
    return "\n".join(lines) + "\n", verdicts


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--quick", action="store_true")
    ap.add_argument("--reps", type=int)
    ap.add_argument("--cases", default="list,extract,one")
    ap.add_argument("--formats", default=",".join(FORMATS))
    ap.add_argument("--no-instructions", action="store_true")
    ap.add_argument("--out", default=os.path.join(HERE, "RESULTS.md"))
    ap.add_argument("--dest", help="folder to extract into (default: tmpfs when it has room)")
    args = ap.parse_args()
    global OUT
    if args.dest:
        OUT = os.path.abspath(args.dest)
    sizes = dict(QUICK if args.quick else FULL)
    if args.reps:
        sizes["reps"] = args.reps
    cases = args.cases.split(",")
    formats = args.formats.split(",")
    for tool in (CLI, MEASURE):
        if not os.path.exists(tool):
            raise SystemExit("%s is missing: build first (./scripts/test)" % tool)

    # Every archive first, so that making them does not disturb the timings.
    arch = {}
    for fmt in formats:
        if "list" in cases or "extract" in cases or "one" in cases:
            arch[("tree", fmt)] = archives.ensure(DATA, "tree", fmt, sizes["tree"], log)
        if "extract" in cases or "one" in cases:
            arch[("big", fmt)] = archives.ensure(DATA, "big", fmt, sizes["big"], log)
    if "list" in cases and "zip" in formats:
        arch[("tiny", "zip")] = archives.ensure(DATA, "tiny", "zip", sizes["tiny"], log)

    started = datetime.datetime.now().strftime("%Y-%m-%d %H:%M")
    t0 = time.time()
    load_before = os.getloadavg()
    reps = sizes["reps"]
    instr = not args.no_instructions and shutil.which("valgrind") is not None
    groups = []
    tree_entries = archives.tree(sizes["tree"])
    n_tree = len(tree_entries)
    n_tree_files = sum(1 for e in tree_entries if e[1] == "file")
    for fmt in formats:
        a = arch.get(("tree", fmt))
        if "list" in cases:
            case = "list tree %dk" % (sizes["tree"] // 1000)
            log("%s %s" % (case, fmt))
            groups.append(((case, fmt), measure_list(case, fmt, a, reps, instr, n_tree)))
            if fmt == "zip":
                case = "list tiny %dk" % (sizes["tiny"] // 1000)
                log("%s %s" % (case, fmt))
                n_tiny = len(archives.tree(sizes["tiny"], tiny=True))
                groups.append(((case, fmt), measure_list(case, fmt, arch[("tiny", "zip")], reps,
                                                         instr, n_tiny)))
    for fmt in formats:
        if "extract" in cases:
            case = "extract tree %dk" % (sizes["tree"] // 1000)
            log("%s %s" % (case, fmt))
            groups.append(((case, fmt), measure_extract(case, fmt, arch[("tree", fmt)], reps,
                                                        None, n_tree_files)))
            case = "extract big %d MiB" % sizes["big"]
            log("%s %s" % (case, fmt))
            groups.append(((case, fmt), measure_extract(case, fmt, arch[("big", fmt)], reps,
                                                        None, 20)))
        if "one" in cases:
            for kind in ("tree", "big"):
                a = arch[(kind, fmt)]
                member = last_member(fmt, a)
                case = "one of %s" % kind
                log("%s %s: %s" % (case, fmt, member))
                groups.append(((case, fmt), measure_extract(case, fmt, a, reps, member, 1,
                                                            instr)))
    load_after = os.getloadavg()
    shutil.rmtree(OUT, ignore_errors=True)
    text, verdicts = report(groups, sizes, args, load_before, load_after, started,
                            time.time() - t0)
    with open(args.out, "w") as f:
        f.write(text)
    print(text)
    missed = [v for v in verdicts if v[4] > v[5]]
    print("goals: %d checked, %d not met" % (len(verdicts), len(missed)))
    for case, fmt, k, p, ratio, bound in missed:
        print("  NOT met: %s %s %s vs %s: %.2f > %g" % (case, fmt, k, p, ratio, bound))
    print("written to %s" % os.path.relpath(args.out))


if __name__ == "__main__":
    main()
