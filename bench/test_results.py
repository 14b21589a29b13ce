#!/usr/bin/env python3
"""Checks of bench/results.py on a made-up run. bench/run runs them before it
measures; alone: python3 bench/test_results.py"""
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import results  # noqa: E402

BASE = "wexel-1.1.0"
LAUNCH_US = {"floor-static": 3500, "floor-dynamic": 4000, "wexel": 3700, "gnu-time": 5300,
             "direct": 1800, BASE: 3650}


def write(raw, name, text):
    with open(os.path.join(raw, name), "w") as f:
        f.write(text)


def wexel_run(rep, cpu_ms, wall_ms, truth):
    report = "Process Time = %d\nGlobal  Time = %d (rep %d)" % (cpu_ms, wall_ms, rep)
    return {"contender": "wexel", "rep": rep, "truth": truth, "figures": {
        "cpu_ms": cpu_ms, "wall_ms": wall_ms, "resident_mib": 65, "virtual_mib": 66, "raw": report}}


def gnu_run(rep, cpu_ms, wall_ms, truth):
    return {"contender": "gnu-time", "rep": rep, "truth": truth, "figures": {
        "cpu_ms": cpu_ms, "wall_ms": wall_ms, "resident_kb": 66184,
        "raw": "%.2f %.2f 0.00 648" % (wall_ms / 1000, cpu_ms / 1000)}}


def accuracy():
    burn = {"cpu_ns": 1002480000, "wall_ns": 500000000, "premain_cpu_ns": 1000000,
            "vmhwm_kb": 764, "vmpeak_kb": 1076}
    hold = {"cpu_ns": 171000000, "wall_ns": 200000000, "premain_cpu_ns": 1000000,
            "vmhwm_kb": 66300, "vmpeak_kb": 66612}
    late = [{"before_ms": b, "rep": r, "truth": {"vmpeak_kb": 263220},
             "figures": {"virtual_mib": 258 if b >= 100 else 2, "raw": "late"}}
            for r in range(2) for b in (50, 100)]
    return {"cases": [
        {"name": "2 threads", "command": ["bench_child", "threads", "2", "500"],
         "runs": [wexel_run(r, 1002, 501, burn) for r in range(3)] +
                 [gnu_run(r, 990, 500, burn) for r in range(3)]},
        {"name": "hold 64 MiB", "command": ["bench_child", "hold", "64", "200"],
         "runs": [wexel_run(0, 174, 201, hold), gnu_run(0, 170, 200, hold)]}],
        "late": late, "late_before": late}


def footprint():
    def samples(start_us, wait_us, wakes):
        return [{"start_cpu_ns": 1000 * start_us, "end_cpu_ns": 1000 * (start_us + w),
                 "wakes": wakes, "vmhwm_kb": 704, "tree_maxrss_kb": 1388} for w in wait_us]
    return {"sleep_ms": 5000, "rounds": 3, "contenders": [
        {"name": "wexel", "samples": samples(1600, [5500, 8300, 6000], 66)},
        {"name": "floor-static", "samples": samples(1300, [0, 0, 0], 0)},
        {"name": "gnu-time", "samples": samples(3200, [0, 0, 0], 0)},
        {"name": BASE, "samples": samples(2300, [6600, 7100, 6900], 66)}]}


def write_run(raw):
    rng = random.Random(7)
    write(raw, "machine.txt", "".join("%s=%s\n" % kv for kv in {
        "cpu": "AMD EPYC", "cores": "2", "kernel": "Linux 6.18", "glibc": "glibc 2.36",
        "gcc": "12.2.0", "hyperfine": "hyperfine 1.15.0", "gnu_time": "time (GNU Time) UNKNOWN",
        "gnu_time_package": "time 1.9-0.2", "date": "today", "commit": "abc1234+dirty",
        "true": "/usr/bin/true", "tools": "build-bench/bench-tools",
        "bin": "build-bench/bench-bin"}.items()))
    write(raw, "load.txt", "waited_s=0\nquiet_load=0.5\n" + "".join(
        "%s=0.5 0.5 0.5\n" % k for k in ("load_start", "load_after_overhead",
                                         "load_after_hyperfine", "load_after_accuracy",
                                         "load_end")))
    write(raw, "baseline.txt", "name=%s\nrev=a2cdb29\ncommit=a2cdb29\nsubject=1.1.0\n" % BASE)
    overhead = {"rounds": 400, "warmup": 20, "contenders": [
        {"name": n, "command": [n, "/usr/bin/true"],
         "wall_ns": [int(1000 * v * rng.uniform(0.8, 1.2)) for _ in range(400)],
         "cpu_ns": [1000 * v] * 400, "maxrss_kb": [600] * 400} for n, v in LAUNCH_US.items()]}
    write(raw, "overhead.json", json.dumps(overhead))
    for r in range(4):
        write(raw, "hyperfine-%d.json" % r, json.dumps({"results": [
            {"command": n, "times": [v * 1e-6 * rng.uniform(0.9, 1.1) for _ in range(50)]}
            for n, v in LAUNCH_US.items()]}))
    write(raw, "accuracy.json", json.dumps(accuracy()))
    write(raw, "footprint.json", json.dumps(footprint()))
    write(raw, "rss_probe.txt", "".join("%s status=0 maxrss_kb=%d\n" % (n, kb) for _ in range(5)
                                        for n, kb in (("true", 980), ("wexel", 648),
                                                      ("gnu-time", 1488), (BASE, 648))))
    write(raw, "reading_cost_80ms.json", json.dumps(
        {"wake_only_ns": [58000] * 30, "wake_and_read_ns": [97500] * 30}))
    write(raw, "sizes.txt", "wexel 799248\nwexel.stripped 711416\nwexel.exe 18432\n")
    write(raw, "exe_origin.txt", "built by bench/run\n")
    write(raw, "wexel_file.txt", "wexel: ELF 64-bit\n")
    return overhead


