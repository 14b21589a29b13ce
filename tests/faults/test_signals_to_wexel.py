"""Signals aimed at wexel alone while its child runs. Without wexel they
would have reached the child, so wexel passes each on, reports, and ends as
the child did: a supervisor's SIGTERM, a hang-up, an alarm, the user
signals, and SIGINT and SIGQUIT sent with kill(). What the child ignores
(a window change, SIGURG), SIGCHLD from processes that are not wexel's
children, many in a row, and a stop and continue of wexel alone leave the
child running: wexel keeps waiting and the report describes the whole
run."""

import ctypes
import os
import select
import signal
import subprocess
import sys
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, child, children_of, command, default_signals,
                        kill_quietly, pid_namespaces_work, process_state, run_to_end,
                        start_wexel, wait_for_child, wait_for_exit)
from wexel_runs import (EMULATED_FAULT_SIGNALS, EMULATED_FORWARDING, EMULATED_IGNORED_SIGNALS,
                        EMULATED_HELD_SIGNALS, EMULATED_KEPT_SIGNAL, EMULATED_REALTIME_SIGNALS,
                        EMULATOR, WEXEL_PROGRAM, emulator_keeps, emulator_older_than,
                        native_only, split_report)

SLEEP_MS = 1500
# Python names it from 3.11 on; it is 16 on every Linux wexel is built for.
SIGSTKFLT = getattr(signal, "SIGSTKFLT", 16)


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
        # SIGWINCH and SIGURG are passed on, and the child ignores them.
        for signal_number in (signal.SIGWINCH, signal.SIGCHLD, signal.SIGURG, signal.SIGCONT):
            with self.subTest(signal=signal_number.name):
                def send(wexel, _):
                    time.sleep(0.1)
                    os.kill(wexel, signal_number)
                self.assert_whole_quiet_run(*self.run_with_signals(send))

    def test_many_in_a_row(self):
        def send(wexel, pid):
            kinds = (signal.SIGWINCH, signal.SIGCHLD, signal.SIGURG, signal.SIGCONT)
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

    def test_burst_that_comes_as_the_child_ends_is_for_a_child_that_is_gone(self):
        # The child ends while wexel is stopped; the signals sent to wexel
        # then find it at its end, and leave it the report and the child's
        # status.
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel("/bin/sh", "-c", "read line; exit 3", stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        self.addCleanup(kill_quietly, pid)
        os.kill(wexel.pid, signal.SIGSTOP)
        while process_state(wexel.pid) != "T":
            self.assertLess(time.monotonic(), deadline, "wexel did not stop")
            time.sleep(0.01)
        wexel.stdin.close()
        while process_state(pid) != "Z":
            self.assertLess(time.monotonic(), deadline, "the child did not end")
            time.sleep(0.01)
        for signal_number in (signal.SIGUSR1, signal.SIGUSR2, signal.SIGTERM, signal.SIGCONT):
            os.kill(wexel.pid, signal_number)
        before, _ = split_report(wexel.stdout.read())
        self.assertEqual(before, b"\nExit code: 3\n")
        self.assertEqual(wait_for_exit(wexel, deadline), 3)


def in_a_group_of_its_own():
    # kill 0 must reach no one but the command and wexel.
    default_signals()
    os.setpgid(0, 0)


# Sends a real-time signal to its own process group and prints how many
# it has had: each is queued, so one passed back to it is never merged with
# the first, and the wakeup descriptor has a byte for each.
SIGNALLING_OWN_GROUP = """
import os, signal, time
read, write = os.pipe()
os.set_blocking(write, False)
signal.set_wakeup_fd(write)
signal.signal(signal.SIGRTMIN + 1, lambda *_: None)
os.kill(0, signal.SIGRTMIN + 1)
time.sleep(0.4)
os.set_blocking(read, False)
print(len(os.read(read, 100)))
"""

# The same signal, sent by a process the command started, which ignores it
# and lives on a while: a descendant's signal to the group has reached the
# command already too.
SIGNALLED_BY_ITS_OWN_CHILD = """
import os, signal, subprocess, sys, time
read, write = os.pipe()
os.set_blocking(write, False)
signal.set_wakeup_fd(write)
signal.signal(signal.SIGRTMIN + 1, lambda *_: None)
subprocess.run([sys.executable, "-c", "import os, signal, time; "
                "signal.signal(signal.SIGRTMIN + 1, signal.SIG_IGN); "
                "os.kill(0, signal.SIGRTMIN + 1); time.sleep(0.3)"])
time.sleep(0.2)
os.set_blocking(read, False)
print(len(os.read(read, 100)))
# sent by a child of the command's
"""


class SignalsTheChildSendsItsOwnGroup(unittest.TestCase):
    def test_reach_the_child_once_as_alone(self):
        # kill 0 reaches wexel too: passed on, it would reach the child
        # twice. The shell's SIGTERM at its exit reaches wexel as the child
        # ends.
        for command in (["/bin/sh", "-c", "trap 'n=$((n+1))' USR1; kill -USR1 0; sleep 0.4; "
                         "echo $n"],
                        ["/bin/sh", "-c", "trap 'kill 0' EXIT; echo ending"],
                        [sys.executable, "-c", SIGNALLING_OWN_GROUP],
                        [sys.executable, "-c", SIGNALLED_BY_ITS_OWN_CHILD]):
            with self.subTest(command=command[-1].strip().split("\n")[-1][:40]):
                if EMULATOR and command[0] == sys.executable:
                    self.skipTest(EMULATED_REALTIME_SIGNALS)
                alone = subprocess.run(command, capture_output=True,
                                       preexec_fn=in_a_group_of_its_own,
                                       timeout=DEADLINE_SECONDS)
                status = alone.returncode
                code = 128 - status if status < 0 else status
                result = run_to_end(*command, preexec_fn=in_a_group_of_its_own)
                before, _ = split_report(result.stdout)
                message = b"\nExit code: %d\n" % code if code else b""
                self.assertEqual(before, alone.stdout + message)
                self.assertEqual(result.returncode, status)


class WexelEndedWhileTheChildRuns(unittest.TestCase):
    """SIGKILL cannot be passed on: the kernel ends the child with it as
    wexel dies, as a supervisor's kill -9 would have ended the command
    alone, and the output the child held closes at once."""

    def assert_child_ends_with_wexel(self, end, denied=None):
        """Runs a long sleep_ms under wexel, where a seccomp filter refuses
        the call named by denied, calls end(wexel), and returns wexel's
        output and status once the child's end has closed the output."""
        deadline = time.monotonic() + DEADLINE_SECONDS
        arguments = command([child("sleep_ms"), 600000])
        environment = dict(os.environ)
        if denied:
            arguments = [child("deny_calls"), denied, WEXEL_PROGRAM, *arguments[1:]]
            # A sanitized wexel's leak check at its exit waits for a tracer
            # of its own, which the filter refuses too.
            if "ASAN_OPTIONS" in environment:
                environment["ASAN_OPTIONS"] += ":detect_leaks=0"
        wexel = subprocess.Popen(arguments, executable=None if denied else WEXEL_PROGRAM,
                                 stdout=subprocess.PIPE, preexec_fn=default_signals,
                                 env=environment)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        end(wexel)
        # A child left running holds the pipe open for ten minutes.
        output = b""
        while True:
            left = max(0.0, deadline - time.monotonic())
            ready, _, _ = select.select([wexel.stdout], [], [], left)
            self.assertTrue(ready, "the child outlived wexel")
            data = os.read(wexel.stdout.fileno(), 4096)
            if not data:
                return output, wait_for_exit(wexel, deadline)
            output += data

    def test_sigkill_to_wexel_ends_the_child(self):
        def kill_wexel(wexel):
            pid = wait_for_child(wexel.pid, time.monotonic() + DEADLINE_SECONDS)
            self.addCleanup(kill_quietly, pid)
            os.kill(wexel.pid, signal.SIGKILL)
        output, status = self.assert_child_ends_with_wexel(kill_wexel)
        self.assertEqual((output, status), (b"", -signal.SIGKILL))

    def test_wait_that_fails_ends_the_child_with_wexel(self):
        # A filter that refuses wait4: wexel cannot learn the child's end,
        # says so and ends with 999, and the child does not run on.
        output, status = self.assert_child_ends_with_wexel(lambda wexel: None, "wait4")
        self.assertTrue(output.startswith(b"\nGetExitCodeProcess error\n"), output)
        self.assertEqual(status, 999 % 256)


class WhereSignalsCannotBeTaken(unittest.TestCase):
    @native_only(EMULATED_HELD_SIGNALS)
    def test_signal_held_for_the_child_does_not_end_wexel_before_its_report(self):
        # A seccomp filter refuses sigtimedwait: a signal sent to wexel is
        # held, pending, and once the child has ended it is dropped, as
        # any that arrives then, rather than ending wexel without a report.
        deadline = time.monotonic() + DEADLINE_SECONDS
        arguments = command([child("sleep_ms"), SLEEP_MS])
        wexel = subprocess.Popen([child("deny_calls"), "rt_sigtimedwait", WEXEL_PROGRAM,
                                  *arguments[1:]], stdout=subprocess.PIPE,
                                 preexec_fn=default_signals)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        pid = wait_for_child(wexel.pid, deadline)
        self.addCleanup(kill_quietly, pid)
        os.kill(wexel.pid, signal.SIGTERM)
        before, report = split_report(wexel.stdout.read())
        self.assertEqual(before, b"")
        self.assertGreaterEqual(report.global_, SLEEP_MS / 1000)
        self.assertEqual(wait_for_exit(wexel, deadline), 0)


# A child that unblocks SIGTERM and then sleeps, as a program started with
# it blocked may do.
UNBLOCKING_SIGTERM = ("import signal, time; "
                      "signal.pthread_sigmask(signal.SIG_UNBLOCK, [signal.SIGTERM]); "
                      "time.sleep(600)")


class SignalsPassedOnToTheChild(unittest.TestCase):
    def run_sleeping_child(self, send, prepare=default_signals,
                           command=(child("sleep_ms"), 600000)):
        """Runs command under wexel and, once the child runs, calls
        send(wexel_pid), unless send is None: a child that ends by a signal
        it was given at its start may be gone before it could be seen."""
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(*command, stdout=subprocess.PIPE, preexec_fn=prepare)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        if send is not None:
            pid = wait_for_child(wexel.pid, deadline)
            self.addCleanup(kill_quietly, pid)
            send(wexel.pid)
        # A wexel that died of the signal would leave the child holding the
        # output open: wait for wexel, not for the end of its output.
        status = wait_for_exit(wexel, deadline)
        if send is not None:
            kill_quietly(pid)
        return wexel.stdout.read(), status

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    def test_each_reaches_the_child_and_wexel_ends_by_it_after_the_report(self):
        # SIGINT and SIGQUIT too: sent with kill() to wexel alone, they are no
        # key typed at a terminal, which would have reached the child itself.
        for signal_number in (signal.SIGTERM, signal.SIGHUP, signal.SIGALRM, signal.SIGUSR1,
                              signal.SIGUSR2, signal.SIGINT, signal.SIGQUIT):
            with self.subTest(signal=signal_number.name):
                output, status = self.run_sleeping_child(
                    lambda wexel: os.kill(wexel, signal_number))
                before, _ = split_report(output)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(status, -signal_number)

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    def test_every_other_signal_reaches_the_child_too(self):
        for signal_number in (signal.SIGPWR, signal.SIGVTALRM, signal.SIGPROF, signal.SIGIO,
                              signal.SIGSYS, signal.SIGTRAP, signal.SIGXCPU, SIGSTKFLT,
                              signal.SIGSEGV, signal.SIGABRT, signal.SIGRTMIN + 2):
            with self.subTest(signal=signal_number):
                if EMULATOR and signal_number >= signal.SIGRTMIN:
                    self.skipTest(EMULATED_REALTIME_SIGNALS)
                if EMULATOR and signal_number in (signal.SIGSEGV, signal.SIGTRAP):
                    self.skipTest(EMULATED_FAULT_SIGNALS)
                if emulator_keeps(signal_number):
                    self.skipTest(EMULATED_KEPT_SIGNAL)
                output, status = self.run_sleeping_child(
                    lambda wexel: os.kill(wexel, signal_number))
                before, _ = split_report(output)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(status, -signal_number)

    @native_only(EMULATED_REALTIME_SIGNALS)
    def test_queued_signal_reaches_the_child_with_its_value(self):
        deadline = time.monotonic() + DEADLINE_SECONDS
        wexel = start_wexel(child("print_queued_value"), stdout=subprocess.PIPE)
        self.addCleanup(wexel.stdout.close)
        self.addCleanup(kill_quietly, wexel.pid)
        # Once the child holds it; before, the signal would end it.
        self.assertEqual(wexel.stdout.readline(), b"ready\n")
        libc = ctypes.CDLL(None, use_errno=True)
        self.assertEqual(libc.sigqueue(wexel.pid, signal.SIGRTMIN + 3, ctypes.c_void_p(4242)), 0)
        before, _ = split_report(wexel.stdout.read())
        self.assertEqual(before, b"value 4242\n")
        self.assertEqual(wait_for_exit(wexel, deadline), 0)

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    def test_signal_the_caller_left_blocked_reaches_the_child_that_unblocks_it(self):
        # Sent while wexel runs, or already pending when it starts: the child
        # starts with the mask wexel was given and gets it as it unblocks it.
        def blocking_sigterm(pending):
            def prepare():
                default_signals()
                signal.pthread_sigmask(signal.SIG_BLOCK, [signal.SIGTERM])
                if pending:
                    os.kill(os.getpid(), signal.SIGTERM)
            return prepare
        for pending in (False, True):
            with self.subTest(pending=pending):
                send = None if pending else (lambda wexel: os.kill(wexel, signal.SIGTERM))
                output, status = self.run_sleeping_child(
                    send, blocking_sigterm(pending), (sys.executable, "-c", UNBLOCKING_SIGTERM))
                before, report = split_report(output)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal.SIGTERM))
                self.assertEqual(status, -signal.SIGTERM)
                self.assertLess(report.global_, 30)

    @unittest.skipIf(emulator_older_than((7, 2)), EMULATED_FORWARDING)
    @unittest.skipUnless(pid_namespaces_work(), "no PID namespace can be made here")
    def test_stop_signal_of_a_container_reaches_the_child_of_wexel_as_pid_1(self):
        # Images set STOPSIGNAL to SIGQUIT or SIGINT; the engine sends it to
        # PID 1 from outside the namespace.
        script = 'trap "echo graceful; exit 0" QUIT; sleep 30 & wait'
        deadline = time.monotonic() + DEADLINE_SECONDS
        unshare = subprocess.Popen(["unshare", "--fork", "--pid", "--mount-proc",
                                    *command(["/bin/sh", "-c", script])],
                                   stdout=subprocess.PIPE, preexec_fn=default_signals)
        self.addCleanup(unshare.stdout.close)
        self.addCleanup(kill_quietly, unshare.pid)
        # unshare's child is wexel, the script wexel's, sleep the script's.
        pids = [unshare.pid]
        while len(pids) < 4:
            self.assertLess(time.monotonic(), deadline, "the script did not start")
            below = children_of(pids[-1])
            if below:
                pids.append(below[0])
            else:
                time.sleep(0.01)
        wexel = pids[1]
        started = time.monotonic()
        os.kill(wexel, signal.SIGQUIT)
        before, _ = split_report(unshare.stdout.read())
        self.assertEqual(before, b"graceful\n")
        self.assertEqual(wait_for_exit(unshare, deadline), 0)
        self.assertLess(time.monotonic() - started, 20)

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

    @native_only(EMULATED_IGNORED_SIGNALS)
    def test_ignored_from_the_start_is_passed_on(self):
        # Started under nohup: a hang-up sent to wexel is passed on, and the
        # child ignores it as it inherited it, unless it took it over, as it
        # would have without wexel.
        def ignoring_hangups():
            default_signals()
            signal.signal(signal.SIGHUP, signal.SIG_IGN)
        script = ("import signal, sys, time\n"
                  "if sys.argv[1] == 'over':\n"
                  "    signal.signal(signal.SIGHUP, lambda *_: sys.exit(3))\n"
                  "print('ready', flush=True)\n"
                  "time.sleep(float(sys.argv[2]))\n")
        for how, seconds, status in (("inherited", "0.3", 0), ("over", "5", 3)):
            with self.subTest(hangups=how):
                deadline = time.monotonic() + DEADLINE_SECONDS
                wexel = start_wexel(sys.executable, "-c", script, how, seconds,
                                    stdout=subprocess.PIPE, preexec_fn=ignoring_hangups)
                self.addCleanup(wexel.stdout.close)
                self.addCleanup(kill_quietly, wexel.pid)
                self.assertEqual(wexel.stdout.readline(), b"ready\n")
                os.kill(wexel.pid, signal.SIGHUP)
                split_report(wexel.stdout.read())
                self.assertEqual(wait_for_exit(wexel, deadline), status)


if __name__ == "__main__":
    unittest.main()
