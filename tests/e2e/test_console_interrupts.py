"""Ctrl+C and Ctrl+\\ typed at a real terminal while the child runs: the
child ends by the signal, wexel survives it, reports the run, and then
ends by the same signal, so that a calling script stops as it would."""

import os
import pty
import resource
import signal
import time
import unittest

from wexel_runs import (DEADLINE_SECONDS, EMULATED_FATAL_SIGNAL, WEXEL_PROGRAM, child,
                        children_of, native_only, plain_terminal, read_terminal, split_report,
                        wait_for_child, wexel_command)


def start_at_terminal(*arguments, program=None):
    """A program, wexel unless said otherwise, in a session of its own whose
    controlling terminal is a new pseudo-terminal, so that it and its
    children are the foreground group. Returns (pid, terminal)."""
    pid, terminal = pty.fork()
    if pid == 0:
        try:
            plain_terminal()
            for signal_number in (signal.SIGINT, signal.SIGQUIT, signal.SIGPIPE):
                signal.signal(signal_number, signal.SIG_DFL)
            signal.pthread_sigmask(signal.SIG_SETMASK, ())
            # A child ended by SIGQUIT would leave a core file behind.
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))
            if program is None:
                os.execv(WEXEL_PROGRAM, wexel_command(arguments))
            os.execv(program, [program, *arguments])
        finally:
            os._exit(127)
    return pid, terminal


class ConsoleInterrupts(unittest.TestCase):
    def interrupt_sleeping_child(self, key):
        pid, terminal = start_at_terminal(child("sleep_ms"), "600000")
        self.addCleanup(os.close, terminal)
        deadline = time.monotonic() + DEADLINE_SECONDS
        try:
            wait_for_child(pid, deadline)
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

    def test_ctrl_c_ends_child_and_then_wexel_after_the_report(self):
        output, status = self.interrupt_sleeping_child(b"\x03")
        self.assertTrue(os.WIFSIGNALED(status), "wexel was not ended by the signal: %d" % status)
        self.assertEqual(os.WTERMSIG(status), signal.SIGINT)
        before, report = split_report(output)
        self.assertEqual(before, b"\nExit code: 130\n")
        self.assertEqual(report.global_percent, 100)

    @native_only(EMULATED_FATAL_SIGNAL)
    def test_ctrl_backslash_ends_child_and_then_wexel_after_the_report(self):
        output, status = self.interrupt_sleeping_child(b"\x1c")
        self.assertTrue(os.WIFSIGNALED(status), "wexel was not ended by the signal: %d" % status)
        self.assertEqual(os.WTERMSIG(status), signal.SIGQUIT)
        before, _ = split_report(output)
        self.assertEqual(before, b"\nExit code: 131\n")

    def test_ctrl_c_stops_a_calling_script_loop(self):
        # bash goes on with a loop when its command exits 130 of its own
        # accord, and stops when the command was killed by SIGINT.
        loop = 'for i in 1 2 3; do "$@" 600000; echo "after $i"; done'
        pid, terminal = start_at_terminal("-c", loop, "bash",
                                          *wexel_command([child("sleep_ms")]),
                                          program="/bin/bash")
        self.addCleanup(os.close, terminal)
        deadline = time.monotonic() + DEADLINE_SECONDS
        try:
            while not children_of(pid):
                self.assertLess(time.monotonic(), deadline, "wexel never started")
                time.sleep(0.01)
            wait_for_child(children_of(pid)[0], deadline)
            os.write(terminal, b"\x03")
            # A loop that goes on starts the next long run; give up on it.
            give_up = min(deadline, time.monotonic() + 20)
            output = read_terminal(terminal, give_up)
            # The terminal is let go a moment before the process can be waited for.
            ended, status = os.waitpid(pid, os.WNOHANG)
            while ended == 0 and time.monotonic() < give_up:
                time.sleep(0.01)
                ended, status = os.waitpid(pid, os.WNOHANG)
            self.assertEqual(ended, pid, "bash went on with the loop: %r" % output)
            pid = None
        finally:
            if pid is not None:
                os.killpg(pid, signal.SIGKILL)
                os.waitpid(pid, 0)
        self.assertNotIn(b"after", output)
        self.assertTrue(os.WIFSIGNALED(status), "bash went on: %d" % status)

if __name__ == "__main__":
    unittest.main()
