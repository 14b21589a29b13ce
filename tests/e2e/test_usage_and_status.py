"""wexel's usage text, and the exit status it ends with in every case."""

import os
import stat
import subprocess
import tempfile
import unittest

from wexel_runs import (DEADLINE_SECONDS, EMULATED_LAUNCH, RELEASE_DATE, VERSION, child,
                        native_only, run_child, run_wexel, split_report, wexel_command)


class UsageAndStatus(unittest.TestCase):
    def test_alone_prints_banner_and_usage_and_ends_with_zero(self):
        result = run_wexel()
        expected = ("Wexel : %s : %s\nUsage: wexel program [parameter1] [parameter2] ...\n"
                    % (VERSION, RELEASE_DATE)).encode()
        self.assertEqual(result.stdout, expected)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 0)

    def test_zero_exit_code_prints_no_message(self):
        result = run_child("exit_with", 0)
        before, _ = split_report(result.stdout)
        self.assertEqual(before, b"")
        self.assertEqual(result.returncode, 0)

    def test_exit_code_is_printed_and_passed_through(self):
        for code in (1, 3, 255):
            with self.subTest(code=code):
                result = run_child("exit_with", code)
                before, _ = split_report(result.stdout)
                self.assertEqual(before, b"\nExit code: %d\n" % code)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(result.returncode, code)

    def test_child_ended_by_signal_ends_wexel_by_it_after_the_report(self):
        # A shell sees 128 + N, as it would of the child alone.
        for signal_number in (9, 15):
            with self.subTest(signal=signal_number):
                result = run_child("kill_self", signal_number)
                before, _ = split_report(result.stdout)
                self.assertEqual(before, b"\nExit code: %d\n" % (128 + signal_number))
                self.assertEqual(result.returncode, -signal_number)
                wexel = wexel_command([child("kill_self"), str(signal_number)])
                shell = subprocess.run(["/bin/sh", "-c", '"$@" >/dev/null; echo $?', "sh",
                                        *wexel],
                                       capture_output=True, timeout=DEADLINE_SECONDS)
                self.assertEqual(shell.stdout, b"%d\n" % (128 + signal_number))

    def test_closed_output_loses_no_exit_status(self):
        # Nobody reads wexel's output: its own writes fail quietly, while
        # the child meets the pipe's default end as it would alone.
        read_end, write_end = os.pipe()
        os.close(read_end)
        self.addCleanup(os.close, write_end)
        for name, arguments, status in (("exit_with", [3], 3), ("print_args", ["x"], -13)):
            with self.subTest(child=name):
                result = run_child(name, *arguments, stdout=write_end, stderr=subprocess.PIPE)
                self.assertEqual(result.stderr, b"")
                self.assertEqual(result.returncode, status)

    @native_only(EMULATED_LAUNCH)
    def test_program_that_cannot_start_prints_error_and_ends_with_999(self):
        with tempfile.TemporaryDirectory() as directory:
            not_executable = os.path.join(directory, "data")
            with open(not_executable, "w") as file:
                file.write("not a program\n")
            os.chmod(not_executable, stat.S_IRUSR | stat.S_IWUSR)
            cases = [
                ([child("no_such_child")], 2),
                (["wexel-test-no-such-program-on-path"], 2),
                ([""], 2),
                ([directory], 13),
                ([not_executable], 13),
            ]
            for arguments, error in cases:
                with self.subTest(arguments=arguments):
                    result = run_wexel(*arguments)
                    self.assertEqual(result.stdout,
                                     b"\nCan't find program. Error code = %d\n" % error)
                    self.assertEqual(result.stderr, b"")
                    # 999 as the shell sees it: its low 8 bits.
                    self.assertEqual(result.returncode, 999 & 0xFF)


if __name__ == "__main__":
    unittest.main()
