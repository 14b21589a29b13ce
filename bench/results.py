#!/usr/bin/env python3
"""Turns the raw figures that bench/run collected into bench/RESULTS.md (the
tables, each with its spread) and bench/RESULTS.json (every raw figure).

usage: results.py RAW_DIR OUT.md [OUT.json]   (OUT.json defaults to OUT.md's
       name with .json)
"""
import glob
import json
import math
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# GNU time prints its user and system times in hundredths of a second, each
# cut down, and its CPU figure is their sum: its display alone can put it up
# to 20 ms below the truth, and its wall figure up to 10 ms.
GNU_TIME_CPU_DISPLAY_MS = 20.0
GNU_TIME_WALL_DISPLAY_MS = 10.0
QUARTERS = 4
WAIT_MS = 5000.0


# ---- reading the run

def kv_file(path):
    out = {}
    for line in open(path):
        if "=" in line:
            key, value = line.rstrip("\n").split("=", 1)
            out[key] = value
    return out


def json_file(path):
    with open(path) as f:
        return json.load(f)


def hyperfine_rounds(raw):
    """One {name: [seconds...]} a round, in the order they ran."""
    paths = sorted(glob.glob(os.path.join(raw, "hyperfine-*.json")))
    return [{r["command"]: r["times"] for r in json_file(p)["results"]} for p in paths]


def rss_probes(path):
    probes = {}
    for line in open(path):
        name, rest = line.split(" ", 1)
        probes.setdefault(name, []).append(int(rest.split("maxrss_kb=")[1].split()[0]))
    return probes


def optional(path, read):
    return read(path) if os.path.exists(path) else None


def read_run(raw):
    at = lambda name: os.path.join(raw, name)
    costs = {}
    for interval in ("80ms", "1ms"):
        cost = optional(at("reading_cost_%s.json" % interval), json_file)
        if cost:
            costs[interval] = cost
    return {
        "machine": kv_file(at("machine.txt")), "load": kv_file(at("load.txt")),
        "baseline": optional(at("baseline.txt"), kv_file),
        "overhead": json_file(at("overhead.json")), "hyperfine": hyperfine_rounds(raw),
        "accuracy": json_file(at("accuracy.json")), "footprint": json_file(at("footprint.json")),
        "rss_probe_kb": rss_probes(at("rss_probe.txt")), "reading_cost": costs,
        "line_floor": optional(at("line_floor.json"), json_file),
        "sizes": dict(line.split() for line in open(at("sizes.txt"))),
        "exe_origin": open(at("exe_origin.txt")).read().strip(),
        "wexel_file": open(at("wexel_file.txt")).read().strip(),
    }


# ---- small helpers

def median(xs):
    return statistics.median(xs)


def pct(xs, q):
    xs = sorted(xs)
    return xs[min(len(xs) - 1, int(round(q * (len(xs) - 1))))]


def us(ns):
    return ns / 1000.0


def ok(flag):
    return "**met**" if flag else "**missed**"


def time_tolerance_ms(truth_ms):
    return 1.0 + 0.01 * truth_ms


def med_range(xs, fmt="%.0f"):
    """Median and, for more than one value, the range: "5.5 (5.1–8.3)"."""
    low, text, high = fmt % min(xs), fmt % median(xs), fmt % max(xs)
    return text if low == high else "%s (%s–%s)" % (text, low, high)


def err_range(xs, fmt="%+.2f"):
    return fmt % xs[0] if min(xs) == max(xs) else "%s to %s" % (fmt % min(xs), fmt % max(xs))


def gnu_time_version(line, package):
    """The version from `time --version`'s first line; Debian's prints
    "UNKNOWN" there, and then the package's upstream version stands in."""
    printed = line.split()[-1] if line.split() else ""
    if printed[:1].isdigit():
        return printed
    if package and len(package.split()) == 2:
        name, version = package.split()
        upstream = version.split(":", 1)[-1].rsplit("-", 1)[0]
        return "%s (from the Debian package %s %s; `--version` prints \"%s\")" % (
            upstream, name, version, printed)
    return "unknown (`--version` prints \"%s\")" % line


