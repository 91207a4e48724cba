#!/usr/bin/env python3
"""Which tests skipped, and why, from the JUnit reports of ctest runs.

    skip_summary.py [--strict] REPORT.xml...

Prints one line for each test that skipped: a whole test (ctest's SKIP_RETURN_CODE,
its reason the first output line that starts with "SKIP"), a GoogleTest case
(GTEST_SKIP, its reason the message under "Skipped"), and a part of a test that
passed ("SKIP (part): ..." in its output). With --strict, exits 1 when a whole
test or a GoogleTest case skipped: parts of tests that say why are allowed.
"""
import sys
import xml.etree.ElementTree as ET


def gtest_skips(output):
    """(case, reason) for every "[  SKIPPED ] Case" line, the reason being the
    message GoogleTest printed under "...: Skipped" for that case."""
    found = []
    reason = ""
    after_skipped = False
    for line in output.splitlines():
        if after_skipped:
            reason = line.strip()
            after_skipped = False
        elif line.endswith(": Skipped"):
            after_skipped = True
        elif line.startswith("[ RUN      ]"):
            reason = ""
        elif line.startswith("[  SKIPPED ]") and line.endswith(" ms)"):  # not the closing list
            found.append((line[12:].rsplit("(", 1)[0].strip(), reason or "(no reason given)"))
    return found


def main(argv):
    strict = "--strict" in argv
    reports = [a for a in argv if a != "--strict"]
    whole, parts = [], []
    for report in reports:
        run = report.rsplit("/", 1)[-1].removesuffix(".xml")
        try:
            suite = ET.parse(report).getroot()
        except (OSError, ET.ParseError) as error:
            print(f"skip summary: cannot read {report}: {error}", file=sys.stderr)
            return 1
        for case in suite.iter("testcase"):
            name = f"{run}: {case.get('name')}"
            output = case.findtext("system-out") or ""
            if case.get("status") == "notrun" and case.find("skipped") is not None:
                reason = next((l for l in output.splitlines() if l.startswith("SKIP")), "")
                whole.append((name, reason.removeprefix("SKIP:").strip() or "(no reason given)"))
                continue
            for gcase, reason in gtest_skips(output):
                whole.append((f"{name} [{gcase}]", reason))
            for line in output.splitlines():
                if line.startswith("SKIP (part):"):
                    parts.append((name, line.removeprefix("SKIP (part):").strip()))
    print(f"== Skipped: {len(whole)} test(s), {len(parts)} in part")
    for name, reason in whole:
        print(f"skipped  {name}: {reason}")
    for name, reason in parts:
        print(f"in part  {name}: {reason}")
    if strict and whole:
        print("FAIL: with CI=true no test may skip: ./scripts/test.sh installs everything the tests need,"
              " so a skip here hides a fault", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
