"""Signals aimed at wexel alone while its child runs. The console's, a
window change, SIGCHLD from processes that are not its children, many in a
row, and a stop and continue leave the child untouched: wexel keeps waiting
and the report describes the child's whole run. The signals that ask a
program to end (a supervisor's SIGTERM, a hang-up, an alarm, the user
signals) are the child's: wexel passes them on, reports, and ends as the
child did."""

import os
import signal
import subprocess
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, child, default_signals, kill_quietly, process_state,
                        start_wexel, wait_for_child, wait_for_exit)
from wexel_runs import EMULATED_FORWARDING, emulator_older_than, split_report

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


class SignalsPassedOnToTheChild(unittest.TestCase):
    def run_sleeping_child(self, send, prepare=default_signals):
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("sleep_ms"), 600000, stdout=subprocess.PIPE,
                            preexec_fn=prepare)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        self.addCleanup(kill_quietly, pid)
        send(wexel.pid)
        # A wexel that died of the signal would leave the child holding the
        # output open: wait for wexel, not for the end of its output.
        status = wait_for_exit(wexel, deadline)
        kill_quietly(pid)
        return wexel.stdout.read(), status

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    def test_each_reaches_the_child_and_wexel_ends_by_it_after_the_report(self):
        for signal_number in (signal.SIGTERM, signal.SIGHUP, signal.SIGALRM, signal.SIGUSR1,
                              signal.SIGUSR2):
            with self.subTest(signal=signal_number.name):
                output, status = self.run_sleeping_child(
                    lambda wexel: os.kill(wexel, signal_number))
                before, _ = split_report(output)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(status, -signal_number)

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    def test_alarm_inherited_from_the_caller_reaches_the_child(self):
        def with_alarm():
            default_signals()
            signal.alarm(1)
        output, status = self.run_sleeping_child(lambda wexel: None, with_alarm)
        before, report = split_report(output)
        self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal.SIGALRM))
        self.assertEqual(status, -signal.SIGALRM)
        self.assertLess(report.global_, 30)

    def test_ignored_from_the_start_stays_ignored(self):
        # Started under nohup: neither wexel nor the child hears a hang-up.
        def ignoring_hangups():
            default_signals()
            signal.signal(signal.SIGHUP, signal.SIG_IGN)
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("sleep_ms"), 300, stdout=subprocess.PIPE,
                            preexec_fn=ignoring_hangups)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        wait_for_child(wexel.pid, deadline)
        os.kill(wexel.pid, signal.SIGHUP)
        before, _ = split_report(wexel.stdout.read())
        self.assertEqual(before, b"")
        self.assertEqual(wait_for_exit(wexel, deadline), 0)

if __name__ == "__main__":
    unittest.main()