def gnu_display_excess(err_ms, display_ms):
    """How far an error of GNU time's lies outside what its cut-down display
    explains (0 to display_ms below the truth)."""
    return max(0.0, err_ms, -err_ms - display_ms)


def relative(text):
    return text.replace(os.getcwd() + "/", "")


# ---- launch overhead

def block_ratios(a_ns, b_ns, parts=QUARTERS):
    """Ratio of medians a / b in each of `parts` consecutive blocks of rounds."""
    size = len(a_ns) // parts
    return [median(a_ns[i * size:(i + 1) * size]) / median(b_ns[i * size:(i + 1) * size])
            for i in range(parts)]


def hyperfine_ratios(hyper, a, b):
    return [median(h[a]) / median(h[b]) for h in hyper if a in h and b in h]


def overhead_figures(run):
    oc = {c["name"]: c for c in run["overhead"]["contenders"]}
    med = {n: us(median(c["wall_ns"])) for n, c in oc.items()}
    hyper = {}
    for h in run["hyperfine"]:
        for name, times in h.items():
            hyper.setdefault(name, []).extend(times)
    floor, wex, gnu = med["floor-static"], med["wexel"], med["gnu-time"]
    return {"oc": oc, "med": med, "floor": floor, "wexel": wex, "gnu": gnu,
            "over_us": wex - floor, "over_pct": 100.0 * (wex - floor) / floor,
            "hyper_us": {n: [1e6 * t for t in ts] for n, ts in hyper.items()},
            "overhead_met": wex - floor <= 0.05 * floor, "below_gnu": wex <= 0.95 * gnu}


def ratio(run, o, a, b):
    """wexel-style ratio a / b of the driver's medians, with its spread: the
    range over the run's quarters and hyperfine's figure and range of rounds."""
    quarters = block_ratios(o["oc"][a]["wall_ns"], o["oc"][b]["wall_ns"])
    text = "%.3f (quarters of the run %.3f–%.3f" % (o["med"][a] / o["med"][b], min(quarters),
                                                     max(quarters))
    rounds = hyperfine_ratios(run["hyperfine"], a, b)
    if rounds:
        whole = median(o["hyper_us"][a]) / median(o["hyper_us"][b])
        text += "; hyperfine %.3f, its rounds %.3f–%.3f" % (whole, min(rounds), max(rounds))
    return text + ")"


# ---- accuracy

def time_row(case, run):
    t, f = run["truth"], run["figures"]
    cpu_truth = t["cpu_ns"] / 1e6
    wall_truth = (t["wall_ns"] + t["premain_cpu_ns"]) / 1e6
    cpu_err, wall_err = f["cpu_ms"] - cpu_truth, f["wall_ms"] - wall_truth
    cpu_good = abs(cpu_err) <= time_tolerance_ms(cpu_truth)
    wall_good = abs(wall_err) <= time_tolerance_ms(wall_truth)
    return {"case": case["name"], "who": run["contender"], "cpu_err": cpu_err,
            "wall_err": wall_err, "cpu_good": cpu_good, "wall_good": wall_good,
            "good": cpu_good and wall_good}


def memory_row(case, run):
    t, f, who = run["truth"], run["figures"], run["contender"]
    res_kb = f["resident_mib"] * 1024 if who == "wexel" else f["resident_kb"]
    virt = f.get("virtual_mib")
    return {"case": case["name"], "who": who, "vmhwm": t["vmhwm_kb"], "res_err": res_kb - t["vmhwm_kb"],
            "vmpeak": t["vmpeak_kb"], "virt": virt,
            "virt_equal": None if virt is None else virt == math.ceil(t["vmpeak_kb"] / 1024),
            "cpu_err": f["cpu_ms"] - t["cpu_ns"] / 1e6}


