"""Children that end badly or oddly: killed from outside, crashed, ended in
under a millisecond, with every status a process can have, with their
output closed, or leaving a process behind. wexel reports each one whole
and ends with the child's status."""

import os
import signal
import subprocess
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, child, default_signals, kill_quietly, run_to_end,
                        start_wexel, wait_for_child, wait_for_exit)
from wexel_runs import EMULATED_REALTIME_SIGNALS, EMULATOR, split_report


class KilledChild(unittest.TestCase):
    def kill_running_child(self, signal_number):
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("sleep_ms"), 600000, stdout=subprocess.PIPE)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        self.addCleanup(kill_quietly, pid)
        time.sleep(0.05)
        os.kill(pid, signal_number)
        output = wexel.stdout.read()
        return output, wait_for_exit(wexel, deadline)

    def test_sigkill_sigterm_sighup_from_outside_give_128_plus_n(self):
        for signal_number in (signal.SIGKILL, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=signal_number.name):
                output, status = self.kill_running_child(signal_number)
                before, report = split_report(output)
                code = 128 + signal_number
                self.assertEqual(before, b"\nExit code: %d\n" % code)
                self.assertEqual(status, code)
                self.assertGreaterEqual(report.global_, 0.05)

    def test_segmentation_fault_gives_139(self):
        result = run_to_end(child("fault_segfault"))
        before, _ = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: 139\n")
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 139)

    def test_self_inflicted_signals_give_128_plus_n(self):
        for signal_number in (signal.SIGABRT, signal.SIGFPE, signal.SIGUSR1, signal.SIGALRM,
                              signal.SIGXCPU, signal.SIGSYS, signal.SIGRTMIN,
                              signal.SIGRTMAX):
            with self.subTest(signal=signal.Signals(signal_number).name):
                if EMULATOR and signal_number >= signal.SIGRTMIN:
                    self.skipTest(EMULATED_REALTIME_SIGNALS)
                result = run_to_end(child("kill_self"), int(signal_number))
                before, _ = split_report(result.stdout)
                code = 128 + signal_number
                self.assertEqual(before, b"\nExit code: %d\n" % code)
                self.assertEqual(result.returncode, code % 256)


class ExitStatuses(unittest.TestCase):
    def test_every_status_from_0_to_255_is_passed_on(self):
        for code in range(256):
            result = run_to_end(child("exit_with"), code)
            before, _ = split_report(result.stdout)
            self.assertEqual(before, b"\nExit code: %d\n" % code if code else b"", code)
            self.assertEqual(result.returncode, code)

    def test_child_under_a_millisecond_is_reported_whole(self):
        # The child can be gone before wexel reads anything of it; the
        # figures must still be whole and consistent.
        for _ in range(50):
            result = run_to_end(child("exit_with"), 0)
            before, report = split_report(result.stdout)
            self.assertEqual(before, b"")
            self.assertEqual(result.returncode, 0)
            self.assertLess(report.global_, 1.0)
            self.assertGreaterEqual(report.virtual, report.physical)
            self.assertGreaterEqual(report.physical, 1)


class ChildOutput(unittest.TestCase):
    def test_child_closing_its_output_still_gets_a_report(self):
        result = run_to_end(child("fault_close_stdout"), 200, 9)
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: 9\n")
        self.assertEqual(result.returncode, 9)
        self.assertGreaterEqual(report.global_, 0.2)

    def test_wexel_ends_with_its_child_not_with_a_process_left_behind(self):
        # The process left behind holds wexel's output pipe open long after
        # the child ended: wexel must end when its own child does. Reading
        # the pipe to its end would wait for the one left behind, so the
        # test waits on wexel's exit instead.
        deadline = time.monotonic() + DEADLINE_SECONDS
        read_end, write_end = os.pipe()
        self.addCleanup(os.close, read_end)
        started = time.monotonic()
        wexel = start_wexel(child("fault_leave_orphan"), 30000, 5, stdout=write_end)
        os.close(write_end)
        self.addCleanup(kill_quietly, wexel.pid)
        status = wait_for_exit(wexel, deadline)
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(status, 5)
        os.set_blocking(read_end, False)
        output = b""
        while True:
            try:
                data = os.read(read_end, 65536)
            except BlockingIOError:
                break
            if not data:
                break
            output += data
        before, report = split_report(output)
        orphan, _, message = before.partition(b"\n")
        self.addCleanup(kill_quietly, int(orphan))
        self.assertEqual(message, b"\nExit code: 5\n")
        self.assertLess(report.global_, 10)
        # The one left behind was not waited for, and is still running.
        self.assertTrue(os.path.exists("/proc/%d" % int(orphan)))


class ChildStatusKeptWhenStartedWithSigchldIgnored(unittest.TestCase):
    # An ignored SIGCHLD makes the kernel reap children at once and throw
    # their status away; a parent may well start wexel that way.
    @staticmethod
    def started_with_sigchld_ignored():
        default_signals()
        signal.signal(signal.SIGCHLD, signal.SIG_IGN)

    def test_exit_code_and_signal_survive(self):
        for arguments, code in (((child("exit_with"), 7), 7),
                                ((child("kill_self"), 9), 137),
                                ((child("exit_with"), 0), 0)):
            with self.subTest(arguments=arguments):
                result = run_to_end(*arguments, preexec_fn=self.started_with_sigchld_ignored)
                before, report = split_report(result.stdout)
                self.assertEqual(before, b"\nExit code: %d\n" % code if code else b"")
                self.assertEqual(result.returncode, code)
                self.assertGreaterEqual(report.physical, 1)

    def test_child_gets_sigchld_at_default(self):
        result = run_to_end(child("print_inherited"),
                            preexec_fn=self.started_with_sigchld_ignored)
        before, _ = split_report(result.stdout)
        self.assertIn(b"\nSIGCHLD default\n", before)
        self.assertEqual(result.returncode, 0)


if __name__ == "__main__":
    unittest.main()
