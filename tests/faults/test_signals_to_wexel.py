"""Signals aimed at wexel alone while its child runs: the console's, a
window change, SIGCHLD from processes that are not its children, many in a
row, and a stop and continue. wexel keeps waiting, the child is untouched,
and the report describes the child's whole run."""

import os
import signal
import subprocess
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, child, kill_quietly, process_state, start_wexel,
                        wait_for_child, wait_for_exit)
from wexel_runs import split_report

SLEEP_MS = 1500


class SignalsToWexelAlone(unittest.TestCase):
    def run_with_signals(self, send):
        """Runs sleep_ms under wexel, calls send(wexel_pid, child_pid) while
        the child sleeps; returns (output, status)."""
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("sleep_ms"), SLEEP_MS, stdout=subprocess.PIPE)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        self.addCleanup(kill_quietly, pid)
        send(wexel.pid, pid)
        output = wexel.stdout.read()
        return output, wait_for_exit(wexel, deadline)

    def assert_whole_quiet_run(self, output, status):
        before, report = split_report(output)
        self.assertEqual(before, b"")
        self.assertEqual(status, 0)
        self.assertGreaterEqual(report.global_, SLEEP_MS / 1000)
        self.assertLess(report.global_, SLEEP_MS / 1000 + 20)
        # A sleeping child: its CPU time is a sliver of the run.
        self.assertLess(report.process, 0.5)

    def test_each_signal_alone(self):
        # Sent by this test, a process other than the child: SIGCHLD here
        # says nothing about the child.
        for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGWINCH, signal.SIGCHLD,
                              signal.SIGURG, signal.SIGCONT):
            with self.subTest(signal=signal_number.name):
                def send(wexel, _):
                    time.sleep(0.1)
                    os.kill(wexel, signal_number)
                self.assert_whole_quiet_run(*self.run_with_signals(send))

    def test_many_in_a_row(self):
        def send(wexel, pid):
            kinds = (signal.SIGINT, signal.SIGQUIT, signal.SIGWINCH, signal.SIGCHLD)
            for i in range(400):
                os.kill(wexel, kinds[i % len(kinds)])
                if i % 50 == 0:
                    time.sleep(0.01)
            self.assertIn(process_state(pid), ("S", "R"))
        self.assert_whole_quiet_run(*self.run_with_signals(send))

    def test_stopped_and_continued_while_the_child_runs(self):
        def send(wexel, pid):
            time.sleep(0.1)
            os.kill(wexel, signal.SIGSTOP)
            time.sleep(0.3)
            self.assertEqual(process_state(wexel), "T")
            self.assertIn(process_state(pid), ("S", "R"))
            os.kill(wexel, signal.SIGCONT)
        self.assert_whole_quiet_run(*self.run_with_signals(send))


if __name__ == "__main__":
    unittest.main()