def accuracy_figures(run):
    times, memory = [], []
    for case in run["accuracy"]["cases"]:
        is_time = case["command"][1] in ("burn", "sleep", "threads")
        for r in case["runs"]:
            (times if is_time else memory).append((time_row if is_time else memory_row)(case, r))
    worst = {}
    for who in ("wexel", "gnu-time"):
        mine = [r for r in times if r["who"] == who]
        worst[who] = {"cpu": max(abs(r["cpu_err"]) for r in mine),
                      "wall": max(abs(r["wall_err"]) for r in mine),
                      "res": max(abs(r["res_err"]) for r in memory if r["who"] == who),
                      "cpu_ok": all(r["cpu_good"] for r in mine),
                      "wall_ok": all(r["wall_good"] for r in mine)}
    gnu = [r for r in times if r["who"] == "gnu-time"]
    late_ok = all(r["figures"]["virtual_mib"] == math.ceil(r["truth"]["vmpeak_kb"] / 1024)
                  for r in run["accuracy"]["late"] if r["before_ms"] >= 100)
    return {"times": times, "memory": memory, "worst": worst,
            "gnu_cpu_excess": max(gnu_display_excess(r["cpu_err"], GNU_TIME_CPU_DISPLAY_MS)
                                  for r in gnu),
            "gnu_wall_excess": max(gnu_display_excess(r["wall_err"], GNU_TIME_WALL_DISPLAY_MS)
                                   for r in gnu),
            "res_ok": worst["wexel"]["res"] <= 1024,
            "virt_ok": late_ok and all(r["virt_equal"] for r in memory if r["who"] == "wexel")}


def grouped(rows):
    """Rows by (case, timer), in the order the cases ran."""
    groups = {}
    for r in rows:
        groups.setdefault((r["case"], r["who"]), []).append(r)
    return groups


# ---- footprint

def own_cpu(samples):
    """The own-CPU figures, per round: before the wait, during it, whole life."""
    return {"start_ms": [s["start_cpu_ns"] / 1e6 for s in samples],
            "wait_ms": [(s["end_cpu_ns"] - s["start_cpu_ns"]) / 1e6 for s in samples],
            "whole_ms": [s["end_cpu_ns"] / 1e6 for s in samples]}


def footprint_figures(run):
    fc = {c["name"]: c for c in run["footprint"]["contenders"]}
    cpu = own_cpu(fc["wexel"]["samples"])
    probes = run["rss_probe_kb"]
    true_rss, wexel_rss = median(probes["true"]), median(probes["wexel"])
    wexel_hwm = max(s["vmhwm_kb"] for s in fc["wexel"]["samples"])
    sizes = run["sizes"]
    exe_size = int(sizes["wexel.exe"]) if "wexel.exe" in sizes else None
    return {"fc": fc, "cpu": cpu, "cpu_met": max(cpu["whole_ms"]) < 5.0,
            "core_pct": 100.0 * median(cpu["wait_ms"]) / WAIT_MS,
            "true_rss": true_rss, "wexel_rss": wexel_rss, "wexel_hwm": wexel_hwm,
            "rss_met": wexel_rss < true_rss and wexel_hwm < true_rss,
            "exe_size": exe_size, "exe_met": exe_size is not None and exe_size < 40 * 1024}


def own_cpu_text(fig):
    """The one wording of wexel's own CPU, used wherever the page gives it."""
    cpu = fig["cpu"]
    return "%s ms during the wait (%.2f%% of one core), %s ms over its whole life" % (
        med_range(cpu["wait_ms"], "%.2f"), fig["core_pct"], med_range(cpu["whole_ms"], "%.2f"))


# ---- the sections of RESULTS.md

def section_intro(w, run, fig):
    m = run["machine"]
    w("# wexel benchmarks")
    w("")
    w("Written by `bench/run`, which installs what it needs, builds a Release wexel and the "
      "bench's programs (in `%s/`), measures and writes this page. Every raw figure of the "
      "run is in [RESULTS.json](RESULTS.json) beside it; the tables below give medians and "
      "their spread. Programs built here run from fresh copies in `%s/`: a file the linker "
      "has just written faults more often when exec'd (about 40 µs a run here), which would "
      "blur the comparison with /usr/bin." % (m["tools"], m["bin"]))
    w("")


