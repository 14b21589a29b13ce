"""What the fault tests share beyond the end-to-end helpers: reading the
state of the processes wexel started from /proc, and starting wexel with its
standard output or signal state arranged by hand."""

import os
import resource
import shutil
import signal
import struct
import subprocess
import time

from wexel_runs import (DEADLINE_SECONDS, WEXEL, WEXEL_PROGRAM, child, children_of,
                        kill_quietly, wait_for_child, wexel_command)


def process_state(pid):
    """The one-letter state of a process (R, S, T, Z...), or None when it
    is gone."""
    try:
        with open("/proc/%d/stat" % pid) as file:
            stat = file.read()
    except OSError:
        return None
    return stat[stat.rindex(")") + 2]


def wait_for_exit(process, deadline):
    """Waits for a Popen to end without reading its output; fails the test
    when it does not end by the deadline."""
    try:
        return process.wait(timeout=max(0.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        raise AssertionError("wexel did not end in time")


def default_signals(core_limit=0):
    """For preexec_fn: the signal state a shell gives a command, whatever
    the test runner's own is, and no core files from crashing children
    unless core_limit says otherwise."""
    for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE, signal.SIGTERM,
                          signal.SIGCHLD, signal.SIGTSTP):
        signal.signal(signal_number, signal.SIG_DFL)
    signal.pthread_sigmask(signal.SIG_SETMASK, ())
    resource.setrlimit(resource.RLIMIT_CORE, (core_limit, core_limit))


def command(arguments):
    """wexel's argument vector; numbers become text, bytes stay bytes."""
    return wexel_command([str(a) if isinstance(a, int) else a for a in arguments])


def start_wexel(*arguments, **options):
    options.setdefault("preexec_fn", default_signals)
    return subprocess.Popen(command(arguments), executable=WEXEL_PROGRAM, **options)


def run_to_end(*arguments, **options):
    """Runs wexel to its end with the test's signal state reset; returns the
    CompletedProcess with stdout and stderr as bytes."""
    options.setdefault("preexec_fn", default_signals)
    options.setdefault("capture_output", True)
    return subprocess.run(command(arguments), executable=WEXEL_PROGRAM,
                          timeout=DEADLINE_SECONDS, **options)


def is_static(path):
    """Whether an ELF program runs without the dynamic loader (it has no
    PT_INTERP program header)."""
    with open(path, "rb") as file:
        header = file.read(64)
        offset, = struct.unpack_from("<Q", header, 32)
        size, count = struct.unpack_from("<HH", header, 54)
        file.seek(offset)
        table = file.read(size * count)
    return all(struct.unpack_from("<I", table, i * size)[0] != 3 for i in range(count))


def pid_namespaces_work():
    """Whether `unshare --fork --pid --mount-proc` can run a command here:
    it takes root, and a root directory that is a mount point (not so in a
    plain chroot)."""
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return False
    probe = subprocess.run(["unshare", "--fork", "--pid", "--mount-proc", "true"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=DEADLINE_SECONDS)
    return probe.returncode == 0


__all__ = ["DEADLINE_SECONDS", "WEXEL", "child", "children_of", "command", "default_signals",
           "is_static", "kill_quietly", "pid_namespaces_work", "process_state", "run_to_end", "start_wexel",
           "wait_for_child", "wait_for_exit"]
