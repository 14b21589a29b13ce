"""What the child gets from wexel: its arguments byte for byte, the
descriptors and signal state wexel itself was started with, and nothing
wexel added."""

import os
import signal
import unittest

from wexel_runs import (EMULATED_IGNORED_SIGNALS, child, hostile_arguments, native_only,
                        run_child, run_wexel, split_report)


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

    def test_default_dispositions_stay_default(self):
        state = self.state_after()
        for name in ("SIGINT", "SIGQUIT", "SIGPIPE", "SIGTERM", "SIGHUP", "SIGTSTP"):
            self.assertEqual(state[name], ["default"], name)
        self.assertEqual(state["blocked"], [])

    @native_only(EMULATED_IGNORED_SIGNALS)
    def test_ignored_signals_and_mask_are_passed_on(self):
        ignored = (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE, signal.SIGTERM)
        blocked = (signal.SIGUSR1, signal.SIGUSR2)
        state = self.state_after(ignored, blocked)
        for signal_number in ignored:
            self.assertEqual(state[signal_number.name], ["ignored"], signal_number.name)
        self.assertEqual(state["SIGHUP"], ["default"])
        self.assertEqual(state["blocked"], sorted(str(int(s)) for s in blocked))

    def test_signal_blocked_for_wexel_still_ends_it_as_it_ended_the_child(self):
        result = run_child("kill_self", int(signal.SIGTERM), restore_signals=False,
                           preexec_fn=started_with(blocked=(signal.SIGTERM,)))
        self.assertEqual(result.returncode, -signal.SIGTERM)


if __name__ == "__main__":
    unittest.main()