def section_machine(w, run, fig):
    m, load, base = run["machine"], run["load"], run["baseline"]
    w("| machine | |")
    w("|---|---|")
    for label, key in (("CPU", "cpu"), ("cores", "cores"), ("kernel", "kernel"),
                       ("glibc", "glibc"), ("gcc", "gcc"), ("hyperfine", "hyperfine")):
        w("| %s | %s |" % (label, m[key]))
    w("| GNU time | %s |" % gnu_time_version(m["gnu_time"], m.get("gnu_time_package")))
    w("| date | %s |" % m["date"])
    w("| wexel commit measured | `%s` (HEAD of the tree run; \"+dirty\" if a tracked file "
      "differed from it) |" % m["commit"])
    if base:
        w("| compared with | %s: `%s` \"%s\" (revision `%s`) |" % (
            base["name"], base["commit"], base["subject"], base["rev"]))
    w("| load average (1, 5, 15 min) | start `%s` (after waiting %s s for the 1-min load to "
      "fall below %s); after overhead `%s`; after hyperfine `%s`; after accuracy `%s`; end "
      "`%s` |" % (load["load_start"], load["waited_s"], load["quiet_load"],
                  load["load_after_overhead"], load["load_after_hyperfine"],
                  load["load_after_accuracy"], load["load_end"]))
    w("")
    w("A 2-vCPU KVM guest shared with other developers' work: the load above is what the run "
      "saw, and contenders are interleaved so that drift weighs on each alike.")
    w("")


def section_headline(w, run, fig):
    o, a, f = fig["overhead"], fig["accuracy"], fig["footprint"]
    wx, gt = a["worst"]["wexel"], a["worst"]["gnu-time"]
    w("## Headline")
    w("")
    w("| figure | wexel | GNU time | target | |")
    w("|---|---|---|---|---|")
    w("| launch overhead per run of `true` (median) | %.1f µs; %+.1f µs above the static floor "
      "(%.1f µs), ratio %s | %.1f µs; wexel / GNU time = %s | within 5%% of the floor, clearly "
      "below GNU time | %s, %s |" % (
          o["wexel"], o["over_us"], o["floor"], ratio(run, o, "wexel", "floor-static"), o["gnu"],
          ratio(run, o, "wexel", "gnu-time"), ok(o["overhead_met"]), ok(o["below_gnu"])))
    w("| CPU time error, worst of all runs | %.2f ms | %.2f ms: GNU time shows hundredths of a "
      "second, user and system each cut down, so up to 20 ms low from its display alone; "
      "beyond that %.2f ms | 1 ms + 1%% in every run | %s |" % (
          wx["cpu"], gt["cpu"], a["gnu_cpu_excess"], ok(wx["cpu_ok"])))
    w("| wall time error, worst of all runs | %.2f ms | %.2f ms: up to 10 ms of it its "
      "display's; beyond that %.2f ms | 1 ms + 1%% in every run | %s |" % (
          wx["wall"], gt["wall"], a["gnu_wall_excess"], ok(wx["wall_ok"])))
    w("| peak resident error vs VmHWM, worst | %d KiB | %d KiB | 1 MiB | %s |" % (
        wx["res"], gt["res"], ok(a["res_ok"])))
    w("| virtual peak vs VmPeak (peak ≥ 100 ms before exit) | %s | not reported | equal | %s |" % (
        "equal in every run" if a["virt_ok"] else "not equal in every run", ok(a["virt_ok"])))
    w("| own CPU over a 5 s wait, median (range) of %d rounds | %s | %s ms over its whole "
      "life | whole life under 5 ms | %s |" % (
          len(f["cpu"]["wait_ms"]), own_cpu_text(f),
          med_range(own_cpu(f["fc"]["gnu-time"]["samples"])["whole_ms"], "%.2f"),
          ok(f["cpu_met"])))
    w("| own peak resident set | %d KiB (whole life); %d KiB VmHWM at 5 s | %d KiB | below "
      "`true`'s %d KiB | %s |" % (f["wexel_rss"], f["wexel_hwm"],
                                  median(run["rss_probe_kb"]["gnu-time"]), f["true_rss"],
                                  ok(f["rss_met"])))
    headline_sizes(w, run, f)


