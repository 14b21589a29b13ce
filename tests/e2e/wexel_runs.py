"""What the end-to-end tests share: where wexel and the children are, how to
run them and find the processes wexel started, and the report's exact
layout."""

import functools
import os
import random
import re
import select
import shlex
import shutil
import signal
import subprocess
import sys
import termios
import time
import unittest

WEXEL = os.environ["WEXEL"]
CHILDREN = os.environ["WEXEL_CHILDREN"]
VERSION = os.environ["WEXEL_VERSION"]
RELEASE_DATE = os.environ["WEXEL_RELEASE_DATE"]

# Every run of a child has a deadline far beyond its need; a hang fails the
# test instead of stalling the suite.
DEADLINE_SECONDS = 60

# A wexel built for another machine runs here through a user-mode emulator
# named in WEXEL_EMULATOR (qemu-aarch64-static for the arm64 one), which
# takes wexel's own argv[0] as qemu-user's "-0 NAME". The children stay
# native. WEXEL_PROGRAM is the file that is executed: the emulator, or
# wexel itself.
EMULATOR = shlex.split(os.environ.get("WEXEL_EMULATOR", ""))
WEXEL_PROGRAM = shutil.which(EMULATOR[0]) if EMULATOR else WEXEL

# Why the few checks that an emulator cannot show are skipped under one.
EMULATED_MEMORY = "memory figures and wexel's own footprint under an emulator are the emulator's"
EMULATED_EXEC_LIMIT = ("the kernel's limit on an exec's arguments is met by wexel executed "
                       "itself, and an emulated wexel's exec carries the emulator's arguments too")
EMULATED_HELD_SIGNALS = ("qemu-user keeps a signal pending for the program it runs when that "
                         "program sets it to be ignored, where the kernel drops it")
EMULATED_IGNORED_SIGNALS = ("qemu-user catches the signals it was started with ignored, so "
                            "exec hands them to the child at their default")
EMULATED_REALTIME_SIGNALS = "qemu-user numbers the real-time signals apart from the host"
EMULATED_FAULT_SIGNALS = ("qemu-user takes a SIGSEGV or SIGTRAP sent to it for a fault of the "
                          "program it runs, and may never hand it on")
EMULATED_PTRACE = ("qemu-user does not pass ptrace through: a child that makes the emulated "
                   "wexel its tracer cannot be let go")
EMULATED_FATAL_SIGNAL = ("qemu-user reports a fatal signal of the program it runs on standard "
                         "error, and may dump a core of its own")

EMULATED_FORWARDING = ("qemu-user before 7.2 (Debian 11's 5.2) does not let the emulated "
                       "wexel pass a signal on: the child never gets it")
EMULATED_KEPT_SIGNAL = ("this qemu-user keeps the signal for itself (Debian 13's 10.0 keeps "
                        "SIGABRT): sent to the emulated wexel, it ends the emulator at once, "
                        "with wexel in it, and never reaches the child")


def native_only(reason):
    return unittest.skipIf(EMULATOR, reason)


