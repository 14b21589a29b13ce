"""wexel's usage text. The exit status in every other case (the child's
codes, its signals, launch failures, a closed output) is the fault tests'."""

import unittest

from wexel_runs import RELEASE_DATE, VERSION, run_wexel


class UsageAndStatus(unittest.TestCase):
    def test_alone_prints_banner_and_usage_and_ends_with_zero(self):
        result = run_wexel()
        expected = ("Wexel : %s : %s\nUsage: wexel program [parameter1] [parameter2] ...\n"
                    % (VERSION, RELEASE_DATE)).encode()
        self.assertEqual(result.stdout, expected)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(result.returncode, 0)


if __name__ == "__main__":
    unittest.main()
