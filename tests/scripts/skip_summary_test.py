#!/usr/bin/env python3
"""scripts/lib/skip_summary.py on a JUnit report as ctest writes it."""
import os
import subprocess
import sys
import tempfile
import unittest

SUMMARY = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "lib", "skip_summary.py")

REPORT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="4" failures="0" disabled="0" skipped="1" hostname="" time="0" timestamp="">
  <testcase name="wayland_sway" classname="wayland_sway" time="0.1" status="notrun">
    <skipped message="SKIP_RETURN_CODE=77"/>
    <system-out>setting up
SKIP: sway is not installed
</system-out>
  </testcase>
  <testcase name="wayland_weston" classname="wayland_weston" time="9" status="run">
    <system-out>PASS  banner
SKIP (part): the whole run on weston: no input device
</system-out>
  </testcase>
  <testcase name="qt_backend" classname="qt_backend" time="3" status="run">
    <system-out>[ RUN      ] QtFonts.Named
/src/text_layout_test.cpp:54: Skipped
DejaVu Sans is not installed

[  SKIPPED ] QtFonts.Named (0 ms)
[ RUN      ] QtFonts.Other
[       OK ] QtFonts.Other (1 ms)
[  PASSED  ] 1 test.
[  SKIPPED ] 1 test, listed below:
[  SKIPPED ] QtFonts.Named
</system-out>
  </testcase>
  <testcase name="x11_whole_run" classname="x11_whole_run" time="12" status="run">
    <system-out>PASS: whole run on X11
</system-out>
  </testcase>
</testsuite>
"""

PASSING = REPORT.split("<testcase")[0] + "<testcase" + REPORT.split("<testcase")[-1]


class SkipSummary(unittest.TestCase):
    def run_summary(self, report, *options):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "linux.xml")
            with open(path, "w") as f:
                f.write(report)
            return subprocess.run([sys.executable, SUMMARY, *options, path], capture_output=True, text=True)

    def test_every_kind_of_skip_is_one_line_with_its_reason(self):
        result = self.run_summary(REPORT)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(lines[0], "== Skipped: 2 test(s), 1 in part")
        self.assertIn("skipped  linux: wayland_sway: sway is not installed", lines)
        self.assertIn("skipped  linux: qt_backend [QtFonts.Named]: DejaVu Sans is not installed", lines)
        self.assertIn("in part  linux: wayland_weston: the whole run on weston: no input device", lines)
        self.assertEqual(len(lines), 4, lines)

    def test_strict_fails_on_a_whole_skip_not_on_a_part(self):
        self.assertEqual(self.run_summary(REPORT, "--strict").returncode, 1)
        result = self.run_summary(PASSING, "--strict")
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("== Skipped: 0 test(s), 0 in part", result.stdout)

    def test_an_unreadable_report_fails(self):
        self.assertEqual(self.run_summary("<testsuite", "--strict").returncode, 1)


if __name__ == "__main__":
    unittest.main()