def headline_sizes(w, run, f):
    exe = f["exe_size"]
    w("| size of `wexel.exe` | %s | | under 40 KiB (40960 bytes) | %s |" % (
        "%d bytes" % exe if exe is not None else "not available",
        ok(f["exe_met"]) if exe is not None else "not measured"))
    w("| size of the Linux `wexel` (static) | %s bytes as built, %s stripped | | | |" % (
        run["sizes"]["wexel"], run["sizes"]["wexel.stripped"]))
    w("")
    w("`wexel.exe`: %s." % run["exe_origin"])
    w("")


def section_launch_overhead(w, run, fig):
    o, oh = fig["overhead"], run["overhead"]
    w("## 1. Launch overhead")
    w("")
    w("`overhead_driver` (bench/overhead_driver.c) starts every run with `posix_spawn` (output "
      "to /dev/null) and times it from just before the spawn to just after `wait4`: %d rounds "
      "after %d warm-up rounds, each running every contender once, the first rotating. The "
      "floor launchers (bench/floor_launcher.c) do `posix_spawnp` + `wait4` and nothing else. "
      "A ratio's spread is its range over the four quarters of the rounds and over hyperfine's "
      "rounds (`hyperfine -N --warmup 5 --runs 50`, 4 rounds, the order rotated each round; it "
      "starts runs its own way, so its absolute figures differ). hyperfine runs each command's "
      "50 runs in one block, so a burst of other work on the machine lands on one contender: "
      "its rounds spread far wider than the driver's quarters, whose round-robin order spreads "
      "such bursts over all contenders; the driver's ratio is the one to quote." % (
          oh["rounds"], oh["warmup"]))
    w("")
    w("| contender | median µs | p10–p90 µs | mean µs | above static floor µs | ratio to "
      "static floor | median CPU (launcher + true) µs | hyperfine median (p10–p90) µs |")
    w("|---|---|---|---|---|---|---|---|")
    for n, c in o["oc"].items():
        walls, hyper = [us(x) for x in c["wall_ns"]], o["hyper_us"].get(n)
        w("| %s | %.1f | %.0f–%.0f | %.1f | %+.1f | %.3f | %.1f | %s |" % (
            n, median(walls), pct(walls, 0.1), pct(walls, 0.9), statistics.mean(walls),
            o["med"][n] - o["floor"], o["med"][n] / o["floor"], us(median(c["cpu_ns"])),
            "%.1f (%.0f–%.0f)" % (median(hyper), pct(hyper, 0.1), pct(hyper, 0.9))
            if hyper else "—"))
    w("")
    w("wexel is %+.1f%% above the static floor: wexel / static floor = %s; wexel / GNU time = "
      "%s; wexel / dynamic floor = %.3f." % (o["over_pct"], ratio(run, o, "wexel", "floor-static"),
                 ratio(run, o, "wexel", "gnu-time"), o["wexel"] / o["med"]["floor-dynamic"]))
    w("")


