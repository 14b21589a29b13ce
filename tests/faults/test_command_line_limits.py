"""Command lines near and above the system's limits. Whatever reaches
wexel is passed on exactly, or refused whole with the launch-failure
message: never cut short."""

import errno
import os
import re
import resource
import shutil
import subprocess
import tempfile
import unittest

from fault_runs import (DEADLINE_SECONDS, WEXEL, child, command, default_signals, is_static,
                        run_to_end)
from wexel_runs import EMULATED_EXEC_LIMIT, EMULATED_MEMORY, native_only, split_report

# The kernel's limit on one argument, its NUL included.
MAX_ARG_STRLEN = 32 * 4096
# Bytes the quoting rules care about, and others.
HOSTILE = b' \t"\\\\"\\ab\xff\x01\n'


def hostile(length, seed):
    return bytes(HOSTILE[(i * 7 + seed) % len(HOSTILE)] for i in range(length))


def printed_arguments(output):
    before, _ = split_report(output)
    lines = before.split(b"\n")
    count = int(lines[0])
    if lines[count + 1:] != [b""]:
        raise AssertionError("unexpected child output %r" % before[:200])
    return [bytes.fromhex(line.decode()) for line in lines[1:count + 1]]


class NearTheLimits(unittest.TestCase):
    def assert_passed_exactly(self, arguments):
        result = run_to_end(child("print_args"), *arguments)
        self.assertEqual(result.returncode, 0)
        received = printed_arguments(result.stdout)
        self.assertEqual(len(received), len(arguments))
        for index, (got, sent) in enumerate(zip(received, arguments)):
            self.assertEqual(got, sent, "argument %d" % index)

    def test_longest_single_arguments(self):
        # Quotes and backslashes make the command line in between up to
        # twice as long as the argument.
        self.assert_passed_exactly([hostile(MAX_ARG_STRLEN - 1, seed) for seed in range(3)])
        self.assert_passed_exactly([b'"' * (MAX_ARG_STRLEN - 1), b"\\" * (MAX_ARG_STRLEN - 1)])

    def test_many_arguments(self):
        self.assert_passed_exactly([hostile(i % 9, i) for i in range(60000)])

    @native_only(EMULATED_MEMORY)
    @unittest.skipUnless(is_static(WEXEL), "a sanitized wexel's allocator keeps what it "
                         "frees, with guard zones around every block")
    def test_long_command_line_leaves_the_resident_figure_the_commands_own(self):
        # The child holds its megabyte of arguments itself; wexel held them
        # four times over (arguments, raw line and command buffer in 16-bit
        # units, the split copy), and its peak at the spawn is folded into
        # the child's.
        _, short = split_report(run_to_end(child("exit_with"), 0).stdout)
        _, long = split_report(run_to_end(child("exit_with"), 0,
                                          *[b"x" * (MAX_ARG_STRLEN - 1)] * 8).stdout)
        self.assertLessEqual(long.physical, short.physical + 3)

    def test_argument_too_long_never_reaches_wexel(self):
        with self.assertRaises(OSError) as refused:
            run_to_end(child("print_args"), b"x" * MAX_ARG_STRLEN)
        self.assertEqual(refused.exception.errno, errno.E2BIG)


# The least environment, but for a sanitized wexel's own settings (the
# leak checker's suppressions among them).
SANITIZER_OPTIONS = {name: value for name, value in os.environ.items()
                     if name.endswith("SAN_OPTIONS")}


def small_stack():
    # A quarter of the stack limit is what exec allows for the arguments
    # and the environment; a small one keeps the search short.
    default_signals()
    resource.setrlimit(resource.RLIMIT_STACK, (1 << 20, 1 << 20))


@native_only(EMULATED_MEMORY)
class OutOfAddressSpace(unittest.TestCase):
    @unittest.skipUnless(is_static(WEXEL), "a sanitized wexel cannot start in a small "
                         "address space")
    def test_command_line_lost_to_exhausted_memory_is_error_12(self):
        # Address-space limits from too small to start wexel up to enough
        # for the run: on the way, every place that needs memory for the
        # megabyte of arguments fails in turn, and none of them may pass
        # for a missing program.
        arguments = command([child("exit_with"), 0, *[b"x" * (MAX_ARG_STRLEN - 1)] * 8])
        codes = set()
        for limit in range(1 << 20, 16 << 20, 1 << 18):
            def prepare(limit=limit):
                default_signals()
                resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
            try:
                result = subprocess.run(arguments, preexec_fn=prepare, capture_output=True,
                                        timeout=DEADLINE_SECONDS)
            except OSError:  # too small for the exec of wexel itself
                continue
            found = re.match(rb"\nCan't find program. Error code = (\d+)\n\Z", result.stdout)
            if found:
                codes.add(int(found.group(1)))
        self.assertIn(12, codes)
        self.assertEqual(codes, {12})


@native_only(EMULATED_EXEC_LIMIT)
class AtTheLimit(unittest.TestCase):
    """wexel reached through a short path, its child found on a long PATH:
    the child's exec carries more bytes than wexel's own (the path the
    program was found at), so a command line that only just reached wexel
    cannot reach the child."""

    def setUp(self):
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)
        self.wexel = os.path.join(directory, "w")
        os.symlink(WEXEL, self.wexel)
        self.path = os.path.join(directory, "d" * 200)
        os.mkdir(self.path)
        os.symlink(child("print_args"), os.path.join(self.path, "print_args"))

    def run_padded(self, padding):
        arguments = [b"a" * 4000] * (padding // 4000) + [b"b" * (padding % 4000)]
        result = subprocess.run(["w", "print_args", *arguments], executable=self.wexel,
                                env=dict(SANITIZER_OPTIONS, PATH=self.path),
                                preexec_fn=small_stack,
                                capture_output=True, timeout=DEADLINE_SECONDS)
        return arguments, result

    def starts(self, padding):
        try:
            self.run_padded(padding)
        except OSError as error:
            self.assertEqual(error.errno, errno.E2BIG)
            return False
        return True

    def test_command_line_passed_exactly_or_refused_whole(self):
        low, high = 0, 1 << 20
        self.assertTrue(self.starts(low))
        self.assertFalse(self.starts(high))
        while high - low > 1:
            middle = (low + high) // 2
            if self.starts(middle):
                low = middle
            else:
                high = middle
        # The most that reaches wexel cannot reach the child.
        _, result = self.run_padded(low)
        self.assertEqual(result.stdout, b"\nCan't find program. Error code = 7\n")
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 999 % 256)
        # A little less reaches both, whole.
        arguments, result = self.run_padded(low - 300)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(printed_arguments(result.stdout), arguments)


if __name__ == "__main__":
    unittest.main()
