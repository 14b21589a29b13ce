"""wexel as a job of a job-control shell on a real terminal. The job stops
when, and only when, the child stops (Ctrl+Z, kill -STOP, a stop of its
own process group, a SIGTSTP sent to wexel), so that the shell takes the
terminal back; fg brings the child back, in the terminal's foreground, and
bg in the background; a child that ignores
Ctrl+Z runs on in the foreground; and a job stopped writing its report in
the background can still be ended."""

import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import termios
import time
import unittest

from fault_runs import (DEADLINE_SECONDS, child, default_signals, kill_quietly, process_state,
                        wait_for_child, wait_for_exit)
from wexel_runs import (WEXEL_PROGRAM, plain_terminal, read_terminal, split_report,
                        wexel_command)

HOLD_SECONDS = 1.0


def job_control_shell(arguments, report, control, background=False):
    """What a job-control shell does, in the session leader of a new
    terminal: wexel as a job of its own, in the foreground unless said
    otherwise (then with stty tostop); 'stopped N' on the report pipe when
    the job stops by signal N, then the terminal taken back; on a 'c' from
    the control pipe the job is given the terminal again and continued (fg),
    on a 'b' it is continued alone (bg), on a 't' it is sent SIGTERM and
    SIGCONT (kill %1); 'exited N' at its end, -N for a signal."""
    plain_terminal(tostop=background)
    signal.signal(signal.SIGTTOU, signal.SIG_IGN)
    pid = os.fork()
    if pid == 0:
        os.setpgid(0, 0)
        if not background:
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
    if not background:
        os.tcsetpgrp(0, pid)
    os.write(report, b"started %d\n" % pid)
    while True:
        _, status = os.waitpid(pid, os.WUNTRACED)
        if not os.WIFSTOPPED(status):
            break
        os.tcsetpgrp(0, os.getpgrp())
        os.write(report, b"stopped %d\n" % os.WSTOPSIG(status))
        how = os.read(control, 1)
        if how == b"t":
            os.killpg(pid, signal.SIGTERM)
        elif how == b"c":
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


# Python children: each ends with 0 when it is in the terminal's foreground
# job, as fault_foreground does.
IGNORING_CTRL_Z = """
import os, signal, time
signal.signal(signal.SIGTSTP, signal.SIG_IGN)
time.sleep(1.5)
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""

STOPPING_TWICE = """
import os, signal, time
continued = []
signal.signal(signal.SIGCONT, lambda *_: continued.append(1))
for _ in range(2):
    os.kill(os.getpid(), signal.SIGSTOP)
    time.sleep(0.3)
print("continued %d times" % len(continued))
"""

# A line read from the terminal, and the job's place when it was read.
READING_A_LINE = """
import os, sys
line = sys.stdin.readline()
print("read " + line.strip())
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""

WRITING_A_LINE = """
import os, time
time.sleep(0.3)
os.write(1, b"wrote-it\\n")
"""

# A process group of its own, made without the terminal, then a read.
READING_IN_A_GROUP_OF_ITS_OWN = """
import os, sys
os.setpgid(0, 0)
line = sys.stdin.readline()
print("read " + line.strip())
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""

# The same, twice: each fg gives the terminal back to the group.
STOPPING_TWICE_IN_A_GROUP_OF_ITS_OWN = """
import os, signal
os.setpgid(0, 0)
signal.signal(signal.SIGTTOU, signal.SIG_IGN)
os.tcsetpgrp(0, os.getpgrp())
for _ in range(2):
    os.killpg(os.getpgrp(), signal.SIGSTOP)
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""

# As an interactive shell: a process group of its own, with the terminal.
STOPPING_IN_A_GROUP_OF_ITS_OWN = """
import os, signal
os.setpgid(0, 0)
signal.signal(signal.SIGTTOU, signal.SIG_IGN)
os.tcsetpgrp(0, os.getpgrp())
os.killpg(os.getpgrp(), signal.SIGSTOP)
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""

# A handler that puts the terminal right, as an editor does, then stops.
STOPPING_AFTER_A_WHILE = """
import os, signal, time
def on_stop(number, frame):
    time.sleep(0.3)
    signal.signal(signal.SIGTSTP, signal.SIG_DFL)
    os.kill(os.getpid(), signal.SIGTSTP)
    print("restored")
