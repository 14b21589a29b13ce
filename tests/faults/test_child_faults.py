"""Children that end badly or oddly: killed from outside, crashed, ended in
under a millisecond, with every status a process can have, with their
output closed, or leaving a process behind; and children whose memory is
hard to read. wexel reports each one whole and ends with the child's
status, or by the signal that killed it."""

import os
import resource
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, WEXEL, child, children_of, command, default_signals,
                        kill_quietly, pid_namespaces_work, process_state, run_to_end,
                        start_wexel, wait_for_child, wait_for_exit)
from wexel_runs import (EMULATED_FATAL_SIGNAL, EMULATED_MEMORY, EMULATED_PTRACE,
                        EMULATED_REALTIME_SIGNALS, EMULATOR, WEXEL_PROGRAM, native_only,
                        split_report, wexel_command)


def core_pattern():
    with open("/proc/sys/kernel/core_pattern") as file:
        return file.read()


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

    def test_killed_from_outside_wexel_ends_by_the_same_signal(self):
        # The report comes first; then wexel ends as its child did, so that
        # a shell sees a command killed by the signal.
        for signal_number in (signal.SIGKILL, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=signal_number.name):
                output, status = self.kill_running_child(signal_number)
                before, report = split_report(output)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(status, -signal_number)
                self.assertGreaterEqual(report.global_, 0.05)

    def test_segmentation_fault_ends_wexel_by_sigsegv(self):
        result = run_to_end(child("fault_segfault"))
        before, _ = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: 139\n")
        if not EMULATOR:
            self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, -signal.SIGSEGV)

    @native_only(EMULATED_FATAL_SIGNAL)
    @unittest.skipIf(core_pattern().startswith("|"), "cores go to a program, not a file")
    def test_wexel_leaves_no_core_file_of_its_own(self):
        # The child's own core is its business; wexel, ended by the child's
        # SIGSEGV with no core limit, must write none.
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)

        hard = resource.getrlimit(resource.RLIMIT_CORE)[1]
        if hard == 0:
            self.skipTest("core files are off for this test run")

        # The same where a seccomp filter refuses prctl.
        for deny in ([], [child("deny_calls"), "prctl", WEXEL_PROGRAM]):
            with self.subTest(prctl_refused=bool(deny)):
                arguments = command(["/bin/sh", "-c", "ulimit -c 0; kill -SEGV $$"])
                if deny:
                    arguments = deny + arguments[1:]
                result = subprocess.run(arguments, executable=None if deny else WEXEL_PROGRAM,
                                        cwd=directory, capture_output=True,
                                        timeout=DEADLINE_SECONDS,
                                        preexec_fn=lambda: default_signals(core_limit=hard))
                self.assertEqual(result.returncode, -signal.SIGSEGV, result.stderr)
                self.assertEqual(os.listdir(directory), [])

    def test_self_inflicted_signals_end_wexel_by_the_same_signal(self):
        for signal_number in (signal.SIGABRT, signal.SIGFPE, signal.SIGUSR1, signal.SIGALRM,
                              signal.SIGXCPU, signal.SIGSYS, signal.SIGRTMIN,
                              signal.SIGRTMAX):
            with self.subTest(signal=signal.Signals(signal_number).name):
                if EMULATOR and signal_number >= signal.SIGRTMIN:
                    self.skipTest(EMULATED_REALTIME_SIGNALS)
                result = run_to_end(child("kill_self"), int(signal_number))
                before, _ = split_report(result.stdout)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(result.returncode, -signal_number)

    @native_only(EMULATED_PTRACE)
    def test_child_that_makes_wexel_its_tracer_runs_on_untraced(self):
        # A check for a debugger (PTRACE_TRACEME) makes wexel the tracer: the
        # child's next signal stops it for wexel, which must let it go with
        # that signal rather than hang or report the stop as an exit.
        result = run_to_end(child("fault_traceme"), 200)
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"handled\nuntraced\n\nExit code: 4\n")
        self.assertEqual(result.returncode, 4)
        self.assertGreaterEqual(report.global_, 0.2)

    @native_only(EMULATED_PTRACE)
    def test_child_that_makes_wexel_its_tracer_and_then_execs_runs_the_program(self):
        # Under a tracer the kernel raises SIGTRAP after the exec; without
        # one there is none, and the program runs.
        result = run_to_end(child("fault_traceme_exec"), child("exit_with"), 6)
        before, _ = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: 6\n")
        self.assertEqual(result.returncode, 6)


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
            # A reading taken while the loader is still mapping the
            # libraries can show less than the resident peak reached later.
            self.assertGreaterEqual(report.virtual, 1)
            self.assertGreaterEqual(report.physical, 1)


class EndSeenAtOnce(unittest.TestCase):
    def lateness(self, deny):
        """How much longer than the child's own clock the Global Time of a
        250 ms sleep is: the child's start and the moment its end is seen."""
        arguments = command([child("sleep_ms"), 250, "span"])
        if deny:
            arguments = [child("deny_calls"), "rt_sigtimedwait", WEXEL_PROGRAM] + arguments[1:]
        result = subprocess.run(arguments, executable=None if deny else WEXEL_PROGRAM,
                                capture_output=True, timeout=DEADLINE_SECONDS,
                                preexec_fn=default_signals)
        before, report = split_report(result.stdout)
        self.assertEqual(result.returncode, 0, result.stderr)
        return report.global_ - int(before) / 1e6

    def test_end_is_seen_within_a_millisecond_where_signals_cannot_be_taken(self):
        # A seccomp filter refuses the call the wait sleeps in: no SIGCHLD
        # can end the sleep, and the wait sleeps 1 ms at a time. Measured
        # beside the same run without the filter, at the best of a few
        # tries, so that load alone cannot fail it; a wait that slept to
        # its next reading of the memory would be some 35 ms late.
        best = {False: float("inf"), True: float("inf")}
        for _ in range(5):
            for deny in (False, True):
                best[deny] = min(best[deny], self.lateness(deny))
            if best[True] < best[False] + 0.010:
                break
        self.assertLess(best[True], best[False] + 0.010)


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


