#!/usr/bin/env python3
"""Turns the raw figures that bench/run collected into bench/RESULTS.md.

usage: results.py RAW_DIR OUT.md
"""
import glob
import json
import math
import os
import statistics
import sys


def kv_file(path):
    out = {}
    for line in open(path):
        if "=" in line:
            key, value = line.rstrip("\n").split("=", 1)
            out[key] = value
    return out


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


def write_before_after(w, baseline, oc, fc, accuracy, floor, gnu):
    w("## Before and after the change to wexel's sampling")
    w("")
    w("Measured in the same run, interleaved with the others: \"wexel-before\" is wexel built "
      "from `%s` (`BENCH_BASELINE_REV`), \"wexel\" the current tree." % baseline)
    w("")
    w("| figure | before | after |")
    w("|---|---|---|")
    b = us(median(oc["wexel-before"]["wall_ns"]))
    a = us(median(oc["wexel"]["wall_ns"]))
    w("| launch overhead, median µs per run of `true` | %.1f (%+.1f above the static floor, "
      "ratio %.3f) | %.1f (%+.1f, ratio %.3f) |" % (b, b - floor, b / floor, a, a - floor, a / floor))
    w("| ratio to GNU time | %.3f | %.3f |" % (b / gnu, a / gnu))
    fb, fa = fc["wexel-before"]["samples"], fc["wexel"]["samples"]
    w("| own CPU at the child's start µs (each round) | %s | %s |" % (
        " ".join("%.0f" % us(s["start_cpu_ns"]) for s in fb),
        " ".join("%.0f" % us(s["start_cpu_ns"]) for s in fa)))
    w("| own CPU during a 5 s wait µs (each round) | %s | %s |" % (
        " ".join("%.0f" % us(s["end_cpu_ns"] - s["start_cpu_ns"]) for s in fb),
        " ".join("%.0f" % us(s["end_cpu_ns"] - s["start_cpu_ns"]) for s in fa)))
    w("| wake-ups during it | %s | %s |" % (" ".join(str(s["wakes"]) for s in fb),
                                            " ".join(str(s["wakes"]) for s in fa)))
    lb = {(r["before_ms"], r["rep"]): r for r in accuracy.get("late_before", [])}
    if lb:
        w("")
        w("Late virtual peaks (256 MiB mapped BEFORE ms before the end of a 1 s run), wexel's "
          "figure in MB against `VmPeak`:")
        w("")
        w("| BEFORE ms | rep | VmPeak KiB | before: MB | after: MB |")
        w("|---|---|---|---|---|")
        for r in accuracy["late"]:
            o = lb.get((r["before_ms"], r["rep"]))
            w("| %d | %d | %d | %s | %d |" % (r["before_ms"], r["rep"], r["truth"]["vmpeak_kb"],
                                            o["figures"]["virtual_mib"] if o else "—",
                                            r["figures"]["virtual_mib"]))
    w("")


