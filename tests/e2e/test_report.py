"""The report's figures agree with what the child did (with tolerances a
loaded machine cannot break). Its text byte for byte is the unit tests'
(report_test); that it ends the output, after the child's own, every
split_report checks."""

import unittest

from wexel_runs import EMULATED_MEMORY, native_only, run_child, split_report


class ReportFigures(unittest.TestCase):
    def test_cpu_burn_shows_as_user_time(self):
        _, report = split_report(run_child("burn_cpu", 300).stdout)
        self.assertGreaterEqual(report.user, 0.2)
        self.assertGreaterEqual(report.process, report.user)
        self.assertAlmostEqual(report.process, report.kernel + report.user, delta=0.0015)
        # One thread cannot use more CPU than wall-clock time; the slack
        # covers the two clocks' granularity.
        self.assertGreaterEqual(report.global_ + 0.05, report.process)

    @native_only(EMULATED_MEMORY)
    def test_touched_memory_shows_as_peaks(self):
        # Held long enough to be read: a peak in a command's last moments,
        # after the last reading, is not in the virtual figure.
        _, report = split_report(run_child("touch_memory", 64, 200).stdout)
        self.assertGreaterEqual(report.physical, 64)
        # wexel's own footprint must not swell the child's figure.
        self.assertLess(report.physical, 64 + 32)
        self.assertGreaterEqual(report.virtual, 64)

    @native_only(EMULATED_MEMORY)
    def test_small_child_has_small_peaks(self):
        _, report = split_report(run_child("exit_with", 0).stdout)
        self.assertLess(report.physical, 16)
        self.assertLess(report.virtual, 64)

    def test_sleep_shows_as_global_time_only(self):
        _, report = split_report(run_child("sleep_ms", 200).stdout)
        self.assertGreaterEqual(report.global_, 0.2)
        self.assertLess(report.process, 0.1)


if __name__ == "__main__":
    unittest.main()
