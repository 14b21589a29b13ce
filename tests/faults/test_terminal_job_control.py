"""Ctrl+Z typed at a real terminal while the child runs, then the job
brought back as a shell's fg does: the whole job stops and goes on, wexel
keeps waiting and reports the whole run, and the child is still in the
terminal's foreground job afterwards."""

import os
import pty
import select
import signal
import termios
import time
import unittest

from fault_runs import DEADLINE_SECONDS, child, kill_quietly, process_state, wait_for_child
from wexel_runs import WEXEL_PROGRAM, read_terminal, split_report, wexel_command

HOLD_SECONDS = 1.0


def job_control_shell(arguments, report, control):
    """What a job-control shell does, in the session leader of a new
    terminal: wexel as a foreground job of its own; 'stopped' on the report
    pipe when the job stops, then the terminal taken back; on a byte from
    the control pipe the job is given the terminal again and continued;
    'exited N' at its end."""
    attributes = termios.tcgetattr(0)
    attributes[1] &= ~termios.OPOST
    attributes[3] &= ~termios.ECHO
    termios.tcsetattr(0, termios.TCSANOW, attributes)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    pid = os.fork()
    if pid == 0:
        os.setpgid(0, 0)
        os.tcsetpgrp(0, os.getpid())
        for signal_number in (signal.SIGTTOU, signal.SIGINT, signal.SIGQUIT, signal.SIGTSTP,
                              signal.SIGPIPE, signal.SIGCHLD):
            signal.signal(signal_number, signal.SIG_DFL)
        signal.pthread_sigmask(signal.SIG_SETMASK, ())
        os.execv(WEXEL_PROGRAM, wexel_command(arguments))
    try:
        os.setpgid(pid, pid)
    except OSError:
        pass  # the job set it itself and has already started wexel
    os.tcsetpgrp(0, pid)
    os.write(report, b"started %d\n" % pid)
    while True:
        _, status = os.waitpid(pid, os.WUNTRACED)
        if not os.WIFSTOPPED(status):
            break
        os.tcsetpgrp(0, os.getpgrp())
        os.write(report, b"stopped\n")
        os.read(control, 1)
        os.tcsetpgrp(0, pid)
        os.killpg(pid, signal.SIGCONT)
    os.write(report, b"exited %d\n" % os.waitstatus_to_exitcode(status))


def read_line(fd, deadline):
    line = b""
    while not line.endswith(b"\n"):
        ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
        if not ready:
            raise AssertionError("no word from the shell in time")
        data = os.read(fd, 1)
        if not data:
            raise AssertionError("the shell ended early")
        line += data
    return line.decode().split()


class CtrlZAndFg(unittest.TestCase):
    def test_job_stopped_and_resumed_is_reported_whole(self):
        deadline = time.monotonic() + DEADLINE_SECONDS
        report_read, report_write = os.pipe()
        control_read, control_write = os.pipe()
        for fd in (report_read, report_write, control_read, control_write):
            self.addCleanup(os.close, fd)
        shell, terminal = pty.fork()
        if shell == 0:
            try:
                job_control_shell([child("fault_foreground"), "800"], report_write,
                                  control_read)
            finally:
                os._exit(0)
        self.addCleanup(os.close, terminal)
        self.addCleanup(lambda: os.waitpid(shell, 0))
        self.addCleanup(kill_quietly, shell)

        word, wexel = read_line(report_read, deadline)
        self.assertEqual(word, "started")
        wexel = int(wexel)
        self.addCleanup(kill_quietly, wexel)
        pid = wait_for_child(wexel, deadline)
        self.addCleanup(kill_quietly, pid)

        started = time.monotonic()
        os.write(terminal, b"\x1a")
        self.assertEqual(read_line(report_read, deadline), ["stopped"])
        while process_state(pid) != "T":
            self.assertLess(time.monotonic(), deadline, "the child did not stop")
            time.sleep(0.01)
        time.sleep(HOLD_SECONDS)
        self.assertEqual(process_state(pid), "T")
        self.assertEqual(process_state(wexel), "T")
        os.write(control_write, b"c")

        # The child ends with 0 only if it is in the foreground job.
        self.assertEqual(read_line(report_read, deadline), ["exited", "0"])
        output = read_terminal(terminal, deadline)
        before, report = split_report(output)
        self.assertEqual(before, b"")
        self.assertGreaterEqual(report.global_, HOLD_SECONDS)
        self.assertLess(report.global_, time.monotonic() - started + 5)


if __name__ == "__main__":
    unittest.main()
