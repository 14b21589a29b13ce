"""wexel's own standard output failing, and what wexel holds while it
works. Whatever happens to the report, wexel's exit status is the child's:
wexel ignores SIGPIPE and SIGXFSZ (so a reader that has gone, or a file
size limit, cannot kill it as it prints) and gives the child both back at
their default. While the child runs, wexel holds its standard descriptors
and one of its own, close-on-exec; once the child has ended, it holds
neither it nor a zombie."""

import os
import resource
import select
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, WEXEL, child, children_of, default_signals, is_static,
                        kill_quietly, run_to_end, start_wexel, wait_for_child, wait_for_exit)
from wexel_runs import (EMULATED_IGNORED_SIGNALS, EMULATED_MEMORY, native_only,
                        split_report)

O_CLOEXEC = 0o2000000


def descriptors(pid):
    """{fd: (target, flags)} of a process."""
    found = {}
    for name in os.listdir("/proc/%d/fd" % pid):
        try:
            target = os.readlink("/proc/%d/fd/%s" % (pid, name))
            with open("/proc/%d/fdinfo/%s" % (pid, name)) as file:
                flags = next(int(line.split()[1], 8) for line in file
                             if line.startswith("flags:"))
        except OSError:
            continue
        found[int(name)] = (target, flags)
    return found


def fill(write_end):
    """Fills a pipe to the brim; returns the bytes written."""
    blocking = os.get_blocking(write_end)
    os.set_blocking(write_end, False)
    written = 0
    try:
        while True:
            written += os.write(write_end, b"f" * 65536)
    except BlockingIOError:
        pass
    os.set_blocking(write_end, blocking)
    return written


def started_with_closed(*fds):
    def prepare():
        default_signals()
        for fd in fds:
            os.close(fd)
    return prepare