def emulator_older_than(version):
    """Whether the emulator says it is older than version, a tuple such as
    (7, 2); False when wexel runs natively or the version cannot be read."""
    if not EMULATOR:
        return False
    said = subprocess.run([WEXEL_PROGRAM, "--version"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout
    found = re.search(r"version (\d+)\.(\d+)", said)
    return bool(found) and tuple(int(part) for part in found.groups()) < version


# A child that takes one signal, says so each time, and lives on.
_SIGNAL_TELLER = ("import signal, sys, time\n"
                  "signal.signal(int(sys.argv[1]), lambda *_: print('got', flush=True))\n"
                  "print('ready', flush=True)\n"
                  "time.sleep(600)\n")


@functools.lru_cache(maxsize=None)
def emulator_keeps(signal_number):
    """Whether the emulator keeps a signal sent to it for itself, found by
    what it does: the emulated wexel runs a child that takes the signal and
    says so, the signal is sent to the emulator, and the emulator dies of it
    with the child never told. False when wexel runs natively, or when the
    signal reached the child. (An emulated wexel that died of the signal
    itself would look the same; the native suite runs those tests in full.)"""
    if not EMULATOR:
        return False
    deadline = time.monotonic() + DEADLINE_SECONDS

    def default_disposition():
        signal.signal(signal_number, signal.SIG_DFL)
        signal.pthread_sigmask(signal.SIG_SETMASK, ())
    emulator = subprocess.Popen(
        wexel_command([sys.executable, "-c", _SIGNAL_TELLER, str(int(signal_number))]),
        executable=WEXEL_PROGRAM, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
        preexec_fn=default_disposition)
    pid = None
    try:
        pid = wait_for_child(emulator.pid, deadline)
        # Once the child has taken the signal over; the report comes instead
        # when it could not.
        if emulator.stdout.readline() != b"ready\n":
            return False
        os.kill(emulator.pid, signal_number)
        # Whatever comes first: the child's word (it was told), or the
        # emulator's death, which ends the child too (its parent-death
        # signal) and so may first be seen as the end of the output.
        while time.monotonic() < deadline:
            if select.select([emulator.stdout], [], [], 0.01)[0]:
                if emulator.stdout.readline() != b"":
                    return False
                return emulator.wait(max(0.0, deadline - time.monotonic())) == -signal_number
            if emulator.poll() is not None:
                return emulator.returncode == -signal_number
        return False
    finally:
        if pid is not None:
            kill_quietly(pid)
        kill_quietly(emulator.pid)
        emulator.wait()
        emulator.stdout.close()


def wexel_command(arguments, name=WEXEL):
    """The argument vector that starts wexel with the given arguments and
    name as its own argv[0]; it is to be executed as WEXEL_PROGRAM."""
    if EMULATOR:
        return [*EMULATOR, "-0", name, WEXEL, *arguments]
    return [name, *arguments]


def child(name):
    return os.path.join(CHILDREN, name)


def run_wexel(*arguments, **options):
    """Runs wexel with the given arguments; stdout and stderr as bytes."""
    options.setdefault("stdout", subprocess.PIPE)
    options.setdefault("stderr", subprocess.PIPE)
    return subprocess.run(wexel_command(arguments), executable=WEXEL_PROGRAM,
                          timeout=DEADLINE_SECONDS, **options)


def run_child(name, *arguments, **options):
    return run_wexel(child(name), *[str(a) for a in arguments], **options)


def children_of(pid):
    """The pids of every process whose parent is pid, zombies included."""
    found = []
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return found
    for task in tasks:
        try:
            with open("/proc/%d/task/%s/children" % (pid, task)) as file:
                found += [int(word) for word in file.read().split()]
        except OSError:
            pass
    return found


def wait_for_child(parent, deadline):
    """The pid of parent's child once there is one and it has replaced its
    image (its command is no longer that of wexel, or of its emulator)."""
    wexel_name = os.path.basename(WEXEL_PROGRAM)[:15]
    while time.monotonic() < deadline:
        for pid in children_of(parent):
            try:
                with open("/proc/%d/comm" % pid) as file:
                    if file.read().strip() != wexel_name:
                        return pid
            except OSError:
                pass
        time.sleep(0.005)
    raise AssertionError("wexel %d started no child in time" % parent)


def kill_quietly(pid):
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def _time_line(label, key):
    return (label + r" =(?P<%s_s> *\d+)\.(?P<%s_ms>\d{3}) =(?P<%s_pct> *\d+)%%"
            % (key, key, key))


REPORT = re.compile(
    rb"\n"
    + ("\n" + _time_line("Kernel  Time", "kernel")
       + "\n" + _time_line("User    Time", "user")
       + "\n" + _time_line("Process Time", "process")
       + r"    Virtual  Memory =(?P<virtual> *\d+) MB"
       + "\n" + _time_line("Global  Time", "global")
       + r"    Physical Memory =(?P<physical> *\d+) MB"
       + "\n").encode() + rb"\Z")


class Report:
    """The figures of a report, in seconds and megabytes."""

    def __init__(self, match):
        self.fields = match.groupdict()
        for key in ("kernel", "user", "process", "global"):
            # "global" is a keyword: that figure is global_.
            name = key + "_" if key == "global" else key
            setattr(self, name, int(self.fields[key + "_s"]) + int(self.fields[key + "_ms"]) / 1000)
            setattr(self, key + "_percent", int(self.fields[key + "_pct"]))
        self.virtual = int(self.fields["virtual"])
        self.physical = int(self.fields["physical"])


def split_report(output):
    """Returns (what came before the report, Report); the report must end
    the output and follow its layout exactly."""
    match = REPORT.search(output)
    if match is None:
        raise AssertionError("no report at the end of %r" % output)
    return output[:match.start()], Report(match)


def hostile_argument(generator):
    """Bytes that the quoting rules care about, mixed with any other byte
    but NUL; often empty."""
    special = b' \t\n"\\\\\\a'
    length = generator.randrange(12)
    return bytes(special[generator.randrange(len(special))] if generator.randrange(2)
                 else generator.randrange(1, 256) for _ in range(length))


def hostile_arguments(seed, count):
    generator = random.Random(seed)
    return [[hostile_argument(generator) for _ in range(generator.randrange(7))]
            for _ in range(count)]


def plain_terminal(tostop=False):
    """Sets the terminal on descriptor 0 to show the output as sent: no echo
    of typed keys, no "\\r\\n" for "\\n"; with tostop, a write from the
    background stops its writer (stty tostop)."""
    attributes = termios.tcgetattr(0)
    attributes[1] &= ~termios.OPOST
    attributes[3] &= ~termios.ECHO
    if tostop:
        attributes[3] |= termios.TOSTOP
    termios.tcsetattr(0, termios.TCSANOW, attributes)


def read_terminal(terminal, deadline):
    """Everything a pseudo-terminal gives until its last writer is gone or
    the deadline passes."""
    output = b""
    while time.monotonic() < deadline:
        ready, _, _ = select.select([terminal], [], [], 0.1)
        if not ready:
            continue
        try:
            data = os.read(terminal, 4096)
        except OSError:  # EIO: the last process holding the terminal ended
            break
        if not data:
            break
        output += data
    return output