def section_accuracy(w, run, fig):
    a = fig["accuracy"]
    w("## 2. Accuracy")
    w("")
    w("`bench/accuracy.py` runs `wexel bench_child ARGS` and `/usr/bin/time -f '%e %U %S "
      "%M' bench_child ARGS` alternately. bench_child (bench/bench_child.c, static) prints, "
      "just before it exits, its CPU clock (all threads), its time in `main`, its CPU before "
      "`main` and its `VmHWM` and `VmPeak`. Truths: CPU = its CPU clock; wall = its time in "
      "`main` + its CPU before it (exec and start-up are CPU-bound); resident = `VmHWM`; "
      "virtual = `VmPeak`. The exit itself is in every timer's figure and in no truth. wexel "
      "prints milliseconds (cut down) and whole MB (rounded up); GNU time hundredths of a "
      "second (cut down) and KiB. Error = figure − truth, its range over the runs.")
    w("")
    w("| case | timer | runs | CPU error ms | wall error ms | within 1 ms + 1% |")
    w("|---|---|---|---|---|---|")
    for (case, who), rows in grouped(a["times"]).items():
        good = sum(r["good"] for r in rows)
        w("| %s | %s | %d | %s | %s | %s%d of %d%s |" % (
            case, who, len(rows), err_range([r["cpu_err"] for r in rows]),
            err_range([r["wall_err"] for r in rows]), "" if good == len(rows) else "**",
            good, len(rows), "" if good == len(rows) else "**"))
    w("")
    w("Memory cases: resident within 1 MiB of `VmHWM`; virtual equal to `VmPeak` at the "
      "printed resolution. The CPU error includes the kernel's freeing of the memory at exit, "
      "which the child's own clock cannot see: shown, not judged.")
    w("")
    w("| case | timer | runs | VmHWM KiB | resident error KiB | VmPeak KiB | virtual MB | "
      "virtual equal | CPU error ms |")
    w("|---|---|---|---|---|---|---|---|---|")
    for (case, who), rows in grouped(a["memory"]).items():
        virt = [r["virt"] for r in rows if r["virt"] is not None]
        w("| %s | %s | %d | %s | %s | %s | %s | %s | %s |" % (
            case, who, len(rows), med_range([r["vmhwm"] for r in rows]),
            err_range([r["res_err"] for r in rows], "%+d"), med_range([r["vmpeak"] for r in rows]),
            med_range(virt) if virt else "—",
            "%d of %d" % (sum(r["virt_equal"] for r in rows), len(rows)) if virt else "—",
            err_range([r["cpu_err"] for r in rows], "%+.1f")))
    w("")


def section_late_peaks(w, run, fig):
    acc, base = run["accuracy"], run["baseline"]
    before = {}
    for r in acc.get("late_before", []):
        before.setdefault(r["before_ms"], []).append(r["figures"]["virtual_mib"])
    w("### Virtual peaks reached late")
    w("")
    w("`wexel bench_child late 1000 BEFORE 256`: a 1 s run that maps 256 MiB (untouched) BEFORE "
      "ms before its end. wexel reads `VmPeak` while the child runs (after 1 ms, the interval "
      "doubling to 80 ms); Linux drops the address space before the exit can be seen, so a peak "
      "after the last reading is missed and the largest reading stands. Target: equal whenever "
      "BEFORE ≥ 100 ms.")
    w("")
    w("| BEFORE ms | VmPeak KiB | wexel MB, each run | equal | missed KiB, worst | %s MB |" % (
        base["name"] if base else "before"))
    w("|---|---|---|---|---|---|")
    by_before = {}
    for r in acc["late"]:
        by_before.setdefault(r["before_ms"], []).append(r)
    for before_ms, rows in by_before.items():
        figures = [r["figures"]["virtual_mib"] for r in rows]
        equal = sum(f == math.ceil(r["truth"]["vmpeak_kb"] / 1024) for f, r in zip(figures, rows))
        missed = max(max(0, r["truth"]["vmpeak_kb"] - f * 1024) for f, r in zip(figures, rows))
        w("| %d | %s | %s | %d of %d | %d | %s |" % (
            before_ms, med_range([r["truth"]["vmpeak_kb"] for r in rows]),
            " ".join(map(str, figures)), equal, len(rows), missed,
            " ".join(map(str, before.get(before_ms, []))) or "—"))
    w("")


