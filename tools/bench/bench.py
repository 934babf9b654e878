#!/usr/bin/env python3
"""Measures the five programs against a plain copy of the same bytes.

For each size, generates the inputs with the project's generators, then for
every program runs, interleaved and with a warm page cache:
  - the program (wall time; peak resident memory from a run under GNU time),
  - the copy baseline: its inputs read to /dev/null (cat) and a new file of
    its output's size written from memory (dd from /dev/zero in 256 KB
    blocks, the size of the programs' writes),
and prints one table: medians of the times, the median of the ratios of each
program run to the baseline run after it, MB/s of
input, and the largest peak resident memory of the runs.

The baseline writes its file through write(), as the programs do, rather
than with a cat of the expected output: cat copies a file to a file inside the
kernel (copy_file_range), and that copy of a program's freshly written output
took anywhere from 0.04 to 1 s for the same 256 MB on ext4.

Both sides are timed the same way: each command is started directly from
here (GNU time, which the memory needs, costs more to start than a cat, so
its runs are not timed). The baseline starts two processes, the program one;
the cost of starting one is shown with the growth figures. The program's
output file is removed before each of its runs and before each run of the
baseline, so that both create their file afresh (overwriting an existing file
would charge the program for dropping the old one) into memory that the
previous file just gave back (in a virtual machine, pages that were given
back to the host long ago cost a fault each when first written again).

On a disk file system, the writeback of earlier files comes at moments of
its own and can land on some runs and not others; on a busy machine the
figures are steadier with the work folder in memory: --work /dev/shm/kit-bench
(about 10 times the largest size). The first line of the output names the
work folder's file system, the machine and the load average.

Usage: tools/bench/bench.py [--build DIR] [--sizes 16,64,256] [--runs 5] [--work DIR]
The build DIR must hold the programs and generators (a Release build:
`cmake --preset release && cmake --build --preset release`).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

MB = 1 << 20


def run_measured(argv, cwd, stdout=subprocess.DEVNULL):
    """Runs argv in cwd; returns (seconds, peak RSS in MB). Fails on a non-zero status.

    The peak resident memory comes from GNU time, which starts the program from
    its own small process: a child forked from this interpreter would carry the
    interpreter's pages into its peak."""
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", *argv], cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with status {proc.returncode}: {proc.stderr.decode(errors='replace')}")
    peak_kb = int(proc.stderr.decode().strip().splitlines()[-1])
    return elapsed, peak_kb / 1024.0


def run_timed(argv, cwd, stdout):
    """Runs argv in cwd; returns its wall time in seconds. Fails on a non-zero status."""
    start = time.perf_counter()
    proc = subprocess.run(argv, cwd=cwd, stdout=stdout, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"{' '.join(argv)} failed with status {proc.returncode}: {proc.stderr.decode(errors='replace')}")
    return elapsed


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def copy_baseline(cwd, inputs, output, size):
    """Reads every input and writes a new file of `size` bytes, the output's size: the floor for one pass."""
    copy = os.path.join(cwd, "baseline.out")
    remove(os.path.join(cwd, output))
    t0 = run_timed(["cat", *inputs], cwd, subprocess.DEVNULL)
    t1 = run_timed(["dd", "if=/dev/zero", "of=" + copy, "bs=256K", f"count={size}", "iflag=count_bytes", "status=none"],
                   cwd, subprocess.DEVNULL)
    if os.path.getsize(copy) != size:
        sys.exit(f"the baseline wrote {os.path.getsize(copy)} bytes instead of {size}")
    os.remove(copy)
    return t0 + t1


def run_program(argv, cwd, output):
    """One timed run of a program, writing its output file afresh; returns seconds."""
    remove(os.path.join(cwd, output))
    return run_timed(argv, cwd, subprocess.DEVNULL)


def peak_memory(argv, cwd, output):
    """One run of a program under GNU time, writing its output file afresh; returns MB."""
    remove(os.path.join(cwd, output))
    return run_measured(argv, cwd)[1]


def prepare(build, work, size_mb, seed=7):
    """Generates the inputs of every program at about size_mb of input."""
    size = size_mb * MB
    d = os.path.join(work, f"{size_mb}mb")
    os.makedirs(d, exist_ok=True)
    gen = lambda name: os.path.join(build, "tools", name)
    prog = lambda name: os.path.join(build, name, name)
    subprocess.run([gen("gen_scriptdata"), os.path.join(d, "a.dat"), str(size), str(seed)], check=True)
    subprocess.run([prog("symspill"), "a.dat"], cwd=d, check=True, stdout=subprocess.DEVNULL)
    subprocess.run([gen("gen_archive"), os.path.join(d, "ou.bin"), str(size), str(seed)], check=True)
    subprocess.run([prog("arcspill")], cwd=d, check=True, stdout=subprocess.DEVNULL)
    # The text archive of the same size, as the archive unpacker writes it.
    subprocess.run([gen("gen_textarchive"), os.path.join(d, "ou.csl"), str(size), str(seed)], check=True)
    subprocess.run([prog("linespill")], cwd=d, check=True, stdout=subprocess.DEVNULL)
    subprocess.run([prog("linefold")], cwd=d, check=True, stdout=subprocess.DEVNULL)
    return d


