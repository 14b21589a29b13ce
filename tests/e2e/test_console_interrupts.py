"""Ctrl+C and Ctrl+\\ typed at a real terminal while the child runs: the
child ends by the signal, wexel survives it and reports the run."""

import os
import pty
import resource
import signal
import termios
import time
import unittest

from wexel_runs import WEXEL_PROGRAM, child, read_terminal, split_report, wexel_command

DEADLINE_SECONDS = 60


def start_at_terminal(*arguments):
    """wexel in a session of its own whose controlling terminal is a new
    pseudo-terminal, so that wexel and its child are the foreground group.
    Returns (pid, terminal)."""
    pid, terminal = pty.fork()
    if pid == 0:
        try:
            # No echo of the typed ^C, no "\r\n" for "\n": the output as sent.
            attributes = termios.tcgetattr(0)
            attributes[1] &= ~termios.OPOST
            attributes[3] &= ~termios.ECHO
            termios.tcsetattr(0, termios.TCSANOW, attributes)
            for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE):
                signal.signal(signal_number, signal.SIG_DFL)
            signal.pthread_sigmask(signal.SIG_SETMASK, ())
            # A child ended by SIGQUIT would leave a core file behind.
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            os.execv(WEXEL_PROGRAM, wexel_command(arguments))
        finally:
            os._exit(127)
    return pid, terminal


def child_process_of(parent, name):
    """The pid of the running process called name whose parent is parent,
    or None."""
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as file:
                stat = file.read()
        except OSError:
            continue
        command = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if command == name and int(fields[1]) == parent:
            return int(entry)
    return None


class ConsoleInterrupts(unittest.TestCase):
    def interrupt_sleeping_child(self, key):
        pid, terminal = start_at_terminal(child("sleep_ms"), "600000")
        self.addCleanup(os.close, terminal)
        deadline = time.monotonic() + DEADLINE_SECONDS
        try:
            while child_process_of(pid, "sleep_ms") is None:
                self.assertLess(time.monotonic(), deadline, "the child never started")
                time.sleep(0.01)
            os.write(terminal, key)
            output = read_terminal(terminal, deadline)
            self.assertLess(time.monotonic(), deadline, "wexel did not end")
            _, status = os.waitpid(pid, 0)
            pid = None
        finally:
            if pid is not None:
                os.killpg(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
        return output, status

    def test_ctrl_c_ends_child_not_wexel(self):
        output, status = self.interrupt_sleeping_child(b"\x03")
        self.assertTrue(os.WIFEXITED(status), "wexel was killed: %d" % status)
        self.assertEqual(os.WEXITSTATUS(status), 130)
        before, report = split_report(output)
        self.assertEqual(before, b"\nExit code: 130\n")
        self.assertEqual(report.global_percent, 100)

    def test_ctrl_backslash_ends_child_not_wexel(self):
        output, status = self.interrupt_sleeping_child(b"\x1c")
        self.assertTrue(os.WIFEXITED(status), "wexel was killed: %d" % status)
        self.assertEqual(os.WEXITSTATUS(status), 131)
        before, _ = split_report(output)
        self.assertEqual(before, b"\nExit code: 131\n")


if __name__ == "__main__":
    unittest.main()
