"""What the child gets from wexel: its arguments byte for byte, the
descriptors and signal state wexel itself was started with, and nothing
wexel added."""

import ctypes
import os
import signal
import subprocess
import time
import unittest

from wexel_runs import (DEADLINE_SECONDS, EMULATED_IGNORED_SIGNALS, WEXEL_PROGRAM, child,
                        hostile_arguments, kill_quietly, native_only, run_child, run_wexel,
                        split_report, wait_for_child, wexel_command)


def printed_arguments(output):
    before, _ = split_report(output)
    lines = before.decode("ascii").split("\n")
    count = int(lines[0])
    if lines[count + 1:] != [""]:
        raise AssertionError("unexpected child output %r" % before)
    return [bytes.fromhex(line) for line in lines[1:count + 1]]


def printed_inheritance(output):
    before, _ = split_report(output)
    state = {}
    for line in before.decode("ascii").splitlines():
        key, _, values = line.partition(" ")
        state[key] = values.split()
    return state


class Arguments(unittest.TestCase):
    def test_hostile_arguments_reach_child_byte_for_byte(self):
        for arguments in hostile_arguments(seed=20261208, count=150):
            result = run_wexel(child("print_args"), *arguments)
            self.assertEqual(printed_arguments(result.stdout), arguments)
            self.assertEqual(result.returncode, 0)


class Descriptors(unittest.TestCase):
    def test_child_sees_inheritable_descriptors_but_not_close_on_exec_ones(self):
        inheritable, close_on_exec = os.pipe()
        self.addCleanup(os.close, inheritable)
        self.addCleanup(os.close, close_on_exec)
        os.set_inheritable(inheritable, True)
        expected = {0, 1, 2}
        for name in os.listdir("/proc/self/fd"):
            try:
                if os.get_inheritable(int(name)):
                    expected.add(int(name))
            except OSError:
                pass  # the listing's own descriptor, gone by now
        result = run_child("print_inherited", close_fds=False)
        fds = {int(fd) for fd in printed_inheritance(result.stdout)["fds"]}
        self.assertIn(inheritable, fds)
        self.assertNotIn(close_on_exec, fds)
        self.assertEqual(fds, expected)


CONSOLE_SIGNALS = (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE, signal.SIGTERM,
                   signal.SIGHUP, signal.SIGTSTP)


def started_with(ignored=(), blocked=()):
    """Sets wexel's signal state before it starts, whatever the test
    runner's own state is."""
    def prepare():
        for signal_number in CONSOLE_SIGNALS:
            signal.signal(signal_number, signal.SIG_DFL)
        for signal_number in ignored:
            signal.signal(signal_number, signal.SIG_IGN)
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
    return prepare


class SignalState(unittest.TestCase):
    def state_after(self, ignored=(), blocked=()):
        result = run_child("print_inherited", restore_signals=False,
                           preexec_fn=started_with(ignored, blocked))
        return printed_inheritance(result.stdout)

    @native_only(EMULATED_IGNORED_SIGNALS)
    def test_dispositions_and_mask_are_passed_on_as_wexel_was_given_them(self):
        # Those wexel takes over for itself (the console's, SIGPIPE) go back
        # to the default; the ignored stay ignored.
        ignored = (signal.SIGQUIT, signal.SIGTERM)
        blocked = (signal.SIGUSR1, signal.SIGUSR2)
        state = self.state_after(ignored, blocked)
        for signal_number in CONSOLE_SIGNALS:
            expected = "ignored" if signal_number in ignored else "default"
            self.assertEqual(state[signal_number.name], [expected], signal_number.name)
        self.assertEqual(state["blocked"], sorted(str(int(s)) for s in blocked))

    def test_signal_blocked_for_wexel_still_ends_it_as_it_ended_the_child(self):
        result = run_child("kill_self", int(signal.SIGTERM), restore_signals=False,
                           preexec_fn=started_with(blocked=(signal.SIGTERM,)))
        self.assertEqual(result.returncode, -signal.SIGTERM)


def libc_prctl(option, value):
    libc = ctypes.CDLL(None, use_errno=True)
    return libc.prctl(option, ctypes.c_ulong(value), 0, 0, 0)


PR_SET_PDEATHSIG = 1
SCHED_RESET_ON_FORK = 0x40000000


class WhatForkDrops(unittest.TestCase):
    """What Linux keeps across an exec but not across a fork: without wexel
    the command would have had it, so it has it under wexel too."""

    def state_with(self, prepare):
        result = run_child("print_inherited", restore_signals=False, preexec_fn=prepare)
        self.assertEqual(result.returncode, 0, result.stderr)
        return printed_inheritance(result.stdout)

    def test_parent_death_signal_is_the_commands_too(self):
        state = self.state_with(lambda: libc_prctl(PR_SET_PDEATHSIG, signal.SIGUSR1))
        self.assertEqual(state["deathsig"], [str(int(signal.SIGUSR1))])

    def test_command_dies_with_the_supervisor_that_set_the_death_signal(self):
        # The supervisor, a process of its own, starts wexel with SIGKILL as
        # the signal, as supervisors do, and dies: alone the command would
        # have been killed, and wexel cannot pass a SIGKILL on.
        deadline = time.monotonic() + DEADLINE_SECONDS
        pid_read, pid_write = os.pipe()
        supervisor = os.fork()
        if supervisor == 0:
            os.close(pid_read)
            wexel = subprocess.Popen(
                wexel_command([child("sleep_ms"), "600000"]), executable=WEXEL_PROGRAM,
                stdout=subprocess.DEVNULL,
                preexec_fn=lambda: libc_prctl(PR_SET_PDEATHSIG, signal.SIGKILL))
            os.write(pid_write, b"%d\n" % wexel.pid)
            time.sleep(600)
            os._exit(0)
        os.close(pid_write)
        wexel = int(os.read(pid_read, 64))
        os.close(pid_read)
        command = wait_for_child(wexel, deadline)
        self.addCleanup(kill_quietly, command)
        time.sleep(0.2)
        os.kill(supervisor, signal.SIGKILL)
        os.waitpid(supervisor, 0)
        while os.path.exists("/proc/%d" % command) and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertFalse(os.path.exists("/proc/%d" % command), "the command outlived it")

    def test_real_time_policy_that_resets_on_fork_is_kept(self):
        def real_time():
            try:
                os.sched_setscheduler(0, os.SCHED_FIFO | SCHED_RESET_ON_FORK,
                                      os.sched_param(1))
            except PermissionError:
                os._exit(77)
        probe = subprocess.run(["true"], preexec_fn=real_time)
        if probe.returncode == 77:
            self.skipTest("no permission for a real-time policy here")
        state = self.state_with(real_time)
        self.assertEqual(state["policy"], [str(os.SCHED_FIFO | SCHED_RESET_ON_FORK), "1"])

    def test_cpu_timers_are_moved_to_the_command(self):
        def timers():
            signal.setitimer(signal.ITIMER_VIRTUAL, 30)
            signal.setitimer(signal.ITIMER_PROF, 30)
        state = self.state_with(timers)
        self.assertEqual(state["timers"], ["1", "1"])

    def test_virtual_timer_ends_a_busy_command_as_it_would_alone(self):
        result = run_child("burn_cpu", "3000", restore_signals=False,
                           preexec_fn=lambda: signal.setitimer(signal.ITIMER_VIRTUAL, 0.2))
        before, report = split_report(result.stdout)
        self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal.SIGVTALRM))
        self.assertLess(report.global_, 2.5)


if __name__ == "__main__":
    unittest.main()
