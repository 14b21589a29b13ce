#!/usr/bin/env python3
"""The resident floor that a launcher puts under its command's Physical
figure, against the length of the command line.

Linux folds the resident peak of the image that exec replaces into the new
image's record; a launcher that spawns with vfork semantics (wexel's
posix_spawn) or forks (GNU time) hands its own peak at that moment to its
command. rss_probe (bench/rss_probe.c) runs each contender on tiny_child
(bench/tiny_child.c, which only exits) and prints the tree's ru_maxrss:
with nothing of the command's own beyond its arguments on its stack, the
figure is the larger of what the command holds and the launcher's floor.
"direct" runs tiny_child alone: the command's own figure.

usage: line_floor.py OUT.json RSS_PROBE TINY_CHILD NAME=PROGRAM...  (NAME=direct
       for tiny_child alone)
Also importable: render(data) gives the Markdown section of RESULTS.md.
"""
import json
import statistics
import subprocess
import sys

RUNS = 5


def cases():
    """(label, arguments): an empty line, about 100 KB and 1 MB of
    1 KB arguments, and the 120,000 short arguments of `seq 1 120000`."""
    kilobyte = "k" * 1023
    return [("empty", []),
            ("100 KB (100 x 1 KB)", [kilobyte] * 100),
            ("1 MB (1024 x 1 KB)", [kilobyte] * 1024),
            ("120,000 arguments (seq 1 120000)",
             [str(i) for i in range(1, 120001)])]


def probe(rss_probe, program, tiny_child, arguments):
    command = [rss_probe] + ([] if program == "direct" else [program]) + [tiny_child]
    output = subprocess.run(command + arguments, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, check=True).stdout.decode()
    line = output.strip().splitlines()[-1]
    fields = dict(field.split("=") for field in line.split())
    if fields["status"] != "0":
        raise SystemExit("line_floor: %s failed: %s" % (program, line))
    return int(fields["maxrss_kb"])


def measure(rss_probe, tiny_child, contenders):
    results = []
    for label, arguments in cases():
        line_bytes = sum(len(a) + 1 for a in arguments)
        runs = {name: [] for name, _ in contenders}
        for _ in range(RUNS):
            for name, program in contenders:
                runs[name].append(probe(rss_probe, program, tiny_child, arguments))
        results.append({"case": label, "line_bytes": line_bytes, "maxrss_kb": runs})
    return {"runs": RUNS, "contenders": [name for name, _ in contenders], "cases": results}


def render(data, how):
    """The section, as a list of lines; how says how the figures were made."""
    names = data["contenders"]
    lines = ["## Resident floor against command-line length", "",
             how, "",
             "The figure is `ru_maxrss` of the tree, in KiB: median (range) of %d runs. "
             "`direct` is tiny_child alone, holding its own arguments: the command's own "
             "figure. A launcher whose median is above `direct` swells the command's Physical "
             "figure by the difference." % data["runs"], "",
             "| command line | bytes | " + " | ".join(names) + " |",
             "|---|---|" + "---|" * len(names)]
    for case in data["cases"]:
        cells = [median_range(case["maxrss_kb"][n]) for n in names]
        lines.append("| %s | %d | %s |" % (case["case"], case["line_bytes"], " | ".join(cells)))
    lines += ["", "What wexel holds above `direct` at the spawn is what the spawn needs or "
              "the caller keeps: the arguments the kernel put on its own stack (as it does for "
              "the command), the command buffer that `main` keeps (two bytes per byte of the "
              "line) and, for many short arguments, the pointers of the argument vector. GNU "
              "time forks: its floor is its own larger start-up footprint plus the arguments.",
              ""]
    return lines


def median_range(runs):
    text = "%d" % statistics.median(runs)
    return text if min(runs) == max(runs) else "%s (%d–%d)" % (text, min(runs), max(runs))


def main():
    if len(sys.argv) < 5:
        raise SystemExit(__doc__)
    out_path, rss_probe, tiny_child = sys.argv[1:4]
    contenders = [tuple(a.split("=", 1)) for a in sys.argv[4:]]
    with open(out_path, "w") as out:
        json.dump(measure(rss_probe, tiny_child, contenders), out, indent=1)


if __name__ == "__main__":
    main()