class StandardOutputFailing(unittest.TestCase):
    def test_closed_output_keeps_the_childs_status(self):
        for closed in ((1,), (1, 2), (0, 1, 2)):
            with self.subTest(closed=closed):
                result = run_to_end(child("exit_with"), 6, capture_output=False,
                                    preexec_fn=started_with_closed(*closed))
                self.assertEqual(result.returncode, 6)

    def run_into_pipe_without_reader(self, arguments, ignore_sigpipe=False):
        read_end, write_end = os.pipe()
        os.close(read_end)
        self.addCleanup(os.close, write_end)

        def prepare():
            default_signals()
            if ignore_sigpipe:
                signal.signal(signal.SIGPIPE, signal.SIG_IGN)
        return run_to_end(*arguments, stdout=write_end, stderr=subprocess.PIPE,
                          capture_output=False, preexec_fn=prepare)

    def test_reader_gone_wexel_survives_and_ends_with_childs_status(self):
        result = self.run_into_pipe_without_reader([child("exit_with"), 7])
        self.assertEqual(result.returncode, 7)
        self.assertEqual(result.stderr, b"")

    def test_reader_gone_child_that_writes_dies_of_sigpipe(self):
        # SIGPIPE is back at its default in the child: its write kills it,
        # and wexel, which ignores the signal for itself, ends by it too.
        result = self.run_into_pipe_without_reader([child("print_args"), "x"])
        self.assertEqual(result.returncode, -signal.SIGPIPE)
        self.assertEqual(result.stderr, b"")

    @native_only(EMULATED_IGNORED_SIGNALS)
    def test_reader_gone_and_sigpipe_ignored_from_the_start(self):
        # Ignored by wexel's parent, SIGPIPE stays ignored for the child,
        # whose write then merely fails.
        result = self.run_into_pipe_without_reader([child("print_args"), "x"],
                                                   ignore_sigpipe=True)
        self.assertEqual(result.returncode, 0)

    def test_full_pipe_that_will_not_wait_loses_the_report_not_the_status(self):
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        self.addCleanup(os.close, write_end)
        fill(write_end)
        os.set_blocking(write_end, False)
        result = run_to_end(child("exit_with"), 8, stdout=write_end, stderr=subprocess.PIPE,
                            capture_output=False)
        self.assertEqual(result.returncode, 8)
        self.assertEqual(result.stderr, b"")

    def start_blocked_on_full_pipe(self, deadline):
        """wexel running exit_with 3 into a full pipe, once it is blocked in
        write(2): the child has ended and the report is going out. Returns
        wexel, the pipe's read end and how much was in it before."""
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        filled = fill(write_end)
        wexel = start_wexel(child("exit_with"), 3, stdout=write_end)
        os.close(write_end)
        self.addCleanup(kill_quietly, wexel.pid)
        while True:
            with open("/proc/%d/syscall" % wexel.pid) as file:
                if file.read().split()[0] == "1":
                    break
            self.assertIsNone(wexel.poll(), "wexel ended without writing")
            self.assertLess(time.monotonic(), deadline, "wexel never wrote")
            time.sleep(0.01)
        return wexel, read_end, filled

    def test_full_pipe_that_waits_holds_wexel_after_the_child_is_reaped(self):
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel, read_end, filled = self.start_blocked_on_full_pipe(deadline)
        self.assertEqual(children_of(wexel.pid), [], "a child left unreaped")
        self.assertEqual(sorted(descriptors(wexel.pid)), [0, 1, 2])

        output = b""
        os.set_blocking(read_end, False)
        while True:
            try:
                data = os.read(read_end, 65536)
            except BlockingIOError:
                if wexel.poll() is not None:
                    break
                time.sleep(0.01)
                continue
            if not data:
                break
            output += data
        self.assertEqual(wait_for_exit(wexel, deadline), 3)
        before, _ = split_report(output[filled:])
        self.assertEqual(before, b"\nExit code: 3\n")

    def test_signal_ends_wexel_held_by_a_full_pipe_after_the_child_ended(self):
        # The child is gone: a SIGTERM now is wexel's own, as it would be a
        # command's that is stuck writing. SIGINT and SIGQUIT, delivered
        # first, are console events that wexel's handler takes, as Windows
        # gives them to it.
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel, _, _ = self.start_blocked_on_full_pipe(deadline)
        for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGTERM):
            os.kill(wexel.pid, signal_number)
        self.assertEqual(wait_for_exit(wexel, deadline), -signal.SIGTERM)

    def test_file_size_limit_loses_the_report_not_the_status(self):
        # With `ulimit -f` the report's write raises SIGXFSZ, which would kill
        # wexel and lose the child's status; the child, which never hits the
        # limit, keeps the signal at its default.
        with tempfile.TemporaryFile() as output:
            def limited():
                default_signals()
                resource.setrlimit(resource.RLIMIT_FSIZE, (16, 16))
            result = run_to_end(child("exit_with"), 5, stdout=output, stderr=subprocess.PIPE,
                                capture_output=False, preexec_fn=limited)
            self.assertEqual(result.returncode, 5)
            self.assertEqual(result.stderr, b"")
            output.seek(0)
            self.assertEqual(output.read(), b"\nExit code: 5\n\n\n")  # the limit's 16 bytes

    def test_output_the_child_leaves_non_blocking_still_gets_the_whole_report(self):
        # Node and libuv programs leave the shared output non-blocking; a slow
        # reader must still get the whole report, and the output is given
        # back as the child left it.
        deadline = time.monotonic() + DEADLINE_SECONDS
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        filled = fill(write_end)
        leave_non_blocking = "import os; os.set_blocking(1, False)"
        wexel = start_wexel(sys.executable, "-c", leave_non_blocking, stdout=write_end)
        self.addCleanup(kill_quietly, wexel.pid)
        self.addCleanup(os.close, write_end)
        time.sleep(0.5)
        output = b""
        while len(output) < filled or wexel.poll() is None:
            self.assertLess(time.monotonic(), deadline, "wexel did not end")
            ready, _, _ = select.select([read_end], [], [], 0.1)
            if ready:
                output += os.read(read_end, 65536)
        os.set_blocking(read_end, False)
        try:
            output += os.read(read_end, 65536)
        except BlockingIOError:
            pass
        self.assertEqual(wexel.wait(), 0)
        split_report(output[filled:])
        self.assertFalse(os.get_blocking(write_end))


