#!/usr/bin/env python3
"""Runs the bench's own children, whose truth is known, under wexel and
under GNU time, alternating the two on every repetition, and writes every
raw figure to a JSON file.

usage: accuracy.py WEXEL GNU_TIME BENCH_CHILD OUT.json [WEXEL_BEFORE]
With WEXEL_BEFORE, the late virtual peaks are also measured with that wexel.
"""
import json
import re
import subprocess
import sys
import tempfile

# name, child arguments, repetitions, contenders
CASES = [
    ("cpu 100 ms", ["burn", "100"], 5, ("wexel", "gnu-time")),
    ("cpu 1 s", ["burn", "1000"], 3, ("wexel", "gnu-time")),
    ("sleep 100 ms", ["sleep", "100"], 5, ("wexel", "gnu-time")),
    ("sleep 1 s", ["sleep", "1000"], 3, ("wexel", "gnu-time")),
    ("2 threads x 500 ms cpu", ["threads", "2", "500"], 3, ("wexel", "gnu-time")),
    ("hold 64 MiB 200 ms", ["hold", "64", "200"], 3, ("wexel", "gnu-time")),
    ("hold 512 MiB 200 ms", ["hold", "512", "200"], 3, ("wexel", "gnu-time")),
    ("touch+release 256 MiB, live 200 ms", ["release", "256", "200"], 3, ("wexel", "gnu-time")),
]
# Virtual peaks reached late: 256 MiB mapped (not touched) BEFORE ms before
# the end of a 1 s run. Only wexel reports a virtual peak.
LATE_BEFORE_MS = [0, 5, 10, 25, 50, 75, 100, 200, 500]
LATE_REPS = 2

TRUTH = re.compile(r"truth cpu_ns=(\d+) wall_ns=(\d+) premain_cpu_ns=(\d+) "
                   r"vmhwm_kb=(-?\d+) vmpeak_kb=(-?\d+)")
WEXEL_LINE = re.compile(r"^(Kernel  Time|User    Time|Process Time|Global  Time) =\s*(\d+)\.(\d{3})"
                        r"[^\n]*?(?:(Virtual  Memory|Physical Memory) =\s*(\d+) MB)?$", re.M)


def truth_of(stdout):
    m = TRUTH.search(stdout)
    if not m:
        raise SystemExit("no truth line in:\n" + stdout)
    cpu, wall, premain, hwm, peak = map(int, m.groups())
    return {"cpu_ns": cpu, "wall_ns": wall, "premain_cpu_ns": premain,
            "vmhwm_kb": hwm, "vmpeak_kb": peak}


def run_wexel(wexel, child, args):
    p = subprocess.run([wexel, child] + args, capture_output=True, text=True)
    if p.returncode != 0:
        raise SystemExit("wexel failed: %r\n%s" % (p.returncode, p.stdout))
    figures = {}
    for label, sec, ms, mem_label, mb in WEXEL_LINE.findall(p.stdout):
        figures[label] = int(sec) * 1000 + int(ms)
        if mem_label:
            figures[mem_label] = int(mb)
    return truth_of(p.stdout), {
        "cpu_ms": figures["Process Time"], "wall_ms": figures["Global  Time"],
        "kernel_ms": figures["Kernel  Time"], "user_ms": figures["User    Time"],
        "resident_mib": figures["Physical Memory"], "virtual_mib": figures["Virtual  Memory"],
        "raw": p.stdout.split("\n", 1)[1].strip("\n"),
    }


def run_gnu_time(gnu_time, child, args):
    with tempfile.NamedTemporaryFile("r") as out:
        p = subprocess.run([gnu_time, "-o", out.name, "-f", "%e %U %S %M", child] + args,
                           capture_output=True, text=True)
        raw = out.read().strip()
    if p.returncode != 0:
        raise SystemExit("GNU time failed: %r\n%s" % (p.returncode, raw))
    wall, user, system, rss = raw.split()[-4:]
    return truth_of(p.stdout), {
        "cpu_ms": round((float(user) + float(system)) * 1000), "wall_ms": round(float(wall) * 1000),
        "user_ms": round(float(user) * 1000), "kernel_ms": round(float(system) * 1000),
        "resident_kb": int(rss), "raw": raw,
    }


def main():
    wexel, gnu_time, child, out_path = sys.argv[1:5]
    before = sys.argv[5] if len(sys.argv) > 5 else None
    runners = {"wexel": lambda a: run_wexel(wexel, child, a),
               "gnu-time": lambda a: run_gnu_time(gnu_time, child, a)}
    results = {"cases": [], "late": [], "late_before": []}
    for name, args, reps, contenders in CASES:
        case = {"name": name, "command": ["bench_child"] + args, "runs": []}
        for rep in range(reps):
            # Alternate which contender goes first, so neither always runs
            # on a machine just warmed (or just disturbed) by the other.
            order = contenders if rep % 2 == 0 else tuple(reversed(contenders))
            for who in order:
                truth, figures = runners[who](args)
                case["runs"].append({"contender": who, "rep": rep, "truth": truth,
                                     "figures": figures})
        results["cases"].append(case)
        print("  %s done" % name, flush=True)
    for rep in range(LATE_REPS):
        for before_ms in LATE_BEFORE_MS:
            args = ["late", "1000", str(before_ms), "256"]
            truth, figures = run_wexel(wexel, child, args)
            results["late"].append({"before_ms": before_ms, "rep": rep, "command": ["bench_child"] + args,
                                    "truth": truth, "figures": figures})
            if before:
                truth, figures = run_wexel(before, child, args)
                results["late_before"].append({"before_ms": before_ms, "rep": rep, "truth": truth,
                                               "figures": figures})
    print("  late virtual peaks done", flush=True)
    with open(out_path, "w") as f:
        json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