class FiguresTest(unittest.TestCase):
    def test_gnu_time_version_from_the_package_where_it_prints_unknown(self):
        self.assertEqual(results.gnu_time_version("time (GNU Time) 1.9", ""), "1.9")
        debian = results.gnu_time_version("time (GNU Time) UNKNOWN", "time 1.9-0.2")
        self.assertTrue(debian.startswith("1.9 (from the Debian package time 1.9-0.2"), debian)
        self.assertTrue(results.gnu_time_version("time (GNU Time) UNKNOWN", "").startswith(
            "unknown"))

    def test_ratio_spread_is_taken_over_consecutive_quarters(self):
        a = [1] * 4 + [2] * 4 + [3] * 4 + [4] * 4
        self.assertEqual(results.block_ratios(a, [2] * 16), [0.5, 1.0, 1.5, 2.0])

    def test_gnu_time_error_beyond_its_display(self):
        self.assertEqual(results.gnu_display_excess(-12.48, 20.0), 0.0)
        self.assertAlmostEqual(results.gnu_display_excess(-25.0, 20.0), 5.0)
        self.assertAlmostEqual(results.gnu_display_excess(0.3, 20.0), 0.3)


class PageTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        raw = os.path.join(self.dir.name, "raw")
        os.mkdir(raw)
        self.overhead = write_run(raw)
        md, js = os.path.join(self.dir.name, "R.md"), os.path.join(self.dir.name, "R.json")
        subprocess.run([sys.executable, os.path.join(HERE, "results.py"), raw, md, js],
                       check=True)
        with open(md) as page, open(js) as figures:
            self.page, self.raw = page.read(), json.load(figures)

    def tearDown(self):
        self.dir.cleanup()

    def test_raw_figures_go_to_the_json_and_the_page_stays_short(self):
        self.assertEqual(self.raw["overhead"], self.overhead)
        reports = [r["figures"]["raw"] for c in self.raw["accuracy"]["cases"] for r in c["runs"]]
        self.assertIn("Process Time = 1002\nGlobal  Time = 501 (rep 2)", reports)
        self.assertEqual(self.raw["rss_probe_kb"]["wexel"], [648] * 5)
        self.assertNotIn("<details>", self.page)
        self.assertNotIn("(rep 2)", self.page)
        self.assertLess(len(self.page.splitlines()), 150)

    def test_sections_machine_and_spreads(self):
        headings = [l for l in self.page.splitlines() if l.startswith("#")]
        self.assertEqual(headings, [
            "# wexel benchmarks", "## Headline", "## 1. Launch overhead", "## 2. Accuracy",
            "### Virtual peaks reached late", "## 3. Footprint", "## Against wexel 1.1.0"])
        self.assertIn("| GNU time | 1.9 (from the Debian package", self.page)
        self.assertIn("`abc1234+dirty`", self.page)
        self.assertRegex(self.page, r"wexel / GNU time = 0\.\d{3} \(quarters of the run "
                                    r"0\.\d{3}–0\.\d{3}; hyperfine 0\.\d{3}, its rounds")
        self.assertIn("wexel / wexel-1.1.0 = ", self.page)

    def test_own_cpu_reads_the_same_wherever_it_is_given(self):
        figure = ("6.00 (5.50–8.30) ms during the wait (0.12% of one core), 7.60 (7.10–9.90) ms "
                  "over its whole life")
        self.assertEqual(self.page.count(figure), 3, self.page)


if __name__ == "__main__":
    unittest.main()