def section_own_cpu(w, run, fig):
    f = fig["footprint"]
    w("## 3. Footprint")
    w("")
    w("Own CPU: `footprint_driver` (bench/footprint_driver.c) runs `LAUNCHER bench_child "
      "handshake ... 5000`, %d rounds. The child writes a byte as it starts, sleeps 5 s, writes "
      "another and waits for the driver. At each byte the driver reads the launcher's own CPU "
      "clock (`clock_getcpuclockid` on its pid: that process alone, where `wait4` would count "
      "the child and `/proc/<pid>/stat` 10 ms ticks), at the second its `VmHWM` and its "
      "voluntary context switches (wake-ups); only then does the child end. Median (range) of "
      "the rounds:" % len(f["cpu"]["wait_ms"]))
    w("")
    w("| launcher | CPU at child start µs | CPU during the 5 s wait µs | wake-ups | CPU per "
      "wake-up µs | VmHWM at 5 s KiB | wait4 maxrss of the tree KiB |")
    w("|---|---|---|---|---|---|---|")
    for c in run["footprint"]["contenders"]:
        s, cpu = c["samples"], own_cpu(c["samples"])
        per_wake = [1000 * m / x["wakes"] for m, x in zip(cpu["wait_ms"], s) if x["wakes"]]
        w("| %s | %s | %s | %s | %s | %s | %s |" % (
            c["name"], med_range([1000 * m for m in cpu["start_ms"]]),
            med_range([1000 * m for m in cpu["wait_ms"]]), med_range([x["wakes"] for x in s]),
            med_range(per_wake, "%.1f") if per_wake else "—",
            med_range([x["vmhwm_kb"] for x in s]), med_range([x["tree_maxrss_kb"] for x in s])))
    w("")
    w("wexel wakes to read the child's `VmPeak` (after 1 ms, then at doubling intervals up to "
      "80 ms: about 68 readings in 5 s); the others sleep in `wait4`. Its CPU over the wait is "
      "readings × the CPU of one reading, which the load on the machine moves (caches gone cold "
      "while it slept). wexel's own CPU, the figures to quote: %s." % own_cpu_text(f))
    w("")


def section_reading_cost(w, run, fig):
    costs = run["reading_cost"]
    if not costs:
        return
    w("The cost of one reading, measured apart: `reading_cost ROUNDS INTERVAL_MS` "
      "(bench/reading_cost.c) runs a loop like wexel's against a paused child: `ppoll` with "
      "that timeout, alternately followed by nothing and by a `pread` of its "
      "`/proc/<pid>/status`, its own CPU clock taken around each. Median (p10–p90) µs:")
    w("")
    w("| interval | rounds | wake-up alone | wake-up and reading | the reading alone (difference "
      "of medians) |")
    w("|---|---|---|---|---|")
    for interval, c in costs.items():
        alone = [us(x) for x in c["wake_only_ns"]]
        read = [us(x) for x in c["wake_and_read_ns"]]
        w("| %s | %d | %.1f (%.1f–%.1f) | %.1f (%.1f–%.1f) | %.1f |" % (
            interval, len(alone), median(alone), pct(alone, 0.1), pct(alone, 0.9),
            median(read), pct(read, 0.1), pct(read, 0.9), median(read) - median(alone)))
    w("")


def section_why_cpu_missed(w, run, fig):
    f = fig["footprint"]
    if f["cpu_met"]:
        return
    s = f["fc"]["wexel"]["samples"]
    per_wake = median(us(x["end_cpu_ns"] - x["start_cpu_ns"]) / x["wakes"] for x in s if x["wakes"])
    start = us(min(x["start_cpu_ns"] for x in s))
    allowed = (5000 - start) / per_wake
    w("**Why the 5 ms target is missed**: in the 5 s wait one reading cost wexel a median "
      "%.1f µs of CPU, more than when measured apart: a reading costs more the longer it slept "
      "before it. After wexel's own start-up (%.0f µs, the exec of a static binary, as the "
      "static floor's), 5 ms leaves room for %.0f readings in 5 s, one every %.0f ms. Catching "
      "every peak 100 ms before the exit needs an interval below 100 ms; 80 ms leaves room for "
      "the scheduler's delays. On this machine both targets cannot be met by reading `/proc`: "
      "wexel keeps the exact figure and pays %s. The kernel offers the peak nowhere else "
      "without privileges or tracing (taskstats needs CAP_NET_ADMIN; ptrace would stop the "
      "child at its exit); the address space, and `VmPeak` with it, is gone before the exit "
      "can be seen." % (per_wake, start, allowed, 5000.0 / allowed, own_cpu_text(f)))
    w("")