class WhatWexelHolds(unittest.TestCase):
    def test_while_the_child_runs_one_close_on_exec_descriptor_of_its_own(self):
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("sleep_ms"), 1000, stdout=subprocess.PIPE)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        # wexel opens the status file at its first reading of the child's
        # memory, a millisecond after the launch, and holds the launch's
        # error pipe until the child's exec; the child's loader may hold a
        # library open for a moment after its exec.
        status_file = "/proc/%d/status" % pid
        while True:
            own = {fd: value for fd, value in descriptors(wexel.pid).items() if fd > 2}
            childs = sorted(descriptors(pid))
            read = any(target == status_file for target, _ in own.values())
            if (read and childs == [0, 1, 2]) or time.monotonic() > deadline:
                break
            time.sleep(0.01)
        targets = sorted(target for target, _ in own.values())
        self.assertEqual(targets, [status_file])
        for fd, (target, flags) in own.items():
            self.assertTrue(flags & O_CLOEXEC, "%d -> %s is inherited" % (fd, target))
        self.assertEqual(childs, [0, 1, 2])
        output = wexel.stdout.read()
        self.assertEqual(wait_for_exit(wexel, deadline), 0)
        split_report(output)

    def run_with_descriptor_limit(self, limit, *arguments, hard=None):
        def prepare():
            default_signals()
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit if hard is None else hard))
        return run_to_end(*arguments, preexec_fn=prepare)

    def test_one_descriptor_to_spare_still_measures_the_child(self):
        # Room for the status file, all wexel opens of its own.
        result = self.run_with_descriptor_limit(4, child("exit_with"), 4)
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: 4\n")
        self.assertEqual(result.returncode, 4)
        self.assertGreaterEqual(report.physical, 1)

    @native_only(EMULATED_MEMORY)
    @unittest.skipUnless(is_static(WEXEL), "a dynamic program cannot start without a descriptor")
    def test_no_descriptor_to_spare_still_measures_the_child(self):
        # Neither descriptor: wexel waits in wait4 alone. Its child has to
        # be a static program too; wexel itself, called alone, is one.
        result = self.run_with_descriptor_limit(3, WEXEL)
        before, report = split_report(result.stdout)
        self.assertTrue(before.startswith(b"Wexel : "), before)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(report.virtual, report.physical)

    @native_only(EMULATED_MEMORY)
    @unittest.skipUnless(is_static(WEXEL), "a dynamic program cannot start without a descriptor")
    def test_no_descriptor_to_spare_below_a_higher_hard_limit_still_reads_virtual(self):
        # ulimit -n 3: the child keeps the limit it was given, and wexel
        # takes more for itself, below the hard limit, to read the child's
        # virtual peak.
        result = self.run_with_descriptor_limit(3, child("map_memory_static"), 400, 300,
                                                hard=64)
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"")
        self.assertEqual(result.returncode, 0)
        self.assertGreaterEqual(report.virtual, 400)
        self.assertLess(report.physical, 100)

    @native_only(EMULATED_MEMORY)
    @unittest.skipUnless(is_static(WEXEL), "a dynamic program cannot start without a descriptor")
    def test_no_descriptor_to_spare_below_a_hard_limit_under_16_still_reads_virtual(self):
        # ulimit -Sn 3 with a hard limit of 10: wexel can take no more than
        # the hard limit, and the child, as alone, runs with 3.
        def prepare():
            default_signals()
            resource.setrlimit(resource.RLIMIT_NOFILE, (3, 10))
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("map_memory_static"), 400, 500, stdout=subprocess.PIPE,
                            preexec_fn=prepare)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        with open("/proc/%d/limits" % pid) as file:
            limits = [line.split()[3:5] for line in file if line.startswith("Max open files")]
        self.assertEqual(limits, [["3", "10"]])
        before, report = split_report(wexel.stdout.read())
        self.assertEqual(before, b"")
        self.assertEqual(wait_for_exit(wexel, deadline), 0)
        self.assertGreaterEqual(report.virtual, 400)
        self.assertLess(report.physical, 100)


if __name__ == "__main__":
    unittest.main()