def main():
    raw, out_path = sys.argv[1:3]
    machine = kv_file(os.path.join(raw, "machine.txt"))
    load = kv_file(os.path.join(raw, "load.txt"))
    overhead = json.load(open(os.path.join(raw, "overhead.json")))
    hyper = [json.load(open(p)) for p in sorted(glob.glob(os.path.join(raw, "hyperfine-*.json")))]
    accuracy = json.load(open(os.path.join(raw, "accuracy.json")))
    footprint = json.load(open(os.path.join(raw, "footprint.json")))
    sizes = dict(line.split() for line in open(os.path.join(raw, "sizes.txt")))
    exe_origin = open(os.path.join(raw, "exe_origin.txt")).read().strip()
    probes = {}
    for line in open(os.path.join(raw, "rss_probe.txt")):
        name, rest = line.split(" ", 1)
        probes.setdefault(name, []).append(int(rest.split("maxrss_kb=")[1].split()[0]))
    tools = machine["tools"]
    bin_dir = machine["bin"]
    L = []
    w = L.append

    # ---- launch overhead figures
    oc = {c["name"]: c for c in overhead["contenders"]}
    med = {n: us(median(c["wall_ns"])) for n, c in oc.items()}
    floor = med["floor-static"]
    wex = med["wexel"]
    gnu = med["gnu-time"]
    over_us = wex - floor
    over_pct = 100.0 * over_us / floor
    ratio_floor = wex / floor
    ratio_gnu = wex / gnu
    overhead_met = over_pct <= 5.0
    below_gnu = wex <= 0.95 * gnu
    hmed = {}
    for h in hyper:
        for r in h["results"]:
            hmed.setdefault(r["command"], []).extend(r["times"])
    hmed = {n: 1e6 * median(t) for n, t in hmed.items()}

    # ---- accuracy figures
    rows_time, rows_mem = [], []
    cpu_ok = {"wexel": True, "gnu-time": True}
    wall_ok = {"wexel": True, "gnu-time": True}
    worst = {}
    res_ok = {"wexel": True, "gnu-time": True}
    virt_ok = True

    def note_worst(key, value):
        worst[key] = max(worst.get(key, 0.0), abs(value))

    for case in accuracy["cases"]:
        is_time = case["command"][1] in ("burn", "sleep", "threads")
        for run in case["runs"]:
            t, f, who = run["truth"], run["figures"], run["contender"]
            cpu_truth = t["cpu_ns"] / 1e6
            wall_truth = (t["wall_ns"] + t["premain_cpu_ns"]) / 1e6
            cpu_err = f["cpu_ms"] - cpu_truth
            wall_err = f["wall_ms"] - wall_truth
            if is_time:
                note_worst((who, "cpu"), cpu_err)
                note_worst((who, "wall"), wall_err)
                cpu_good = abs(cpu_err) <= time_tolerance_ms(cpu_truth)
                wall_good = abs(wall_err) <= time_tolerance_ms(wall_truth)
                good = cpu_good and wall_good
                cpu_ok[who] = cpu_ok[who] and cpu_good
                wall_ok[who] = wall_ok[who] and wall_good
                rows_time.append((case["name"], run["rep"], who, cpu_truth, f["cpu_ms"], cpu_err,
                                  wall_truth, f["wall_ms"], wall_err, good))
            else:
                res_kb = f["resident_mib"] * 1024 if who == "wexel" else f["resident_kb"]
                res_err = res_kb - t["vmhwm_kb"]
                note_worst((who, "res"), res_err)
                res_ok[who] = res_ok[who] and abs(res_err) <= 1024
                virt = f.get("virtual_mib")
                virt_equal = None
                if virt is not None:
                    virt_equal = virt == math.ceil(t["vmpeak_kb"] / 1024)
                    virt_ok = virt_ok and virt_equal
                rows_mem.append((case["name"], run["rep"], who, t["vmhwm_kb"], res_kb, res_err,
                                 t["vmpeak_kb"], virt, virt_equal, cpu_truth, f["cpu_ms"]))
    late_rows = []
    for run in accuracy["late"]:
        t, f = run["truth"], run["figures"]
        missed_kb = max(0, t["vmpeak_kb"] - f["virtual_mib"] * 1024)
        equal = f["virtual_mib"] == math.ceil(t["vmpeak_kb"] / 1024)
        if run["before_ms"] >= 100:
            virt_ok = virt_ok and equal
        late_rows.append((run["before_ms"], run["rep"], t["vmpeak_kb"], f["virtual_mib"], equal,
                          missed_kb))

    # ---- footprint figures
    fc = {c["name"]: c for c in footprint["contenders"]}
    fw = fc["wexel"]["samples"]
    wexel_total_cpu = max(s["end_cpu_ns"] for s in fw) / 1e6
    wexel_wait_cpu = max(s["end_cpu_ns"] - s["start_cpu_ns"] for s in fw) / 1e6
    cpu_met = wexel_total_cpu < 5.0
    true_rss = median(probes["true"])
    wexel_rss = median(probes["wexel"])
    wexel_hwm = max(s["vmhwm_kb"] for s in fw)
    rss_met = wexel_rss < true_rss and wexel_hwm < true_rss
    exe_size = int(sizes["wexel.exe"]) if "wexel.exe" in sizes else None
    exe_met = exe_size is not None and exe_size < 40 * 1024

    # ---- the file
    w("# wexel benchmarks")
    w("")
    w("Written by `bench/run` (one command: installs what it needs with `tests/need-packages`, "
      "builds a Release wexel in `build-bench/` and the bench's own programs in `%s/`, measures, "
      "writes this file). Raw JSON of the run is left in `build-bench/bench-results/`; every raw "
      "figure is also below, in the folded sections. The programs under test that are built here "
      "(wexel, the floor launchers, bench_child) run from fresh copies in `%s/`: a file the "
      "linker has just written sits in the page cache in small pieces and faults more often "
      "when exec'd, about 40 µs per run of a static launcher here, which would blur the "
      "comparison with the programs in /usr/bin." % (tools, bin_dir))
    w("")
    w("| machine | |")
    w("|---|---|")
    w("| CPU | %s |" % machine["cpu"])
    w("| cores | %s |" % machine["cores"])
    w("| kernel | %s |" % machine["kernel"])
    w("| glibc | %s |" % machine["glibc"])
    w("| gcc | %s |" % machine["gcc"])
    w("| %s | %s |" % ("GNU time", machine["gnu_time"]))
    w("| hyperfine | %s |" % machine["hyperfine"])
    w("| date | %s |" % machine["date"])
    w("| wexel commit | %s |" % machine["commit"])
    w("| load average (1, 5, 15 min) | at start `%s` (after waiting %s s for the 1-min load to fall "
      "below %s); after overhead `%s`; after hyperfine `%s`; after accuracy `%s`; at end `%s` |" % (
          load["load_start"], load["waited_s"], load["quiet_load"], load["load_after_overhead"],
          load["load_after_hyperfine"], load["load_after_accuracy"], load["load_end"]))
    w("")
    w("The machine is a 2-vCPU KVM guest shared with other engineers' builds; the load above is "
      "what the run saw. Contenders are interleaved round-robin so that drift weighs on each alike.")
    w("")
    w("## Headline")
    w("")
    w("| figure | wexel | GNU time | target | |")
    w("|---|---|---|---|---|")
    w("| launch overhead per run of `true` (median) | %.1f µs; %+.1f µs above the static floor "
      "(%.1f µs), ratio %.3f | %.1f µs; wexel / GNU time = %.3f | within 5%% of the floor, clearly "
      "below GNU time | %s, %s |" % (wex, over_us, floor, ratio_floor, gnu, ratio_gnu,
                                     ok(overhead_met), ok(below_gnu)))
    w("| CPU time error, worst of all runs | %.2f ms | %.2f ms | 1 ms + 1%% in every run | %s |" % (
        worst[("wexel", "cpu")], worst[("gnu-time", "cpu")], ok(cpu_ok["wexel"])))
    w("| wall time error, worst of all runs | %.2f ms | %.2f ms | 1 ms + 1%% in every run | %s |" % (
        worst[("wexel", "wall")], worst[("gnu-time", "wall")], ok(wall_ok["wexel"])))
    w("| peak resident error vs VmHWM, worst | %d KiB | %d KiB | 1 MiB | %s |" % (
        worst[("wexel", "res")], worst[("gnu-time", "res")], ok(res_ok["wexel"])))
    w("| virtual peak vs VmPeak (peak ≥ 100 ms before exit) | %s | not reported | equal | %s |" % (
        "equal in every run" if virt_ok else "not equal in every run", ok(virt_ok)))
    w("| own CPU over a 5 s wait (whole life to the child's end) | %.2f ms (%.2f ms of it during "
      "the wait) | %.2f ms | under 5 ms | %s |" % (
          wexel_total_cpu, wexel_wait_cpu,
          max(s["end_cpu_ns"] for s in fc["gnu-time"]["samples"]) / 1e6, ok(cpu_met)))
    w("| own peak resident set | %d KiB (whole life, wait4 via rss_probe); %d KiB VmHWM at 5 s | "
      "%d KiB | below `true`'s %d KiB | %s |" % (
          wexel_rss, wexel_hwm, median(probes["gnu-time"]), true_rss, ok(rss_met)))
    w("| size of `wexel.exe` | %s | | under 40 KiB (40960 bytes) | %s |" % (
        ("%d bytes" % exe_size) if exe_size is not None else "not available", ok(exe_met)
        if exe_size is not None else "not measured"))
    w("| size of the Linux `wexel` (static) | %s bytes as built, %s stripped | | | |" % (
        sizes["wexel"], sizes["wexel.stripped"]))
    w("")
    w("`wexel.exe`: %s." % exe_origin)
    w("")

    # 1. overhead
    w("## 1. Launch overhead")
    w("")
    w("`%s/overhead_driver` (bench/overhead_driver.c) starts every run itself with `posix_spawn` "
      "(output to /dev/null) and times it from just before the spawn to just after `wait4`, "
      "%d rounds after %d warm-up rounds; each round runs every contender once, the starting "
      "contender rotating. The floor launchers (bench/floor_launcher.c) do `posix_spawnp` + `wait4` "
      "and nothing else, linked `-static` and dynamically. Command:" % (
          tools, overhead["rounds"], overhead["warmup"]))
    w("")
    w("```")
    w("%s/overhead_driver 400 20 overhead.json \\" % tools)
    for i, c in enumerate(overhead["contenders"]):
        w("  %s %s%s" % (c["name"], " ".join(c["command"]),
                         " : \\" if i + 1 < len(overhead["contenders"]) else ""))
    w("```")
    w("")
    w("| contender | median µs | p10 µs | p90 µs | mean µs | above static floor µs | ratio to "
      "static floor | median CPU of the run (launcher + true) µs | hyperfine median µs |")
    w("|---|---|---|---|---|---|---|---|---|")
    for n, c in oc.items():
        walls = [us(x) for x in c["wall_ns"]]
        w("| %s | %.1f | %.1f | %.1f | %.1f | %+.1f | %.3f | %.1f | %s |" % (
            n, median(walls), pct(walls, 0.1), pct(walls, 0.9), statistics.mean(walls),
            med[n] - floor, med[n] / floor, us(median(c["cpu_ns"])),
            "%.1f" % hmed[n] if n in hmed else "—"))
    w("")
    w("wexel / floor = %.3f (%+.1f%%), wexel / GNU time = %.3f, wexel / dynamic floor = %.3f." % (
        ratio_floor, over_pct, ratio_gnu, wex / med["floor-dynamic"]))
    w("")
    w("hyperfine cross-check: `hyperfine -N --style none --warmup 5 --runs 50 --export-json "
      "hyperfine-R.json -n NAME 'COMMAND' ...` for 4 rounds R, the order of the 5 commands rotated "
      "each round; the column above is the median of the 200 exported `times` of each. hyperfine "
      "starts runs its own way, so its absolute figures differ from the driver's; the order is "
      "what it confirms.")
    w("")
    w("<details><summary>raw: every run, µs (driver)</summary>")
    w("")
    for c in overhead["contenders"]:
        w("%s: %s" % (c["name"], " ".join("%.0f" % us(x) for x in c["wall_ns"])))
        w("")
    w("</details>")
    w("")
    w("<details><summary>raw: every run, µs (hyperfine)</summary>")
    w("")
    for i, h in enumerate(hyper):
        for r in h["results"]:
            w("round %d, %s: %s" % (i, r["command"], " ".join("%.0f" % (t * 1e6) for t in r["times"])))
            w("")
    w("</details>")
    w("")

    # 2. accuracy
    w("## 2. Accuracy")
    w("")
    w("`python3 bench/accuracy.py WEXEL /usr/bin/time %s/bench_child accuracy.json`: each case "
      "runs `wexel bench_child ARGS` and `/usr/bin/time -o FILE -f '%%e %%U %%S %%M' bench_child "
      "ARGS` alternately. `bench_child` (bench/bench_child.c, linked statically) measures "
      "itself and prints, just before it exits: its CPU clock (`CLOCK_PROCESS_CPUTIME_ID`, all "
      "threads, from its creation), its monotonic time from `main` to that moment, the CPU it "
      "had spent before `main` (the exec and start-up), and its own `VmHWM` and `VmPeak`." % bin_dir)
    w("")
    w("Truths: CPU = its CPU clock; wall = its time in `main` + its CPU before `main` (the exec "
      "and static start-up are CPU-bound, so their CPU is their wall time); resident = `VmHWM`; "
      "virtual = `VmPeak`. The exit itself (after the child's last reading) is in every timer's "
      "figure and in no truth. wexel prints milliseconds (truncated) and whole MB (rounded up); "
      "GNU time prints hundredths of a second and KiB. Error = figure − truth. Target: "
      "CPU and wall within 1 ms + 1% of the truth.")
    w("")
    w("| case | rep | timer | CPU truth ms | CPU figure | error ms | wall truth ms | wall figure | "
      "error ms | within 1 ms + 1% |")
    w("|---|---|---|---|---|---|---|---|---|---|")
    for r in rows_time:
        w("| %s | %d | %s | %.3f | %d | %+.2f | %.3f | %d | %+.2f | %s |" % (
            r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], "yes" if r[9] else "**no**"))
    w("")
    w("Memory cases. Resident target: within 1 MiB of `VmHWM`; virtual: equal to `VmPeak` at the "
      "printed resolution (the whole MB above it). GNU time has no virtual figure. (The CPU "
      "figures include the kernel's freeing of the memory at exit, which the child's own clock "
      "cannot see; they are shown, not judged.)")
    w("")
    w("| case | rep | timer | VmHWM KiB | resident figure KiB | error KiB | VmPeak KiB | virtual "
      "figure MB | equal | CPU truth ms | CPU figure ms |")
    w("|---|---|---|---|---|---|---|---|---|---|---|")
    for r in rows_mem:
        w("| %s | %d | %s | %d | %d | %+d | %d | %s | %s | %.1f | %d |" % (
            r[0], r[1], r[2], r[3], r[4], r[5], r[6], "—" if r[7] is None else r[7],
            "—" if r[8] is None else ("yes" if r[8] else "**no**"), r[9], r[10]))
    w("")
    w("### Virtual peaks reached late")
    w("")
    w("`wexel bench_child late 1000 BEFORE 256`: a 1 s run that maps 256 MiB (untouched, so "
      "virtual only) BEFORE ms before its end. wexel reads `VmPeak` from `/proc/<pid>/status` "
      "while the child runs (first after 1 ms, the interval doubling to 80 ms); Linux drops the "
      "address space before the exit can be seen, so a peak reached after the last reading is "
      "missed, and the figure is the largest reading before it (the resident peak stands in "
      "only when no reading was taken at all). Target: equal whenever "
      "BEFORE ≥ 100 ms.")
    w("")
    w("| BEFORE ms | rep | VmPeak KiB | wexel virtual MB | equal | missed KiB |")
    w("|---|---|---|---|---|---|")
    for r in late_rows:
        w("| %d | %d | %d | %d | %s | %d |" % (r[0], r[1], r[2], r[3], "yes" if r[4] else "no", r[5]))
    w("")
    w("<details><summary>raw: every report and GNU time line</summary>")
    w("")
    w("```")
    for case in accuracy["cases"]:
        for run in case["runs"]:
            w("## %s, rep %d, %s; truth %s" % (case["name"], run["rep"], run["contender"],
                                             json.dumps(run["truth"])))
            w(run["figures"]["raw"])
    for run in accuracy["late"]:
        w("## late %d ms, rep %d, wexel; truth %s" % (run["before_ms"], run["rep"],
                                                     json.dumps(run["truth"])))
        w(run["figures"]["raw"])
    w("```")
    w("")
    w("</details>")
    w("")

    # 3. footprint
    w("## 3. Footprint")
    w("")
    w("Own CPU: `%s/footprint_driver footprint.json 2 5000 bench_child wexel WEXEL : floor-static "
      "... : floor-dynamic ... : gnu-time /usr/bin/time` runs `LAUNCHER bench_child handshake R G "
      "5000`. The child writes a byte to the driver as it starts, sleeps 5 s, writes another and "
      "waits for the driver's byte. At each byte the driver reads the launcher's own CPU clock "
      "(`clock_getcpuclockid` on the launcher's pid: nanoseconds on CPU of that process alone — "
      "`wait4`'s figures for the launcher would include its child, `/proc/<pid>/stat` counts "
      "10 ms ticks, and `/proc/<pid>/schedstat` reads 0 on this kernel), and at the second its "
      "`VmHWM`; only then does the child end. \"wait\" is the CPU between the two bytes." % tools)
    w("")
    w("| launcher | round | CPU at child start µs | CPU at 5 s µs | CPU during the wait µs | "
      "wake-ups during the wait | CPU per wake-up µs | VmHWM at 5 s KiB | wait4 maxrss of the "
      "tree KiB |")
    w("|---|---|---|---|---|---|---|---|---|")
    for c in footprint["contenders"]:
        for i, s in enumerate(c["samples"]):
            wait = us(s["end_cpu_ns"] - s["start_cpu_ns"])
            w("| %s | %d | %.0f | %.0f | %.0f | %d | %s | %d | %d |" % (
                c["name"], i, us(s["start_cpu_ns"]), us(s["end_cpu_ns"]), wait, s["wakes"],
                "%.1f" % (wait / s["wakes"]) if s["wakes"] else "—", s["vmhwm_kb"],
                s["tree_maxrss_kb"]))
    w("")
    w("Wake-ups are the launcher's voluntary context switches between the two readings "
      "(`/proc/<pid>/status`). wexel wakes to read the child's `VmPeak` (after 1 ms, then "
      "at doubling intervals up to 80 ms: about 68 readings in 5 s); the other launchers sleep "
      "in `wait4` throughout. Its CPU over the wait is therefore readings × the CPU of one "
      "reading, which is what the load on the machine moves: caches gone cold while it slept.")
    costs = {}
    for interval in ("80ms", "1ms"):
        path = os.path.join(raw, "reading_cost_%s.json" % interval)
        if os.path.exists(path):
            costs[interval] = json.load(open(path))
    if costs:
        w("")
        w("The cost of one reading, measured apart: `%s/reading_cost ROUNDS INTERVAL_MS` "
          "(bench/reading_cost.c) runs a loop like wexel's against a paused child: `ppoll` with a "
          "timeout of INTERVAL_MS (on the child's pidfd, which wexel itself no longer needs; "
          "the wake-up costs the same), alternately followed by nothing and by a `pread` "
          "of its `/proc/<pid>/status`, and takes its own CPU clock around each. Median µs:" % tools)
        w("")
        w("| interval | rounds | wake-up alone | wake-up and reading | the reading alone |")
        w("|---|---|---|---|---|")
        for interval, c in costs.items():
            a, b = us(median(c["wake_only_ns"])), us(median(c["wake_and_read_ns"]))
            w("| %s | %d | %.1f | %.1f | %.1f |" % (interval, len(c["wake_only_ns"]), a, b, b - a))
        w("")
        w("<details><summary>raw: every round, µs</summary>")
        w("")
        for interval, c in costs.items():
            w("%s wake-up alone: %s" % (interval, " ".join("%.1f" % us(x) for x in c["wake_only_ns"])))
            w("")
            w("%s wake-up and reading: %s" % (
                interval, " ".join("%.1f" % us(x) for x in c["wake_and_read_ns"])))
            w("")
        w("</details>")
    if not cpu_met:
        per_wake = statistics.median(
            us(s["end_cpu_ns"] - s["start_cpu_ns"]) / s["wakes"] for s in fw if s["wakes"])
        start = us(min(s["start_cpu_ns"] for s in fw))
        allowed = (5000 - start) / per_wake
        w("")
        w("**Why the 5 ms target is missed**: in the 5 s wait one reading cost wexel a median "
          "%.1f µs of CPU (the wake-ups and readings of the table above; the cost of a reading "
          "grows with the time slept before it, caches having gone cold meanwhile, which on this "
          "shared guest happens even when its own load is low). After wexel's own start-up "
          "(%.0f µs: the exec of a static binary, the same as the static floor launcher's), "
          "5 ms leaves room for %.0f readings in 5 s, one every %.0f ms. The accuracy target "
          "needs a reading less than 100 ms after any peak, so the interval must stay below "
          "100 ms, and 80 ms leaves room for the scheduler's delays: about 68 readings in 5 s. "
          "On this machine the two targets cannot both be met by reading `/proc`; wexel keeps "
          "the exact figure and pays about %.1f ms per 5 s (%.2f%% of one core). The kernel "
          "offers the peak nowhere else without privileges or tracing the child (taskstats "
          "needs CAP_NET_ADMIN; ptrace would stop the child at its exit and change how it "
          "runs); the address space, and with it `VmPeak`, is gone before the exit can be "
          "seen." % (per_wake, start, allowed, 5000.0 / allowed, per_wake * 68 / 1000,
                      per_wake * 68 / 5000 / 10))
    w("")
    w("Own peak resident set over the whole life: `%s/rss_probe LAUNCHER %s/tiny_child`, 5 times "
      "each. rss_probe (bench/rss_probe.c) is built without a C library and prints the "
      "`ru_maxrss` that `wait4` gives for the tree it started. Linux counts, in a process's peak, "
      "the resident set of the image its exec replaced (here rss_probe's own few pages), and "
      "tiny_child (bench/tiny_child.c) only calls exit, so the figure is the launcher's own "
      "peak, report printing included. `true` is probed directly." % (tools, tools))
    w("")
    w("| program | maxrss KiB, 5 runs | median |")
    w("|---|---|---|")
    for n, v in probes.items():
        w("| %s | %s | %d |" % (n, " ".join(map(str, v)), median(v)))
    w("")
    w("Sizes in bytes: %s." % ", ".join("%s %s" % kv for kv in sizes.items()))
    w("")
    w(open(os.path.join(raw, "wexel_file.txt")).read().strip().replace(os.getcwd() + "/", ""))
    w("")
    floor_path = os.path.join(raw, "line_floor.json")
    if os.path.exists(floor_path):
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import line_floor
        L.extend(line_floor.render(json.load(open(floor_path)), (
            "`python3 bench/line_floor.py line_floor.json %s/rss_probe %s/tiny_child "
            "direct=direct wexel=WEXEL gnu-time=/usr/bin/time floor-static=...` (bench/line_floor.py), "
            "each contender in turn, 5 rounds." % (tools, tools))))
    baseline_path = os.path.join(raw, "baseline.txt")
    if os.path.exists(baseline_path):
        write_before_after(w, open(baseline_path).read().strip(), oc, fc, accuracy, floor, gnu)
    notes = os.path.join(os.path.dirname(os.path.abspath(__file__)), "NOTES.md")
    if os.path.exists(notes):
        w(open(notes).read().rstrip())
        w("")
    with open(out_path, "w") as f:
        f.write("\n".join(L))


if __name__ == "__main__":
    main()