signal.signal(signal.SIGTSTP, on_stop)
time.sleep(1.5)
raise SystemExit(0 if os.tcgetpgrp(0) == os.getpgrp() else 3)
"""


# Prints the number of each signal of the terminal's that it gets, until the
# terminal has a line for it (left unread: in a group of its own it is in
# the background). The wakeup descriptor gets a byte for each one
# delivered, even for two that come before the handler runs.
COUNTING_TERMINAL_SIGNALS = """
import os, select, signal, sys
if sys.argv[1:] == ["own-group"]:
    os.setpgid(0, 0)
read, write = os.pipe()
os.set_blocking(write, False)
signal.set_wakeup_fd(write)
for number in (signal.SIGWINCH, signal.SIGINT, signal.SIGQUIT, signal.SIGTSTP):
    signal.signal(number, lambda *_: None)
print("ready", flush=True)
while read in select.select([read, 0], [], [], 30)[0]:
    print(*os.read(read, 100), flush=True)
"""


class TerminalSignals(unittest.TestCase):
    def on_a_terminal(self, arguments, keys):
        """Runs arguments in the foreground group of a new terminal, as a
        shell without job control would; once they are ready, resizes the
        terminal and types keys. Returns all that was printed."""
        deadline = time.monotonic() + DEADLINE_SECONDS
        pid, terminal = pty.fork()
        if pid == 0:
            try:
                plain_terminal()
                job = os.fork()
                if job == 0:
                    os.execv(arguments[0], arguments[1:])
                os.waitpid(job, 0)
            finally:
                os._exit(0)
        self.addCleanup(os.close, terminal)
        self.addCleanup(lambda: os.waitpid(pid, 0))
        self.addCleanup(kill_quietly, pid)
        output = b""
        while not output.endswith(b"ready\n"):
            ready, _, _ = select.select([terminal], [], [], 0.1)
            if ready:
                output += os.read(terminal, 4096)
            self.assertLess(time.monotonic(), deadline, output)
        # The kernel signals the terminal's foreground group.
        fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 30, 100, 0, 0))
        os.write(terminal, keys)
        time.sleep(0.3)
        os.write(terminal, b"\n")
        return output + read_terminal(terminal, deadline)

    def test_signals_of_the_terminal_reach_the_command_as_alone(self):
        # In wexel's group, the resize reaches the command as it reaches
        # wexel. In a group of its own the command has none of the
        # terminal's signals, alone or not: neither the resize nor Ctrl+C,
        # Ctrl+\ or Ctrl+Z, which reach wexel alone.
        for group, keys, seen in (([], b"", b"%d\n" % signal.SIGWINCH),
                                  (["own-group"], b"\x03\x1c\x1a", b"")):
            with self.subTest(group=group):
                command = [sys.executable, "-c", COUNTING_TERMINAL_SIGNALS, *group]
                alone = self.on_a_terminal([command[0]] + command, keys)
                self.assertEqual(alone, b"ready\n" + seen)
                before, _ = split_report(
                    self.on_a_terminal([WEXEL_PROGRAM] + wexel_command(command), keys))
                self.assertEqual(before, alone)


# Stops itself, says so once continued, and after a line has come in prints
# the SIGCONTs and SIGCHLDs it has had: a byte on the wakeup descriptor for
# each one.
COUNTING_CONTINUES = """
import os, signal, sys, time
read, write = os.pipe()
os.set_blocking(write, False)
signal.set_wakeup_fd(write)
signal.signal(signal.SIGCONT, lambda *_: None)
signal.signal(signal.SIGCHLD, lambda *_: None)
os.kill(os.getpid(), signal.SIGSTOP)
print("continued", flush=True)
sys.stdin.readline()
time.sleep(0.3)
os.set_blocking(read, False)
print(*sorted(os.read(read, 100)))
"""


def in_a_group_of_its_own():
    default_signals()
    os.setpgid(0, 0)


def wait_until_taken(pid, signal_number, deadline):
    """Until the process has taken the signal sent to it: two of a kind
    that were pending together would have counted as one."""
    while True:
        with open("/proc/%d/status" % pid) as file:
            pending = [int(line.split()[1], 16) for line in file
                       if line.startswith(("SigPnd:", "ShdPnd:"))]
        if not any(mask & 1 << (signal_number - 1) for mask in pending):
            return
        if time.monotonic() > deadline:
            raise AssertionError("%d never took signal %d" % (pid, signal_number))
        time.sleep(0.005)


class ContinuedJob(unittest.TestCase):
    def continued_twice(self, executable, arguments, wexel):
        """Runs arguments as a job of their own, and once the job has
        stopped, sends SIGCONT to its group, then again once the command
        runs, and then to wexel alone; returns what the job printed."""
        deadline = time.monotonic() + DEADLINE_SECONDS
        job = subprocess.Popen(arguments, executable=executable, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, preexec_fn=in_a_group_of_its_own)
        self.addCleanup(job.stdout.close)
        self.addCleanup(kill_quietly, job.pid)
        command = wait_for_child(job.pid, deadline) if wexel else job.pid
        while process_state(command) != "T" or process_state(job.pid) != "T":
            self.assertLess(time.monotonic(), deadline, "the job did not stop")
            time.sleep(0.01)
        os.killpg(job.pid, signal.SIGCONT)
        self.assertEqual(job.stdout.readline(), b"continued\n")
        os.killpg(job.pid, signal.SIGCONT)
        if wexel:
            wait_until_taken(job.pid, signal.SIGCONT, deadline)
            os.kill(job.pid, signal.SIGCONT)
        job.stdin.close()
        output = job.stdout.read()
        self.assertEqual(wait_for_exit(job, deadline), 0)
        return output

    def test_command_continued_by_its_job_gets_no_sigcont_or_sigchld_from_wexel(self):
        command = [sys.executable, "-c", COUNTING_CONTINUES]
        # Nor a SIGCHLD: the ones wexel has of the command's stop and
        # continue are of no child of the command's.
        alone = self.continued_twice(command[0], command, wexel=False)
        self.assertEqual(alone, b"%d %d\n" % (signal.SIGCONT, signal.SIGCONT))
        before, _ = split_report(
            self.continued_twice(WEXEL_PROGRAM, wexel_command(command), wexel=True))
        self.assertEqual(before, alone)


class JobControl(unittest.TestCase):
    def start_job(self, arguments, background=False):
        """wexel with arguments as the job of a job-control shell; returns
        the terminal and the job's pid once wexel's child runs."""
        self.deadline = time.monotonic() + DEADLINE_SECONDS
        self.report_read, report_write = os.pipe()
        control_read, self.control_write = os.pipe()
        for fd in (self.report_read, report_write, control_read, self.control_write):
            self.addCleanup(os.close, fd)
        shell, terminal = pty.fork()
        if shell == 0:
            try:
                job_control_shell(arguments, report_write, control_read, background)
            finally:
                os._exit(0)
        self.addCleanup(os.close, terminal)
        self.addCleanup(lambda: os.waitpid(shell, 0))
        self.addCleanup(kill_quietly, shell)
        word, wexel = self.next_report()
        self.assertEqual(word, "started")
        wexel = int(wexel)
        self.addCleanup(kill_quietly, wexel)
        return terminal, wexel

    def next_report(self):
        return read_line(self.report_read, self.deadline)

    def assert_stops(self, signal_number):
        self.assertEqual(self.next_report(), ["stopped", str(int(signal_number))])

    def continue_job(self, how=b"c"):
        os.write(self.control_write, how)

    def test_ctrl_z_stops_the_job_and_fg_brings_it_back_whole(self):
        terminal, wexel = self.start_job([child("fault_foreground"), "800"])
        pid = wait_for_child(wexel, self.deadline)
        self.addCleanup(kill_quietly, pid)

        started = time.monotonic()
        os.write(terminal, b"\x1a")
        self.assert_stops(signal.SIGTSTP)
        while process_state(pid) != "T":
            self.assertLess(time.monotonic(), self.deadline, "the child did not stop")
            time.sleep(0.01)
        time.sleep(HOLD_SECONDS)
        self.assertEqual(process_state(pid), "T")
        self.assertEqual(process_state(wexel), "T")
        self.continue_job()

        # The child ends with 0 only if it is in the foreground job.
        self.assertEqual(self.next_report(), ["exited", "0"])
        output = read_terminal(terminal, self.deadline)
        before, report = split_report(output)
        self.assertEqual(before, b"")
        self.assertGreaterEqual(report.global_, HOLD_SECONDS)
        self.assertLess(report.global_, time.monotonic() - started + 5)

    def stop_twice(self, script):
        """Runs a child that stops itself twice, continued with fg each
        time; returns the terminal and wexel's descriptors at each stop."""
        terminal, wexel = self.start_job([sys.executable, "-c", script])
        descriptors = []
        for _ in range(2):
            self.assert_stops(signal.SIGSTOP)
            descriptors.append(len(os.listdir("/proc/%d/fd" % wexel)))
            self.continue_job()
        self.assertEqual(self.next_report(), ["exited", "0"])
        return terminal, descriptors

    def test_child_that_stops_itself_stops_the_job_each_time(self):
        terminal, descriptors = self.stop_twice(STOPPING_TWICE)
        # The job's SIGCONT alone continues the child; wexel closes the
        # terminal it opened for each stop.
        self.assertEqual(descriptors[0], descriptors[1])
        before, _ = split_report(read_terminal(terminal, self.deadline))
        self.assertEqual(before, b"continued 2 times\n")

    def test_child_with_a_group_of_its_own_stopping_twice_leaves_no_descriptor(self):
        # Each fg hands the terminal on through a descriptor of wexel's,
        # closed again before the next stop.
        _, descriptors = self.stop_twice(STOPPING_TWICE_IN_A_GROUP_OF_ITS_OWN)
        self.assertEqual(descriptors[0], descriptors[1])

    def test_child_with_a_group_of_its_own_has_the_terminal_after_fg_not_bg(self):
        for how, code in ((b"c", "0"), (b"b", "3")):
            with self.subTest(continued={b"c": "fg", b"b": "bg"}[how]):
                self.start_job([sys.executable, "-c", STOPPING_IN_A_GROUP_OF_ITS_OWN])
                self.assert_stops(signal.SIGSTOP)
                self.continue_job(how)
                self.assertEqual(self.next_report(), ["exited", code])

    def test_child_that_ignores_ctrl_z_runs_on_in_the_foreground(self):
        terminal, wexel = self.start_job([sys.executable, "-c", IGNORING_CTRL_Z])
        wait_for_child(wexel, self.deadline)
        time.sleep(0.3)
        os.write(terminal, b"\x1a")
        self.assertEqual(self.next_report(), ["exited", "0"])

    def test_child_that_stops_after_its_handler_comes_back_with_fg(self):
        terminal, wexel = self.start_job([sys.executable, "-c", STOPPING_AFTER_A_WHILE])
        wait_for_child(wexel, self.deadline)
        time.sleep(0.3)
        os.write(terminal, b"\x1a")
        self.assert_stops(signal.SIGTSTP)
        self.continue_job()
        self.assertEqual(self.next_report(), ["exited", "0"])
        before, _ = split_report(read_terminal(terminal, self.deadline))
        self.assertEqual(before, b"restored\n")

    def test_sigtstp_sent_to_wexel_stops_the_child(self):
        _, wexel = self.start_job([child("fault_foreground"), "800"])
        pid = wait_for_child(wexel, self.deadline)
        os.kill(wexel, signal.SIGTSTP)
        self.assert_stops(signal.SIGTSTP)
        self.assertEqual(process_state(pid), "T")
        self.continue_job()
        self.assertEqual(self.next_report(), ["exited", "0"])

    def test_background_job_brought_back_with_fg_runs_in_the_foreground(self):
        # As alone: a read in the background stops the job, and so does a
        # write under stty tostop; bg leaves it where it was, so it stops
        # again; fg brings it to the foreground, where it reads or writes.
        # A command that made a group of its own is the job, as alone it
        # would be, and the report after it is written in the foreground.
        cases = (("read", READING_A_LINE, signal.SIGTTIN, b"", b"read typed\n"),
                 ("bg, read", READING_A_LINE, signal.SIGTTIN, b"b", b"read typed\n"),
                 ("write", WRITING_A_LINE, signal.SIGTTOU, b"", b"wrote-it\n"),
                 ("own group, read", READING_IN_A_GROUP_OF_ITS_OWN, signal.SIGTTIN, b"",
                  b"read typed\n"))
        for name, script, stop, first, printed in cases:
            with self.subTest(name):
                terminal, _ = self.start_job([sys.executable, "-c", script], background=True)
                self.assert_stops(stop)
                if first:
                    self.continue_job(first)
                    self.assert_stops(stop)
                self.continue_job()
                os.write(terminal, b"typed\n")
                self.assertEqual(self.next_report(), ["exited", "0"])
                before, _ = split_report(read_terminal(terminal, self.deadline))
                self.assertEqual(before, printed)

    def test_job_stopped_writing_its_report_in_the_background_can_be_ended(self):
        # stty tostop: the report stops wexel for want of the terminal, and
        # kill %1 must end it then.
        self.start_job(["/bin/true"], background=True)
        self.assert_stops(signal.SIGTTOU)
        self.continue_job(b"t")
        self.assertEqual(self.next_report(), ["exited", str(-signal.SIGTERM)])


if __name__ == "__main__":
    unittest.main()