def cases(build):
    prog = lambda name: os.path.join(build, name, name)
    # name, argv, inputs, output
    return [
        ("symspill", [prog("symspill"), "a.dat"], ["a.dat"], "a.dat.txt"),
        ("symfold", [prog("symfold"), "a.dat"], ["a.dat", "a.dat.txt"], "a.dat.new"),
        ("arcspill", [prog("arcspill")], ["ou.bin"], "ou_unpack.csl"),
        ("linespill", [prog("linespill")], ["ou.csl"], "ou.txt"),
        ("linefold", [prog("linefold")], ["ou.csl", "ou.txt"], "ou.cls.new"),
    ]


def machine():
    """The processor's model name and how many cores the system has."""
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} cores"


def file_system(path):
    """The type of the file system that holds `path`, from /proc/mounts."""
    best, kind = "", "unknown"
    path = os.path.realpath(path)
    try:
        with open("/proc/mounts") as f:
            for line in f:
                fields = line.split()
                mount = fields[1].replace("\\040", " ")
                if (path == mount or path.startswith(mount.rstrip("/") + "/")) and len(mount) >= len(best):
                    best, kind = mount, fields[2]
    except OSError:
        pass
    return kind


def fmt_load(load):
    return " ".join(f"{x:.2f}" for x in load)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build/release")
    ap.add_argument("--sizes", default="16,64,256")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", default=None, help="folder for the generated inputs (default: a temporary one)")
    ap.add_argument("--keep", action="store_true", help="keep the generated inputs")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    work = args.work or tempfile.mkdtemp(prefix="kit-bench-")
    os.makedirs(work, exist_ok=True)
    sizes = [int(s) for s in args.sizes.split(",")]
    rows = []
    starts = {}  # name: median time of a run that only starts the program (--version)
    load_before = os.getloadavg()
    fs = file_system(work)
    try:
        for size in sizes:
            d = prepare(build, work, size)
            for name, argv, inputs, output in cases(build):
                if name not in starts:
                    starts[name] = statistics.median(
                        run_timed([argv[0], "--version"], d, subprocess.DEVNULL) for _ in range(args.runs))
                prog_t, prog_rss, base_t = [], [], []
                run_measured(argv, d)  # warm the page cache
                out_size = os.path.getsize(os.path.join(d, output))
                copy_baseline(d, inputs, output, out_size)
                for _ in range(args.runs):
                    prog_t.append(run_program(argv, d, output))
                    base_t.append(copy_baseline(d, inputs, output, out_size))
                    # The output is made again here, for the next run and the next program.
                    prog_rss.append(peak_memory(argv, d, output))
                in_mb = sum(os.path.getsize(os.path.join(d, f)) for f in inputs) / MB
                out_mb = out_size / MB
                pt, bt = statistics.median(prog_t), statistics.median(base_t)
                # Each program run is compared with the baseline run right after
                # it: on a shared machine a slow moment then weighs on both
                # sides of a pair, where a ratio of the two medians would take
                # the sides from different moments.
                ratio = statistics.median(p / b for p, b in zip(prog_t, base_t))
                rows.append((size, name, in_mb, out_mb, pt, bt, ratio, in_mb / pt, max(prog_rss)))
            if not args.keep:
                shutil.rmtree(d)
    finally:
        if not args.keep and args.work is None:
            shutil.rmtree(work, ignore_errors=True)

    load_after = os.getloadavg()
    print(f"{machine()}; work folder on {fs}; load average (1, 5, 15 min) {fmt_load(load_before)} before, "
          f"{fmt_load(load_after)} after")
    print()
    head = ("size", "program", "in MB", "out MB", "time s", "copy s", "ratio", "MB/s", "peak RSS MB")
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for size, name, in_mb, out_mb, pt, bt, ratio, mbs, rss in rows:
        print(f"| {size} MB | {name} | {in_mb:.0f} | {out_mb:.0f} | {pt:.3f} | {bt:.3f} | {ratio:.2f} | {mbs:.0f} | {rss:.1f} |")
    # Time per MB at the largest size against the smallest: growth should be
    # linear. Starting a process costs the same at every size, so it is shown
    # once and also taken out; the copy baseline's own figure is beside it,
    # since the machine's fixed costs weigh on it too. With three sizes or
    # more, the time each added MB costs is shown between the first two sizes
    # and between the last two: the slope, which fixed costs do not touch.
    if len(sizes) > 1:
        print()
        for name in [c[0] for c in cases(build)]:
            r = [x for x in rows if x[1] == name]
            small, large = r[0], r[-1]
            per_small, per_large = small[4] / small[2], large[4] / large[2]
            copy_small, copy_large = small[5] / small[2], large[5] / large[2]
            start = starts[name]
            net_small, net_large = (small[4] - start) / small[2], (large[4] - start) / large[2]
            line = (f"{name}: time per input MB at {large[0]} MB is {per_large / per_small:.2f} x that at {small[0]} MB "
                    f"(copy baseline {copy_large / copy_small:.2f} x); "
                    f"{net_large / net_small:.2f} x without the {start * 1000:.1f} ms of a run that only starts it")
            if len(r) > 2:
                first = (r[1][4] - r[0][4]) / (r[1][2] - r[0][2])
                last = (r[-1][4] - r[-2][4]) / (r[-1][2] - r[-2][2])
                line += (f"; each added MB costs {first * 1000:.2f} ms from {r[0][0]} to {r[1][0]} MB, "
                         f"{last * 1000:.2f} ms from {r[-2][0]} to {r[-1][0]} MB ({last / first:.2f} x)")
            print(line)


if __name__ == "__main__":
    main()
