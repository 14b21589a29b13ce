"""Programs that cannot be started: wexel prints the launch-failure message
with the system's error code and nothing else, on standard output alone,
and ends with 999 (231 as a shell sees it). A file the kernel cannot run
but a shell can is no failure: /bin/sh runs it."""

import os
import shutil
import stat
import tempfile
import unittest

from fault_runs import run_to_end
from wexel_runs import split_report


class LaunchFailures(unittest.TestCase):
    def setUp(self):
        self.directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.directory)

    def path(self, name):
        return os.path.join(self.directory, name)

    def write(self, name, text, mode):
        with open(self.path(name), "w") as file:
            file.write(text)
        os.chmod(self.path(name), mode)
        return self.path(name)

    def assert_refused(self, arguments, error, **options):
        result = run_to_end(*arguments, **options)
        self.assertEqual(result.stdout, b"\nCan't find program. Error code = %d\n" % error)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 999 % 256)

    def test_missing_program(self):
        self.assert_refused([self.path("missing")], 2)
        self.assert_refused(["wexel-fault-test-missing"], 2)

    def test_empty_or_blank_command(self):
        self.assert_refused([""], 2)
        self.assert_refused(["", "argument"], 2)
        self.assert_refused([" "], 2)
        self.assert_refused(["\t", "argument"], 2)

    def test_directory(self):
        self.assert_refused([self.directory], 13)

    def test_file_without_execute_permission(self):
        self.assert_refused([self.write("data", "#!/bin/sh\nexit 0\n", stat.S_IRUSR)], 13)

    def test_file_without_interpreter_line_is_run_by_the_shell(self):
        # No "#!" line: the kernel refuses the file, and wexel hands it to
        # /bin/sh as execvp and the shells do, by its path and by PATH (in
        # an entry after the first).
        script = self.write("script", 'echo "ran $0 $*"\nexit 5\n', stat.S_IRWXU)
        for arguments, env in (([script, "a b", "c"], None),
                               (["script", "a b", "c"],
                                dict(os.environ, PATH="/nonexistent:" + self.directory))):
            with self.subTest(arguments=arguments):
                result = run_to_end(*arguments, env=env)
                before, _ = split_report(result.stdout)
                self.assertEqual(before, b"ran %s a b c\n\nExit code: 5\n" % script.encode())
                self.assertEqual(result.returncode, 5)

    def test_binary_file_the_kernel_refuses_is_not_run_by_the_shell(self):
        # A program for another machine: a NUL byte in its first line, as
        # bash checks, and lines that a shell would run as commands after it.
        program = self.path("foreign")
        with open(program, "wb") as file:
            file.write(b"\x7fXLF\x02\x01\x00\x00binary\ntouch %s\n" % self.path("ran").encode())
        os.chmod(program, stat.S_IRWXU)
        self.assert_refused([program], 8)
        self.assertFalse(os.path.exists(self.path("ran")))

    def test_interpreter_that_does_not_exist(self):
        self.assert_refused([self.write("bad", "#!/nonexistent/shell\n", stat.S_IRWXU)], 2)

    def test_path_through_a_file(self):
        data = self.write("file", "", stat.S_IRUSR)
        self.assert_refused([os.path.join(data, "program")], 20)

    def test_symbolic_link_loop(self):
        os.symlink("loop-b", self.path("loop-a"))
        os.symlink("loop-a", self.path("loop-b"))
        self.assert_refused([self.path("loop-a")], 40)

    def test_name_too_long(self):
        self.assert_refused(["x" * 300], 36)
        self.assert_refused(["/" + "x/" * 3000 + "program"], 36)


if __name__ == "__main__":
    unittest.main()