def section_own_resident(w, run, fig):
    w("Own peak resident set over the whole life: `rss_probe LAUNCHER tiny_child`, 5 times "
      "each. rss_probe (bench/rss_probe.c, no C library) prints the `ru_maxrss` that `wait4` "
      "gives for its tree; Linux counts in a process's peak the image its exec replaced (here "
      "rss_probe's few pages) and tiny_child only exits, so the figure is the launcher's own "
      "peak, report included. `true` is probed directly.")
    w("")
    w("| program | maxrss KiB, median (range) |")
    w("|---|---|")
    for n, v in run["rss_probe_kb"].items():
        w("| %s | %s |" % (n, med_range(v)))
    w("")
    w("Sizes in bytes: %s. %s" % (", ".join("%s %s" % kv for kv in run["sizes"].items()),
                                   relative(run["wexel_file"])))
    w("")


def section_resident_floor(w, run, fig):
    if not run["line_floor"]:
        return
    sys.path.insert(0, HERE)
    import line_floor
    for line in line_floor.render(run["line_floor"], (
            "`bench/line_floor.py` runs `rss_probe CONTENDER tiny_child ARGS` for each contender "
            "in turn, %d rounds." % run["line_floor"]["runs"])):
        w(line)


def section_against_baseline(w, run, fig):
    base = run["baseline"]
    if not base:
        return
    o, name = fig["overhead"], base["name"]
    fc, probes = fig["footprint"]["fc"], run["rss_probe_kb"]
    w("## Against %s" % name.replace("wexel-", "wexel "))
    w("")
    w("Measured in the same run, interleaved with the others: %s is wexel built from `%s` "
      "(%s), \"wexel\" the tree measured." % (name, base["commit"], base["subject"]))
    w("")
    w("| figure | %s | wexel |" % name)
    w("|---|---|---|")
    w("| launch overhead, median µs per run of `true` | %.1f (%+.1f above the static floor) | "
      "%.1f (%+.1f); wexel / %s = %s |" % (
          o["med"][name], o["med"][name] - o["floor"], o["wexel"], o["over_us"], name,
          ratio(run, o, "wexel", name)))
    mine, theirs = own_cpu(fc["wexel"]["samples"]), own_cpu(fc[name]["samples"])
    w("| own CPU during the 5 s wait, ms | %s | %s |" % (
        med_range(theirs["wait_ms"], "%.2f"), med_range(mine["wait_ms"], "%.2f")))
    if name in probes:
        w("| own peak resident set, KiB | %s | %s |" % (med_range(probes[name]),
                                                        med_range(probes["wexel"])))
    w("")


def section_notes(w, run, fig):
    notes = os.path.join(HERE, "NOTES.md")
    if os.path.exists(notes):
        w(open(notes).read().rstrip())
        w("")


# ---- the raw figures

def to_json(value, depth=0):
    """Dicts, and lists holding containers, one item a line; lists of plain
    values on one line, so that the file stays readable and diffable."""
    inner = "\n" + " " * (depth + 1)
    if isinstance(value, dict) and value:
        body = ("," + inner).join("%s: %s" % (json.dumps(k), to_json(v, depth + 1))
                                  for k, v in value.items())
        return "{" + inner + body + "\n" + " " * depth + "}"
    if isinstance(value, list) and any(isinstance(v, (dict, list)) for v in value):
        body = ("," + inner).join(to_json(v, depth + 1) for v in value)
        return "[" + inner + body + "\n" + " " * depth + "]"
    return json.dumps(value, ensure_ascii=False)


def figures(run):
    return {"overhead": overhead_figures(run), "accuracy": accuracy_figures(run),
            "footprint": footprint_figures(run)}


def main():
    if len(sys.argv) not in (3, 4):
        raise SystemExit(__doc__)
    raw, md_path = sys.argv[1:3]
    json_path = sys.argv[3] if len(sys.argv) == 4 else os.path.splitext(md_path)[0] + ".json"
    run = read_run(raw)
    fig = figures(run)
    lines = []
    for section in (section_intro, section_machine, section_headline, section_launch_overhead,
                    section_accuracy, section_late_peaks, section_own_cpu, section_reading_cost,
                    section_why_cpu_missed, section_own_resident, section_resident_floor,
                    section_against_baseline, section_notes):
        section(lines.append, run, fig)
    with open(md_path, "w") as f:
        f.write("\n".join(lines))
    with open(json_path, "w") as f:
        f.write(to_json(run) + "\n")


if __name__ == "__main__":
    main()
