"""Programs that cannot be started: wexel prints the launch-failure message
with the system's error code and nothing else, on standard output alone,
and ends with 999 (231 as a shell sees it). A file the kernel cannot run
but a shell can is no failure: /bin/sh runs it."""

import os
import shutil
import stat
import subprocess
import tempfile
import unittest

from fault_runs import DEADLINE_SECONDS, run_to_end
from wexel_runs import split_report


class PathSearch(unittest.TestCase):
    """A name without a slash is looked for in each PATH entry in turn, as
    execvp looks for it: an entry that cannot give a program that runs (a
    file there that may not be run, an entry that is a file, or too long a
    name) sends the search on, and an empty entry is the current
    directory. Measured against the shell, which searches the same way
    (glibc's execvp takes the entry after too long a one for an empty
    one), and without PATH against execvp."""

    def test_search_goes_on_past_what_it_cannot_use(self):
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)
        for name, mode in (("d1", 0o644), ("d2", 0o755), ("here", 0o755)):
            os.makedirs(os.path.join(directory, name))
            program = os.path.join(directory, name, "prog")
            with open(program, "w") as file:
                file.write("#!/bin/sh\necho %s\nexit 7\n" % name)
            os.chmod(program, mode)
        here = os.path.join(directory, "here")
        d1, d2 = os.path.join(directory, "d1"), os.path.join(directory, "d2")
        cases = [(["prog"], path, here, ["/bin/sh", "-c", "prog"])
                 for path in (d1 + ":" + d2, "/etc/passwd:" + d2, "/" + "x" * 5000 + ":" + d2,
                              ":/usr/bin", "/nonexistent::/usr/bin", "/usr/bin:")]
        # A name with a slash is a path, searched nowhere.
        cases.append((["here/prog"], d2, directory, ["/bin/sh", "-c", "here/prog"]))
        # PATH unset: execvp's own default, which env searches too (the
        # shell's is longer).
        script = ["sh", "-c", "echo unset; exit 7"]
        cases.append((script, None, directory, ["/usr/bin/env"] + script))
        without_path = {key: value for key, value in os.environ.items() if key != "PATH"}
        for arguments, path, cwd, reference in cases:
            with self.subTest(arguments=arguments, PATH=path and path[:40]):
                env = dict(without_path, PATH=path) if path else without_path
                alone = subprocess.run(reference, env=env, cwd=cwd, capture_output=True,
                                       timeout=DEADLINE_SECONDS)
                self.assertEqual(alone.returncode, 7, alone.stderr)
                result = run_to_end(*arguments, env=env, cwd=cwd)
                before, _ = split_report(result.stdout)
                self.assertEqual(before, alone.stdout + b"\nExit code: 7\n")
                self.assertEqual(result.returncode, alone.returncode)


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
        # Found through PATH, and nowhere after it: denied, as execvp says.
        self.assert_refused(["data"], 13,
                            env=dict(os.environ, PATH=self.directory + ":/nonexistent"))

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

    def test_empty_file_runs_and_ends_with_0(self):
        # The kernel refuses it; /bin/sh runs it, as execvp does, and ends
        # with 0: by its path and by PATH.
        empty = self.write("empty", "", stat.S_IRWXU)
        alone = subprocess.run(["/usr/bin/env", empty], capture_output=True,
                               timeout=DEADLINE_SECONDS)
        self.assertEqual((alone.returncode, alone.stdout), (0, b""))
        for arguments, env in (([empty], None),
                               (["empty"], dict(os.environ, PATH=self.directory))):
            with self.subTest(arguments=arguments):
                result = run_to_end(*arguments, env=env)
                before, _ = split_report(result.stdout)
                self.assertEqual(before, b"")
                self.assertEqual(result.returncode, 0)

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