class OrphansInherited(unittest.TestCase):
    @unittest.skipUnless(pid_namespaces_work(), "no PID namespace with its own /proc here "
                         "(it takes root, unshare and a root that is a mount point)")
    def test_as_pid_1_wexel_reaps_the_orphans_that_end(self):
        # As PID 1 of a PID namespace (a container's entry point) wexel
        # inherits every orphan in it: those that end must not stay zombies,
        # and the child's own end must still be its own.
        deadline = time.monotonic() + DEADLINE_SECONDS
        script = "(%s 100 &); %s 1500; exit 6" % (child("sleep_ms"), child("sleep_ms"))
        unshare = subprocess.Popen(["unshare", "--fork", "--pid", "--mount-proc",
                                    *wexel_command(["/bin/sh", "-c", script])],
                                   stdout=subprocess.PIPE, preexec_fn=default_signals)
        self.addCleanup(unshare.stdout.close)
        self.addCleanup(kill_quietly, unshare.pid)
        wexel = None
        while wexel is None:
            self.assertLess(time.monotonic(), deadline, "unshare started no wexel")
            self.assertIsNone(unshare.poll(), "unshare ended before wexel started")
            wexel = next(iter(children_of(unshare.pid)), None)
            time.sleep(0.01)
        time.sleep(0.8)
        states = [process_state(pid) for pid in children_of(wexel)]
        self.assertNotIn("Z", states)
        before, _ = split_report(unshare.stdout.read())
        self.assertEqual(before, b"\nExit code: 6\n")
        self.assertEqual(wait_for_exit(unshare, deadline), 6)


@native_only(EMULATED_MEMORY)
class VirtualMemoryIsTheCommandsOwn(unittest.TestCase):
    """map_memory maps 1000 MiB and touches one page of it: its virtual
    peak is far above its resident one, and far above anything else's."""

    def run_report(self, arguments):
        result = subprocess.run(arguments, preexec_fn=default_signals, capture_output=True,
                                timeout=DEADLINE_SECONDS)
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"")
        self.assertEqual(result.returncode, 0)
        return report

    def test_leader_ended_while_a_worker_holds_the_memory(self):
        # The leader's status has no memory lines once it has called
        # pthread_exit; the worker's has.
        report = self.run_report([WEXEL, child("map_memory"), "1000", "300", "worker"])
        self.assertGreaterEqual(report.virtual, 1000)
        self.assertLess(report.physical, 100)

    def test_shell_shows_its_own_peak_not_a_descendants_resident_one(self):
        # The command after it keeps sh from exec'ing touch_memory itself.
        report = self.run_report([WEXEL, "sh", "-c", child("touch_memory") + " 200 0; true"])
        self.assertGreaterEqual(report.physical, 200)
        self.assertLess(report.virtual, 100)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"),
                         "setting supplementary groups takes root and setpriv")
    def test_user_in_hundreds_of_groups(self):
        # Directory-service accounts: 561 ten-digit groups make the Groups
        # line of the status file longer than a page, ahead of VmPeak.
        groups = ",".join(str(1000000000 + i) for i in range(561))
        report = self.run_report(["setpriv", "--groups", groups, WEXEL, child("map_memory"),
                                  "1000", "300"])
        self.assertGreaterEqual(report.virtual, 1000)

    @unittest.skipUnless(pid_namespaces_work(), "no PID namespace with its own /proc here "
                         "(it takes root, unshare and a root that is a mount point)")
    def test_pid_namespace_seeing_an_outer_proc(self):
        # An outer namespace with its own /proc, where pid 2 is a stranger
        # holding 3000 MiB; inside it, wexel in a namespace of its own
        # without a /proc of its own, where its child is pid 2 as well.
        script = "%s 3000 5000 & exec unshare -fp %s %s 500" % (
            child("map_memory"), WEXEL, child("sleep_ms"))
        report = self.run_report(["unshare", "-fp", "--mount-proc", "sh", "-c", script])
        # No reading can be trusted: the resident peak stands in.
        self.assertEqual(report.virtual, report.physical)
        self.assertLess(report.virtual, 100)


class ChildStatusKeptWhenStartedWithSigchldIgnored(unittest.TestCase):
    # An ignored SIGCHLD makes the kernel reap children at once and throw
    # their status away; a parent may well start wexel that way.
    @staticmethod
    def started_with_sigchld_ignored():
        default_signals()
        signal.signal(signal.SIGCHLD, signal.SIG_IGN)

    def test_exit_code_and_signal_survive(self):
        for arguments, code, status in (((child("exit_with"), 7), 7, 7),
                                        ((child("kill_self"), 9), 137, -9),
                                        ((child("exit_with"), 0), 0, 0)):
            with self.subTest(arguments=arguments):
                result = run_to_end(*arguments, preexec_fn=self.started_with_sigchld_ignored)
                before, report = split_report(result.stdout)
                self.assertEqual(before, b"\nExit code: %d\n" % code if code else b"")
                self.assertEqual(result.returncode, status)
                self.assertGreaterEqual(report.physical, 1)

    def test_child_gets_sigchld_ignored_as_it_was_given(self):
        result = run_to_end(child("print_inherited"),
                            preexec_fn=self.started_with_sigchld_ignored)
        before, _ = split_report(result.stdout)
        self.assertIn(b"\nSIGCHLD ignored\n", before)
        self.assertEqual(result.returncode, 0)


if __name__ == "__main__":
    unittest.main()
